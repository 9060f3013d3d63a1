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

// "DRIVER=<driver>;Database=<file>": a connection text that needs no data
// source.
std::string DirectConnect(const std::string& driver, const std::string& file);

}  // namespace vorla::test
