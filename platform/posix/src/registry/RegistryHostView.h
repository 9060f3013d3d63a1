// The host's ODBC data sources in the registry view.
//
// Windows keeps every data source in the registry. On POSIX the host's own
// live in the driver manager's configuration, so the registry shows them,
// read-only, where Windows keeps them:
//   - HKEY_CURRENT_USER\SOFTWARE\ODBC\ODBC.INI the user's, HKEY_LOCAL_MACHINE's
//     the system's, each as a sub-key named after the data source, with the
//     data source's entries as REG_SZ values in file order and no sub-keys;
//   - the list key "ODBC Data Sources" below it enumerates the store's values
//     first, then each host data source as a REG_SZ value whose data is its
//     driver entry.
// The store shadows the host: a key or list value of the same name (ASCII
// letters folded) is the store's, and the host's is not shown. Host entries
// are read-only: writing or deleting them, or creating their keys, gives
// ERROR_ACCESS_DENIED. The ODBC.INI and list keys are shown whether or not
// the store has them, so that a prefix that was never set up shows the host's
// data sources too. A handle reads the host's configuration once, when it is
// opened.
#pragma once

#include "RegistryHandles.h"

#include <string>

namespace vorla::platform::registry {

// The view of the store key a walk reached, the last name of the walk being
// `lastName` (empty when the walk named no key): the ODBC.INI key and its
// list key right below SOFTWARE\ODBC of the user's or the system's hive show
// the host's data sources of that scope; every other key shows none.
HostView HostViewOfKey(const KeyPosition& pos, const std::string& lastName);

// The view of the path `parts`, taken from the root of `store`'s hive, for
// a path whose end the store holds no key of: SOFTWARE\ODBC\ODBC.INI and its
// list key are shown in every prefix, set up or not (a handle with key 0,
// read-only), and ODBC.INI\<name> as one of the host's data sources. Role
// None for every other path.
HostView HostViewOfPath(const Store& store, const std::vector<std::string>& parts);

// The names, from the root of its hive, of the key with view `view` (the
// ODBC.INI key or its list key).
std::vector<std::string> PathOfView(const HostView& view);

// The host's data source `name` as the view shows it (not one of the
// prefix's own published sections); null when it shows none.
const HostDataSource* FindShown(const HostView& view, const std::string& name);

// The same view, the host's configuration read again, for a new handle.
HostView Reread(const HostView& view);

// The view of the host's data source `name` below an ODBC.INI key whose view
// is `parent`, for a name that the store holds no key of; role None when the
// host has no such data source either.
HostView HostDataSourceBelow(const HostView& parent, const std::string& name);

// Whether the host's `name` is shown among the values of the list key with
// view `view` (the caller knows the store has no value of that name).
bool HostListsValue(const HostView& view, const std::string& name);

// Whether the ODBC.INI key with view `view`, which has no sub-keys in the
// store, shows any of the host's data sources as sub-keys.
bool HostAddsSubKeys(const HostView& view);

// The sub-keys or values of the handle's store key merged with the host's
// data sources, as the handle's view says: kept in `cache` while the store's
// list is the same.
const std::vector<EnumItem>& MergedSubKeys(KeyHandle& h);
const std::vector<EnumItem>& MergedValues(KeyHandle& h);

// Adds the host's items among `items` to the counts and sizes of `info`: as
// sub-keys (names), or as values (names and REG_SZ data of driver entries).
void AddHostInfo(const std::vector<EnumItem>& items, bool values, Store::Info* info);

// The counts and sizes of one of the host's data sources.
Store::Info HostDataSourceInfo(const HostDataSource& source);

// A value shown for one of the host's entries: REG_SZ, the text and its NUL.
ValueRecord HostValue(const std::string& name, const std::string& text);

}  // namespace vorla::platform::registry
