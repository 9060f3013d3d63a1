#include "testlib/OdbcTest.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace vorla::test {

namespace {

// The "Driver=" line of `odbcinst -q -d -n <name>`; empty when there is none.
std::string RegisteredDriver(const std::string& name) {
    const std::string command = "odbcinst -q -d -n " + name + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        return std::string();
    }
    std::array<char, 1024> line{};
    while (fgets(line.data(), static_cast<int>(line.size()), pipe.get()) != nullptr) {
        std::string text(line.data());
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        if (text.rfind("Driver=", 0) == 0) {
            return text.substr(7);
        }
    }
    return std::string();
}

const char* const kDriverDirectories[] = {
    "/usr/lib/x86_64-linux-gnu/odbc",
    "/usr/lib/aarch64-linux-gnu/odbc",
    "/usr/lib/odbc",
    "/usr/lib64",
    "/usr/lib",
    "/usr/local/lib",
    "/opt/homebrew/lib",
};

}  // namespace

std::string SqliteOdbcDriver() {
    for (const char* name : {"SQLite3", "SQLite"}) {
        const std::string driver = RegisteredDriver(name);
        if (driver.empty()) {
            continue;
        }
        // odbcinst.ini may name the library without a directory.
        if (fs::path(driver).is_absolute()) {
            if (fs::exists(driver)) {
                return driver;
            }
            continue;
        }
        for (const char* dir : kDriverDirectories) {
            const fs::path candidate = fs::path(dir) / driver;
            if (fs::exists(candidate)) {
                return candidate.string();
            }
        }
    }
    for (const char* dir : kDriverDirectories) {
        for (const char* file : {"libsqlite3odbc.so", "libsqlite3odbc.dylib"}) {
            const fs::path candidate = fs::path(dir) / file;
            if (fs::exists(candidate)) {
                return candidate.string();
            }
        }
    }
    return std::string();
}

std::vector<std::string> QuerySqlite(const std::string& file, const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << file << ": " << sqlite3_errmsg(db);
        sqlite3_close(db);
        return rows;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot run '" << sql << "' on " << file << ": " << sqlite3_errmsg(db);
        sqlite3_close(db);
        return rows;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::string row;
        for (int col = 0; col < sqlite3_column_count(stmt); ++col) {
            if (col > 0) {
                row += '|';
            }
            const unsigned char* text = sqlite3_column_text(stmt, col);
            row += text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
        }
        rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

std::string DriverFilePath(const std::string& file) {
    return file;
}

std::string MissingDriverText(const std::string& driver) {
    return UnixOdbcMissingDriverText(driver);
}

}  // namespace vorla::test
