// Publishing: the store's data sources in the driver manager's configuration.
//
// On Windows a data source in the registry is every ODBC program's, because
// the driver manager reads the registry. unixODBC reads its own files, so
// each data source that the store holds under SOFTWARE\ODBC\ODBC.INI of the
// user's (the machine's) hive, listed in its "ODBC Data Sources" and with a
// "Driver" value, is also written to the user's (the system's) odbc.ini:
//   [name]
//   Driver=<the library the registry's Driver names, its link followed>
//   Description=<Description>
//   Database=<DBQ, the file the SQLite driver reads>
//   VorlaPrefix=<the prefix the section belongs to>
// and "name=<the list entry's text>" in [ODBC Data Sources]. The files are
// written and read through libodbcinst only, never by a writer of our own.
//
// The section follows the store: the functions below run inside the write
// transaction of the change, so that a change whose section cannot be
// written (no right to write the file) fails with ERROR_ACCESS_DENIED and
// leaves the store as it was. A section without this prefix's mark (the
// host's own, or another prefix's) is never written or removed. Sections
// with this prefix's mark whose data source the store no longer holds (a
// run that was killed) are removed at the next section written or removed.
#pragma once

#include "HostDataSources.h"
#include "RegistryStore.h"

#include <string>
#include <vector>

namespace vorla::platform::registry {

// The entry that marks a section as a prefix's own.
extern const char kPrefixMarkEntry[];

// After a value named `valueName` of `key` was set or deleted: republishes
// the data source that the change concerns, if any.
void PublishAfterValueChange(Store& store, int64_t key, const std::string& valueName);

// After the key `deleted` (its row as read before the deletion) was deleted.
void PublishAfterKeyDelete(Store& store, const KeyRow& deleted);

// Every data source of the store's hive published, and every stale section
// of its prefix removed (a set-up does this). False, with `problem` set,
// when a file could not be written.
bool PublishHive(Store& store, std::string* problem);

// The listed data sources of the store's hive that runs made temporary
// (-x), in list order.
std::vector<std::string> TemporaryDataSources(Store& store);

// The mark of the sections that the prefix whose hive is `store` publishes.
std::string PrefixMarkOf(const Store& store);

// Whether `source` carries the mark `mark`.
bool CarriesMark(const HostDataSource& source, const std::string& mark);

}  // namespace vorla::platform::registry
