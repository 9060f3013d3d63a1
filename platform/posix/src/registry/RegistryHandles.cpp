#include "RegistryHandles.h"

#include "platform/Prefix.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>

namespace vorla::platform::registry {

namespace {

constexpr size_t kMaxKeyNameLength = 255;

// Everything cached for one prefix. Replaced as a whole when the prefix
// changes; handles keep their stores alive through their own references.
struct PrefixCache {
    std::string prefix;
    std::map<std::string, std::shared_ptr<Store>> stores;
    std::map<HKEY, std::shared_ptr<KeyHandle>> roots;
    bool cleaned = false;
};

std::mutex g_lock;

PrefixCache& Cache() {
    static auto* cache = new PrefixCache();
    return *cache;
}

std::map<HKEY, std::shared_ptr<KeyHandle>>& Handles() {
    static auto* handles = new std::map<HKEY, std::shared_ptr<KeyHandle>>();
    return *handles;
}

// The cache for the prefix in effect now; must hold g_lock.
PrefixCache& CurrentCache() {
    PrefixCache& cache = Cache();
    std::string prefix = PrefixDir();
    if (prefix != cache.prefix) {
        cache.stores.clear();
        cache.roots.clear();
        cache.prefix = prefix;
        cache.cleaned = false;
    }
    return cache;
}

const char* HiveFileName(HiveKind kind) {
    switch (kind) {
        case HiveKind::System:
            return "system.db";
        case HiveKind::User:
            return "user.db";
        case HiveKind::Users:
            return "users.db";
        case HiveKind::Config:
            return "config.db";
        case HiveKind::File:
            break;
    }
    return "";
}

std::shared_ptr<Store> OpenCached(PrefixCache& cache, const std::string& path, HiveKind kind,
                                  bool create) {
    auto it = cache.stores.find(path);
    if (it != cache.stores.end()) {
        return it->second;
    }
    // A failed open is not cached, so a file put right later is found.
    std::shared_ptr<Store> store = Store::Open(path, kind, create);
    cache.stores.emplace(path, store);
    return store;
}

std::shared_ptr<Store> OpenHiveLocked(PrefixCache& cache, HiveKind kind) {
    std::string dir = EnsurePrefixDir("registry");
    if (dir.empty()) {
        throw StoreError{errno == EACCES || errno == EROFS || errno == EPERM
                             ? ERROR_ACCESS_DENIED
                             : ERROR_REGISTRY_IO_FAILED};
    }
    // Once per prefix and process: what an interrupted set-up left.
    if (!cache.cleaned) {
        cache.cleaned = true;
        RemoveInterruptedBuilds(dir);
    }
    return OpenCached(cache, dir + "/" + HiveFileName(kind), kind, true);
}

}  // namespace

bool IsPredefined(HKEY hKey) {
    auto value = reinterpret_cast<ULONG_PTR>(hKey);
    // The predefined values are 0x80000000 upward, sign-extended as on 64-bit
    // Windows.
    auto low = static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000000)));
    return value >= low && value <= low + 0xff;
}

bool HiveOfRoot(HKEY hKey, HiveKind* kind) {
    if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CLASSES_ROOT) {
        *kind = HiveKind::System;
    } else if (hKey == HKEY_CURRENT_USER) {
        *kind = HiveKind::User;
    } else if (hKey == HKEY_USERS) {
        *kind = HiveKind::Users;
    } else if (hKey == HKEY_CURRENT_CONFIG) {
        *kind = HiveKind::Config;
    } else {
        return false;
    }
    return true;
}

