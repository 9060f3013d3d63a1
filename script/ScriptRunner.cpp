#include <new>

#include "app/RunCmd.h"
#include "framework/CArchive.h"
#include "framework/CDBException.h"
#include "framework/CFile.h"
#include "framework/Console.h"
#include "script/ScriptReader.h"

namespace {

constexpr int kArchiveBufferSize = 4096;

}  // namespace

BOOL CRunCmd::RunScript() {
    CFile file;
    // Read-only, denying writers only, as the templates are read: any number
    // of runs read one script side by side, and a script that another
    // program is writing is refused.
    if (!file.Open(m_strCommandFile, CFile::modeRead | CFile::shareDenyWrite)) {
        AfxWriteErrLine("Cannot open file '" + m_strCommandFile + "' for reading");
        return FALSE;
    }
    // Each message names the script on a line of its own.
    const char* failure = nullptr;
    try {
        CArchive archive(&file, CArchive::load, kArchiveBufferSize);
        const BOOL result = ReadBatches(archive);
        archive.Close();
        file.Close();
        return result;
    } catch (CMemoryException* e) {
        failure = "I/O ERROR: Memory allocation error for command file\n";
        e->Delete();
    } catch (const std::bad_alloc&) {
        // The strings that hold a line and a batch allocate as any other:
        // running out there is the same memory error, never an abort.
        failure = "I/O ERROR: Memory allocation error for command file\n";
    } catch (CArchiveException* e) {
        failure = "I/O ERROR: Archive exception error for command file\n";
        e->Delete();
    } catch (CFileException* e) {
        failure = "I/O ERROR: File read error for command file\n";
        e->Delete();
    }
    file.Abort();
    AfxWriteErrLine(failure + m_strCommandFile + ".");
    return FALSE;
}

BOOL CRunCmd::ReadBatches(CArchive& archive) {
    CScriptReader reader(m_strBatchSeparator);
    const CString dbms = m_db.GetDbmsName();
    if (m_bStandardSql) {
        reader.UseStandardSql(CScriptReader::DialectOf(dbms));
    }
    reader.OmitCommentsOutsideDefinitions(dbms.CompareNoCase("SQLite") == 0);
    CScriptBatch batch;
    CString line;
    bool more = true;
    while (more) {
        more = archive.ReadString(line) != FALSE;
        if (more) {
            reader.SetLineEnd(archive.LineEnd());
            reader.AddLine(line);
        } else {
            reader.Finish();
        }
        while (reader.TakeBatch(batch)) {
            if (!ExecuteBatch(batch)) {
                return FALSE;
            }
        }
    }
    return TRUE;
}

BOOL CRunCmd::ExecuteBatch(const CScriptBatch& batch) {
    // What the reader refused is never sent.
    if (!batch.failure.IsEmpty()) {
        AfxWriteErrLine("Script error: " + batch.failure);
        AfxWriteErrLine(batch.shown);
        return FALSE;
    }
    // The statement's line and the empty line after it leave in one write.
    AfxWriteOut("Executing: " + batch.shown + "\n\n");
    try {
        // The text goes with its length: a NUL byte inside it must not cut
        // short what is executed, compared with what was printed.
        m_db.ExecuteSQL(batch.sql);
    } catch (CDBException* e) {
        AfxWriteErrLine("Script error: " + e->m_strError);
        AfxWriteErrLine(batch.shown);
        e->Delete();
        return FALSE;
    }
    return TRUE;
}
