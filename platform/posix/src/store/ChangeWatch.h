// Whether a store file in WAL mode changed, told without a transaction.
//
// SQLite keeps, beside a file in WAL mode, its wal-index (NAME-shm), which
// starts with two copies of a 48-byte header that every commit of every
// process rewrites (the file format's documentation, "WAL-mode File Format",
// section "The WAL-Index Header"; its iChange counts the transactions). The
// header is read where the connection's own SQLite maps it: SQLite hands
// out its mapping of the index's first region (the VFS's xShmMap), and
// nothing outside SQLite opens, maps or closes the index. On POSIX closing
// any descriptor of a file drops every record lock the process holds on it,
// SQLite's included: a descriptor of our own on the index, opened and closed
// beside SQLite's, once let the next process take itself for the only user
// and reset the index under every process mapping it (torn commits, SIGBUS).
#pragma once

#include <sqlite3.h>

#include <array>
#include <memory>

namespace vorla::platform::registry {

class ChangeWatch {
public:
    using Mark = std::array<unsigned char, 48>;

    // SQLite's mapping of the wal-index of `db`'s main file; null when the
    // connection has none (not in WAL mode, or a VFS without shared
    // memory). The mapping is SQLite's: valid while `db` stays open in WAL
    // mode, which the caller guarantees for the life of the watch.
    static std::unique_ptr<ChangeWatch> Attach(sqlite3* db);
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // The header as it stands; false while a writer is rewriting it (the
    // two copies differ) or before the wal-index is in use.
    bool Read(Mark* mark) const;

private:
    explicit ChangeWatch(const volatile unsigned char* base) : m_base(base) {}
    const volatile unsigned char* m_base;
};

}  // namespace vorla::platform::registry
