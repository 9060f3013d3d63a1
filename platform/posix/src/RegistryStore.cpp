#include "RegistryStore.h"

#include "CaseFold.h"
#include "LockWait.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

namespace vorla::platform::registry {

const BYTE kDefaultSecurity[kDefaultSecuritySize] = {1, 0, 0x00, 0x80};

namespace {

constexpr const char* kFormatName = "vorla-registry";
constexpr int kFormatVersion = 1;

// Stores run in WAL mode with synchronous=NORMAL. A commit is then atomic
// against a killed process (the log is in the system's cache when the call
// returns) and never leaves a corrupt store after a power failure, but it is
// not forced to the disk at once: like the Windows registry, the store writes
// lazily, and RegFlushKey forces what was committed to the disk. Forcing every
// call would cost several disk syncs each, and creating one data source makes
// some twenty calls. A store file is built in rollback-journal mode and put in
// WAL mode only once it has been opened, found to be a store, and may be
// written; a read-only store is read in whatever mode it was left.
constexpr const char* kConnectionSetup = "PRAGMA synchronous=NORMAL;";

constexpr const char* kSchema =
    "PRAGMA journal_mode=DELETE;"
    "CREATE TABLE meta(name TEXT PRIMARY KEY, value) WITHOUT ROWID;"
    "CREATE TABLE keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: a stale handle never
                                              // lands on a newer key
    " parent INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " fold TEXT NOT NULL,"  // name with ASCII letters upper-cased
    " class TEXT NOT NULL DEFAULT '',"
    " security BLOB NOT NULL,"
    " last_write INTEGER NOT NULL,"
    " mount TEXT,"  // hive file loaded at this key (RegLoadKeyA)
    " name_seq INTEGER NOT NULL DEFAULT 0,"
    " value_seq INTEGER NOT NULL DEFAULT 0,"
    " sec_seq INTEGER NOT NULL DEFAULT 0,"
    " tree_name_seq INTEGER NOT NULL DEFAULT 0,"
    " tree_value_seq INTEGER NOT NULL DEFAULT 0,"
    " tree_sec_seq INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX keys_by_name ON keys(parent, fold);"
    "CREATE TABLE vals("
    " id INTEGER PRIMARY KEY,"  // creation order, the order of enumeration
    " key INTEGER NOT NULL,"
    " name TEXT NOT NULL,"
    " fold TEXT NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX vals_by_name ON vals(key, fold);"
    "CREATE INDEX vals_by_key ON vals(key);";

std::string Fold(const std::string& name) {
    std::string folded(name);
    for (char& c : folded) {
        c = static_cast<char>(FoldUpper(static_cast<unsigned char>(c)));
    }
    return folded;
}

[[noreturn]] void Fail(int rc) {
    int primary = rc & 0xff;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        throw StoreBusy{};
    }
    throw StoreError{StatusFromSqlite(rc)};
}

// A prepared statement borrowed from the store's cache for one use; reset
// and unbound when it goes out of scope.
class Query {
public:
    explicit Query(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~Query() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& Bind(int i, int64_t v) {
        Check(sqlite3_bind_int64(m_stmt, i, v));
        return *this;
    }
    Query& Bind(int i, const std::string& v) {
        Check(sqlite3_bind_text(m_stmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Query& BindBlob(int i, const void* data, size_t size) {
        // A zero-length blob, never NULL, so that empty data stays empty data.
        Check(sqlite3_bind_blob64(m_stmt, i, size != 0 ? data : "", size, SQLITE_TRANSIENT));
        return *this;
    }
    // True while there is a row.
    bool Step() {
        int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc == SQLITE_DONE) {
            return false;
        }
        Fail(rc);
    }
    int64_t Int(int col) const { return sqlite3_column_int64(m_stmt, col); }
    std::string Text(int col) const {
        const void* p = sqlite3_column_blob(m_stmt, col);
        int n = sqlite3_column_bytes(m_stmt, col);
        return p != nullptr ? std::string(static_cast<const char*>(p), static_cast<size_t>(n))
                            : std::string();
    }

private:
    static void Check(int rc) {
        if (rc != SQLITE_OK) {
            Fail(rc);
        }
    }
    sqlite3_stmt* m_stmt;
};

void ExecOn(sqlite3* db, const char* sql) {
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        Fail(rc);
    }
}

std::string DirOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncDir(const std::string& dir) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

LONG StatusFromErrno(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOENT:
        case ENOTDIR:
            return ERROR_FILE_NOT_FOUND;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case ENOSPC:
            return ERROR_DISK_FULL;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

sqlite3* OpenConnection(const std::string& path, bool writable) {
    sqlite3* db = nullptr;
    // Never SQLITE_OPEN_CREATE: an existing path is opened as it is and a
    // missing one is made only through BuildStoreFile below.
    int flags = (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        Fail(rc);
    }
    sqlite3_extended_result_codes(db, 1);
    // Closing the last connection folds the log into the file, a write; a
    // file is written only once it is known to be a sound store.
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    if (sqlite3_exec(db, kConnectionSetup, nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw StoreError{ERROR_BADDB};
    }
    return db;
}

// True when `db` carries this layer's schema in the version this code reads.
// A busy database is waited for through the connection's busy handler.
bool IsStore(sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    const char* sql =
        "SELECT (SELECT value FROM meta WHERE name='format'),"
        " (SELECT value FROM meta WHERE name='version')";
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    if ((rc & 0xff) == SQLITE_BUSY) {
        throw StoreError{ERROR_BUSY};
    }
    if (rc != SQLITE_OK) {
        return false;
    }
    rc = sqlite3_step(stmt);
    const bool ok = rc == SQLITE_ROW && sqlite3_column_type(stmt, 0) == SQLITE_TEXT &&
                    std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                                kFormatName) == 0 &&
                    sqlite3_column_int(stmt, 1) == kFormatVersion;
    sqlite3_finalize(stmt);
    if ((rc & 0xff) == SQLITE_BUSY) {
        throw StoreError{ERROR_BUSY};
    }
    return ok;
}

// SQLite's quick check of the whole file: every page and index entry is
// read once, which for a registry-sized file takes well under a
// millisecond. A store that fails it is corrupt, however sound its schema
// looks, and is never written.
bool PassesQuickCheck(sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &stmt, nullptr) != SQLITE_OK) {
        return false;
    }
    int rc = sqlite3_step(stmt);
    const bool ok =
        rc == SQLITE_ROW && sqlite3_column_type(stmt, 0) == SQLITE_TEXT &&
        std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "ok") == 0;
    sqlite3_finalize(stmt);
    if ((rc & 0xff) == SQLITE_BUSY) {
        throw StoreError{ERROR_BUSY};
    }
    return ok;
}

// Builds a new store file under a temporary name and links it into place,
// so that no process ever sees a half-made store at `path`. Returns false when
// `path` already existed (the new file is then discarded).
bool BuildStoreFile(const std::string& path, HiveKind kind, const TreeNode* tree,
                    void (*init)(sqlite3*, HiveKind, const TreeNode*)) {
    static unsigned counter = 0;
    std::string tmp = path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
    int fd = open(tmp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw StoreError{StatusFromErrno(errno)};
    }
    close(fd);
    try {
        sqlite3* db = OpenConnection(tmp, true);
        try {
            init(db, kind, tree);
        } catch (...) {
            sqlite3_close(db);
            throw;
        }
        sqlite3_close(db);
    } catch (...) {
        unlink(tmp.c_str());
        throw;
    }
    // link(2) never replaces an existing file, unlike rename(2).
    int rc = link(tmp.c_str(), path.c_str());
    int err = errno;
    unlink(tmp.c_str());
    if (rc != 0) {
        if (err == EEXIST) {
            return false;
        }
        throw StoreError{StatusFromErrno(err)};
    }
    SyncDir(DirOf(path));
    return true;
}

}  // namespace

