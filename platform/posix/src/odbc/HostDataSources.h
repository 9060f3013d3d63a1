// The host's own ODBC data sources, as the driver manager's configuration
// library reads them: the user's from $ODBCINI or ~/.odbc.ini, the system's
// from $ODBCSYSINI/odbc.ini or /etc/odbc.ini. The registry shows them,
// read-only, where Windows keeps data sources (see RegistryHostView.h).
#pragma once

#include "IniRead.h"

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vorla::platform::registry {

enum class HostScope { User, System };

struct HostDataSource {
    std::string name;
    std::string driver;  // the "Driver" entry, empty when there is none
    // Every entry of the data source's section, in file order.
    std::vector<std::pair<std::string, std::string>> entries;
};

// What one configuration file held when it was read.
struct HostSnapshot {
    std::vector<HostDataSource> sources;
    // Every section of the file, data sources or not, in file order.
    std::vector<IniSection> sections;
    // The file's identity when it was read (see IdentityKey); empty when
    // there was no file.
    std::string identity;
    // The file's last change as a FILETIME count, 0 when there is no file.
    int64_t lastWrite = 0;

    // The data source of that name, compared with ASCII letters folded; null
    // when there is none.
    const HostDataSource* Find(const std::string& name) const;
};

// The data sources of one scope. Read through the configuration library,
// never by a parser of our own, so that this layer and every other ODBC
// program agree on what exists. The result is cached for the process and
// read again only when the file changed (by its identity, size and times).
// A file that is missing, unreadable or not understood shows no data
// sources; nothing here fails.
std::shared_ptr<const HostSnapshot> ReadHostDataSources(HostScope scope);

// What this process just wrote to the file of `scope`: the next reading
// takes it instead of parsing the file again, while the file stays as it is.
void RememberHostFile(HostScope scope, std::vector<IniSection> sections);

// A file's device, inode, size and times as one text: equal texts mean the
// file was not written or replaced in between.
std::string IdentityKey(const struct stat& st);

// The file that the configuration library reads for `scope`; empty when it
// names none.
std::string HostConfigFile(HostScope scope);

// Whether the registry shows the host's data sources (see the public
// header platform/HostDataSources.h).
bool HostDataSourcesShown();

}  // namespace vorla::platform::registry
