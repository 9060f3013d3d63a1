// The Win32 registry functions for keys and values, over the SQLite hive
// stores. Each function documents the Windows rule it reproduces where the
// rule is not obvious from the code.
#include "CaseFold.h"
#include "Publish.h"
#include "RegistryHandles.h"
#include "RegistryHostView.h"
#include "RegistryKeyView.h"
#include "platform/HostDataSources.h"

#include <cstring>

using namespace vorla::platform::registry;

namespace {

constexpr size_t kMaxValueNameLength = 16383;

void RequireKey(const KeyHandle& handle) {
    if (!handle.store->KeyExists(handle.key)) {
        throw StoreError{ERROR_KEY_DELETED};
    }
}

// Copies a name into a caller's buffer of `*count` characters (NUL
// included). Too small: ERROR_MORE_DATA and nothing written, count unchanged.
// Otherwise `*count` becomes the length without the NUL.
LONG CopyName(const std::string& name, LPSTR buffer, LPDWORD count) {
    if (name.size() + 1 > *count) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *count = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// The data-buffer rule of RegQueryValueExA and RegEnumValueA: no buffer
// gives 0 and the size; a buffer too small gives ERROR_MORE_DATA and the
// size needed; the data are returned exactly as stored.
LONG CopyData(const std::string& data, LPBYTE buffer, LPDWORD size) {
    if (size == nullptr) {
        return ERROR_SUCCESS;
    }
    auto needed = static_cast<DWORD>(data.size());
    if (buffer == nullptr) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (needed > *size) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed != 0) {
        std::memcpy(buffer, data.data(), needed);
    }
    *size = needed;
    return ERROR_SUCCESS;
}

void ToFileTime(int64_t ticks, PFILETIME ft) {
    ft->dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xffffffffu);
    ft->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
}

bool IsHostDataSource(const KeyHandle& h) {
    return h.host.role == HostRole::DataSource;
}

// A key that only the view has: the ODBC.INI key or its list key of a prefix
// whose store does not hold them. It is read-only and holds no values or
// sub-keys of the store's.
bool IsViewOnly(const KeyHandle& h) {
    return h.key == 0 && !IsHostDataSource(h);
}

// Length of a self-relative security descriptor, from its header and the
// SIDs and ACLs it points at; 0 when it is not a self-relative descriptor of
// revision 1.
DWORD SelfRelativeLength(const BYTE* sd) {
    constexpr unsigned kSelfRelative = 0x8000, kDaclPresent = 0x0004, kSaclPresent = 0x0010;
    unsigned control = sd[2] | (sd[3] << 8);
    if (sd[0] != 1 || (control & kSelfRelative) == 0) {
        return 0;
    }
    auto offsetAt = [&](int at) {
        return static_cast<DWORD>(sd[at] | (sd[at + 1] << 8) | (sd[at + 2] << 16) |
                                  (static_cast<DWORD>(sd[at + 3]) << 24));
    };
    DWORD length = kDefaultSecuritySize;
    auto extend = [&](DWORD end) { length = end > length ? end : length; };
    for (int at : {4, 8}) {  // owner, group: SIDs of 8 + 4 * sub-authority bytes
        if (DWORD off = offsetAt(at); off != 0) {
            extend(off + 8 + 4 * sd[off + 1]);
        }
    }
    if (DWORD off = offsetAt(12); off != 0 && (control & kSaclPresent)) {
        extend(off + (sd[off + 2] | (sd[off + 3] << 8)));
    }
    if (DWORD off = offsetAt(16); off != 0 && (control & kDaclPresent)) {
        extend(off + (sd[off + 2] | (sd[off + 3] << 8)));
    }
    return length;
}

// The handle a path is taken below, and the path's components. A path below
// a key that only the view has is taken from the root of its hive, so that
// the store's keys on the way are found or made.
LONG ResolveKeyPath(HKEY hKey, LPCSTR lpSubKey, std::shared_ptr<KeyHandle>* base,
                    std::vector<std::string>* parts) {
    LONG status = ResolveHandle(hKey, base);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = SplitKeyPath(hKey, lpSubKey, parts);
    if (status == ERROR_SUCCESS && IsViewOnly(**base)) {
        std::vector<std::string> full = PathOfView((*base)->host);
        full.insert(full.end(), parts->begin(), parts->end());
        parts->swap(full);
        auto root = std::make_shared<KeyHandle>();
        root->store = (*base)->store;
        root->key = kRootKeyId;
        *base = std::move(root);
    }
    return status;
}

