#include "ChangeWatch.h"

#include <atomic>
#include <cstring>

namespace vorla::platform::registry {

namespace {

constexpr size_t kHeaderSize = 48;
// Offset of the header's isInit byte: nonzero once the wal-index is built.
constexpr size_t kIsInit = 12;
// The size of a wal-index region, as SQLite maps them (32 KiB).
constexpr int kRegionSize = 32768;

bool InWalMode(sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA main.journal_mode", -1, &stmt, nullptr) != SQLITE_OK) {
        return false;
    }
    const bool wal =
        sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) == SQLITE_TEXT &&
        std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal") == 0;
    sqlite3_finalize(stmt);
    return wal;
}

}  // namespace

std::unique_ptr<ChangeWatch> ChangeWatch::Attach(sqlite3* db) {
    // Asking for the region of a file that is not in WAL mode would make
    // SQLite create an index for it.
    if (!InWalMode(db)) {
        return nullptr;
    }
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        file == nullptr || file->pMethods == nullptr || file->pMethods->iVersion < 2 ||
        file->pMethods->xShmMap == nullptr) {
        return nullptr;
    }
    // Region 0 exists once the connection has read the file in WAL mode,
    // which opening a store has done; it is not made here (no extend).
    volatile void* region = nullptr;
    if (file->pMethods->xShmMap(file, 0, kRegionSize, 0, &region) != SQLITE_OK ||
        region == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<ChangeWatch>(
        new ChangeWatch(static_cast<const volatile unsigned char*>(region)));
}

bool ChangeWatch::Read(Mark* mark) const {
    // A writer writes the second copy, then the first; reading the first,
    // then the second, and finding them equal means the header was whole.
    Mark first;
    Mark second;
    for (size_t i = 0; i < kHeaderSize; ++i) {
        first[i] = m_base[i];
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t i = 0; i < kHeaderSize; ++i) {
        second[i] = m_base[kHeaderSize + i];
    }
    if (first != second || first[kIsInit] == 0) {
        return false;
    }
    *mark = first;
    return true;
}

}  // namespace vorla::platform::registry
