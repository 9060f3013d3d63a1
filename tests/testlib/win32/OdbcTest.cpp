#include "testlib/OdbcTest.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/Odbc.h"
#include "testlib/Wine.h"

// On Windows the SQLite ODBC driver is reached by its name in the driver
// manager's list, and the database it wrote is read back through the same
// driver: there is no SQLite library of our own on this side. Under Wine the
// list is the host's (Wine's odbc32 hands every call to unixODBC), where the
// driver is called "SQLite3"; a Windows installation of the driver calls
// itself "SQLite3 ODBC Driver".

namespace vorla::test {

namespace {

const char* const kDriverNames[] = {"SQLite3 ODBC Driver", "SQLite3"};

bool Ok(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// The first diagnostic message on a handle, for failure messages.
std::string Diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::array<SQLCHAR, 1024> message{};
    SQLSMALLINT length = 0;
    if (!Ok(SQLGetDiagRec(type, handle, 1, state, &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length))) {
        return "(no diagnostic)";
    }
    return std::string(reinterpret_cast<const char*>(message.data()));
}

// Environment, connection and statement handles, freed on every way out.
class Handles {
public:
    Handles() {
        if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env))) {
            m_env = SQL_NULL_HENV;
            return;
        }
        SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc))) {
            m_dbc = SQL_NULL_HDBC;
        }
    }
    ~Handles() {
        if (m_stmt != SQL_NULL_HSTMT) {
            SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
        }
        if (m_connected) {
            SQLDisconnect(m_dbc);
        }
        if (m_dbc != SQL_NULL_HDBC) {
            SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        }
        if (m_env != SQL_NULL_HENV) {
            SQLFreeHandle(SQL_HANDLE_ENV, m_env);
        }
    }
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;

    SQLHENV m_env = SQL_NULL_HENV;
    SQLHDBC m_dbc = SQL_NULL_HDBC;
    SQLHSTMT m_stmt = SQL_NULL_HSTMT;
    bool m_connected = false;
};

// Wine's kernel32 names the host file behind a Windows path; the result is
// allocated on the process heap.
using WineUnixFileName = char*(CDECL*)(LPCWSTR);

}  // namespace

std::string DriverFilePath(const std::string& file) {
    if (!RunningUnderWine()) {
        return file;
    }
    const auto convert = reinterpret_cast<WineUnixFileName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, nullptr, 0);
    if (convert == nullptr || wideLength <= 0) {
        return file;
    }
    std::vector<wchar_t> wide(static_cast<size_t>(wideLength));
    MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide.data(), wideLength);
    char* unixName = convert(wide.data());
    if (unixName == nullptr) {
        return file;
    }
    std::string result(unixName);
    HeapFree(GetProcessHeap(), 0, unixName);
    return result;
}

std::string MissingDriverText(const std::string&) {
    return "[Microsoft][ODBC Driver Manager] Data source name not found and no default driver "
           "specified";
}

std::string SqliteOdbcDriver() {
    Handles handles;
    if (handles.m_env == SQL_NULL_HENV) {
        return std::string();
    }
    std::vector<std::string> installed;
    std::array<SQLCHAR, 256> description{};
    std::array<SQLCHAR, 1024> attributes{};
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLSMALLINT descriptionLength = 0;
        SQLSMALLINT attributesLength = 0;
        const SQLRETURN rc = SQLDrivers(
            handles.m_env, direction, description.data(),
            static_cast<SQLSMALLINT>(description.size()), &descriptionLength, attributes.data(),
            static_cast<SQLSMALLINT>(attributes.size()), &attributesLength);
        if (!Ok(rc)) {
            break;
        }
        installed.emplace_back(reinterpret_cast<const char*>(description.data()));
        direction = SQL_FETCH_NEXT;
    }
    for (const char* name : kDriverNames) {
        for (const std::string& driver : installed) {
            if (driver == name) {
                return "{" + driver + "}";
            }
        }
    }
    return std::string();
}

std::vector<std::string> QuerySqlite(const std::string& file, const std::string& sql) {
    std::vector<std::string> rows;
    const std::string driver = SqliteOdbcDriver();
    if (driver.empty()) {
        ADD_FAILURE() << "no SQLite ODBC driver to read " << file << " with";
        return rows;
    }
    Handles h;
    if (h.m_dbc == SQL_NULL_HDBC) {
        ADD_FAILURE() << "cannot allocate ODBC handles";
        return rows;
    }
    std::string connect = DirectConnect(driver, file);
    SQLSMALLINT outLength = 0;
    if (!Ok(SQLDriverConnect(h.m_dbc, nullptr, reinterpret_cast<SQLCHAR*>(&connect[0]),
                             static_cast<SQLSMALLINT>(connect.size()), nullptr, 0, &outLength,
                             SQL_DRIVER_NOPROMPT))) {
        ADD_FAILURE() << "cannot open " << file << ": " << Diagnostic(SQL_HANDLE_DBC, h.m_dbc);
        return rows;
    }
    h.m_connected = true;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, h.m_dbc, &h.m_stmt))) {
        h.m_stmt = SQL_NULL_HSTMT;
        ADD_FAILURE() << "cannot allocate a statement on " << file;
        return rows;
    }
    std::string text = sql;
    if (!Ok(SQLExecDirect(h.m_stmt, reinterpret_cast<SQLCHAR*>(&text[0]),
                          static_cast<SQLINTEGER>(text.size())))) {
        ADD_FAILURE() << "cannot run '" << sql << "' on " << file << ": "
                      << Diagnostic(SQL_HANDLE_STMT, h.m_stmt);
        return rows;
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(h.m_stmt, &columns);
    while (Ok(SQLFetch(h.m_stmt))) {
        std::string row;
        for (SQLUSMALLINT col = 1; col <= static_cast<SQLUSMALLINT>(columns); ++col) {
            if (col > 1) {
                row += '|';
            }
            std::array<char, 4096> value{};
            SQLLEN indicator = 0;
            SQLGetData(h.m_stmt, col, SQL_C_CHAR, value.data(), static_cast<SQLLEN>(value.size()),
                       &indicator);
            row += indicator == SQL_NULL_DATA ? std::string("NULL") : std::string(value.data());
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace vorla::test
