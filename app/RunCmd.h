// The run-options record: every option of the command line, the database
// connection and the connection string, for the whole process. Its
// operations are the run sequence and the stages that the sequence calls;
// each stage prints its own messages and reports failure as false.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "framework/CDatabase.h"
#include "framework/CFile.h"
#include "framework/CString.h"
#include "platform/Win32.h"

// The -i value that names standard input.
constexpr const char* kStandardInputName = "-";

class CArchive;
class CFileSystem;
class CStatementGroup;
struct CScriptBatch;

class CRunCmd {
public:
    CRunCmd();
    virtual ~CRunCmd();
    CRunCmd(const CRunCmd&) = delete;
    CRunCmd& operator=(const CRunCmd&) = delete;

    void UseCurrentUser();
    void UseLocalMachine();

    // The whole run: options checked, data source chosen, database
    // provisioned, data source found or created, connection, script, and
    // removal of a temporary data source. True when every stage succeeded.
    BOOL Run();

    // Connection.
    void ComposeConnectString();
    BOOL OpenConnection();
    void CloseConnection();
    // With -t: the script's batches in one transaction of the open
    // connection. Begin fails when the driver cannot leave autocommit;
    // Commit fails (after rolling back) when the commit does;
    // Rollback reports whether anything of the script can have been kept.
    BOOL BeginScriptTransaction();
    BOOL CommitScriptTransaction();
    void RollbackScriptTransaction();

    // Script runner.
    BOOL RunScript();
    // `scriptBytes`: the script's size, for the progress line (0: unknown).
    BOOL ReadBatches(CArchive& archive, ULONGLONG scriptBytes = 0);
    BOOL ExecuteBatch(const CScriptBatch& batch);
    // Prints the failure of `batch` with `error`, and the script line to
    // look at.
    void ReportBatchError(const CScriptBatch& batch, const CString& error);
    // With grouping: the batch joins the group, which is run when full (and
    // by FlushGroup); a batch that cannot join runs on its own after the
    // group, and ends grouping for the run.
    BOOL QueueBatch(CStatementGroup& group, CScriptBatch& batch);
    BOOL FlushGroup(CStatementGroup& group);
    // With -t, a script that begins a transaction once and commits it with
    // its last batch (as a database's dump does) runs as the run's one
    // transaction, those two batches left out; one that begins, commits or
    // rolls back otherwise is refused with a line saying where, and the run's
    // transaction is rolled back. Where definitions commit by themselves the
    // script is read through once before anything is run, to refuse it
    // first. False when refused.
    BOOL PlanOneTransaction(CArchive& archive);
    // The line saying that the script's own BEGIN, COMMIT or ROLLBACK at
    // `line` cannot stand in for the run's transaction.
    void ReportOwnTransaction(long line);
    void SetUpReader(class CScriptReader& reader) const;

    // Provisioning of the output database file.
    BOOL ProvisionDatabase(CFileSystem& fs);

    // Fields, in the order of construction.
    CString m_strPassword;
    CString m_strLogin;
    HKEY m_hRootKey;
    BOOL m_bCreateDsn;
    BOOL m_bTempDsn;
    CString m_strDescription;
    CString m_strDsn;
    CString m_strCommandFile;
    CString m_strOutputFile;
    CString m_strEmptyDb;
    CString m_strBatchSeparator;
    // -t: all of the script's batches or none of them.
    BOOL m_bOneTransaction;
    CDatabase m_db;
    CString m_strConnect;
    // -a: the script is standard SQL rather than the program's own form.
    BOOL m_bStandardSql = FALSE;
    // -v NAME=VALUE, in the order given.
    std::vector<std::pair<CString, CString>> m_variables;
    // With -t on PostgreSQL, for standard SQL without a separator (one
    // statement a batch) whose results are not shown: batches go to the
    // database in groups.
    bool m_bGroupStatements = false;
    // Batches that ran, for the progress line.
    long m_done = 0;
    // -q: no "Executing:" lines.
    BOOL m_bQuiet = FALSE;
    // The "Executing:" line being written.
    std::string m_printed;
    // -r: what each statement returns is printed, in this form.
    enum class Results { None, Table, Csv };
    Results m_results = Results::None;
    // The output database, held open from the moment provisioning made or
    // found it until the connection is closed, sharing reading and writing
    // (the driver opens it too) but not deletion, so that no other run can
    // back it up, remove or replace it in between. Closed only after the
    // connection: on POSIX closing any descriptor of a file drops the
    // process's record locks on it, the driver's included.
    CFile m_fileOutput;
};
