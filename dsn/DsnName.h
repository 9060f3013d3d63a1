// The names a data source may be created under.
#pragma once

#include "framework/CString.h"
#include "platform/Win32.h"

// True when `name` may name a new data source: 1 to 32 characters (the
// ODBC limit, SQL_MAX_DSN_LENGTH), none of the characters ODBC reserves,
// "[]{}(),;?*=!@\", and not the name of the data-source list key, which
// shares the data sources' parent key. A '\' would also make nested keys.
BOOL IsValidDsnName(const CString& name);