// The view of the key where a walk from `base` along `parts` stopped after
// `used` names.
HostView ViewWhereWalkStopped(const KeyHandle& base, const KeyPosition& pos,
                              const std::vector<std::string>& parts, size_t used) {
    return used == 0 ? Reread(base.host) : HostViewOfKey(pos, parts[used - 1]);
}

// A new handle to the host's data source `view`: it is read-only and has no
// sub-keys.
LONG OpenHostDataSource(const std::shared_ptr<Store>& store, const HostView& view, int depth,
                        REGSAM samDesired, bool create, PHKEY phkResult) {
    REGSAM access = MapAccess(samDesired, false);
    if (create || WantsWrite(access)) {
        return ERROR_ACCESS_DENIED;
    }
    auto handle = std::make_shared<KeyHandle>();
    handle->store = store;
    handle->key = 0;
    handle->depth = depth;
    handle->access = access;
    handle->host = view;
    *phkResult = AddHandle(std::move(handle));
    return ERROR_SUCCESS;
}

// RegOpenKeyExA of a path from the root of a hive whose store does not hold
// its end (the walk stopped at `pos`): the ODBC.INI key and its list key, and
// the host's data sources below, as the view shows them. A writer finds no
// such key, as before the view: it makes the store's own.
LONG OpenViewOnly(const KeyHandle& base, const KeyPosition& pos,
                  const std::vector<std::string>& parts, int depth, REGSAM samDesired,
                  PHKEY phkResult) {
    if (base.key != kRootKeyId || pos.store != base.store) {
        return ERROR_FILE_NOT_FOUND;
    }
    const HostView view = HostViewOfPath(*base.store, parts);
    if (view.role == HostRole::DataSource) {
        return OpenHostDataSource(base.store, view, depth, samDesired, false, phkResult);
    }
    const REGSAM access = MapAccess(samDesired, false);
    if (view.role == HostRole::None || WantsWrite(access)) {
        return ERROR_FILE_NOT_FOUND;
    }
    auto handle = std::make_shared<KeyHandle>();
    handle->store = base.store;
    handle->key = 0;
    handle->depth = depth;
    handle->access = access;
    handle->host = view;
    *phkResult = AddHandle(std::move(handle));
    return ERROR_SUCCESS;
}

// Follows `parts` below `*key` inside a transaction of `store`; false when a
// loaded hive is on the way (which another store holds), else true with the
// number of names followed in `*used`.
bool WalkInTransaction(Store& store, int64_t* key, const std::vector<std::string>& parts,
                       size_t* used) {
    if (!store.KeyExists(*key)) {
        throw StoreError{ERROR_KEY_DELETED};
    }
    for (*used = 0; *used < parts.size(); ++*used) {
        KeyRow row;
        if (!store.FindChild(*key, parts[*used], &row)) {
            return true;
        }
        if (!row.mount.empty()) {
            return false;
        }
        *key = row.id;
    }
    return true;
}

// RegCreateKeyExA in one write transaction of the base's store: the walk,
// and every missing key on the way, only the last getting the class. A
// volatile key is kept like any other: the store has no system start at
// which it would vanish. False, with nothing done, when a loaded hive is on
// the way; else true with the key reached in `pos`, or with `refusal` set.
bool CreateInOneTransaction(const KeyHandle& base, const std::vector<std::string>& parts,
                            LPCSTR className, KeyPosition* pos, bool* created, LONG* refusal) {
    bool plain = true;
    base.store->Run(Store::Mode::Write, [&] {
        int64_t key = base.key;
        size_t used = 0;
        *created = false;
        *refusal = ERROR_SUCCESS;
        plain = WalkInTransaction(*base.store, &key, parts, &used);
        if (!plain) {
            return;
        }
        if (used < parts.size()) {
            // Below the ODBC.INI key, the host's data sources are not made.
            const KeyPosition stop{base.store, key};
            const HostView stopView =
                used == 0 ? Reread(base.host) : HostViewOfKey(stop, parts[used - 1]);
            if (HostDataSourceBelow(stopView, parts[used]).role == HostRole::DataSource) {
                *refusal = ERROR_ACCESS_DENIED;
                return;
            }
            for (size_t i = used; i < parts.size(); ++i) {
                const bool last = i + 1 == parts.size();
                key = base.store->CreateChild(key, parts[i],
                                              last && className != nullptr ? className : "");
            }
            *created = true;
        }
        pos->store = base.store;
        pos->key = key;
    });
    return plain;
}

