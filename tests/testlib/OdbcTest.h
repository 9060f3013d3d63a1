// Helpers for tests that go through the real ODBC driver manager and the
// SQLite ODBC driver, and look at the resulting database with SQLite itself.
#pragma once

#include <string>
#include <vector>

namespace vorla::test {

// What a connection text names the SQLite ODBC driver by, for DRIVER=. On
// POSIX the absolute path of the driver library: the one unixODBC has
// registered as "SQLite3" (or "SQLite"), else the first of the usual install
// places that exists. On Windows the driver's name in the driver manager's
// list, in braces. Empty when the driver is not installed.
std::string SqliteOdbcDriver();

// Skips the current test with a message naming what to install when the
// driver is missing. Use as: VORLA_REQUIRE_SQLITE_ODBC(driver);
#define VORLA_REQUIRE_SQLITE_ODBC(var)                                                  \
    const std::string var = ::vorla::test::SqliteOdbcDriver();                          \
    if (var.empty()) {                                                                  \
        GTEST_SKIP() << "The SQLite ODBC driver (Debian package libsqliteodbc) is not " \
                        "installed";                                                    \
    }

// Runs a query on a SQLite database file (on Windows through the driver
// above) and returns its rows, each row its columns joined by '|' (NULL as
// "NULL"). A failing query fails the test and gives an empty result.
std::vector<std::string> QuerySqlite(const std::string& file, const std::string& sql);

// The name under which the SQLite ODBC driver is to be given a database
// file: the path itself, except under Wine, where the driver is the host's
// library and opens the host's name of the file.
std::string DriverFilePath(const std::string& file);

// "DRIVER=<driver>;Database=<file>": a connection text that needs no data
// source.
std::string DirectConnect(const std::string& driver, const std::string& file);

// The text the driver manager gives when a connection names a driver that is
// not installed. Wine hands ODBC calls to unixODBC, so under Wine the
// unixODBC text comes instead of the Windows one.
std::string MissingDriverText(const std::string& driver);
std::string UnixOdbcMissingDriverText(const std::string& driver);

}  // namespace vorla::test
