// The files that belong to a desktop database besides the file itself. The
// desktop driver here keeps every committed byte in the database file: its
// lock file holds none, and the driver holds the database open while it
// works, so that no other open succeeds. There are no companions to look for.
#pragma once

#include <array>

inline constexpr std::array<const char*, 0> kDatabaseCompanionSuffixes = {};
