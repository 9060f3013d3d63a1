// The registry names of ODBC's data sources, as Windows keeps them: a key
// SOFTWARE\ODBC\ODBC.INI\<name> for each and the list key "ODBC Data
// Sources" beside them, below the user's and the machine's hive. The registry
// view, publishing and the set-up all name them from here.
#pragma once

namespace vorla::platform::registry {

constexpr char kSoftwareName[] = "SOFTWARE";
constexpr char kOdbcName[] = "ODBC";
constexpr char kOdbcIniName[] = "ODBC.INI";
constexpr char kDataSourceListName[] = "ODBC Data Sources";
constexpr char kOdbcIniPath[] = "SOFTWARE\\ODBC\\ODBC.INI";
constexpr char kDataSourceListPath[] = "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";

}  // namespace vorla::platform::registry
