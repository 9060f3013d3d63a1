// Registry key handles of the POSIX platform layer and the hive stores they
// point into.
//
// An HKEY that is not a predefined root is the address of a KeyHandle owned by
// this process's handle table. The predefined roots keep their Windows values
// and resolve, per prefix, to handle objects of the table's own, so that every
// call works on a KeyHandle. Store connections are cached per prefix: when
// VORLA_PREFIX changes, later calls open the new prefix's files while handles
// opened earlier keep the store they were opened in.
#pragma once

#include "HostDataSources.h"
#include "RegistryStore.h"

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace vorla::platform::registry {

// What a handle shows of the host's ODBC data sources besides the store's
// own (see RegistryHostView.h).
enum class HostRole {
    None,        // a key of the store, nothing more
    OdbcIni,     // the ODBC.INI key: the host's data sources are sub-keys too
    List,        // the data-source list: the host's data sources are values too
    DataSource,  // one of the host's data sources; no key of the store
};

struct HostView {
    HostRole role = HostRole::None;
    HostScope scope = HostScope::User;
    // The host's data sources as they were when the handle was opened.
    std::shared_ptr<const HostSnapshot> snapshot;
    // DataSource: the one shown, inside `snapshot`.
    const HostDataSource* source = nullptr;
    // The mark of the sections that this prefix published (see Publish.h):
    // they are the store's own data sources, or stale ones, never the
    // host's, and are not shown.
    std::string ownMark;
};

// One item of an enumeration: a sub-key or value of the store, or one of the
// host's data sources.
struct EnumItem {
    const KeyRow* row = nullptr;
    const ValueRecord* value = nullptr;
    const HostDataSource* host = nullptr;
};

// The store's sub-keys or values merged with the host's data sources, kept
// while the store's list they were made from is current.
struct EnumCache {
    std::shared_ptr<const void> source;
    std::vector<EnumItem> items;
};

// How deep a key may stand below its root. Windows documents that "a
// registry tree can be 512 levels deep" (Registry Element Size Limits) but
// not the status for a deeper key, and Wine neither limits the depth nor
// tests it; creating one gives ERROR_INVALID_PARAMETER here, the status of
// every other name or path that breaks a documented limit.
constexpr int kMaxKeyDepth = 512;

struct KeyHandle {
    std::shared_ptr<Store> store;
    // The key in `store`; 0 for a key that only the view shows: one of the
    // host's data sources, or the ODBC.INI or list key of a store that has
    // none (see RegistryKeyView.h).
    int64_t key = kRootKeyId;
    // Levels below the predefined root (HKEY_CLASSES_ROOT stands two below
    // the machine's root).
    int depth = 0;
    REGSAM access = 0;
    HostView host;
    EnumCache subKeys;
    EnumCache values;
    // Set when the handle is closed, for notifications still waiting on it.
    std::shared_ptr<std::atomic<bool>> closed = std::make_shared<std::atomic<bool>>(false);
};

// The handle object behind `hKey`: a predefined root of this prefix or a
// handle from this table. 0 or a Win32 status (6 for anything else).
LONG ResolveHandle(HKEY hKey, std::shared_ptr<KeyHandle>* out);

bool IsPredefined(HKEY hKey);

// The hive kind a predefined root lives in; false for the roots that have no
// store on POSIX.
bool HiveOfRoot(HKEY hKey, HiveKind* kind);

HKEY AddHandle(std::shared_ptr<KeyHandle> handle);
// Removes `hKey` from the table: 0, or 6 when it is not an open handle.
LONG RemoveHandle(HKEY hKey);
// Whether an open handle of this process points into `store`.
bool AnyHandleOn(const Store* store);

// The cached connection to a hive file of the current prefix (or to a loaded
// hive file, by its absolute path).
std::shared_ptr<Store> OpenHive(HiveKind kind);
std::shared_ptr<Store> OpenHiveFile(const std::string& path, bool create);
// Drops a loaded hive file's connection from the cache.
void ForgetHiveFile(const std::string& path);

// Splits a sub-key path into its names by the Windows rules: a leading '\'
// gives ERROR_BAD_PATHNAME except that one is skipped below
// HKEY_CLASSES_ROOT, empty names from repeated or trailing '\' are dropped,
// and a name longer than 255 characters gives ERROR_INVALID_PARAMETER.
LONG SplitKeyPath(HKEY base, const char* path, std::vector<std::string>* parts);

// Where a walk along a path stands: a key of a store.
struct KeyPosition {
    std::shared_ptr<Store> store;
    int64_t key = kRootKeyId;
};

// Follows `parts` from `pos` as far as the keys exist, stepping into loaded
// hives on the way; returns how many names it consumed. ERROR_KEY_DELETED
// when the starting key no longer exists.
size_t WalkPath(KeyPosition* pos, const std::vector<std::string>& parts);

// The access a handle gets for a requested mask: generic rights mapped to
// key rights, MAXIMUM_ALLOWED to everything the store allows.
REGSAM MapAccess(REGSAM desired, bool writable);
// Whether `access` includes a right that changes the key.
bool WantsWrite(REGSAM access);

// ResolveHandle, then the check that the handle holds every right in `need`
// (ERROR_ACCESS_DENIED otherwise).
LONG AcquireHandle(HKEY hKey, REGSAM need, std::shared_ptr<KeyHandle>* out);

// Runs the body of a registry function, turning the errors raised inside
// into the status the function returns.
template <class Body>
LONG Guarded(Body&& body) {
    try {
        return body();
    } catch (const StoreError& e) {
        return e.status;
    } catch (const StoreBusy&) {
        return ERROR_BUSY;
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}

}  // namespace vorla::platform::registry
