// What a copy of a file keeps private, and which links it does not follow.
#pragma once

#include <windows.h>

#include <aclapi.h>

#include <cstring>
#include <vector>

namespace vorla::platform {

// Gives the file `toPath` (open as `to`) the access rights of the file of
// `from`: its discretionary access list, protected from what the folder
// would pass on, so that a copy is never readable by more users than what it
// copies. The list is set through the name: the copy's handle was opened to
// write data, not access lists. A file system that keeps no access lists
// (FAT) has none to copy: the copy keeps what its folder gave it, as the
// source did. False, with the last error set, when the list read from the
// source cannot be set on the copy.
inline bool CopyAccessRights(HANDLE from, HANDLE /*to*/, const char* toPath) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(from, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                        nullptr, &descriptor) != ERROR_SUCCESS ||
        dacl == nullptr) {
        if (descriptor != nullptr) {
            LocalFree(descriptor);
        }
        return true;
    }
    std::vector<char> path(toPath, toPath + std::strlen(toPath) + 1);
    const DWORD status =
        SetNamedSecurityInfoA(path.data(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr);
    LocalFree(descriptor);
    SetLastError(status);
    return status == ERROR_SUCCESS;
}

// Whether `path` is a symbolic link (a reparse point) that another user owns
// (neither this user nor the Administrators group): following it would read
// or write a file that user chose.
inline bool IsLinkOfAnotherUser(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return false;
    }
    const HANDLE link = CreateFileA(
        path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (link == INVALID_HANDLE_VALUE) {
        return true;  // a link whose owner cannot be read is not followed
    }
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = GetSecurityInfo(link, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                         nullptr, nullptr, nullptr, &descriptor);
    CloseHandle(link);
    if (status != ERROR_SUCCESS) {
        return true;
    }
    bool own = false;
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<BYTE> user(size);
        if (size != 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
            own = EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid) != FALSE;
        }
        CloseHandle(token);
    }
    own = own || IsWellKnownSid(owner, WinBuiltinAdministratorsSid) != FALSE;
    LocalFree(descriptor);
    return !own;
}

}  // namespace vorla::platform
