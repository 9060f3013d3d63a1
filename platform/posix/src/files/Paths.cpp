// Current directory, full path names and the system directory.

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "ErrorMap.h"
#include "platform/Prefix.h"
#include "platform/Win32.h"

using vorla::platform::SetLastErrorFromErrno;

namespace {

// Copies `text` into a caller's buffer by the Win32 rule of these calls: on
// success the length without the NUL; when it does not fit, the size needed
// including the NUL, and the buffer is left alone.
DWORD CopyOut(const std::string& text, DWORD capacity, LPSTR buffer) {
    const DWORD length = static_cast<DWORD>(text.size());
    if (buffer == nullptr || capacity < length + 1) {
        return length + 1;
    }
    std::memcpy(buffer, text.c_str(), length + 1);
    return length;
}

std::string CurrentDirectory() {
    std::vector<char> buf(256);
    for (;;) {
        if (getcwd(buf.data(), buf.size()) != nullptr) {
            return std::string(buf.data());
        }
        if (errno != ERANGE) {
            return std::string();
        }
        buf.resize(buf.size() * 2);
    }
}

}  // namespace

DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    std::string dir = CurrentDirectory();
    if (dir.empty()) {
        SetLastErrorFromErrno();
        return 0;
    }
    return CopyOut(dir, nBufferLength, lpBuffer);
}

BOOL SetCurrentDirectoryA(LPCSTR lpPathName) {
    if (lpPathName == nullptr || *lpPathName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (chdir(lpPathName) != 0) {
        if (errno == ENOENT) {
            SetLastError(ERROR_PATH_NOT_FOUND);
        } else if (errno == ENOTDIR) {
            SetLastError(ERROR_DIRECTORY);
        } else {
            SetLastErrorFromErrno();
        }
        return FALSE;
    }
    return TRUE;
}

// Joins a relative path to the current directory and removes "." and ".."
// components lexically, without resolving links, as Windows does. Both
// separators split; '/' is written. A trailing separator stays. ".." at the
// root stays at the root.
DWORD GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
    if (lpFileName == nullptr || *lpFileName == '\0') {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    std::string path(lpFileName);
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (path[0] != '/') {
        std::string cwd = CurrentDirectory();
        if (cwd.empty()) {
            SetLastErrorFromErrno();
            return 0;
        }
        path = cwd + "/" + path;
    }
    const bool trailing = path.back() == '/';

    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }

    std::string full;
    for (const std::string& part : parts) {
        full += "/" + part;
    }
    if (full.empty() || trailing) {
        full += "/";
    }

    DWORD result = CopyOut(full, nBufferLength, lpBuffer);
    if (lpFilePart != nullptr) {
        *lpFilePart = nullptr;
        if (result < nBufferLength && !trailing) {
            char* slash = std::strrchr(lpBuffer, '/');
            *lpFilePart = slash != nullptr ? slash + 1 : lpBuffer;
        }
    }
    return result;
}

// The system directory is the prefix's system32 folder, where an installation
// places the driver link. It is created on first use like the prefix.
UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    std::string dir = vorla::platform::EnsurePrefixDir("system32");
    if (dir.empty()) {
        SetLastErrorFromErrno();
        return 0;
    }
    return CopyOut(dir, uSize, lpBuffer);
}
