// The host's ODBC data sources in the POSIX registry view.
//
// On Windows every data source lives in the registry. On POSIX the host's own
// data sources live in the driver manager's configuration files, and the
// registry shows them, read-only, under SOFTWARE\ODBC\ODBC.INI of
// HKEY_CURRENT_USER (the user's) and HKEY_LOCAL_MACHINE (the system's), so
// that a program finds them with the registry calls it makes on Windows.
// These two functions are for the few places that must tell the two apart.
#pragma once

#include "platform/Win32.h"

namespace vorla::platform {

// Shows or hides the host's data sources for the rest of the process (shown
// by default). A registry export hides them, so that it writes the store's
// own contents only.
void ShowHostDataSources(bool show);

// True when `key` is an open handle to one of the host's data sources, as
// opposed to a key of the registry store.
bool IsHostDataSourceKey(HKEY key);

}  // namespace vorla::platform
