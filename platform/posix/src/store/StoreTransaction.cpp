// The store's connection and its transactions: one transaction per registry
// call, contention waited for a bounded time, a connection of its own in a
// child process, and a store found corrupt never touched again.
#include "ChangeWatch.h"
#include "LockWait.h"
#include "RegistryStore.h"
#include "StoreQuery.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>

namespace vorla::platform::registry {

namespace {

// The process id, kept up to date across fork(2) without a system call per
// registry call.
std::atomic<pid_t> g_pid{0};

pid_t CurrentPid() {
    static const bool registered = [] {
        pthread_atfork(nullptr, nullptr, [] { g_pid.store(getpid()); });
        g_pid.store(getpid());
        return true;
    }();
    (void)registered;
    return g_pid.load(std::memory_order_relaxed);
}

constexpr const char* kBeginRead = "BEGIN";
constexpr const char* kBeginWrite = "BEGIN IMMEDIATE";
constexpr const char* kCommit = "COMMIT";
constexpr const char* kRollback = "ROLLBACK";

}  // namespace

Store::Store(std::string path, HiveKind kind, sqlite3* db, bool writable)
    : m_path(std::move(path)), m_kind(kind), m_db(db), m_writable(writable), m_pid(CurrentPid()) {
    if (m_db != nullptr) {
        sqlite3_busy_handler(m_db, &Store::Busy, this);
    }
}

Store::~Store() {
    Release();
}

int Store::Busy(void* store, int count) {
    return LockWait::SqliteBusy(static_cast<Store*>(store)->m_wait, count);
}

void Store::Release() {
    // A connection inherited through fork(2) belongs to the parent: leave it.
    if (m_db != nullptr && m_pid == CurrentPid()) {
        ForgetFile();
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

void Store::ForgetFile() {
    m_watch.reset();
    m_watchTried = false;
    m_knowsMark = false;
    m_knowsVersion = false;
    m_children.clear();
    m_values.clear();
    m_rows.clear();
}

void Store::EnsureConnection() {
    if (m_pid == CurrentPid()) {
        return;
    }
    // After fork(2) the child may not use the parent's connection (its locks
    // are the parent's); it opens its own and abandons the inherited one,
    // with whatever it knew of the file.
    m_statements.clear();
    // The parent's mapping stays valid only while the parent's connection
    // keeps the wal-index; this process watches through its own.
    ForgetFile();
    m_db = OpenConnection(m_path, m_writable);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, m_corrupt ? 1 : 0, nullptr);
    sqlite3_busy_handler(m_db, &Store::Busy, this);
    m_pid = CurrentPid();
}

sqlite3_stmt* Store::Prepare(const char* sql) {
    auto it = m_statements.find(sql);
    if (it != m_statements.end()) {
        return it->second;
    }
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        Fail(rc);
    }
    m_statements.emplace(sql, stmt);
    return stmt;
}

void Store::Exec(const char* sql) {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        Fail(rc);
    }
}

int Store::Control(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    try {
        stmt = Prepare(sql);
    } catch (const StoreBusy&) {
        return SQLITE_BUSY;
    } catch (const StoreError&) {
        return SQLITE_ERROR;
    }
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

void Store::RunErased(Mode mode, void (*body)(void*), void* context) {
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
        body(context);  // already inside a transaction of this store
        return;
    }
    // Another process's lock is waited for a bounded time; SQLite's own
    // waits inside the statements count against the same limit.
    LockWait wait(m_path);
    m_wait = &wait;
    struct Unset {
        LockWait*& slot;
        ~Unset() { slot = nullptr; }
    } unset{m_wait};
    const auto waitOrFail = [&wait] {
        if (!wait.Again()) {
            throw StoreError{ERROR_BUSY};
        }
    };
    if (mode == Mode::Write) {
        BeforeWrite();
    }
    for (;;) {
        int rc = Control(mode == Mode::Write ? kBeginWrite : kBeginRead);
        if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) {
            waitOrFail();
            continue;
        }
        if (rc != SQLITE_OK) {
            Fail(rc);
        }
        m_changeNumber = 0;
        m_touched.clear();
        m_touchedAll = false;
        try {
            body(context);
            for (;;) {
                rc = Control(kCommit);
                if ((rc & 0xff) != SQLITE_BUSY) {
                    break;
                }
                // Readers still hold the file: the transaction stays open and
                // the commit is tried again.
                if (!wait.Again()) {
                    Control(kRollback);
                    throw StoreError{ERROR_BUSY};
                }
            }
            if (rc != SQLITE_OK) {
                Fail(rc);
            }
            if (mode == Mode::Write) {
                AfterWrite(true);
            }
            return;
        } catch (const StoreBusy&) {
            Control(kRollback);
            waitOrFail();
        } catch (const StoreError& e) {
            if (!sqlite3_get_autocommit(m_db)) {
                Control(kRollback);
            }
            if (e.status == ERROR_REGISTRY_CORRUPT) {
                MarkCorrupt();
            }
            throw;
        } catch (...) {
            if (!sqlite3_get_autocommit(m_db)) {
                Control(kRollback);
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
    m_children.clear();
    m_values.clear();
    m_rows.clear();
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
}

// A full checkpoint syncs the log, copies it into the store file and syncs
// that; a store that may not be written has nothing of this process's to
// force.
void Store::Flush() {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    EnsureConnection();
    if (!m_writable) {
        return;
    }
    LockWait wait(m_path);
    for (;;) {
        const int rc =
            sqlite3_exec(m_db, "PRAGMA wal_checkpoint(FULL);", nullptr, nullptr, nullptr);
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

}  // namespace vorla::platform::registry
