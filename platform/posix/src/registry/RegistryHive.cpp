// Hive files: saving a key's tree to a file, restoring a key from one, and
// loading a file as a key of HKEY_LOCAL_MACHINE or HKEY_USERS.
//
// A hive file has the format of the stores themselves. A loaded hive is
// recorded in the parent hive as a key whose `mount` names the file, so every
// process using the prefix sees it until RegUnLoadKeyA; with no system
// restart on POSIX, a load lasts until it is unloaded.
#include "RegistryHandles.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <unistd.h>

using namespace vorla::platform::registry;

namespace {

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        throw StoreError{ERROR_PATH_NOT_FOUND};
    }
    return std::string(cwd) + "/" + path;
}

// The root key of HKEY_LOCAL_MACHINE or HKEY_USERS behind `hKey` (the
// predefined value or a handle to that root, as RegConnectRegistryA gives),
// and the single key name `lpSubKey`; ERROR_INVALID_PARAMETER for any other
// key or a path of several names.
LONG HiveRootAndName(HKEY hKey, LPCSTR lpSubKey, std::shared_ptr<KeyHandle>* root,
                     std::string* name) {
    LONG status = ResolveHandle(hKey, root);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    HiveKind kind = (*root)->store->Kind();
    if (hKey == HKEY_CLASSES_ROOT || (*root)->key != kRootKeyId ||
        (kind != HiveKind::System && kind != HiveKind::Users)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::string> parts;
    if (lpSubKey == nullptr || SplitKeyPath(hKey, lpSubKey, &parts) != ERROR_SUCCESS ||
        parts.size() != 1) {
        return ERROR_INVALID_PARAMETER;
    }
    *name = parts[0];
    return ERROR_SUCCESS;
}

// Levels below the tree's root, counted without recursion.
int TreeDepth(const TreeNode& tree) {
    int deepest = 0;
    std::vector<std::pair<const TreeNode*, int>> pending{{&tree, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        deepest = std::max(deepest, depth);
        for (const TreeNode& child : node->children) {
            pending.emplace_back(&child, depth + 1);
        }
    }
    return deepest;
}

}  // namespace

LONG RegSaveKeyA(HKEY hKey, LPCSTR lpFile, const SECURITY_ATTRIBUTES* /*lpSecurityAttributes*/) {
    if (lpFile == nullptr || *lpFile == '\0') {
        return ERROR_INVALID_PARAMETER;
    }
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> h;
        LONG status = ResolveHandle(hKey, &h);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        // The host's data sources are not the store's to save or replace.
        if (h->host.role == HostRole::DataSource) {
            return ERROR_ACCESS_DENIED;
        }
        TreeNode tree;
        h->store->Run(Store::Mode::Read, [&] { tree = h->store->ReadTree(h->key); });
        // The file must be new: an existing one gives ERROR_ALREADY_EXISTS
        // and keeps its bytes.
        Store::CreateFromTree(lpFile, tree);
        return ERROR_SUCCESS;
    });
}

LONG RegRestoreKeyA(HKEY hKey, LPCSTR lpFile, DWORD /*dwFlags*/) {
    if (lpFile == nullptr || *lpFile == '\0') {
        return ERROR_INVALID_PARAMETER;
    }
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> h;
        LONG status = ResolveHandle(hKey, &h);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        // The host's data sources are not the store's to save or replace.
        if (h->host.role == HostRole::DataSource) {
            return ERROR_ACCESS_DENIED;
        }
        // The file is read, never written: it must already be a hive file
        // (missing: ERROR_FILE_NOT_FOUND, anything else: ERROR_BADDB).
        std::shared_ptr<Store> source = Store::Open(lpFile, HiveKind::File, false);
        TreeNode tree;
        source->Run(Store::Mode::Read, [&] { tree = source->ReadTree(kRootKeyId); });
        if (h->depth + TreeDepth(tree) > kMaxKeyDepth) {
            return ERROR_INVALID_PARAMETER;
        }
        // The key's values and sub-keys are replaced in one transaction, as
        // with REG_FORCE_RESTORE: handles open below it find their keys
        // deleted. A loaded hive below the key cannot be replaced that way.
        h->store->Run(Store::Mode::Write, [&] {
            if (!h->store->KeyExists(h->key)) {
                throw StoreError{ERROR_KEY_DELETED};
            }
            if (h->store->TreeHasMount(h->key)) {
                throw StoreError{ERROR_ACCESS_DENIED};
            }
            h->store->ReplaceTree(h->key, tree);
        });
        return ERROR_SUCCESS;
    });
}

LONG RegLoadKeyA(HKEY hKey, LPCSTR lpSubKey, LPCSTR lpFile) {
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> root;
        std::string name;
        LONG status = HiveRootAndName(hKey, lpSubKey, &root, &name);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (lpFile == nullptr || *lpFile == '\0') {
            return ERROR_INVALID_PARAMETER;
        }
        std::string file = AbsolutePath(lpFile);
        // Checked before it is recorded: a file that is not a hive is never
        // mounted (ERROR_BADDB), nor is a missing one (ERROR_FILE_NOT_FOUND).
        OpenHiveFile(file, false);
        root->store->Run(Store::Mode::Write, [&] {
            KeyRow row;
            if (root->store->FindChild(kRootKeyId, name, &row)) {
                throw StoreError{ERROR_ALREADY_EXISTS};
            }
            root->store->SetMount(root->store->CreateChild(kRootKeyId, name, std::string()), file);
        });
        return ERROR_SUCCESS;
    });
}

LONG RegUnLoadKeyA(HKEY hKey, LPCSTR lpSubKey) {
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> root;
        std::string name;
        LONG status = HiveRootAndName(hKey, lpSubKey, &root, &name);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        KeyRow row;
        bool found = false;
        root->store->Run(Store::Mode::Read,
                         [&] { found = root->store->FindChild(kRootKeyId, name, &row); });
        if (!found) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (row.mount.empty()) {
            return ERROR_INVALID_PARAMETER;  // an ordinary key, not a loaded hive
        }
        // A hive with open handles below it stays loaded. Only this
        // process's handles can be seen; another process's handles keep
        // working on the file after the unload.
        std::shared_ptr<Store> hive;
        try {
            hive = OpenHiveFile(row.mount, false);
        } catch (const StoreError&) {
            // A file gone or broken since it was loaded can still be unloaded.
        }
        if (hive && AnyHandleOn(hive.get())) {
            return ERROR_ACCESS_DENIED;
        }
        root->store->Run(Store::Mode::Write, [&] {
            KeyRow again;
            if (!root->store->FindChild(kRootKeyId, name, &again) || again.mount.empty()) {
                throw StoreError{ERROR_FILE_NOT_FOUND};
            }
            root->store->DeleteLeafKey(again.id);
        });
        ForgetHiveFile(row.mount);
        return ERROR_SUCCESS;
    });
}

LONG RegReplaceKeyA(HKEY /*hKey*/, LPCSTR /*lpSubKey*/, LPCSTR /*lpNewFile*/,
                    LPCSTR /*lpOldFile*/) {
    // Replacing a hive takes effect at the next system start on Windows;
    // POSIX has no such moment for the store, so the call is not offered.
    return ERROR_CALL_NOT_IMPLEMENTED;
}
