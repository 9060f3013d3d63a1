#include "framework/CDatabase.h"

#include <limits>
#include <new>
#include <vector>

#include "framework/ConnectString.h"

IMPLEMENT_DYNAMIC(CDatabase, CObject)

namespace {

constexpr char kOdbcPrefix[] = "ODBC;";
constexpr int kOdbcPrefixLength = 5;
// The longest connection string SQLDriverConnect can give back (its buffer
// length is a SQLSMALLINT).
constexpr SQLSMALLINT kMaxConnectOut = std::numeric_limits<SQLSMALLINT>::max();

bool Succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

bool HasOdbcPrefix(const CString& text) {
    return text.GetLength() >= kOdbcPrefixLength &&
           text.Left(kOdbcPrefixLength).CompareNoCase(kOdbcPrefix) == 0;
}

CString WithoutOdbcPrefix(const CString& text) {
    return HasOdbcPrefix(text) ? text.Mid(kOdbcPrefixLength) : text;
}

// The connection text for the driver manager from the two texts that Open is
// given: the attributes of `connect`, then the data source (a name, or a
// connection text of its own).
CString ComposeRequest(LPCSTR dsn, LPCSTR connect) {
    CString request = WithoutOdbcPrefix(CString(connect));
    const CString source(dsn);
    if (source.IsEmpty()) {
        return request;
    }
    if (!request.IsEmpty() && request[request.GetLength() - 1] != ';') {
        request += ';';
    }
    if (HasOdbcPrefix(source)) {
        request += source.Mid(kOdbcPrefixLength);
    } else {
        request += "DSN=" + AfxQuoteConnectValue(source);
    }
    return request;
}

// Frees a statement handle on every way out of ExecuteSQL.
class StatementHandle {
public:
    explicit StatementHandle(SQLHSTMT handle) : m_handle(handle) {}
    ~StatementHandle() {
        SQLFreeStmt(m_handle, SQL_CLOSE);
        SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
    }
    StatementHandle(const StatementHandle&) = delete;
    StatementHandle& operator=(const StatementHandle&) = delete;

private:
    SQLHSTMT m_handle;
};

}  // namespace

CDatabase::~CDatabase() {
    Close();
}

void CDatabase::Close() {
    if (m_hdbc != SQL_NULL_HDBC) {
        SQLDisconnect(m_hdbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_hdbc);
        m_hdbc = SQL_NULL_HDBC;
    }
    if (m_henv != SQL_NULL_HENV) {
        SQLFreeHandle(SQL_HANDLE_ENV, m_henv);
        m_henv = SQL_NULL_HENV;
    }
    m_strConnect.Empty();
}

// The diagnostics live on the handles, so they are read before the handles
// are released; the object is left not open.
void CDatabase::FailOpen(RETCODE retCode, SQLSMALLINT handleType, SQLHANDLE handle) {
    CDBException* e = nullptr;
    try {
        e = AfxNewDBException(retCode, handleType, handle);
    } catch (...) {
        Close();
        throw;
    }
    Close();
    throw e;
}

void CDatabase::AllocConnect(BOOL readOnly, BOOL useCursorLib) {
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_henv);
    if (!Succeeded(rc)) {
        m_henv = SQL_NULL_HENV;
        AfxThrowMemoryException();
    }
    rc =
        SQLSetEnvAttr(m_henv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!Succeeded(rc)) {
        FailOpen(rc, SQL_HANDLE_ENV, m_henv);
    }
    rc = SQLAllocHandle(SQL_HANDLE_DBC, m_henv, &m_hdbc);
    if (!Succeeded(rc)) {
        m_hdbc = SQL_NULL_HDBC;
        Close();
        AfxThrowMemoryException();
    }
    // A server that accepts the connection and never answers would hold the
    // run for ever; the driver gives up after the login timeout with a
    // message of its own. A driver that cannot limit the login is still used.
    // No query timeout is set: a long batch must be able to run.
    SQLSetConnectAttr(m_hdbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(m_dwLoginTimeout)), 0);
    if (useCursorLib) {
        rc = SQLSetConnectAttr(m_hdbc, SQL_ATTR_ODBC_CURSORS,
                               reinterpret_cast<SQLPOINTER>(SQL_CUR_USE_IF_NEEDED), 0);
        if (!Succeeded(rc)) {
            FailOpen(rc, SQL_HANDLE_DBC, m_hdbc);
        }
    }
    if (readOnly) {
        rc = SQLSetConnectAttr(m_hdbc, SQL_ATTR_ACCESS_MODE,
                               reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
        if (!Succeeded(rc)) {
            FailOpen(rc, SQL_HANDLE_DBC, m_hdbc);
        }
    }
}

BOOL CDatabase::Open(LPCSTR dsn, BOOL exclusive, BOOL readOnly, LPCSTR connect, BOOL useCursorLib) {
    Close();
    if (exclusive) {
        AfxThrowDBException(SQL_ERROR, "Exclusive access to a data source is not supported.");
    }
    const CString request = ComposeRequest(dsn, connect);
    if (request.GetLength() > std::numeric_limits<SQLSMALLINT>::max()) {
        AfxThrowDBException(SQL_ERROR, "The connection string is too long.");
    }

    AllocConnect(readOnly, useCursorLib);

    std::vector<SQLCHAR> out;
    try {
        out.resize(static_cast<size_t>(kMaxConnectOut) + 1);
    } catch (const std::bad_alloc&) {
        Close();
        AfxThrowMemoryException();
    }
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnect(
        m_hdbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(request.Str().data())),
        static_cast<SQLSMALLINT>(request.GetLength()), out.data(), kMaxConnectOut, &outLength,
        SQL_DRIVER_NOPROMPT);
    if (!Succeeded(rc)) {
        FailOpen(rc, SQL_HANDLE_DBC, m_hdbc);
    }
    if (outLength < 0) {
        outLength = 0;
    }
    if (outLength >= kMaxConnectOut) {
        outLength = kMaxConnectOut - 1;  // truncated: what the buffer holds
    }
    try {
        m_strConnect = kOdbcPrefix;
        m_strConnect.Append(reinterpret_cast<const char*>(out.data()), outLength);
    } catch (...) {
        Close();
        throw;
    }
    return TRUE;
}

void CDatabase::ExecuteSQL(const CString& sql) {
    if (!IsOpen()) {
        AfxThrowDBException(SQL_INVALID_HANDLE, "The database connection is not open.");
    }
    SQLHSTMT hstmt = SQL_NULL_HSTMT;
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, m_hdbc, &hstmt);
    if (!Succeeded(rc)) {
        AfxThrowDBException(rc, SQL_HANDLE_DBC, m_hdbc);
    }
    StatementHandle guard(hstmt);

    rc = SQLExecDirect(hstmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.Str().data())),
                       static_cast<SQLINTEGER>(sql.GetLength()));
    if (rc == SQL_NO_DATA) {
        return;  // a searched UPDATE or DELETE that touched no row
    }
    if (!Succeeded(rc)) {
        AfxThrowDBException(rc, SQL_HANDLE_STMT, hstmt);
    }
    // Drain every result: a later statement of a batch may still fail, and
    // its error arrives only when its result is reached.
    for (;;) {
        rc = SQLMoreResults(hstmt);
        if (rc == SQL_NO_DATA) {
            return;
        }
        if (!Succeeded(rc)) {
            AfxThrowDBException(rc, SQL_HANDLE_STMT, hstmt);
        }
    }
}