// RegDeleteKeyA of the key a walk from `base` reached after `used` names,
// inside a write transaction of the store at `pos`. Only a key without
// sub-keys may be deleted, the host's data sources it shows counting as
// sub-keys; its values go with it.
LONG DeleteWalked(const KeyHandle& base, const KeyPosition& pos,
                  const std::vector<std::string>& parts, size_t used) {
    if (used < parts.size()) {
        const HostView source =
            HostDataSourceBelow(ViewWhereWalkStopped(base, pos, parts, used), parts[used]);
        return source.role == HostRole::DataSource && used + 1 == parts.size()
                   ? ERROR_ACCESS_DENIED
                   : ERROR_FILE_NOT_FOUND;
    }
    // The root of a hive (and so a loaded hive's mount point) is never
    // deleted; RegUnLoadKeyA removes a loaded hive.
    if (pos.key == kRootKeyId) {
        return ERROR_ACCESS_DENIED;
    }
    if (!pos.store->KeyExists(pos.key)) {
        return parts.empty() ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
    }
    if (pos.store->HasChildren(pos.key) ||
        HostAddsSubKeys(ViewWhereWalkStopped(base, pos, parts, used))) {
        return ERROR_ACCESS_DENIED;
    }
    KeyRow deleted;
    pos.store->GetKey(pos.key, &deleted);
    pos.store->DeleteLeafKey(pos.key);
    // A data source's key or the list going takes its published section.
    PublishAfterKeyDelete(*pos.store, deleted);
    return ERROR_SUCCESS;
}

