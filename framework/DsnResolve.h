// The connection text that is handed to the driver manager for a text that a
// program gives (without the "ODBC;" prefix). On a system whose driver
// manager reads the registry's data sources itself the text passes unchanged;
// elsewhere a data source held in the registry is turned into a request that
// names its driver directly.
#pragma once

#include "framework/CString.h"

CString AfxResolveDataSource(const CString& connect);
