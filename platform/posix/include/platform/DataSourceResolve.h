// What the Windows driver manager does with a data source, done before
// unixODBC sees it. On Windows the driver manager reads the registry's data
// sources itself; unixODBC knows only its own odbc.ini. So on POSIX the
// platform's SQLDriverConnect (see platform/Odbc.h) hands unixODBC, for a
// data source that the registry store holds, a text that names its driver
// library directly and carries the data source's settings as attributes; one
// of the host's, which the registry only shows, goes as it is.
#pragma once

#include <string>

namespace vorla::platform {

// The connection text handed to unixODBC for `connect` (without "ODBC;").
std::string ResolveDataSource(const std::string& connect);

}  // namespace vorla::platform
