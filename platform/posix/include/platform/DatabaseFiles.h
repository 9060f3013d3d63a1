// The files that belong to a desktop database besides the file itself. The
// stand-in engine here keeps committed data in companion files named after
// the database: its rollback journal ("-journal") and its write-ahead log
// ("-wal", with "-shm" as the log's index). While one of them exists, the
// database was not closed cleanly or is in use, and the file alone is not
// the whole database.
#pragma once

#include <array>

inline constexpr std::array<const char*, 3> kDatabaseCompanionSuffixes = {"-journal", "-wal",
                                                                          "-shm"};
