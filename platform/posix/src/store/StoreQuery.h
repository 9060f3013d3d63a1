// What the store's files share privately: prepared statements borrowed for
// one use, and SQLite results turned into registry errors.
#pragma once

#include "RegistryStore.h"

#include <sqlite3.h>

#include <string>

namespace vorla::platform::registry {

// A connection to the store file at `path`, set up as every store
// connection is; it checkpoints nothing when it closes until told so.
sqlite3* OpenConnection(const std::string& path, bool writable);

// Contention becomes StoreBusy (the transaction runs again), any other
// failure the StoreError of its status.
[[noreturn]] inline void Fail(int rc) {
    const int primary = rc & 0xff;
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
        const int rc = sqlite3_step(m_stmt);
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
        const int n = sqlite3_column_bytes(m_stmt, col);
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

}  // namespace vorla::platform::registry
