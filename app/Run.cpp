#include "app/RunCmd.h"
#include "dsn/DsnCreate.h"
#include "dsn/DsnLookup.h"
#include "dsn/DsnRemove.h"
#include "framework/Console.h"
#include "platform/LeftOvers.h"
#include "platform/NameClaim.h"
#include "platform/Publishing.h"
#include "support/FileSystem.h"

// The stages in their fixed order; the first that fails ends the run, each
// having printed its own reason. Nothing done before a failure is undone.
BOOL CRunCmd::Run() {
    CFileSystem fs;

    if (m_strCommandFile.IsEmpty()) {
        AfxWriteErrLine("Try '-h' for HELP");
        AfxWriteErrLine(
            "Use the '-i COMMAND_FILE' command line argument to specify a command file.");
        return FALSE;
    }
    // Only reported here: the script stage fails later when it cannot open
    // the file.
    if (m_strCommandFile != kStandardInputName && !fs.PathExists(m_strCommandFile)) {
        AfxWriteErrLine("The specified command file '" + m_strCommandFile + "' does not exist.");
    }

    // A name chosen here is this run's alone: another run that chose the
    // same free name at the same moment makes the other take the next one.
    LONG tempNumber = 0;
    BOOL generated = FALSE;
    if (m_strDsn.IsEmpty()) {
        if (!m_bTempDsn) {
            AfxWriteErrLine(
                "Specify a DSN using the '-d DSN_NAME' command line argument or use '-x'");
            return FALSE;
        }
        MakeTempDsnName(m_strDsn, &tempNumber);
        generated = TRUE;
    }

    if (!ProvisionDatabase(fs)) {
        return FALSE;
    }

    // Only a data source created by this run is ever removed.
    BOOL createdInThisRun = FALSE;
    // Listed since it was chosen: another run's now, so this run takes the
    // next free one (bounded: each name passed is taken).
    while (generated && m_bCreateDsn && !m_strOutputFile.IsEmpty() && DsnExists(m_strDsn)) {
        MakeTempDsnName(m_strDsn, &tempNumber);
    }
    if (!DsnExists(m_strDsn)) {
        if (!m_bCreateDsn) {
            AfxWriteErrLine("The specified DSN '" + m_strDsn +
                            "' does not exist, use '-c \"DESCRIPTION TEXT\" to create a DSN or "
                            "'-cx' to create a temp DSN.");
            // A mistyped name is the likelier cause: the names it may have
            // meant, and what the advice above takes besides.
            const std::vector<CString> close = CloseDsnNames(m_strDsn, 5);
            if (!close.empty()) {
                CString names;
                for (const CString& name : close) {
                    names += (names.IsEmpty() ? "'" : ", '") + name + "'";
                }
                AfxWriteErrLine("Data sources with names close to it: " + names + ".");
            }
            if (m_strOutputFile.IsEmpty()) {
                AfxWriteErrLine(
                    "'-c' and '-cx' make a data source for a database file: they need "
                    "'-o FILE' as well.");
            }
            return FALSE;
        }
        if (m_strOutputFile.IsEmpty()) {
            AfxWriteErrLine("Can only create DSN entries for MS-Access files.");
            return FALSE;
        }
        BOOL taken = FALSE;
        for (;;) {
            // A temporary data source is this run's alone: no other program
            // is offered it.
            if (m_bTempDsn) {
                vorla::platform::KeepUnpublished(m_strDsn);
                // A given name is held as a chosen one is, so that clearing
                // up left-overs never takes it from under this run.
                if (!generated) {
                    vorla::platform::ClaimName(m_strDsn);
                }
            }
            if (CreateDsn(m_strDsn, m_strDescription, m_strOutputFile, m_hRootKey,
                          generated ? &taken : nullptr)) {
                break;
            }
            if (taken) {
                MakeTempDsnName(m_strDsn, &tempNumber);
                continue;
            }
            AfxWriteErrLine("Cannot create DSN entry:");
            AfxWriteErrLine("DSN:         " + m_strDsn);
            AfxWriteErrLine("Description: " + m_strDescription);
            AfxWriteErrLine("DBQ:         " + m_strOutputFile);
            const std::string why = vorla::platform::PublishingProblem();
            if (!why.empty()) {
                AfxWriteErrLine(CString("The data source was not published: ") + why.c_str() + ".");
            }
            return FALSE;
        }
        createdInThisRun = TRUE;
    }

    // A failed run keeps the temporary data source it made: the user is told
    // so, and how to remove it.
    const auto leftBehind = [&]() {
        if (createdInThisRun && m_bTempDsn) {
            AfxWriteErrLine("The temporary data source '" + m_strDsn + "' stays registered; " +
                            vorla::platform::RemoveTemporaryCommand() +
                            " removes it and every other one that no run holds.");
        }
        return FALSE;
    };
    ComposeConnectString();
    if (!OpenConnection()) {
        return leftBehind();
    }
    // Only the script's batches are in the transaction: the database file,
    // its backup and the data source are made before it, as without -t.
    if (m_bOneTransaction && !BeginScriptTransaction()) {
        return leftBehind();
    }
    if (!RunScript()) {
        leftBehind();
        // The last line says what the database kept.
        if (m_bOneTransaction) {
            RollbackScriptTransaction();
        }
        return FALSE;
    }
    if (m_bOneTransaction && !CommitScriptTransaction()) {
        return leftBehind();
    }

    if (createdInThisRun && m_bTempDsn && DsnHasDbq(m_strDsn, m_strOutputFile)) {
        CloseConnection();
        if (!RemoveDsn(m_strDsn, m_hRootKey)) {
            AfxWriteErrLine("Unable to remove temporary DSN '" + m_strDsn + "'");
            return FALSE;
        }
    }
    return TRUE;
}
