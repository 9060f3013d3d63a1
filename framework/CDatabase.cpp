#include "framework/CDatabase.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

#include "framework/ConnectString.h"
#include "framework/Interrupt.h"

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

// The open connections and the statement running on them, for an interrupt
// that comes on another thread. The statement is set and the request
// checked under one lock, so a statement either starts before the request
// (and is cancelled) or is never started.
// Never destroyed: a connection may still be closed, and an interrupt come,
// while the process's statics are being torn down.
struct Running {
    std::mutex lock;
    std::vector<CDatabase*> open;
    SQLHSTMT statement = SQL_NULL_HSTMT;
    bool cancellable = false;
    bool interrupted = false;
};
Running& g_state = *new Running;
std::mutex& g_runningLock = g_state.lock;
std::vector<CDatabase*>& g_open = g_state.open;
SQLHSTMT& g_running = g_state.statement;
bool& g_interrupted = g_state.interrupted;

// Marks `hstmt` as the running statement, one that an interrupt cancels when
// `cancellable`; false when an interrupt was asked for, and nothing is then
// marked.
bool StartStatement(SQLHSTMT hstmt, bool cancellable) {
    std::lock_guard<std::mutex> guard(g_runningLock);
    if (g_interrupted) {
        return false;
    }
    g_running = hstmt;
    g_state.cancellable = cancellable;
    return true;
}

// Unmarks it; false when an interrupt was asked for meanwhile.
bool EndStatement() {
    std::lock_guard<std::mutex> guard(g_runningLock);
    g_running = SQL_NULL_HSTMT;
    return !g_interrupted;
}

// Closes the statement's cursor on every way out of ExecuteSQL, so that the
// handle is ready for the next statement.
class CursorClose {
public:
    explicit CursorClose(SQLHSTMT handle) : m_handle(handle) {}
    ~CursorClose() { SQLFreeStmt(m_handle, SQL_CLOSE); }
    CursorClose(const CursorClose&) = delete;
    CursorClose& operator=(const CursorClose&) = delete;

private:
    SQLHSTMT m_handle;
};

}  // namespace

CDatabase::~CDatabase() {
    Close();
}

BOOL CDatabase::RequestInterrupt() {
    std::lock_guard<std::mutex> guard(g_runningLock);
    if (g_interrupted) {
        return FALSE;
    }
    g_interrupted = true;
    if (g_running != SQL_NULL_HSTMT && g_state.cancellable) {
        SQLCancel(g_running);
    }
    return TRUE;
}

BOOL CDatabase::InterruptRequested() {
    std::lock_guard<std::mutex> guard(g_runningLock);
    return g_interrupted;
}

BOOL CDatabase::AnyOpen() {
    std::lock_guard<std::mutex> guard(g_runningLock);
    return !g_open.empty();
}

void CDatabase::CloseAllOpen() {
    std::vector<CDatabase*> open;
    {
        std::lock_guard<std::mutex> guard(g_runningLock);
        open = g_open;
    }
    for (CDatabase* db : open) {
        db->Close();
    }
}

void CDatabase::Close() {
    {
        std::lock_guard<std::mutex> guard(g_runningLock);
        g_open.erase(std::remove(g_open.begin(), g_open.end(), this), g_open.end());
    }
    if (m_hdbc != SQL_NULL_HDBC) {
        if (m_bTransactionPending) {
            // Best effort on the way out: a server that is gone has ended the
            // transaction itself.
            SQLEndTran(SQL_HANDLE_DBC, m_hdbc, SQL_ROLLBACK);
            m_bTransactionPending = FALSE;
        }
        if (m_hstmt != SQL_NULL_HSTMT) {
            SQLFreeHandle(SQL_HANDLE_STMT, m_hstmt);
            m_hstmt = SQL_NULL_HSTMT;
        }
        SQLDisconnect(m_hdbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_hdbc);
        m_hdbc = SQL_NULL_HDBC;
    }
    if (m_henv != SQL_NULL_HENV) {
        SQLFreeHandle(SQL_HANDLE_ENV, m_henv);
        m_henv = SQL_NULL_HENV;
    }
    m_strConnect.Empty();
    m_strDbmsName.Empty();
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
    ReadDbmsName();
    std::lock_guard<std::mutex> lock(g_runningLock);
    g_open.push_back(this);
    return TRUE;
}

void CDatabase::ExecuteSQL(const CString& sql) {
    ExecuteSQL(sql, nullptr);
}

