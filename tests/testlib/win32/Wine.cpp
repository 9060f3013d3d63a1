#include "testlib/Wine.h"

#include "platform/Win32.h"

namespace vorla::test {

// Wine's ntdll exports its version; Windows's does not.
bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool EnableHivePrivileges() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return false;
    }
    bool held = true;
    for (const char* privilege : {SE_BACKUP_NAME, SE_RESTORE_NAME}) {
        TOKEN_PRIVILEGES request{};
        request.PrivilegeCount = 1;
        request.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!LookupPrivilegeValueA(nullptr, privilege, &request.Privileges[0].Luid) ||
            !AdjustTokenPrivileges(token, FALSE, &request, 0, nullptr, nullptr) ||
            GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
            held = false;
        }
    }
    CloseHandle(token);
    return held;
}

}  // namespace vorla::test
