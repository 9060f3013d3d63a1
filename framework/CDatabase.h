// The framework's ODBC connection class: one connection to a data source
// through the driver manager, on which statements are executed directly.
#pragma once

#include <functional>

#include "framework/CDBException.h"
#include "framework/CObject.h"
#include "framework/CResultSet.h"
#include "framework/CString.h"
#include "platform/Odbc.h"

class CDatabase : public CObject {
    DECLARE_DYNAMIC(CDatabase)
public:
    CDatabase() = default;
    ~CDatabase() override;
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // Connects without prompting. `dsn` is a data-source name, or a whole
    // connection text when it begins with "ODBC;"; `connect` is "ODBC;"
    // followed by further attributes, or empty. The attributes of `connect`
    // come first, those of `dsn` after them. Exclusive access is not offered
    // by ODBC: asking for it fails. With `readOnly` the connection is opened
    // in read-only access mode; `useCursorLib` lets the driver manager use its
    // cursor library where the driver needs it.
    //
    // Returns TRUE when connected. Throws CDBException when the driver
    // manager or the driver refuses the connection, CMemoryException when
    // handles cannot be allocated; the object is then not open. An open
    // connection is closed first.
    virtual BOOL Open(LPCSTR dsn, BOOL exclusive = FALSE, BOOL readOnly = FALSE,
                      LPCSTR connect = "ODBC;", BOOL useCursorLib = TRUE);

    // The connection string with which the object is connected, as the
    // driver manager gave it back, after "ODBC;". Empty when not open.
    const CString& GetConnect() const { return m_strConnect; }

    // True while the object holds a connection handle.
    BOOL IsOpen() const { return m_hdbc != SQL_NULL_HDBC; }
    // Releases the connection; nothing happens when none is open. A
    // transaction still pending is rolled back first: the driver manager
    // refuses to disconnect in the middle of one.
    virtual void Close();

    // Transactions. BeginTrans takes the connection out of autocommit, so
    // that what is executed after it waits for CommitTrans or Rollback,
    // which end the transaction and return to autocommit. Each throws
    // CDBException with the driver's diagnostics when the driver refuses;
    // BeginTrans also when the driver reports that it has no transactions.
    // A failed CommitTrans leaves the transaction pending, for Rollback.
    void BeginTrans();
    void CommitTrans();
    void Rollback();
    BOOL IsTransactionPending() const { return m_bTransactionPending; }

    // Executes one SQL text directly; its full length is passed, so a NUL
    // byte inside does not end it. Result sets are discarded unread.
    // Throws CDBException with the diagnostics of the failing call.
    void ExecuteSQL(const CString& sql);
    // The same, handing each result set with columns to `results`, in order,
    // before the next one is asked for.
    void ExecuteSQL(const CString& sql, const std::function<void(const CResultSet&)>& results);
    // Executes a text of several statements, reading past every result
    // (SQLMoreResults) to the end; returns how many results the driver gave,
    // one per statement it ran. Throws CDBException at the first error, as
    // soon as the driver reports it. Only for a driver that can be asked for
    // the next result after any statement.
    long ExecuteCountingResults(const CString& sql);

    // The database product the driver reports (SQL_DBMS_NAME), such as
    // "SQLite" or "PostgreSQL"; empty when not open or not reported.
    const CString& GetDbmsName() const { return m_strDbmsName; }
    // Whether a definition (CREATE, DROP, ...) commits the transaction, or
    // transactions are not to be had: SQL_TXN_CAPABLE other than SQL_TC_ALL.
    bool DefinitionsCommit() const { return m_bDefinitionsCommit; }

    // Seconds a connection attempt may take before the driver gives up
    // (15 unless set); takes effect at the next Open.
    void SetLoginTimeout(DWORD seconds) { m_dwLoginTimeout = seconds; }

    HDBC m_hdbc = SQL_NULL_HDBC;

    // Interrupting (see framework/Interrupt.h), from any thread. The first
    // request marks the process interrupted and cancels the statement that
    // runs on any open connection (SQLCancel); it returns FALSE when an
    // interrupt had been asked for before. An ExecuteSQL that starts after
    // the request, or whose statement returns after it, ends the run
    // (AfxEndInterruptedRun) instead of reporting the statement's result.
    static BOOL RequestInterrupt();
    static BOOL InterruptRequested();
    static BOOL AnyOpen();
    // Closes every open connection; on the thread that owns them.
    static void CloseAllOpen();

protected:
    HENV m_henv = SQL_NULL_HENV;
    CString m_strConnect;
    DWORD m_dwLoginTimeout = 15;
    CString m_strDbmsName;

private:
    void ReadDbmsName();
    // The connection's statement handle, allocated on first use.
    SQLHSTMT StatementHandle();
    // SQLExecDirect of `sql` on `hstmt`, with its full length, cancellable
    // by an interrupt (which ends the run).
    SQLRETURN ExecDirect(SQLHSTMT hstmt, const CString& sql) const;
    // Reads the rows of the current result set of `hstmt`.
    static void ReadResultSet(SQLHSTMT hstmt, SQLSMALLINT columns, CResultSet& set);
    BOOL m_bTransactionPending = FALSE;
    // The statement handle that ExecuteSQL reuses; allocated at the first
    // statement, freed by Close.
    SQLHSTMT m_hstmt = SQL_NULL_HSTMT;
    // Whether the driver takes SQLCancel from another thread while a
    // statement runs, as ODBC allows. The SQLite driver frees the running
    // statement's memory under it: its statements are let finish, and the
    // run stops before the next one.
    bool m_bCancelAcrossThreads = true;
    bool m_bDefinitionsCommit = true;

private:
    void EndTrans(SQLSMALLINT completion);
    void AllocConnect(BOOL readOnly, BOOL useCursorLib);
    [[noreturn]] void FailOpen(RETCODE retCode, SQLSMALLINT handleType, SQLHANDLE handle);
};