void RemoveInterruptedBuilds(const std::string& dir) {
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr) {
        return;
    }
    std::vector<std::string> stale;
    while (const dirent* entry = readdir(folder)) {
        // NAME.new-PID-N, and the journal SQLite may have left beside it.
        const std::string name = entry->d_name;
        const size_t mark = name.find(".new-");
        if (mark == std::string::npos) {
            continue;
        }
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + mark + 5, &end, 10);
        if (pid <= 0 || *end != '-') {
            continue;
        }
        // A builder that still runs finishes its own file.
        if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) {
            continue;
        }
        stale.push_back(dir + "/" + name);
    }
    closedir(folder);
    for (const std::string& path : stale) {
        unlink(path.c_str());
    }
}

int64_t FileTimeNow() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    // FILETIME counts 100 ns ticks from 1601-01-01; the Unix epoch is
    // 11644473600 seconds later.
    return (static_cast<int64_t>(ts.tv_sec) + 11644473600LL) * 10000000LL + ts.tv_nsec / 100;
}

LONG StatusFromSqlite(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return ERROR_SUCCESS;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return ERROR_ACCESS_DENIED;
        // A file that stopped being a valid store while in use.
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_SCHEMA:
        case SQLITE_ERROR:
            return ERROR_REGISTRY_CORRUPT;
        case SQLITE_FULL:
            return ERROR_DISK_FULL;
        case SQLITE_NOMEM:
            return ERROR_OUTOFMEMORY;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

bool MayWrite(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return false;
    }
    uid_t euid = geteuid();
    if (euid == 0 || st.st_uid == euid) {
        return (st.st_mode & S_IWUSR) != 0;
    }
    bool inGroup = st.st_gid == getegid();
    if (!inGroup) {
        gid_t groups[256];
        int n = getgroups(256, groups);
        for (int i = 0; i < n && !inGroup; ++i) {
            inGroup = groups[i] == st.st_gid;
        }
    }
    return (st.st_mode & (inGroup ? S_IWGRP : S_IWOTH)) != 0;
}

