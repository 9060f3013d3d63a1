// The registry work whose cost per call the benchmarks compare between the
// POSIX store, raw SQLite and Windows' own registry (under Wine): written
// against the Win32 registry functions alone, so that the same source runs
// on every system.
#pragma once

#include <string>

namespace vorla::bench {

struct RegistryFigures {
    // Microseconds per key to create it, set one value, close it and delete
    // it again, below one parent.
    double churnPerKey = 0;
    // Microseconds per value to open a key, enumerate all its values by
    // index and close it.
    double enumeratePerValue = 0;
};

// Runs each piece of work `rounds` times on `keys` keys and a key of `values`
// values, below HKEY_CURRENT_USER\<root>, and gives the medians. `error` is
// set when a call fails.
RegistryFigures MeasureRegistry(const std::string& root, int keys, int values, int rounds,
                                std::string* error);

}  // namespace vorla::bench