LONG OpenKey(HKEY hKey, LPCSTR lpSubKey, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
             bool create, PHKEY phkResult, LPDWORD lpdwDisposition) {
    std::shared_ptr<KeyHandle> base;
    std::vector<std::string> parts;
    // Opening or creating below a handle does not depend on that handle's
    // rights, only on the rights asked for the new handle.
    LONG status = ResolveKeyPath(hKey, lpSubKey, &base, &parts);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // RegOpenKeyExA of "" below a predefined root gives the root back.
    if (!create && parts.empty() && IsPredefined(hKey)) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    if (create && (dwOptions & REG_OPTION_CREATE_LINK) != 0) {
        return ERROR_NOT_SUPPORTED;  // the store has no symbolic links
    }
    if (base->host.role == HostRole::DataSource) {
        if (!parts.empty()) {
            return create ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        }
        const HostView view = Reread(base->host);
        if (view.role != HostRole::DataSource) {
            return ERROR_KEY_DELETED;
        }
        return OpenHostDataSource(base->store, view, base->depth, samDesired, create, phkResult);
    }
    const int depth = base->depth + static_cast<int>(parts.size());
    if (create && depth > kMaxKeyDepth) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyPosition pos{base->store, base->key};
    bool created = false;
    HostView view;
    size_t used = 0;
    bool done = false;
    // Creating in a store that may be written takes one transaction, also
    // for a key that exists; only a loaded hive on the way needs the walk
    // below first.
    if (create && base->store->Writable()) {
        LONG refusal = ERROR_SUCCESS;
        done = CreateInOneTransaction(*base, parts, lpClass, &pos, &created, &refusal);
        if (refusal != ERROR_SUCCESS) {
            return refusal;
        }
        if (done) {
            used = parts.size();
            view = parts.empty() ? Reread(base->host) : HostViewOfKey(pos, parts.back());
        }
    }
    if (!done) {
        used = WalkPath(&pos, parts);
    }
    REGSAM access = MapAccess(samDesired, pos.store->Writable());
    if (done) {
        // Made or found above.
    } else if (used < parts.size()) {
        // Below the ODBC.INI key, a name the store does not hold may be one
        // of the host's data sources: read-only, without sub-keys.
        const HostView source =
            HostDataSourceBelow(ViewWhereWalkStopped(*base, pos, parts, used), parts[used]);
        if (source.role == HostRole::DataSource) {
            if (used + 1 < parts.size()) {
                return create ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
            }
            return OpenHostDataSource(pos.store, source, depth, samDesired, create, phkResult);
        }
        if (!create) {
            return OpenViewOnly(*base, pos, parts, depth, samDesired, phkResult);
        }
        // Every missing key on the way is made, all in one transaction; only
        // the last one gets the class. A volatile key is kept like any
        // other: the store has no system start at which it would vanish.
        pos.store->Run(Store::Mode::Write, [&] {
            int64_t key = pos.key;
            created = false;
            if (!pos.store->KeyExists(key)) {
                throw StoreError{ERROR_KEY_DELETED};
            }
            for (size_t i = used; i < parts.size(); ++i) {
                KeyRow row;
                if (pos.store->FindChild(key, parts[i], &row)) {
                    key = row.id;
                    continue;
                }
                bool last = i + 1 == parts.size();
                key = pos.store->CreateChild(key, parts[i],
                                             last && lpClass != nullptr ? lpClass : "");
                created = true;
            }
            pos.key = key;
        });
        view = HostViewOfKey(pos, parts.back());
    } else if (WantsWrite(access) && !pos.store->Writable()) {
        // A store this process may not write refuses write access.
        return ERROR_ACCESS_DENIED;
    } else {
        view = ViewWhereWalkStopped(*base, pos, parts, used);
    }
    auto handle = std::make_shared<KeyHandle>();
    handle->store = pos.store;
    handle->key = pos.key;
    handle->depth = depth;
    handle->access = access;
    handle->host = view;
    *phkResult = AddHandle(std::move(handle));
    if (lpdwDisposition != nullptr) {
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                   PHKEY phkResult) {
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    return Guarded(
        [&] { return OpenKey(hKey, lpSubKey, nullptr, 0, samDesired, false, phkResult, nullptr); });
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, const SECURITY_ATTRIBUTES* /*lpSecurityAttributes*/,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
    // The sub-key may not be NULL here (unlike RegOpenKeyExA); "" gives a
    // new handle to the key itself.
    if (phkResult == nullptr || lpSubKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    constexpr DWORD kKnownOptions = REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK |
                                    REG_OPTION_BACKUP_RESTORE | REG_OPTION_OPEN_LINK;
    if ((dwOptions & ~kKnownOptions) != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    return Guarded([&] {
        return OpenKey(hKey, lpSubKey, lpClass, dwOptions, samDesired, true, phkResult,
                       lpdwDisposition);
    });
}

LONG RegCloseKey(HKEY hKey) {
    // Closing a predefined root succeeds and does nothing; NULL or a handle
    // that is not open gives ERROR_INVALID_HANDLE. A handle to a deleted key
    // still closes.
    if (IsPredefined(hKey)) {
        return ERROR_SUCCESS;
    }
    return RemoveHandle(hKey);
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                   LPDWORD /*lpReserved*/, LPSTR lpClass, LPDWORD lpcchClass,
                   PFILETIME lpftLastWriteTime) {
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> h;
        LONG status = AcquireHandle(hKey, KEY_ENUMERATE_SUB_KEYS, &h);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (lpName == nullptr || lpcchName == nullptr ||
            (lpClass != nullptr && lpcchClass == nullptr)) {
            return ERROR_INVALID_PARAMETER;
        }
        ShownSubKey shown;
        if (!ViewSubKey(*h, dwIndex, &shown)) {
            return ERROR_NO_MORE_ITEMS;
        }
        const KeyRow* found = shown.row;
        status = CopyName(found->name, lpName, lpcchName);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (lpClass != nullptr) {
            status = CopyName(found->className, lpClass, lpcchClass);
            if (status != ERROR_SUCCESS) {
                return status;
            }
        } else if (lpcchClass != nullptr) {
            *lpcchClass = static_cast<DWORD>(found->className.size());
        }
        if (lpftLastWriteTime != nullptr) {
            ToFileTime(found->lastWrite, lpftLastWriteTime);
        }
        return ERROR_SUCCESS;
    });
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> h;
        LONG status = AcquireHandle(hKey, KEY_QUERY_VALUE, &h);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
            (lpData != nullptr && lpcbData == nullptr)) {
            return ERROR_INVALID_PARAMETER;
        }
        ShownValue shown;
        if (!ViewValue(*h, dwIndex, &shown)) {
            return ERROR_NO_MORE_ITEMS;
        }
        const ValueRecord* found = shown.value;
        status = CopyName(found->name, lpValueName, lpcchValueName);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (lpType != nullptr) {
            *lpType = found->type;
        }
        return CopyData(found->data, lpData, lpcbData);
    });
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> h;
        LONG status = AcquireHandle(hKey, KEY_QUERY_VALUE, &h);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr)) {
            return ERROR_INVALID_PARAMETER;
        }
        KeyRow row;
        Store::Info info;
        std::string security;
        ViewInfo(*h, &row, &info, &security);
        // Lengths are in characters without the NUL; data sizes in bytes.
        if (lpcSubKeys != nullptr) {
            *lpcSubKeys = info.subKeys;
        }
        if (lpcbMaxSubKeyLen != nullptr) {
            *lpcbMaxSubKeyLen = info.maxSubKeyName;
        }
        if (lpcbMaxClassLen != nullptr) {
            *lpcbMaxClassLen = info.maxClass;
        }
        if (lpcValues != nullptr) {
            *lpcValues = info.values;
        }
        if (lpcbMaxValueNameLen != nullptr) {
            *lpcbMaxValueNameLen = info.maxValueName;
        }
        if (lpcbMaxValueLen != nullptr) {
            *lpcbMaxValueLen = info.maxValueData;
        }
        if (lpcbSecurityDescriptor != nullptr) {
            *lpcbSecurityDescriptor = static_cast<DWORD>(security.size());
        }
        if (lpftLastWriteTime != nullptr) {
            ToFileTime(row.lastWrite, lpftLastWriteTime);
        }
        if (lpClass != nullptr) {
            if (CopyName(row.className, lpClass, lpcchClass) != ERROR_SUCCESS) {
                // The class does not fit: the length it needs, without NUL.
                *lpcchClass = static_cast<DWORD>(row.className.size());
                return ERROR_MORE_DATA;
            }
        } else if (lpcchClass != nullptr) {
            *lpcchClass = static_cast<DWORD>(row.className.size());
        }
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> h;
        LONG status = AcquireHandle(hKey, KEY_QUERY_VALUE, &h);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        // A data buffer needs its size; the size alone asks for the size.
        if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
            return ERROR_INVALID_PARAMETER;
        }
        ValueRecord value;
        // NULL and "" name the key's default value.
        const std::string name = lpValueName != nullptr ? lpValueName : "";
        if (!ViewFindValue(*h, name, &value)) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (lpType != nullptr) {
            *lpType = value.type;
        }
        return CopyData(value.data, lpData, lpcbData);
    });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> h;
        LONG status = AcquireHandle(hKey, KEY_SET_VALUE, &h);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        std::string name = lpValueName != nullptr ? lpValueName : "";
        if (name.size() > kMaxValueNameLength || (lpData == nullptr && cbData != 0)) {
            return ERROR_INVALID_PARAMETER;
        }
        // The data are kept exactly as given: a REG_SZ keeps the size it was
        // written with, with or without its NUL.
        h->store->Run(Store::Mode::Write, [&] {
            // A data source that the list shows from the host is the host's
            // to change; a name the store lists already is the store's.
            if (ViewShowsHostValue(*h, name)) {
                throw StoreError{ERROR_ACCESS_DENIED};
            }
            h->store->SetValue(h->key, name, dwType, lpData, cbData);
            // In the same transaction: a section that cannot be written
            // undoes the value.
            PublishAfterValueChange(*h->store, h->key, name);
        });
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> h;
        LONG status = AcquireHandle(hKey, KEY_SET_VALUE, &h);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        LONG result = ERROR_SUCCESS;
        const std::string name = lpValueName != nullptr ? lpValueName : "";
        h->store->Run(Store::Mode::Write, [&] {
            if (h->store->DeleteValue(h->key, name)) {
                result = ERROR_SUCCESS;
                PublishAfterValueChange(*h->store, h->key, name);
            } else {
                result = ViewShowsHostValue(*h, name) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
            }
        });
        return result;
    });
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    if (lpSubKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> base;
        std::vector<std::string> parts;
        LONG status = ResolveKeyPath(hKey, lpSubKey, &base, &parts);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        // "" deletes the handle's own key; a predefined root cannot go.
        if (parts.empty() && IsPredefined(hKey)) {
            return ERROR_ACCESS_DENIED;
        }
        // The host's data sources are deleted with the driver manager's tools.
        if (IsHostDataSource(*base)) {
            return parts.empty() ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        }
        // A store that may be written takes one transaction for the walk and
        // the deletion; a loaded hive on the way needs the walk first.
        if (base->store->Writable()) {
            bool plain = true;
            LONG result = ERROR_SUCCESS;
            base->store->Run(Store::Mode::Write, [&] {
                int64_t key = base->key;
                size_t used = 0;
                plain = WalkInTransaction(*base->store, &key, parts, &used);
                if (plain) {
                    result = DeleteWalked(*base, KeyPosition{base->store, key}, parts, used);
                }
            });
            if (plain) {
                return result;
            }
        }
        KeyPosition pos{base->store, base->key};
        const size_t used = WalkPath(&pos, parts);
        LONG result = ERROR_SUCCESS;
        pos.store->Run(Store::Mode::Write, [&] { result = DeleteWalked(*base, pos, parts, used); });
        return result;
    });
}

