// Data sources for every ODBC program of the host.
//
// On Windows the registry is the driver manager's own configuration: a data
// source registered there is every ODBC program's, and nothing is written
// anywhere else. So a data source is never published beyond the registry,
// and no change is refused for it.
#pragma once

#include <string>

namespace vorla::platform {

// A data source of this name lives for one run: nothing beyond the registry
// holds it, on Windows as on every system.
inline void KeepUnpublished(const char*) {}

// Empty: the registry refuses a change itself, with its own status.
inline std::string PublishingProblem() {
    return std::string();
}

}  // namespace vorla::platform
