// Whether a store file in WAL mode changed, told without a transaction.
//
// SQLite keeps, beside a file in WAL mode, its wal-index (NAME-shm), which
// starts with two copies of a 48-byte header that every commit of every
// process rewrites (the file format's documentation, "WAL-mode File Format",
// section "The WAL-Index Header"; its iChange counts the transactions). A
// process with the file open keeps the wal-index in place, so the header can
// be mapped and compared: unchanged means nothing was committed since.
#pragma once

#include <array>
#include <memory>
#include <string>

namespace vorla::platform::registry {

class ChangeWatch {
public:
    using Mark = std::array<unsigned char, 48>;

    // Maps the wal-index of the store file at `path`; null when there is none
    // to map. The caller keeps a connection to the file open for the life of
    // the watch, which keeps the wal-index from being cut or removed.
    static std::unique_ptr<ChangeWatch> Attach(const std::string& path);
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // The header as it stands; false while a writer is rewriting it (the
    // two copies differ) or before the wal-index is in use.
    bool Read(Mark* mark) const;

private:
    ChangeWatch(const unsigned char* base, size_t length) : m_base(base), m_length(length) {}
    const unsigned char* m_base;
    size_t m_length;
};

}  // namespace vorla::platform::registry