LONG RegFlushKey(HKEY hKey) {
    // Changes are committed by each call but reach the disk lazily, as in the
    // Windows registry; flushing forces everything committed to the disk.
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> h;
        LONG status = ResolveHandle(hKey, &h);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (!ViewHasStoreKey(*h)) {
            return ERROR_SUCCESS;  // nothing of the store's to force
        }
        h->store->Run(Store::Mode::Read, [&] { RequireKey(*h); });
        h->store->Flush();
        return ERROR_SUCCESS;
    });
}

LONG RegGetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation,
                       PSECURITY_DESCRIPTOR pSecurityDescriptor, LPDWORD lpcbSecurityDescriptor) {
    // The descriptor is kept as opaque bytes and returned whole, whatever
    // parts SecurityInformation names. Reading it needs READ_CONTROL, the
    // SACL also ACCESS_SYSTEM_SECURITY.
    REGSAM need = READ_CONTROL;
    if (SecurityInformation & SACL_SECURITY_INFORMATION) {
        need |= ACCESS_SYSTEM_SECURITY;
    }
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> h;
        LONG status = AcquireHandle(hKey, need, &h);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (lpcbSecurityDescriptor == nullptr) {
            return ERROR_INVALID_PARAMETER;
        }
        std::string security;
        if (!ViewHasStoreKey(*h)) {
            security.assign(reinterpret_cast<const char*>(kDefaultSecurity), kDefaultSecuritySize);
        } else {
            h->store->Run(Store::Mode::Read, [&] { security = h->store->GetSecurity(h->key); });
        }
        auto size = static_cast<DWORD>(security.size());
        if (pSecurityDescriptor == nullptr || *lpcbSecurityDescriptor < size) {
            *lpcbSecurityDescriptor = size;
            return ERROR_INSUFFICIENT_BUFFER;
        }
        std::memcpy(pSecurityDescriptor, security.data(), size);
        *lpcbSecurityDescriptor = size;
        return ERROR_SUCCESS;
    });
}

