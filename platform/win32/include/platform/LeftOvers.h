// Temporary data sources that failed runs left behind. A run that fails keeps
// the temporary data source it made (nothing done before a failure is
// undone); this says how to remove them.
#pragma once

namespace vorla::platform {

// How to remove the temporary data sources no run holds any more, for the
// line that a failed run writes about the one it left: on Windows the data
// sources are the ODBC administrator's to manage.
inline const char* RemoveTemporaryCommand() {
    return "the ODBC Data Source Administrator (odbcad32.exe)";
}

}  // namespace vorla::platform
