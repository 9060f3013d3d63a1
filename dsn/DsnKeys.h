// Registry paths of ODBC data sources, shared by lookup, creation and removal.
#pragma once

// Prefix of every data source's key; the data source's name is joined to it
// directly.
constexpr const char* kOdbcIniPrefix = "SOFTWARE\\ODBC\\ODBC.INI\\";
// Name of the key, below the prefix, that lists the data sources.
constexpr const char* kDataSourceListName = "ODBC Data Sources";
