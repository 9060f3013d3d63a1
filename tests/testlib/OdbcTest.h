// Helpers for tests that go through the real ODBC driver manager and the
// SQLite ODBC driver, and look at the resulting database with SQLite itself.
#pragma once

#include <string>
#include <vector>

namespace vorla::test {

// Absolute path of the SQLite ODBC driver library: the one unixODBC has
// registered as "SQLite3" (or "SQLite"), else the first of the usual install
// places that exists. Empty when the driver is not installed.
std::string SqliteOdbcDriver();

// Skips the current test with a message naming what to install when the
// driver is missing. Use as: VORLA_REQUIRE_SQLITE_ODBC(driver);
#define VORLA_REQUIRE_SQLITE_ODBC(var)                                                  \
    const std::string var = ::vorla::test::SqliteOdbcDriver();                          \
    if (var.empty()) {                                                                  \
        GTEST_SKIP() << "The SQLite ODBC driver (Debian package libsqliteodbc) is not " \
                        "installed";                                                    \
    }

// Runs a query on a SQLite database file and returns its rows, each row its
// columns joined by '|' (NULL as "NULL"). A failing query fails the test and
// gives an empty result.
std::vector<std::string> QuerySqlite(const std::string& file, const std::string& sql);

// "DRIVER=<driver>;Database=<file>": a connection text that needs no data
// source.
std::string DirectConnect(const std::string& driver, const std::string& file);

}  // namespace vorla::test