namespace {

std::mutex g_openStoresLock;
std::vector<std::weak_ptr<Store>>* g_openStores = nullptr;

// At exit every store this process opened is closed, so that its log is
// folded into the store file and no -wal or -shm file is left beside it.
void ReleaseOpenStores() {
    std::lock_guard<std::mutex> lock(g_openStoresLock);
    for (const std::weak_ptr<Store>& weak : *g_openStores) {
        if (std::shared_ptr<Store> store = weak.lock()) {
            store->Release();
        }
    }
}

void RememberOpenStore(const std::shared_ptr<Store>& store) {
    std::lock_guard<std::mutex> lock(g_openStoresLock);
    if (g_openStores == nullptr) {
        g_openStores = new std::vector<std::weak_ptr<Store>>();
        std::atexit(ReleaseOpenStores);
    }
    auto& stores = *g_openStores;
    stores.erase(std::remove_if(stores.begin(), stores.end(),
                                [](const std::weak_ptr<Store>& weak) { return weak.expired(); }),
                 stores.end());
    stores.push_back(store);
}

}  // namespace

// A full checkpoint syncs the log, copies it into the store file and syncs
// that; a store that may not be written has nothing of this process's to
// force.
void Store::Flush() {
    if (!m_writable) {
        return;
    }
    LockWait wait(m_path);
    for (;;) {
        int rc = sqlite3_exec(m_db, "PRAGMA wal_checkpoint(FULL);", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            return;
        }
        if ((rc & 0xff) != SQLITE_BUSY && (rc & 0xff) != SQLITE_LOCKED) {
            Fail(rc);
        }
        if (!wait.Again()) {
            throw StoreError{ERROR_BUSY};
        }
    }
}

