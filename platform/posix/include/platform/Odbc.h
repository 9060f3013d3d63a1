// The ODBC API: on POSIX the host's driver manager (unixODBC), whose headers
// would otherwise define their own Windows types. They are told that the
// Windows types exist already (ours, with their Windows sizes) and are given
// the few further names they expect from a Windows system.
#pragma once

#include "platform/Win32.h"

#ifndef ALREADY_HAVE_WINDOWS_TYPE
#define ALREADY_HAVE_WINDOWS_TYPE 1
#endif
#ifndef SQL_API
#define SQL_API
#endif

typedef signed char SCHAR;
typedef SCHAR SQLSCHAR;
typedef int32_t SDWORD;
typedef uint32_t UDWORD;
typedef int16_t SWORD;
typedef uint16_t UWORD;
typedef int32_t SLONG;
typedef int16_t SSHORT;
typedef uint16_t USHORT;
typedef double SDOUBLE;
typedef double LDOUBLE;
typedef float SFLOAT;
typedef void* PTR;
typedef int16_t RETCODE;
typedef void* SQLHWND;
typedef uint16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;

#include <sql.h>
#include <sqlext.h>

namespace vorla::platform {

// SQLDriverConnect as the Windows driver manager gives it: a data source of
// the registry is found there (see platform/DataSourceResolve.h), and the
// resolved text goes to unixODBC's own SQLDriverConnect.
SQLRETURN DriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength,
                        SQLCHAR* out, SQLSMALLINT outMax, SQLSMALLINT* outLength,
                        SQLUSMALLINT completion);

}  // namespace vorla::platform

#define SQLDriverConnect ::vorla::platform::DriverConnect