LONG RegSetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation,
                       PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    // Writing the owner or group needs WRITE_OWNER, the DACL WRITE_DAC, the
    // SACL ACCESS_SYSTEM_SECURITY. The descriptor replaces the stored one
    // whole; it must be self-relative (ERROR_INVALID_SECURITY_DESCR).
    REGSAM need = 0;
    if (SecurityInformation & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) {
        need |= WRITE_OWNER;
    }
    if (SecurityInformation & DACL_SECURITY_INFORMATION) {
        need |= WRITE_DAC;
    }
    if (SecurityInformation & SACL_SECURITY_INFORMATION) {
        need |= ACCESS_SYSTEM_SECURITY;
    }
    return Guarded([&]() -> LONG {
        std::shared_ptr<KeyHandle> h;
        LONG status = AcquireHandle(hKey, need, &h);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        if (pSecurityDescriptor == nullptr || need == 0) {
            return ERROR_INVALID_PARAMETER;
        }
        if (!ViewHasStoreKey(*h)) {
            return ERROR_ACCESS_DENIED;  // read-only here
        }
        const auto* bytes = static_cast<const BYTE*>(pSecurityDescriptor);
        DWORD length = SelfRelativeLength(bytes);
        if (length == 0) {
            return ERROR_INVALID_SECURITY_DESCR;
        }
        std::string descriptor(reinterpret_cast<const char*>(bytes), length);
        h->store->Run(Store::Mode::Write, [&] {
            RequireKey(*h);
            h->store->SetSecurity(h->key, descriptor);
        });
        return ERROR_SUCCESS;
    });
}

namespace vorla::platform {

bool IsHostDataSourceKey(HKEY key) {
    if (IsPredefined(key)) {
        return false;
    }
    std::shared_ptr<KeyHandle> h;
    return ResolveHandle(key, &h) == ERROR_SUCCESS && IsHostDataSource(*h);
}

}  // namespace vorla::platform