std::shared_ptr<Store> Store::Open(const std::string& path, HiveKind kind, bool create) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT || !create) {
            throw StoreError{StatusFromErrno(errno)};
        }
        BuildStoreFile(path, kind, nullptr, &Store::InitSchema);
    }
    // The journal is made next to the file, so the directory must be
    // writable too.
    bool writable = MayWrite(path) && MayWrite(DirOf(path));
    // Reading a file in WAL mode makes its log and index files; a refused
    // file must not keep them.
    const bool hadLog = stat((path + "-wal").c_str(), &st) == 0;
    const bool hadIndex = stat((path + "-shm").c_str(), &st) == 0;
    sqlite3* db = nullptr;
    try {
        db = OpenConnection(path, writable);
    } catch (const StoreError&) {
        throw StoreError{ERROR_BADDB};
    }
    // Nothing is written before the file is known to be a sound store: not
    // a store gives ERROR_BADDB, a store that fails the check
    // ERROR_REGISTRY_CORRUPT, and the file keeps its bytes.
    LockWait wait(path);
    sqlite3_busy_handler(db, &LockWait::SqliteBusy, &wait);
    LONG refusal = ERROR_SUCCESS;
    try {
        if (!IsStore(db)) {
            refusal = ERROR_BADDB;
        } else if (!PassesQuickCheck(db)) {
            refusal = ERROR_REGISTRY_CORRUPT;
        }
    } catch (const StoreError& e) {
        refusal = e.status;
    }
    if (refusal != ERROR_SUCCESS) {
        sqlite3_close(db);
        if (!hadLog && stat((path + "-wal").c_str(), &st) == 0 && st.st_size == 0) {
            unlink((path + "-wal").c_str());
        }
        if (!hadIndex) {
            unlink((path + "-shm").c_str());
        }
        throw StoreError{refusal};
    }
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    if (writable) {
        // Another process may hold the store; the mode change then waits
        // for it like any write.
        const int rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_close(db);
            throw StoreError{(rc & 0xff) == SQLITE_BUSY ? ERROR_BUSY : StatusFromSqlite(rc)};
        }
    }
    std::shared_ptr<Store> store(new Store(path, kind, db, writable));
    RememberOpenStore(store);
    return store;
}

void Store::CreateFromTree(const std::string& path, const TreeNode& tree) {
    if (!BuildStoreFile(path, HiveKind::File, &tree, &Store::InitSchema)) {
        throw StoreError{ERROR_ALREADY_EXISTS};
    }
}

void Store::InitSchema(sqlite3* db, HiveKind kind, const TreeNode* tree) {
    ExecOn(db, kSchema);
    Store store(std::string(), kind, db, true);
    store.Run(Mode::Write, [&] {
        std::string meta = std::string("INSERT INTO meta VALUES('format','") + kFormatName +
                           "'),('version'," + std::to_string(kFormatVersion) + "),('seq',0)";
        store.Exec(meta.c_str());
        Query root(
            store.Prepare("INSERT INTO keys(id, parent, name, fold, class, security, last_write)"
                          " VALUES(1, 0, ?1, ?2, ?3, ?4, ?5)"));
        std::string name = tree != nullptr ? tree->name : std::string();
        std::string security = tree != nullptr && !tree->security.empty()
                                   ? tree->security
                                   : std::string(reinterpret_cast<const char*>(kDefaultSecurity),
                                                 kDefaultSecuritySize);
        root.Bind(1, name).Bind(2, Fold(name));
        root.Bind(3, tree != nullptr ? tree->className : std::string());
        root.BindBlob(4, security.data(), security.size());
        root.Bind(5, FileTimeNow());
        root.Step();
        if (tree != nullptr) {
            store.ReplaceTree(kRootKeyId, *tree);
        }
        // HKEY_CLASSES_ROOT is SOFTWARE\Classes of this hive; it exists from
        // the start as it does on every Windows system.
        if (kind == HiveKind::System) {
            int64_t software = store.CreateChild(kRootKeyId, "SOFTWARE", std::string());
            store.CreateChild(software, "Classes", std::string());
        }
    });
    // The wrapper must not close the connection its caller owns.
    for (auto& entry : store.m_statements) {
        sqlite3_finalize(entry.second);
    }
    store.m_statements.clear();
    store.m_db = nullptr;
}

Store::Store(std::string path, HiveKind kind, sqlite3* db, bool writable)
    : m_path(std::move(path)), m_kind(kind), m_db(db), m_writable(writable), m_pid(getpid()) {
    if (m_db != nullptr) {
        sqlite3_busy_handler(m_db, &Store::Busy, this);
    }
}

int Store::Busy(void* store, int count) {
    return LockWait::SqliteBusy(static_cast<Store*>(store)->m_wait, count);
}

Store::~Store() {
    Release();
}

void Store::Release() {
    // A connection inherited through fork(2) belongs to the parent: leave it.
    if (m_db != nullptr && m_pid == getpid()) {
        for (auto& entry : m_statements) {
            sqlite3_finalize(entry.second);
        }
        m_statements.clear();
        sqlite3_close(m_db);
        m_db = nullptr;
        // Not this process's connection any more: the next use opens one.
        m_pid = 0;
    }
}