void CDatabase::ReadResultSet(SQLHSTMT hstmt, SQLSMALLINT columns, CResultSet& set) {
    set.columns.clear();
    set.rows.clear();
    for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(columns); ++column) {
        SQLCHAR name[256] = {0};
        SQLSMALLINT length = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        const SQLRETURN rc = SQLDescribeCol(hstmt, column, name, sizeof name, &length, &type, &size,
                                            &digits, &nullable);
        if (!Succeeded(rc)) {
            AfxThrowDBException(rc, SQL_HANDLE_STMT, hstmt);
        }
        set.columns.emplace_back(reinterpret_cast<const char*>(name));
    }
    for (;;) {
        SQLRETURN rc = SQLFetch(hstmt);
        if (rc == SQL_NO_DATA) {
            return;
        }
        if (!Succeeded(rc)) {
            AfxThrowDBException(rc, SQL_HANDLE_STMT, hstmt);
        }
        std::vector<std::optional<CString>> row;
        row.reserve(static_cast<size_t>(columns));
        for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(columns); ++column) {
            // A long value comes in parts, each call giving the next.
            CString value;
            bool null = false;
            for (;;) {
                char part[4096];
                SQLLEN indicator = 0;
                rc = SQLGetData(hstmt, column, SQL_C_CHAR, part, sizeof part, &indicator);
                if (rc == SQL_NO_DATA) {
                    break;
                }
                if (!Succeeded(rc)) {
                    AfxThrowDBException(rc, SQL_HANDLE_STMT, hstmt);
                }
                if (indicator == SQL_NULL_DATA) {
                    null = true;
                    break;
                }
                const bool whole =
                    indicator != SQL_NO_TOTAL && indicator < static_cast<SQLLEN>(sizeof part);
                const size_t got = whole ? static_cast<size_t>(indicator) : sizeof part - 1;
                value.Append(part, static_cast<int>(got));
                if (whole) {
                    break;
                }
            }
            row.push_back(null ? std::nullopt : std::optional<CString>(value));
        }
        set.rows.push_back(std::move(row));
    }
}

SQLHSTMT CDatabase::StatementHandle() {
    if (!IsOpen()) {
        AfxThrowDBException(SQL_INVALID_HANDLE, "The database connection is not open.");
    }
    // One statement handle serves every statement of the connection: a
    // script of many small batches would otherwise spend a good part of its
    // time allocating and freeing handles in the driver manager and driver.
    if (m_hstmt == SQL_NULL_HSTMT) {
        SQLHSTMT handle = SQL_NULL_HSTMT;
        const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, m_hdbc, &handle);
        if (!Succeeded(rc)) {
            AfxThrowDBException(rc, SQL_HANDLE_DBC, m_hdbc);
        }
        m_hstmt = handle;
    }
    return m_hstmt;
}

SQLRETURN CDatabase::ExecDirect(SQLHSTMT hstmt, const CString& sql) const {
    if (!StartStatement(hstmt, m_bCancelAcrossThreads)) {
        AfxEndInterruptedRun();
    }
    const SQLRETURN rc =
        SQLExecDirect(hstmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.Str().data())),
                      static_cast<SQLINTEGER>(sql.GetLength()));
    // A cancelled statement's error is not the run's: the run was stopped.
    if (!EndStatement()) {
        AfxEndInterruptedRun();
    }
    return rc;
}

long CDatabase::ExecuteCountingResults(const CString& sql) {
    const SQLHSTMT hstmt = StatementHandle();
    CursorClose guard(hstmt);
    SQLRETURN rc = ExecDirect(hstmt, sql);
    long count = 1;
    for (; rc != SQL_NO_DATA; ++count) {
        if (!Succeeded(rc)) {
            AfxThrowDBException(rc, SQL_HANDLE_STMT, hstmt);
        }
        rc = SQLMoreResults(hstmt);
    }
    return count - 1;
}

