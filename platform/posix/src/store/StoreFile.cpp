// The store file: its schema, how a new one is built, and how an existing
// one is opened and checked before anything is written to it.
#include "LockWait.h"
#include "RegistryStore.h"
#include "StoreQuery.h"

#include "CaseFold.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
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

// Stores of this format made by earlier versions also have an index of
// values by key (which the index by key and name serves as well), a change
// counter in `meta` and tree change stamps on every key: they are read and
// written as they are, and no longer kept up, since each cost pages written
// by every call. Keys get ids that are never reused, so that a stale handle
// never lands on a newer key.
constexpr const char* kSchema =
    "PRAGMA journal_mode=DELETE;"
    "CREATE TABLE meta(name TEXT PRIMARY KEY, value) WITHOUT ROWID;"
    "CREATE TABLE keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
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
    "CREATE UNIQUE INDEX vals_by_name ON vals(key, fold);";

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

sqlite3* OpenConnection(const std::string& path, bool writable) {
    // By default every page cache starts with a bulk allocation of twenty
    // pages, which the kernel hands out a page fault at a time: most of what
    // opening a registry-sized store costs. Pages are then allocated as they
    // are used. This must precede SQLite's initialization in the process; if
    // something else has initialized it first, the call fails and changes
    // nothing.
    //
    // SQLite's memory statistics take a process-wide mutex on every
    // allocation. Nothing here reads them, and a program that runs a script
    // through the SQLite ODBC driver (which shares this library) allocates
    // for every statement; with the process's threads (the console control
    // handler's) each of those locks is a real atomic operation, a tenth of
    // a long script's time.
    static std::once_flag noBulkCache;
    std::call_once(noBulkCache, [] {
        sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    });
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
    // The setup reads the schema, which waits like any read for a process
    // that holds the file (one building the wal-index, say): a sound store
    // that is busy is not a bad one.
    LockWait wait(path);
    sqlite3_busy_handler(db, &LockWait::SqliteBusy, &wait);
    for (;;) {
        rc = sqlite3_exec(db, kConnectionSetup, nullptr, nullptr, nullptr);
        if ((rc & 0xff) != SQLITE_BUSY && (rc & 0xff) != SQLITE_LOCKED) {
            break;
        }
        if (!wait.Again()) {
            sqlite3_close(db);
            throw StoreError{ERROR_BUSY};
        }
    }
    sqlite3_busy_handler(db, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(db);
        throw StoreError{ERROR_BADDB};
    }
    return db;
}

std::string Fold(const std::string& name) {
    std::string folded(name);
    for (char& c : folded) {
        c = static_cast<char>(FoldUpper(static_cast<unsigned char>(c)));
    }
    return folded;
}

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

// Store files (the database and SQLite's NAME-wal and NAME-shm beside it)
// are opened, locked, closed and removed by SQLite alone while any
// connection may have them open. On POSIX, closing any descriptor of a file
// drops every record lock that the process holds on that file, SQLite's
// included: a descriptor of our own opened on a store file and closed would
// silently unlock SQLite's connection to it, and the next process would take
// itself for the only user and reset the wal-index under the others. Only
// stat(2) looks at them from outside.
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
    // file should not keep them, but another process may have made them or
    // use them by now, so only SQLite removes them (see below).
    const bool hadLog = stat((path + "-wal").c_str(), &st) == 0;
    sqlite3* db = nullptr;
    try {
        db = OpenConnection(path, writable);
    } catch (const StoreError& e) {
        throw StoreError{e.status == ERROR_BUSY ? ERROR_BUSY : ERROR_BADDB};
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
        // Nothing here deletes a store's side files by name: between a look
        // at them and an unlink another process may have made them and be
        // using them, and its wal-index or log would be taken from under it.
        // SQLite's own close removes both only when it gets the file's
        // exclusive lock, which proves that no other connection is open, and
        // only after a checkpoint: allowed when the log holds no frames, so
        // that the checkpoint writes nothing into the refused file. Otherwise
        // they stay.
        const bool emptyLog = !hadLog && stat((path + "-wal").c_str(), &st) == 0 && st.st_size == 0;
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, emptyLog ? 0 : 1, nullptr);
        sqlite3_close(db);
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

}  // namespace vorla::platform::registry