void Store::EnsureConnection() {
    if (m_pid == getpid()) {
        return;
    }
    // After fork(2) the child may not use the parent's connection (its locks
    // are the parent's); it opens its own and abandons the inherited one.
    m_statements.clear();
    m_db = OpenConnection(m_path, m_writable);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, m_corrupt ? 1 : 0, nullptr);
    sqlite3_busy_handler(m_db, &Store::Busy, this);
    m_pid = getpid();
}

sqlite3_stmt* Store::Prepare(const char* sql) {
    auto it = m_statements.find(sql);
    if (it != m_statements.end()) {
        return it->second;
    }
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        Fail(rc);
    }
    m_statements.emplace(sql, stmt);
    return stmt;
}

void Store::Exec(const char* sql) {
    ExecOn(m_db, sql);
}

void Store::Run(Mode mode, const std::function<void()>& body) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    EnsureConnection();
    // A store found corrupt is never written again, nor read.
    if (m_corrupt) {
        throw StoreError{ERROR_REGISTRY_CORRUPT};
    }
    if (mode == Mode::Write && !m_writable) {
        throw StoreError{ERROR_ACCESS_DENIED};
    }
    if (!sqlite3_get_autocommit(m_db)) {
        body();  // already inside a transaction of this store
        return;
    }
    // Another process's lock is waited for a bounded time; SQLite's own
    // waits inside the statements count against the same limit.
    LockWait wait(m_path);
    m_wait = &wait;
    struct Unset {
        LockWait*& wait;
        ~Unset() { wait = nullptr; }
    } unset{m_wait};
    const auto waitOrFail = [&wait] {
        if (!wait.Again()) {
            throw StoreError{ERROR_BUSY};
        }
    };
    for (;;) {
        int rc = sqlite3_exec(m_db, mode == Mode::Write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr,
                              nullptr, nullptr);
        if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) {
            waitOrFail();
            continue;
        }
        if (rc != SQLITE_OK) {
            Fail(rc);
        }
        m_changeNumber = 0;
        try {
            body();
            for (;;) {
                rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
                if ((rc & 0xff) != SQLITE_BUSY) {
                    break;
                }
                // Readers still hold the file: the transaction stays open and
                // the commit is tried again.
                if (!wait.Again()) {
                    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
                    throw StoreError{ERROR_BUSY};
                }
            }
            if (rc != SQLITE_OK) {
                Fail(rc);
            }
            return;
        } catch (const StoreBusy&) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            waitOrFail();
        } catch (const StoreError& e) {
            if (!sqlite3_get_autocommit(m_db)) {
                sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            }
            if (e.status == ERROR_REGISTRY_CORRUPT) {
                MarkCorrupt();
            }
            throw;
        } catch (...) {
            if (!sqlite3_get_autocommit(m_db)) {
                sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            }
            throw;
        }
    }
}

// Corruption found in use: no later call reads or writes the file, and
// closing the connection does not fold the log into it.
void Store::MarkCorrupt() {
    m_corrupt = true;
    m_writable = false;
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
}

bool Store::KeyExists(int64_t id) {
    Query q(Prepare("SELECT 1 FROM keys WHERE id=?1"));
    return q.Bind(1, id).Step();
}

namespace {

// Both key queries select the same columns, in this order.
#define VORLA_KEY_COLUMNS "SELECT id, name, class, ifnull(mount,''), last_write, parent FROM keys"

void ReadKeyRow(Query& q, KeyRow* row) {
    row->id = q.Int(0);
    row->name = q.Text(1);
    row->className = q.Text(2);
    row->mount = q.Text(3);
    row->lastWrite = q.Int(4);
    row->parent = q.Int(5);
}

}  // namespace

bool Store::GetKey(int64_t id, KeyRow* row) {
    Query q(Prepare(VORLA_KEY_COLUMNS " WHERE id=?1"));
    if (!q.Bind(1, id).Step()) {
        return false;
    }
    ReadKeyRow(q, row);
    return true;
}

bool Store::FindChild(int64_t parent, const std::string& name, KeyRow* row) {
    Query q(Prepare(VORLA_KEY_COLUMNS " WHERE parent=?1 AND fold=?2"));
    if (!q.Bind(1, parent).Bind(2, Fold(name)).Step()) {
        return false;
    }
    ReadKeyRow(q, row);
    return true;
}

