// RegConnectRegistryA and the computer name it compares against.
#include "RegistryHandles.h"

#include <unistd.h>
#include <cstring>
#include <string>

using namespace vorla::platform::registry;

namespace {

// The computer name as Windows forms a NetBIOS name from the host name: up
// to the first '.', upper case, at most MAX_COMPUTERNAME_LENGTH characters.
std::string LocalComputerName() {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) {
        return std::string();
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
    return name;
}

bool SameNameFolded(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 'a' + 'A') : a[i];
        if (x != b[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

BOOL GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
    if (nSize == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string name = LocalComputerName();
    // Too small a buffer: FALSE, ERROR_BUFFER_OVERFLOW and the size needed
    // with the NUL; success: the length without it.
    if (lpBuffer == nullptr || name.size() + 1 > *nSize) {
        *nSize = static_cast<DWORD>(name.size() + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::memcpy(lpBuffer, name.c_str(), name.size() + 1);
    *nSize = static_cast<DWORD>(name.size());
    return TRUE;
}

LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    if (lpMachineName != nullptr && *lpMachineName != '\0') {
        // Remote registries are not reachable from POSIX: the status Windows
        // gives for a computer it cannot reach. The local computer's own
        // name (with or without the leading "\\") still means this one.
        std::string machine = lpMachineName;
        if (machine.compare(0, 2, "\\\\") == 0) {
            machine.erase(0, 2);
        }
        if (!SameNameFolded(machine, LocalComputerName())) {
            return ERROR_BAD_NETPATH;
        }
    }
    return Guarded([&]() -> LONG {
        // Every root that has a store connects; the result is a new handle
        // of its own (not the predefined value) with every right the store
        // allows.
        std::shared_ptr<KeyHandle> root;
        LONG status = ResolveHandle(hKey, &root);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (!IsPredefined(hKey)) {
            return ERROR_INVALID_HANDLE;
        }
        auto handle = std::make_shared<KeyHandle>();
        handle->store = root->store;
        handle->key = root->key;
        handle->depth = root->depth;
        handle->access = MapAccess(MAXIMUM_ALLOWED, root->store->Writable());
        *phkResult = AddHandle(std::move(handle));
        return ERROR_SUCCESS;
    });
}
