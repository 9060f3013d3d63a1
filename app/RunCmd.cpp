#include "app/RunCmd.h"

#include "framework/Console.h"

CRunCmd::CRunCmd()
    : m_hRootKey(nullptr), m_bCreateDsn(FALSE), m_bTempDsn(FALSE), m_bOneTransaction(FALSE) {
    UseCurrentUser();
}

// A connection still open at the end of the process (after a failed script,
// or when no temporary data source was removed) is closed here.
CRunCmd::~CRunCmd() {
    if (m_db.IsOpen()) {
        AfxWriteOutLine("Closing connection.");
        m_db.Close();
    }
    m_fileOutput.Abort();
}

void CRunCmd::UseCurrentUser() {
    m_hRootKey = HKEY_CURRENT_USER;
}

void CRunCmd::UseLocalMachine() {
    m_hRootKey = HKEY_LOCAL_MACHINE;
}
