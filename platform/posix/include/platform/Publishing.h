// Data sources for every ODBC program of the host.
//
// On POSIX the data sources that the registry holds are also written to the
// driver manager's configuration files (the user's and the system's
// odbc.ini), so that every ODBC program finds them, as on Windows, where the
// driver manager reads the registry itself.
#pragma once

#include <string>

namespace vorla::platform {

// A data source of this name that the process registers from now on lives for
// one run and is the run's own: it is never written to the configuration
// files, and no other process of the prefix writes it there either.
void KeepUnpublished(const char* name);

// Why the last change of a data source was refused by the configuration file
// (a name or value the file cannot hold as it is, another's section of the
// same name, a read-only or full file), in one line naming the file; empty
// when the last change was not refused there.
std::string PublishingProblem();

}  // namespace vorla::platform