void CDatabase::ExecuteSQL(const CString& sql,
                           const std::function<void(const CResultSet&)>& results) {
    const SQLHSTMT hstmt = StatementHandle();
    CursorClose guard(hstmt);
    SQLRETURN rc = ExecDirect(hstmt, sql);
    if (rc == SQL_NO_DATA) {
        return;  // a searched UPDATE or DELETE that touched no row
    }
    if (!Succeeded(rc)) {
        AfxThrowDBException(rc, SQL_HANDLE_STMT, hstmt);
    }
    // Drain the result sets: a later statement of a batch may still fail,
    // and its error arrives only when its result is reached. Only a result
    // with columns (rows to read past) is a reason to ask for the next one:
    // after a statement without results there is nothing to drain, and some
    // drivers cannot be asked then (MariaDB's SQLMoreResults crashes after a
    // statement that it ran outside a prepared statement, such as a trigger
    // with a compound body). The errors of a statement without results come
    // with SQLExecDirect itself.
    for (;;) {
        SQLSMALLINT columns = 0;
        rc = SQLNumResultCols(hstmt, &columns);
        if (!Succeeded(rc)) {
            AfxThrowDBException(rc, SQL_HANDLE_STMT, hstmt);
        }
        if (columns <= 0) {
            return;
        }
        if (results) {
            CResultSet set;
            ReadResultSet(hstmt, columns, set);
            results(set);
        }
        rc = SQLMoreResults(hstmt);
        if (rc == SQL_NO_DATA) {
            return;
        }
        if (!Succeeded(rc)) {
            AfxThrowDBException(rc, SQL_HANDLE_STMT, hstmt);
        }
    }
}

void CDatabase::ReadDbmsName() {
    m_strDbmsName.Empty();
    SQLCHAR name[256] = {0};
    SQLSMALLINT length = 0;
    if (Succeeded(SQLGetInfo(m_hdbc, SQL_DBMS_NAME, name, sizeof name, &length))) {
        m_strDbmsName = reinterpret_cast<const char*>(name);
    }
    SQLUSMALLINT capable = SQL_TC_NONE;
    m_bDefinitionsCommit =
        !Succeeded(SQLGetInfo(m_hdbc, SQL_TXN_CAPABLE, &capable, sizeof capable, nullptr)) ||
        capable != SQL_TC_ALL;
    // The driver's file: libsqlite3odbc*.so, sqlite3odbc.dll and the like.
    SQLCHAR driver[256] = {0};
    m_bCancelAcrossThreads = true;
    if (Succeeded(SQLGetInfo(m_hdbc, SQL_DRIVER_NAME, driver, sizeof driver, &length))) {
        CString file(reinterpret_cast<const char*>(driver));
        file.MakeLower();
        m_bCancelAcrossThreads = file.Find("sqlite") < 0;
    }
}

void CDatabase::BeginTrans() {
    if (!IsOpen()) {
        AfxThrowDBException(SQL_INVALID_HANDLE, "The database connection is not open.");
    }
    // A driver without transactions may still accept the attribute and go on
    // committing every statement: it is asked first.
    SQLUSMALLINT capable = SQL_TC_NONE;
    SQLRETURN rc = SQLGetInfo(m_hdbc, SQL_TXN_CAPABLE, &capable, sizeof capable, nullptr);
    if (!Succeeded(rc)) {
        AfxThrowDBException(rc, SQL_HANDLE_DBC, m_hdbc);
    }
    if (capable == SQL_TC_NONE) {
        AfxThrowDBException(SQL_ERROR, "The ODBC driver does not support transactions.");
    }
    rc = SQLSetConnectAttr(m_hdbc, SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_AUTOCOMMIT_OFF)),
                           SQL_IS_UINTEGER);
    if (!Succeeded(rc)) {
        AfxThrowDBException(rc, SQL_HANDLE_DBC, m_hdbc);
    }
    m_bTransactionPending = TRUE;
}

void CDatabase::CommitTrans() {
    EndTrans(SQL_COMMIT);
}

void CDatabase::Rollback() {
    EndTrans(SQL_ROLLBACK);
}

void CDatabase::EndTrans(SQLSMALLINT completion) {
    if (!IsOpen() || !m_bTransactionPending) {
        AfxThrowDBException(SQL_ERROR, "No transaction is pending on the connection.");
    }
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_hdbc, completion);
    if (!Succeeded(rc)) {
        AfxThrowDBException(rc, SQL_HANDLE_DBC, m_hdbc);
    }
    m_bTransactionPending = FALSE;
    // Nothing is pending now, so the switch commits nothing of its own.
    rc = SQLSetConnectAttr(m_hdbc, SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_AUTOCOMMIT_ON)),
                           SQL_IS_UINTEGER);
    if (!Succeeded(rc)) {
        AfxThrowDBException(rc, SQL_HANDLE_DBC, m_hdbc);
    }
}
