// Process-wide state of the Win32 API on POSIX: the last error, the error
// mode, the module handle and the command line, and message boxes.

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "platform/Win32.h"

namespace {

thread_local DWORD t_lastError = 0;
std::atomic<UINT> g_errorMode{0};

}  // namespace

// Any non-null value serves: the program only hands it to the framework's
// initialisation, which refuses a null module.
struct HINSTANCE__ {
    int unused;
};

namespace {
HINSTANCE__ g_module{0};
}  // namespace

DWORD GetLastError(void) { return t_lastError; }

void SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

// The error mode has no effect on POSIX (there are no critical-error boxes to
// suppress); the value is kept so that callers read back what they set.
UINT SetErrorMode(UINT uMode) { return g_errorMode.exchange(uMode); }

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName != nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return &g_module;
}

// The command line as one text: the arguments the process was started with,
// separated by blanks, as the kernel recorded them.
LPSTR GetCommandLineA(void) {
    static std::string line = [] {
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        while (!raw.empty() && raw.back() == '\0') {
            raw.pop_back();
        }
        for (char& c : raw) {
            if (c == '\0') {
                c = ' ';
            }
        }
        return raw;
    }();
    return &line[0];
}

// With no desktop to show it on, a message box writes its text as one line to
// standard error and returns as if OK had been pressed.
int MessageBoxA(HWND, LPCSTR lpText, LPCSTR, UINT) {
    std::cerr << (lpText != nullptr ? lpText : "") << std::endl;
    return IDOK;
}

// The status Windows gives when the name does not fit the buffer.
constexpr DWORD kErrorBufferOverflow = 111;

// The computer's name as Windows gives its NetBIOS name: the host name's first
// label, upper-cased, at most MAX_COMPUTERNAME_LENGTH characters. On success
// the size becomes the name's length without the NUL; when the buffer is too
// small, the size needed with the NUL.
BOOL GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
    if (nSize == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    std::string name(host, strcspn(host, "."));
    if (name.size() > MAX_COMPUTERNAME_LENGTH) {
        name.resize(MAX_COMPUTERNAME_LENGTH);
    }
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    const DWORD needed = static_cast<DWORD>(name.size()) + 1;
    if (lpBuffer == nullptr || *nSize < needed) {
        *nSize = needed;
        SetLastError(kErrorBufferOverflow);
        return FALSE;
    }
    std::memcpy(lpBuffer, name.c_str(), needed);
    *nSize = needed - 1;
    return TRUE;
}
