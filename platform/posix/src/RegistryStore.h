// The registry store on POSIX: one SQLite database per hive.
//
// A Store is one process's connection to one hive file. Every call that
// changes a hive runs as one write transaction (BEGIN IMMEDIATE ... COMMIT),
// so a process killed at any moment leaves each key and value as it was
// before the call or after it. Failures travel as StoreError carrying the
// Win32 status the registry functions return.
#pragma once

#include "platform/Win32.h"

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vorla::platform::registry {

// A Win32 status raised from deep inside a registry call.
// The status macros are `long` literals (as in winerror.h); the status is LONG.
struct StoreError {
    explicit StoreError(long code) : status(static_cast<LONG>(code)) {}
    LONG status;
};

// Thrown when SQLite reports contention (SQLITE_BUSY / SQLITE_LOCKED) so the
// transaction runner can roll back and run the whole call again.
struct StoreBusy {};

enum class HiveKind { System, User, Users, Config, File };

// Id of the root key of every hive file.
constexpr int64_t kRootKeyId = 1;

// Size in bytes of the descriptor a new key gets.
constexpr DWORD kDefaultSecuritySize = 20;
// A minimal self-relative SECURITY_DESCRIPTOR: Revision 1, Control
// SE_SELF_RELATIVE (0x8000), no owner, group, SACL or DACL.
extern const BYTE kDefaultSecurity[kDefaultSecuritySize];

// What a change did to a key, for the change counters that notification and
// the enumeration caches watch.
enum ChangeKind : unsigned { kChangeName = 1, kChangeValue = 2, kChangeSecurity = 4 };

// The change counters of one key: its own, and its tree's (itself included).
struct KeyStamps {
    int64_t name = 0, value = 0, security = 0;
    int64_t treeName = 0, treeValue = 0, treeSecurity = 0;
    bool operator==(const KeyStamps& o) const {
        return name == o.name && value == o.value && security == o.security &&
               treeName == o.treeName && treeValue == o.treeValue && treeSecurity == o.treeSecurity;
    }
};

struct ValueRecord {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
};

// A key with everything below it, for saving and restoring hives.
struct TreeNode {
    std::string name;
    std::string className;
    std::string security;
    int64_t lastWrite = 0;
    std::vector<ValueRecord> values;
    std::vector<TreeNode> children;
};

struct KeyRow {
    int64_t id = 0;
    int64_t parent = 0;  // 0 for the root of the hive
    std::string name;
    std::string className;
    std::string mount;  // non-empty: the hive file loaded at this key
    int64_t lastWrite = 0;
};

class LockWait;

class Store {
public:
    // Opens the hive file at `path`. A missing file is created (mode 0600,
    // complete before it appears under its name) when `create` is set, else
    // the call fails with ERROR_FILE_NOT_FOUND. A file that is not a store
    // fails with ERROR_BADDB and is left as it is.
    static std::shared_ptr<Store> Open(const std::string& path, HiveKind kind, bool create);

    // Writes `tree` as the root of a new store file at `path`; an existing
    // file gives ERROR_ALREADY_EXISTS and is not touched.
    static void CreateFromTree(const std::string& path, const TreeNode& tree);

    // A second connection of this process to the same file, for a thread
    // that must not share this one's lock (a notification's poller: a fork
    // while it polls must not leave the child a store locked for ever).
    std::shared_ptr<Store> Reopen() const { return Open(m_path, m_kind, false); }

    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const std::string& Path() const { return m_path; }
    HiveKind Kind() const { return m_kind; }
    bool Writable() const { return m_writable; }
    // Forces every committed change of this store to the disk.
    void Flush();
    // Closes the connection, which folds the write-ahead log into the store
    // file and removes it; a later call opens a new connection.
    void Release();

    // Runs `body` as one transaction, again from the start when another
    // process holds the lock for longer than the busy timeout, so contention
    // only slows a call. A write transaction on a read-only store fails with
    // ERROR_ACCESS_DENIED before anything runs.
    enum class Mode { Read, Write };
    void Run(Mode mode, const std::function<void()>& body);

    // The calls below must run inside Run.
    bool KeyExists(int64_t id);
    bool GetKey(int64_t id, KeyRow* row);
    // The child named `name` (case folded) of `parent`, or false.
    bool FindChild(int64_t parent, const std::string& name, KeyRow* row);
    int64_t CreateChild(int64_t parent, const std::string& name, const std::string& className);
    bool HasChildren(int64_t id);
    void DeleteLeafKey(int64_t id);
    KeyStamps Stamps(int64_t id);

    std::vector<int64_t> ChildIdsSorted(int64_t parent);
    std::vector<int64_t> ValueIdsOrdered(int64_t key);
    // The same lists with each item's name.
    using NamedIds = std::vector<std::pair<int64_t, std::string>>;
    NamedIds ChildNamesSorted(int64_t parent);
    NamedIds ValueNamesOrdered(int64_t key);
    bool GetValueById(int64_t valueId, int64_t key, ValueRecord* value);
    bool GetValue(int64_t key, const std::string& name, ValueRecord* value);
    void SetValue(int64_t key, const std::string& name, DWORD type, const BYTE* data, DWORD size);
    bool DeleteValue(int64_t key, const std::string& name);

    struct Info {
        DWORD subKeys = 0, maxSubKeyName = 0, maxClass = 0;
        DWORD values = 0, maxValueName = 0, maxValueData = 0;
    };
    Info QueryInfo(int64_t key);

    std::string GetSecurity(int64_t key);
    void SetSecurity(int64_t key, const std::string& descriptor);

    TreeNode ReadTree(int64_t key);
    // Replaces the values and sub-keys of `key` with those of `tree`.
    void ReplaceTree(int64_t key, const TreeNode& tree);
    bool TreeHasMount(int64_t key);
    void SetMount(int64_t key, const std::string& file);

    // Records a change of the given kinds to `key`: a new change number on
    // the key and its ancestors and, with `touch`, a new last-write time.
    void NoteChange(int64_t key, unsigned kinds, bool touch);

private:
    // The ids a one-parameter query gives, in its order.
    std::vector<int64_t> IdList(const char* sql, int64_t param);
    // The (id, name) rows a one-parameter query gives, in its order.
    NamedIds NamedIdList(const char* sql, int64_t param);

    Store(std::string path, HiveKind kind, sqlite3* db, bool writable);
    // SQLite's busy handler: waits through the running call's LockWait.
    static int Busy(void* store, int count);
    void MarkCorrupt();
    static void InitSchema(sqlite3* db, HiveKind kind, const TreeNode* tree);

    sqlite3_stmt* Prepare(const char* sql);
    void Exec(const char* sql);
    void EnsureConnection();

    std::string m_path;
    HiveKind m_kind;
    sqlite3* m_db;
    bool m_writable;
    pid_t m_pid;
    std::recursive_mutex m_lock;
    std::unordered_map<const char*, sqlite3_stmt*> m_statements;
    int64_t m_changeNumber = 0;  // of the running write transaction, 0 until needed
    bool m_corrupt = false;
    // The wait of the call running now, for SQLite's busy handler.
    LockWait* m_wait = nullptr;
};

// Removes what store files built in `dir` by processes that no longer run
// left behind (a build is made under a temporary name and linked into place;
// a process killed in between leaves the temporary file).
void RemoveInterruptedBuilds(const std::string& dir);

// Current time as a FILETIME count (100 ns since 1601-01-01 UTC).
int64_t FileTimeNow();

// Maps an SQLite result to the Win32 status of a registry call.
LONG StatusFromSqlite(int rc);

// Whether the process may write the file (or directory) at `path`, from the
// permission bits as they apply to its effective ids; root is treated as the
// file's owner so that a 0400 store stays read-only even for root.
bool MayWrite(const std::string& path);

}  // namespace vorla::platform::registry