LONG ResolveHandle(HKEY hKey, std::shared_ptr<KeyHandle>* out) {
    if (IsPredefined(hKey)) {
        HiveKind kind;
        // HKEY_PERFORMANCE_DATA and HKEY_DYN_DATA have no store on POSIX:
        // ERROR_INVALID_HANDLE, as Windows NT answers for HKEY_DYN_DATA.
        if (!HiveOfRoot(hKey, &kind)) {
            return ERROR_INVALID_HANDLE;
        }
        std::lock_guard<std::mutex> guard(g_lock);
        PrefixCache& cache = CurrentCache();
        auto it = cache.roots.find(hKey);
        if (it != cache.roots.end()) {
            *out = it->second;
            return ERROR_SUCCESS;
        }
        auto root = std::make_shared<KeyHandle>();
        root->store = OpenHiveLocked(cache, kind);
        // Predefined roots count as holding every right.
        root->access = KEY_ALL_ACCESS | ACCESS_SYSTEM_SECURITY;
        if (hKey == HKEY_CLASSES_ROOT) {
            // HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
            KeyRow row;
            root->store->Run(Store::Mode::Read, [&] {
                if (!root->store->FindChild(kRootKeyId, "SOFTWARE", &row) ||
                    !root->store->FindChild(row.id, "Classes", &row)) {
                    throw StoreError{ERROR_FILE_NOT_FOUND};
                }
            });
            root->key = row.id;
            root->depth = 2;
        }
        cache.roots.emplace(hKey, root);
        *out = root;
        return ERROR_SUCCESS;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = Handles().find(hKey);
    if (hKey == nullptr || it == Handles().end()) {
        return ERROR_INVALID_HANDLE;
    }
    *out = it->second;
    return ERROR_SUCCESS;
}

LONG AcquireHandle(HKEY hKey, REGSAM need, std::shared_ptr<KeyHandle>* out) {
    LONG status = ResolveHandle(hKey, out);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return (need & ~(*out)->access) != 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

HKEY AddHandle(std::shared_ptr<KeyHandle> handle) {
    auto hKey = reinterpret_cast<HKEY>(handle.get());
    std::lock_guard<std::mutex> guard(g_lock);
    Handles().emplace(hKey, std::move(handle));
    return hKey;
}

LONG RemoveHandle(HKEY hKey) {
    std::shared_ptr<KeyHandle> handle;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = Handles().find(hKey);
        if (it == Handles().end()) {
            return ERROR_INVALID_HANDLE;
        }
        handle = std::move(it->second);
        Handles().erase(it);
    }
    handle->closed->store(true);
    return ERROR_SUCCESS;
}

bool AnyHandleOn(const Store* store) {
    std::lock_guard<std::mutex> guard(g_lock);
    for (const auto& entry : Handles()) {
        if (entry.second->store.get() == store) {
            return true;
        }
    }
    return false;
}

std::shared_ptr<Store> OpenHive(HiveKind kind) {
    std::lock_guard<std::mutex> guard(g_lock);
    return OpenHiveLocked(CurrentCache(), kind);
}

std::shared_ptr<Store> OpenHiveFile(const std::string& path, bool create) {
    std::lock_guard<std::mutex> guard(g_lock);
    return OpenCached(CurrentCache(), path, HiveKind::File, create);
}

void ForgetHiveFile(const std::string& path) {
    std::lock_guard<std::mutex> guard(g_lock);
    Cache().stores.erase(path);
}

LONG SplitKeyPath(HKEY base, const char* path, std::vector<std::string>* parts) {
    parts->clear();
    if (path == nullptr) {
        return ERROR_SUCCESS;
    }
    const char* p = path;
    if (base == HKEY_CLASSES_ROOT && *p == '\\') {
        ++p;
    }
    if (*p == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    while (*p != '\0') {
        const char* start = p;
        while (*p != '\0' && *p != '\\') {
            ++p;
        }
        size_t length = static_cast<size_t>(p - start);
        if (length > kMaxKeyNameLength) {
            return ERROR_INVALID_PARAMETER;
        }
        if (length != 0) {
            parts->emplace_back(start, length);
        }
        while (*p == '\\') {
            ++p;
        }
    }
    return ERROR_SUCCESS;
}

size_t WalkPath(KeyPosition* pos, const std::vector<std::string>& parts) {
    size_t used = 0;
    for (;;) {
        std::string mount;
        used = pos->store->Walk(&pos->key, parts, used, &mount);
        if (mount.empty()) {
            return used;
        }
        // A loaded hive: the walk goes on at the root of its file.
        pos->store = OpenHiveFile(mount, false);
        pos->key = kRootKeyId;
    }
}

REGSAM MapAccess(REGSAM desired, bool writable) {
    REGSAM access = desired & ~static_cast<REGSAM>(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    if (access & GENERIC_READ) {
        access |= KEY_READ;
    }
    if (access & GENERIC_WRITE) {
        access |= KEY_WRITE;
    }
    if (access & GENERIC_EXECUTE) {
        access |= KEY_EXECUTE;
    }
    if (access & GENERIC_ALL) {
        access |= KEY_ALL_ACCESS;
    }
    if (access & MAXIMUM_ALLOWED) {
        access |= writable ? KEY_ALL_ACCESS : KEY_READ;
    }
    return access & ~static_cast<REGSAM>(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE |
                                         GENERIC_ALL | MAXIMUM_ALLOWED);
}

bool WantsWrite(REGSAM access) {
    return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC |
                      WRITE_OWNER)) != 0;
}

}  // namespace vorla::platform::registry
