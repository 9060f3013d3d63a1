#include "framework/CFile.h"

IMPLEMENT_DYNAMIC(CFile, CObject)

namespace {

[[noreturn]] void ThrowLastError(const CString& fileName) {
    const LONG osError = static_cast<LONG>(GetLastError());
    AfxThrowFileException(CFileException::OsErrorToException(osError), osError, fileName);
}

}  // namespace

CFile::~CFile() {
    if (IsOpen()) {
        Abort();
    }
}

BOOL CFile::Open(LPCSTR fileName, UINT openFlags, CFileException* error) {
    if (IsOpen()) {
        Abort();
    }
    m_strFileName = fileName;

    DWORD access = 0;
    switch (openFlags & 3) {
        case modeRead:
            access = GENERIC_READ;
            break;
        case modeWrite:
            access = GENERIC_WRITE;
            break;
        default:
            access = GENERIC_READ | GENERIC_WRITE;
            break;
    }

    DWORD share = 0;
    switch (openFlags & 0x70) {
        case shareDenyWrite:
            share = FILE_SHARE_READ;
            break;
        case shareDenyRead:
            share = FILE_SHARE_WRITE;
            break;
        case shareDenyNone:
            share = FILE_SHARE_READ | FILE_SHARE_WRITE;
            break;
        default:  // compatibility mode is exclusive
            share = 0;
            break;
    }

    DWORD disposition = OPEN_EXISTING;
    if ((openFlags & modeCreate) != 0) {
        if ((openFlags & modeCreateNew) != 0) {
            disposition = CREATE_NEW;
        } else if ((openFlags & modeNoTruncate) != 0) {
            disposition = OPEN_ALWAYS;
        } else {
            disposition = CREATE_ALWAYS;
        }
    }

    HANDLE handle =
        CreateFileA(fileName, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error != nullptr) {
            error->m_lOsError = static_cast<LONG>(GetLastError());
            error->m_cause = CFileException::OsErrorToException(error->m_lOsError);
            error->m_strFileName = fileName;
        }
        return FALSE;
    }
    m_hFile = handle;
    m_ownsHandle = true;
    return TRUE;
}

UINT CFile::Read(void* buffer, UINT count) {
    if (count == 0) {
        return 0;
    }
    DWORD read = 0;
    if (!ReadFile(m_hFile, buffer, count, &read, nullptr)) {
        ThrowLastError(m_strFileName);
    }
    return read;
}

void CFile::Write(const void* buffer, UINT count) {
    if (count == 0) {
        return;
    }
    DWORD written = 0;
    if (!WriteFile(m_hFile, buffer, count, &written, nullptr)) {
        ThrowLastError(m_strFileName);
    }
    if (written != count) {
        AfxThrowFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName);
    }
}

void CFile::Flush() {
    if (!IsOpen()) {
        return;
    }
    if (!FlushFileBuffers(m_hFile)) {
        ThrowLastError(m_strFileName);
    }
}

BOOL CFile::OpenStandardInput(LPCSTR name) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == INVALID_HANDLE_VALUE || input == nullptr) {
        return FALSE;
    }
    m_hFile = input;
    m_strFileName = name;
    m_ownsHandle = false;
    return TRUE;
}

void CFile::Close() {
    BOOL ok = TRUE;
    if (IsOpen() && m_ownsHandle) {
        ok = CloseHandle(m_hFile);
    }
    m_hFile = INVALID_HANDLE_VALUE;
    if (!ok) {
        ThrowLastError(m_strFileName);
    }
}

void CFile::Abort() {
    if (IsOpen() && m_ownsHandle) {
        CloseHandle(m_hFile);
    }
    m_hFile = INVALID_HANDLE_VALUE;
}

ULONGLONG CFile::GetLength() const {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_hFile, &size)) {
        ThrowLastError(m_strFileName);
    }
    return static_cast<ULONGLONG>(size.QuadPart);
}

BOOL CFile::GetStatus(LPCSTR fileName, CFileStatus& status) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (fileName == nullptr || *fileName == '\0' ||
        !GetFileAttributesExA(fileName, GetFileExInfoStandard, &data)) {
        return FALSE;
    }
    status.m_size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    status.m_attribute = static_cast<BYTE>(data.dwFileAttributes & 0xFF);
    if (GetFullPathNameA(fileName, _MAX_PATH, status.m_szFullName, nullptr) >= _MAX_PATH) {
        status.m_szFullName[0] = '\0';
    }
    return TRUE;
}

void CFile::Remove(LPCSTR fileName) {
    if (!DeleteFileA(fileName)) {
        ThrowLastError(fileName);
    }
}

CString CFile::DescribeOpenFailure(LPCSTR fileName, DWORD osError) {
    const DWORD attributes = GetFileAttributesA(fileName);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "it is a folder, not a file";
    }
    switch (osError) {
        case ERROR_FILE_NOT_FOUND:
            return "it does not exist";
        case ERROR_PATH_NOT_FOUND:
            return "its folder does not exist";
        case ERROR_ACCESS_DENIED:
            return "permission denied";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "another program has it open";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "the disk is full";
        case ERROR_WRITE_PROTECT:
            return "the disk is read-only";
        default:
            return CString();
    }
}
