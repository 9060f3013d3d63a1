// The ODBC API of the Windows driver manager (odbc32).
#pragma once

#include "platform/Win32.h"

#include <sql.h>
#include <sqlext.h>
