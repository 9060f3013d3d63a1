#include "app/RunCmd.h"
#include "framework/CDBException.h"
#include "framework/ConnectString.h"
#include "framework/Console.h"

namespace {

// psqlODBC's level of rollback on errors ("Protocol=7.4-<level>"): 1 rolls the
// whole transaction back when a statement fails. Its default, 2, wraps every
// statement of a transaction in a SAVEPOINT and a RELEASE so that only the
// statement is undone: with -t a failure ends the run and the transaction is
// rolled back whole anyway, so those two commands per statement buy nothing.
constexpr char kTransactionRollback[] = "Protocol=7.4-1";

// Whether the open connection is to a database whose driver is asked for
// transaction-level rollback under -t.
bool WantsTransactionRollback(const CDatabase& db) {
    return db.GetDbmsName().CompareNoCase("PostgreSQL") == 0;
}

// `connect` with one attribute more; a text that ends its last attribute
// with ';' (as the one with a database path does) gets no empty one.
CString WithAttribute(const CString& connect, const char* attribute) {
    const bool ended = !connect.IsEmpty() && connect[connect.GetLength() - 1] == ';';
    return connect + (ended ? "" : ";") + attribute;
}

}  // namespace

void CRunCmd::ComposeConnectString() {
    const bool credentials = !m_strLogin.IsEmpty() || !m_strPassword.IsEmpty();
    const bool databasePath = !m_strOutputFile.IsEmpty();
    // Every value stays one value: one holding ';', '{' or '}', or blanks at
    // either end, goes in braces ("}" doubled), so that a password or a path
    // never adds attributes of its own. Every other value goes in exactly as
    // it stands, so an ordinary connection text is the same as ever.
    const CString dsn = AfxQuoteConnectValue(m_strDsn);
    const CString database = AfxQuoteConnectValue(m_strOutputFile);
    const CString login = AfxQuoteConnectValue(m_strLogin);
    const CString password = AfxQuoteConnectValue(m_strPassword);
    if (databasePath && credentials) {
        m_strConnect.Format(
            "ODBC;DSN=%s;DBQ=%s;UID=%s;PWD=%s;DriverId=25;FIL=MS Access;MaxBufferSize=512;"
            "PageTimeout=5;",
            dsn.GetString(), database.GetString(), login.GetString(), password.GetString());
    } else if (databasePath) {
        m_strConnect.Format(
            "ODBC;DSN=%s;DBQ=%s;DriverId=25;FIL=MS Access;MaxBufferSize=512;PageTimeout=5;",
            dsn.GetString(), database.GetString());
    } else {
        m_strConnect.Format("ODBC;DSN=%s;UID=%s;PWD=%s", dsn.GetString(), login.GetString(),
                            password.GetString());
    }
}

BOOL CRunCmd::OpenConnection() {
    try {
        // The line stays open until the connection is made, so that a slow
        // driver shows where the run waits.
        AfxWriteOut("Connecting to '" + m_strDsn + "' " + m_strDescription + " . . .");
        // Only an exception counts as failure; the result is not examined.
        m_db.Open(m_strConnect, FALSE, FALSE, "ODBC;", TRUE);
        // The level is a setting of the connection and the database is known
        // only once connected: with -t the connection is made again with it.
        // A run without -t keeps the driver's own setting.
        if (m_bOneTransaction && WantsTransactionRollback(m_db)) {
            m_db.Open(WithAttribute(m_strConnect, kTransactionRollback), FALSE, FALSE, "ODBC;",
                      TRUE);
        }
        m_strConnect = m_db.GetConnect();
    } catch (CDBException* e) {
        AfxWriteErrLine("Database connection error '" + e->m_strError + "'");
        e->Delete();
        return FALSE;
    } catch (CMemoryException* e) {
        AfxWriteErrLine("Unspecified database memory error occurred.");
        e->Delete();
        return FALSE;
    }
    AfxWriteOutLine(" done!");
    return TRUE;
}

void CRunCmd::CloseConnection() {
    if (m_db.IsOpen()) {
        AfxWriteOutLine("Closing connection.");
        m_db.Close();
    }
    m_fileOutput.Abort();
}

BOOL CRunCmd::BeginScriptTransaction() {
    try {
        m_db.BeginTrans();
    } catch (CDBException* e) {
        // Without a transaction the script would run in autocommit, which is
        // not what the user asked for: nothing is run.
        AfxWriteErrLine("Cannot run the script in one transaction: " + e->m_strError);
        e->Delete();
        return FALSE;
    }
    return TRUE;
}

BOOL CRunCmd::CommitScriptTransaction() {
    try {
        m_db.CommitTrans();
    } catch (CDBException* e) {
        AfxWriteErrLine("Cannot commit the script's transaction: " + e->m_strError);
        e->Delete();
        RollbackScriptTransaction();
        return FALSE;
    }
    return TRUE;
}

void CRunCmd::RollbackScriptTransaction() {
    try {
        m_db.Rollback();
    } catch (CDBException* e) {
        // The database decides what stays now; the message says it is unknown.
        AfxWriteErrLine("Cannot roll back the script's transaction: " + e->m_strError);
        e->Delete();
        return;
    }
    AfxWriteErrLine("The transaction was rolled back: nothing of the script was kept.");
}
