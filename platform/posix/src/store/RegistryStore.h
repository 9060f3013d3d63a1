// The registry store on POSIX: one SQLite database per hive.
//
// A Store is one process's connection to one hive file. Every call that
// changes a hive runs as one write transaction (BEGIN IMMEDIATE ... COMMIT),
// so a process killed at any moment leaves each key and value as it was
// before the call or after it. Failures travel as StoreError carrying the
// Win32 status the registry functions return.
//
// The implementation is split by concern:
//   StoreFile.cpp         the file: schema, building, opening and checking
//   StoreTransaction.cpp  the connection and its transactions
//   StoreKeys.cpp         keys: rows, paths, trees, change stamps
//   StoreValues.cpp       values and the counts of a key
//   StoreEnum.cpp         sub-key and value lists for enumeration, kept in
//                         memory while the file does not change
#pragma once

#include "platform/Win32.h"

#include <sqlite3.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
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

// What a change did to a key, for the change stamps that notification
// watches.
enum ChangeKind : unsigned { kChangeName = 1, kChangeValue = 2, kChangeSecurity = 4 };

// The change stamps of one key, and with a subtree those of its whole tree
// folded into one number each: any change below the key moves them.
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
    std::string fold;  // the name with ASCII letters upper-cased
    std::string className;
    std::string mount;  // non-empty: the hive file loaded at this key
    int64_t lastWrite = 0;
    std::string security;  // the self-relative descriptor, as opaque bytes
};

// The sub-keys of a key in the order of enumeration (their upper-cased
// names), and its values in the order they were first created.
using ChildList = std::vector<KeyRow>;
using ValueList = std::vector<ValueRecord>;

class LockWait;
class ChangeWatch;

class Store {
public:
    // Opens the hive file at `path`. A missing file is created (mode 0600,
    // complete before it appears under its name) when `create` is set, else
    // the call fails with ERROR_FILE_NOT_FOUND. A file that is not a store
    // fails with ERROR_BADDB and one that fails SQLite's quick check with
    // ERROR_REGISTRY_CORRUPT; either is left as it is.
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
    // process holds the lock, for at most the wait limit (then
    // ERROR_BUSY). A write transaction on a read-only store fails with
    // ERROR_ACCESS_DENIED before anything runs.
    enum class Mode { Read, Write };
    template <class Body>
    void Run(Mode mode, Body&& body) {
        using Plain = std::remove_reference_t<Body>;
        RunErased(
            mode, [](void* f) { (*static_cast<Plain*>(f))(); },
            const_cast<void*>(static_cast<const void*>(&body)));
    }

    // The sub-keys and the values of `key`, read in one transaction and kept
    // while the store file does not change (any process's commit changes
    // it), so that scanning a key by index costs a lookup per index. They
    // run their own transaction: not inside Run. ERROR_KEY_DELETED when the
    // key is gone.
    std::shared_ptr<const ChildList> Children(int64_t key);
    std::shared_ptr<const ValueList> Values(int64_t key);

    // Follows `parts` from `parts[from]` below `*key` as far as the keys
    // exist, leaving `*key` at the last one found; stops after a key that has
    // a hive loaded at it, with the hive file in `*mount`. Returns the index
    // of the first name not followed. Kept sub-key lists serve where they are
    // current, one transaction the rest. ERROR_KEY_DELETED when the starting
    // key is gone. Runs its own transaction: not inside Run.
    size_t Walk(int64_t* key, const std::vector<std::string>& parts, size_t from,
                std::string* mount);

    // The key's own row, kept like the lists; false when the key is gone.
    bool Row(int64_t id, KeyRow* row);
    // The value `name` of `key`, from the kept list where it is short; false
    // when there is none. ERROR_KEY_DELETED when the key is gone.
    bool FindValue(int64_t key, const std::string& name, ValueRecord* value);

    // The counts and longest names and data of a key (RegQueryInfoKeyA),
    // from the same lists.
    struct Info {
        DWORD subKeys = 0, maxSubKeyName = 0, maxClass = 0;
        DWORD values = 0, maxValueName = 0, maxValueData = 0;
    };
    Info QueryInfo(int64_t key);

    // The calls below must run inside Run.
    bool KeyExists(int64_t id);
    bool GetKey(int64_t id, KeyRow* row);
    // The child named `name` (case folded) of `parent`, or false.
    bool FindChild(int64_t parent, const std::string& name, KeyRow* row);
    int64_t CreateChild(int64_t parent, const std::string& name, const std::string& className);
    bool HasChildren(int64_t id);
    void DeleteLeafKey(int64_t id);
    // The key's stamps; with `subtree`, its tree's as well.
    KeyStamps Stamps(int64_t id, bool subtree);