#undef VORLA_KEY_COLUMNS

int64_t Store::CreateChild(int64_t parent, const std::string& name, const std::string& className) {
    {
        Query q(
            Prepare("INSERT INTO keys(parent, name, fold, class, security, last_write)"
                    " VALUES(?1, ?2, ?3, ?4, ?5, ?6)"));
        q.Bind(1, parent).Bind(2, name).Bind(3, Fold(name)).Bind(4, className);
        q.BindBlob(5, kDefaultSecurity, kDefaultSecuritySize).Bind(6, FileTimeNow());
        q.Step();
    }
    int64_t id = sqlite3_last_insert_rowid(m_db);
    NoteChange(parent, kChangeName, true);
    return id;
}

bool Store::HasChildren(int64_t id) {
    Query q(Prepare("SELECT 1 FROM keys WHERE parent=?1 LIMIT 1"));
    return q.Bind(1, id).Step();
}

void Store::DeleteLeafKey(int64_t id) {
    int64_t parent = 0;
    {
        Query q(Prepare("SELECT parent FROM keys WHERE id=?1"));
        if (!q.Bind(1, id).Step()) {
            throw StoreError{ERROR_KEY_DELETED};
        }
        parent = q.Int(0);
    }
    {
        Query q(Prepare("DELETE FROM vals WHERE key=?1"));
        q.Bind(1, id).Step();
    }
    {
        Query q(Prepare("DELETE FROM keys WHERE id=?1"));
        q.Bind(1, id).Step();
    }
    NoteChange(parent, kChangeName, true);
}

KeyStamps Store::Stamps(int64_t id) {
    Query q(
        Prepare("SELECT name_seq, value_seq, sec_seq, tree_name_seq, tree_value_seq,"
                " tree_sec_seq FROM keys WHERE id=?1"));
    if (!q.Bind(1, id).Step()) {
        throw StoreError{ERROR_KEY_DELETED};
    }
    KeyStamps s;
    s.name = q.Int(0);
    s.value = q.Int(1);
    s.security = q.Int(2);
    s.treeName = q.Int(3);
    s.treeValue = q.Int(4);
    s.treeSecurity = q.Int(5);
    return s;
}

std::vector<int64_t> Store::IdList(const char* sql, int64_t param) {
    Query q(Prepare(sql));
    q.Bind(1, param);
    std::vector<int64_t> ids;
    while (q.Step()) {
        ids.push_back(q.Int(0));
    }
    return ids;
}

Store::NamedIds Store::NamedIdList(const char* sql, int64_t param) {
    Query q(Prepare(sql));
    q.Bind(1, param);
    NamedIds rows;
    while (q.Step()) {
        rows.emplace_back(q.Int(0), q.Text(1));
    }
    return rows;
}

Store::NamedIds Store::ChildNamesSorted(int64_t parent) {
    return NamedIdList("SELECT id, name FROM keys WHERE parent=?1 ORDER BY fold", parent);
}

Store::NamedIds Store::ValueNamesOrdered(int64_t key) {
    return NamedIdList("SELECT id, name FROM vals WHERE key=?1 ORDER BY id", key);
}

std::vector<int64_t> Store::ChildIdsSorted(int64_t parent) {
    // Sub-keys enumerate in the order of their upper-cased names, as Windows
    // keeps them.
    return IdList("SELECT id FROM keys WHERE parent=?1 ORDER BY fold", parent);
}

std::vector<int64_t> Store::ValueIdsOrdered(int64_t key) {
    // Values enumerate in the order they were first created: ids only grow,
    // and updating a value keeps its row.
    return IdList("SELECT id FROM vals WHERE key=?1 ORDER BY id", key);
}

bool Store::GetValueById(int64_t valueId, int64_t key, ValueRecord* value) {
    Query q(Prepare("SELECT name, type, data FROM vals WHERE id=?1 AND key=?2"));
    if (!q.Bind(1, valueId).Bind(2, key).Step()) {
        return false;
    }
    value->name = q.Text(0);
    value->type = static_cast<DWORD>(q.Int(1));
    value->data = q.Text(2);
    return true;
}

bool Store::GetValue(int64_t key, const std::string& name, ValueRecord* value) {
    Query q(Prepare("SELECT name, type, data FROM vals WHERE key=?1 AND fold=?2"));
    if (!q.Bind(1, key).Bind(2, Fold(name)).Step()) {
        return false;
    }
    value->name = q.Text(0);
    value->type = static_cast<DWORD>(q.Int(1));
    value->data = q.Text(2);
    return true;
}

void Store::SetValue(int64_t key, const std::string& name, DWORD type, const BYTE* data,
                     DWORD size) {
    {
        // An existing value keeps its row (and so its place in the
        // enumeration) and the spelling of its name.
        Query q(
            Prepare("INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                    " ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type,"
                    " data=excluded.data"));
        q.Bind(1, key).Bind(2, name).Bind(3, Fold(name)).Bind(4, static_cast<int64_t>(type));
        q.BindBlob(5, data, size);
        q.Step();
    }
    NoteChange(key, kChangeValue, true);
}

bool Store::DeleteValue(int64_t key, const std::string& name) {
    {
        Query q(Prepare("DELETE FROM vals WHERE key=?1 AND fold=?2"));
        q.Bind(1, key).Bind(2, Fold(name)).Step();
    }
    if (sqlite3_changes(m_db) == 0) {
        return false;
    }
    NoteChange(key, kChangeValue, true);
    return true;
}

Store::Info Store::QueryInfo(int64_t key) {
    Info info;
    {
        Query q(
            Prepare("SELECT count(*), ifnull(max(length(CAST(name AS BLOB))),0),"
                    " ifnull(max(length(CAST(class AS BLOB))),0) FROM keys WHERE parent=?1"));
        q.Bind(1, key).Step();
        info.subKeys = static_cast<DWORD>(q.Int(0));
        info.maxSubKeyName = static_cast<DWORD>(q.Int(1));
        info.maxClass = static_cast<DWORD>(q.Int(2));
    }
    {
        Query q(
            Prepare("SELECT count(*), ifnull(max(length(CAST(name AS BLOB))),0),"
                    " ifnull(max(length(data)),0) FROM vals WHERE key=?1"));
        q.Bind(1, key).Step();
        info.values = static_cast<DWORD>(q.Int(0));
        info.maxValueName = static_cast<DWORD>(q.Int(1));
        info.maxValueData = static_cast<DWORD>(q.Int(2));
    }
    return info;
}

std::string Store::GetSecurity(int64_t key) {
    Query q(Prepare("SELECT security FROM keys WHERE id=?1"));
    if (!q.Bind(1, key).Step()) {
        throw StoreError{ERROR_KEY_DELETED};
    }
    return q.Text(0);
}

void Store::SetSecurity(int64_t key, const std::string& descriptor) {
    {
        Query q(Prepare("UPDATE keys SET security=?2 WHERE id=?1"));
        q.Bind(1, key).BindBlob(2, descriptor.data(), descriptor.size()).Step();
    }
    NoteChange(key, kChangeSecurity, false);
}

TreeNode Store::ReadTree(int64_t key) {
    TreeNode node;
    KeyRow row;
    if (!GetKey(key, &row)) {
        throw StoreError{ERROR_KEY_DELETED};
    }
    node.name = row.name;
    node.className = row.className;
    node.lastWrite = row.lastWrite;
    node.security = GetSecurity(key);
    for (int64_t id : ValueIdsOrdered(key)) {
        ValueRecord value;
        if (GetValueById(id, key, &value)) {
            node.values.push_back(std::move(value));
        }
    }
    for (int64_t child : ChildIdsSorted(key)) {
        node.children.push_back(ReadTree(child));
    }
    return node;
}