    bool GetValue(int64_t key, const std::string& name, ValueRecord* value);
    // Every value of `key`, in enumeration order, read in the transaction
    // that runs.
    ValueList ReadValues(int64_t key) {
        ValueList list;
        LoadValues(key, &list);
        return list;
    }
    // Sets the value; ERROR_KEY_DELETED when the key is gone.
    void SetValue(int64_t key, const std::string& name, DWORD type, const BYTE* data, DWORD size);
    // False when there is no such value; ERROR_KEY_DELETED when the key is
    // gone.
    bool DeleteValue(int64_t key, const std::string& name);

    // Notes of the layers above the registry, kept in the store file beside
    // the tree and changed with it in a transaction, never shown as keys or
    // values: whether the note `name` is there, and setting or removing it.
    bool HasNote(const std::string& name);
    void SetNote(const std::string& name, bool present);

    std::string GetSecurity(int64_t key);
    void SetSecurity(int64_t key, const std::string& descriptor);

    TreeNode ReadTree(int64_t key);
    // Replaces the values and sub-keys of `key` with those of `tree`.
    void ReplaceTree(int64_t key, const TreeNode& tree);
    bool TreeHasMount(int64_t key);
    void SetMount(int64_t key, const std::string& file);

private:
    friend class StoreBuilder;

    Store(std::string path, HiveKind kind, sqlite3* db, bool writable);
    static void InitSchema(sqlite3* db, HiveKind kind, const TreeNode* tree);

    void RunErased(Mode mode, void (*body)(void*), void* context);
    // Records a change of the given kinds to `key` with this transaction's
    // change number and, with `touch`, a new last-write time. Fails with
    // ERROR_KEY_DELETED when the key is gone.
    void NoteChange(int64_t key, unsigned kinds, bool touch);
    // SQLite's busy handler: waits through the running call's LockWait.
    static int Busy(void* store, int count);
    void MarkCorrupt();

    sqlite3_stmt* Prepare(const char* sql);
    void Exec(const char* sql);
    void EnsureConnection();
    // Runs one of the prepared transaction statements; its SQLite result.
    int Control(const char* sql);

    // Whether nothing was committed since the last time this was asked.
    bool Unchanged();
    // Drops the kept lists when the file changed since they were read.
    void ForgetIfChanged();
    // Before and after a write transaction of this connection: keeps the
    // lists that it did not change when nothing else was committed meanwhile.
    void BeforeWrite();
    void AfterWrite(bool committed);
    // Drops everything known of the file: the lists and the watch.
    void ForgetFile();
    template <class List>
    std::shared_ptr<const List> Cached(
        int64_t key, std::unordered_map<int64_t, std::shared_ptr<const List>>& map,
        void (Store::*load)(int64_t, List*));
    void LoadChildren(int64_t key, ChildList* list);
    void LoadValues(int64_t key, ValueList* list);

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
    // What says whether the file changed since the lists below were read.
    std::unique_ptr<ChangeWatch> m_watch;
    bool m_watchTried = false;
    std::array<unsigned char, 48> m_mark{};
    bool m_knowsMark = false;
    int64_t m_version = 0;
    bool m_knowsVersion = false;
    std::unordered_map<int64_t, std::shared_ptr<const ChildList>> m_children;
    std::unordered_map<int64_t, std::shared_ptr<const ValueList>> m_values;
    std::unordered_map<int64_t, KeyRow> m_rows;
    // What the running write transaction changed, to be done to the kept
    // lists as well once it commits (all are dropped when a whole tree was
    // replaced).
    struct Touch {
        enum class What { Stamp, AddKey, DeleteKey, SetValue, DeleteValue, Security } what;
        int64_t key;        // the key changed (the new or deleted one)
        int64_t parent;     // its parent
        int64_t lastWrite;  // Stamp: the key's new last-write time, 0 for none
        KeyRow row;         // AddKey: the new key's row
        ValueRecord value;  // SetValue, DeleteValue: the value (by name)
    };
    std::vector<Touch> m_touched;
    bool m_touchedAll = false;
    void Apply(const Touch& touch);
};

// Current time as a FILETIME count (100 ns since 1601-01-01 UTC).
int64_t FileTimeNow();

// The name with ASCII letters upper-cased, as keys and values compare.
std::string Fold(const std::string& name);

// Maps an SQLite result to the Win32 status of a registry call.
LONG StatusFromSqlite(int rc);

// Whether the process may write the file (or directory) at `path`, from the
// permission bits as they apply to its effective ids; root is treated as the
// file's owner so that a 0400 store stays read-only even for root.
bool MayWrite(const std::string& path);

// Removes what store files built in `dir` by processes that no longer run
// left behind (a build is made under a temporary name and linked into place;
// a process killed in between leaves the temporary file).
void RemoveInterruptedBuilds(const std::string& dir);

}  // namespace vorla::platform::registry