void Store::ReplaceTree(int64_t key, const TreeNode& tree) {
    {
        Query q(
            Prepare("WITH RECURSIVE d(id) AS (SELECT ?1 UNION ALL"
                    " SELECT k.id FROM keys k JOIN d ON k.parent=d.id)"
                    " DELETE FROM vals WHERE key IN d"));
        q.Bind(1, key).Step();
    }
    {
        Query q(
            Prepare("WITH RECURSIVE d(id) AS (SELECT id FROM keys WHERE parent=?1 UNION ALL"
                    " SELECT k.id FROM keys k JOIN d ON k.parent=d.id)"
                    " DELETE FROM keys WHERE id IN d"));
        q.Bind(1, key).Step();
    }
    // Inserts one level: the values of `node` into `id`, then each child.
    std::function<void(int64_t, const TreeNode&)> fill = [&](int64_t id, const TreeNode& node) {
        for (const ValueRecord& value : node.values) {
            Query q(
                Prepare("INSERT INTO vals(key, name, fold, type, data)"
                        " VALUES(?1, ?2, ?3, ?4, ?5)"));
            q.Bind(1, id).Bind(2, value.name).Bind(3, Fold(value.name));
            q.Bind(4, static_cast<int64_t>(value.type));
            q.BindBlob(5, value.data.data(), value.data.size());
            q.Step();
        }
        for (const TreeNode& child : node.children) {
            {
                Query q(
                    Prepare("INSERT INTO keys(parent, name, fold, class, security, last_write)"
                            " VALUES(?1, ?2, ?3, ?4, ?5, ?6)"));
                q.Bind(1, id)
                    .Bind(2, child.name)
                    .Bind(3, Fold(child.name))
                    .Bind(4, child.className);
                const std::string& sd = child.security;
                if (sd.empty()) {
                    q.BindBlob(5, kDefaultSecurity, kDefaultSecuritySize);
                } else {
                    q.BindBlob(5, sd.data(), sd.size());
                }
                q.Bind(6, child.lastWrite != 0 ? child.lastWrite : FileTimeNow());
                q.Step();
            }
            fill(sqlite3_last_insert_rowid(m_db), child);
        }
    };
    fill(key, tree);
    NoteChange(key, kChangeName | kChangeValue, true);
}

bool Store::TreeHasMount(int64_t key) {
    Query q(
        Prepare("WITH RECURSIVE d(id) AS (SELECT ?1 UNION ALL"
                " SELECT k.id FROM keys k JOIN d ON k.parent=d.id)"
                " SELECT 1 FROM keys WHERE id IN d AND mount IS NOT NULL LIMIT 1"));
    return q.Bind(1, key).Step();
}

void Store::SetMount(int64_t key, const std::string& file) {
    Query q(Prepare("UPDATE keys SET mount=?2 WHERE id=?1"));
    q.Bind(1, key).Bind(2, file).Step();
}

void Store::NoteChange(int64_t key, unsigned kinds, bool touch) {
    if (m_changeNumber == 0) {
        // One change number per transaction, from a counter in the file, so
        // that every process sees the same numbers.
        {
            Query q(Prepare("UPDATE meta SET value=value+1 WHERE name='seq'"));
            q.Step();
        }
        Query q(Prepare("SELECT value FROM meta WHERE name='seq'"));
        q.Step();
        m_changeNumber = q.Int(0);
    }
    {
        Query q(
            Prepare("UPDATE keys SET"
                    " name_seq=CASE WHEN ?2 & 1 THEN ?3 ELSE name_seq END,"
                    " value_seq=CASE WHEN ?2 & 2 THEN ?3 ELSE value_seq END,"
                    " sec_seq=CASE WHEN ?2 & 4 THEN ?3 ELSE sec_seq END,"
                    " last_write=CASE WHEN ?4 THEN ?5 ELSE last_write END"
                    " WHERE id=?1"));
        q.Bind(1, key).Bind(2, static_cast<int64_t>(kinds)).Bind(3, m_changeNumber);
        q.Bind(4, touch ? 1 : 0).Bind(5, FileTimeNow());
        q.Step();
    }
    Query q(
        Prepare("WITH RECURSIVE a(id) AS (SELECT ?1 UNION ALL"
                " SELECT k.parent FROM keys k JOIN a ON k.id=a.id WHERE k.parent<>0)"
                " UPDATE keys SET"
                " tree_name_seq=CASE WHEN ?2 & 1 THEN ?3 ELSE tree_name_seq END,"
                " tree_value_seq=CASE WHEN ?2 & 2 THEN ?3 ELSE tree_value_seq END,"
                " tree_sec_seq=CASE WHEN ?2 & 4 THEN ?3 ELSE tree_sec_seq END"
                " WHERE id IN a"));
    q.Bind(1, key).Bind(2, static_cast<int64_t>(kinds)).Bind(3, m_changeNumber);
    q.Step();
}

}  // namespace vorla::platform::registry
