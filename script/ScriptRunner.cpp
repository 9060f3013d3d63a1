#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/RunCmd.h"
#include "framework/CArchive.h"
#include "framework/CDBException.h"
#include "framework/CFile.h"
#include "framework/Console.h"
#include "platform/PathSeparator.h"
#include "platform/Win32.h"
#include "script/ErrorPlace.h"
#include "script/Progress.h"
#include "script/ResultText.h"
#include "script/ScriptReader.h"
#include "script/StatementGroup.h"

namespace {

constexpr int kArchiveBufferSize = 4096;

enum class Control { None, Begin, Commit, Rollback };

// Whether a batch is one statement that begins a transaction (BEGIN, BEGIN
// TRANSACTION, START TRANSACTION, ...) or ends one (COMMIT, END, ROLLBACK,
// with or without WORK or TRANSACTION), as the databases' clients and dumps
// write them; a savepoint's ROLLBACK TO is neither.
Control ControlOf(const CString& sql) {
    // The longest of them, "BEGIN EXCLUSIVE TRANSACTION", with room for
    // blanks and a ';': a longer text is another statement, told at once.
    constexpr int kLongest = 64;
    if (sql.GetLength() > kLongest) {
        return Control::None;
    }
    // So is one whose first letter begins none of their first words.
    const std::string& text = sql.Str();
    const size_t first = text.find_first_not_of(" \t\r\n\v\f");
    if (first == std::string::npos || std::strchr("BSCERbscer", text[first]) == nullptr ||
        text[first] == '\0') {
        return Control::None;
    }
    std::vector<CString> words;
    CString word;
    for (const char c : sql.Str() + ";") {
        if (std::isalpha(static_cast<unsigned char>(c)) != 0) {
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        } else if (std::isspace(static_cast<unsigned char>(c)) != 0 || c == ';') {
            if (!word.IsEmpty()) {
                words.push_back(word);
                word.Empty();
            }
        } else {
            return Control::None;  // anything else makes it another statement
        }
    }
    if (words.empty() || words.size() > 3) {
        return Control::None;
    }
    const auto rest = [&](std::initializer_list<const char*> allowed) {
        for (size_t i = 1; i < words.size(); ++i) {
            bool known = false;
            for (const char* a : allowed) {
                known = known || words[i] == a;
            }
            if (!known) {
                return false;
            }
        }
        return true;
    };
    if ((words[0] == "BEGIN" &&
         rest({"TRANSACTION", "WORK", "DEFERRED", "IMMEDIATE", "EXCLUSIVE"})) ||
        (words[0] == "START" && words.size() == 2 && words[1] == "TRANSACTION")) {
        return Control::Begin;
    }
    if ((words[0] == "COMMIT" || words[0] == "END") && rest({"TRANSACTION", "WORK"})) {
        return Control::Commit;
    }
    if (words[0] == "ROLLBACK" && rest({"TRANSACTION", "WORK"})) {
        return Control::Rollback;
    }
    return Control::None;
}

// A script's own transaction statements under -t, followed batch by batch:
// one BEGIN before any other and a COMMIT as the last batch stand in for the
// run's own transaction and are left out; any other is refused at its line.
class OwnTransaction {
public:
    enum class Step { Run, LeaveOut, Refuse };

    // What to do with the next batch; for Refuse, `line` is where.
    Step Next(const CScriptBatch& batch, long& line) {
        if (m_committed) {
            line = m_commitLine;  // the COMMIT was not the last batch
            return Step::Refuse;
        }
        if (!batch.failure.IsEmpty()) {
            return Step::Run;  // reported when it is run
        }
        line = batch.line;
        switch (ControlOf(batch.sql)) {
            case Control::None:
                return Step::Run;
            case Control::Begin:
                if (m_begun) {
                    return Step::Refuse;
                }
                m_begun = true;
                m_beginLine = batch.line;
                return Step::LeaveOut;
            case Control::Commit:
                if (!m_begun) {
                    return Step::Refuse;
                }
                m_committed = true;
                m_commitLine = batch.line;
                return Step::LeaveOut;
            case Control::Rollback:
                break;
        }
        return Step::Refuse;
    }

    // At the end of the script: the line of a BEGIN that no COMMIT ended,
    // 0 when there is none.
    long Unended() const { return m_begun && !m_committed ? m_beginLine : 0; }

private:
    bool m_begun = false;
    bool m_committed = false;
    long m_beginLine = 0;
    long m_commitLine = 0;
};

// What the first bytes of a script say it is not: a text in an encoding of
// UTF-16 or UTF-32 (by its byte-order mark), or no text at all (a NUL byte);
// empty for a text the reader takes (ASCII, UTF-8, a code page).
CString NotReadable(const char* bytes, UINT size) {
    const auto starts = [&](const char* mark, UINT length) {
        return size >= length && std::memcmp(bytes, mark, length) == 0;
    };
    // The four-byte marks first: UTF-32's little-endian one begins as UTF-16's.
    const struct {
        const char* mark;
        UINT length;
        const char* name;
    } marks[] = {{"\x00\x00\xFE\xFF", 4, "UTF-32 (big-endian)"},
                 {"\xFF\xFE\x00\x00", 4, "UTF-32 (little-endian)"},
                 {"\xFE\xFF", 2, "UTF-16 (big-endian)"},
                 {"\xFF\xFE", 2, "UTF-16 (little-endian)"}};
    for (const auto& m : marks) {
        if (starts(m.mark, m.length)) {
            return CString("is in ") + m.name +
                   ", which VORLA does not read: save it as UTF-8 (or in the system's code page)";
        }
    }
    if (std::memchr(bytes, '\0', size) != nullptr) {
        return "is not text: it holds a NUL byte in its first 4096 bytes";
    }
    return CString();
}

constexpr size_t kMaxIncludeDepth = 16;

// A file that the script includes, open for reading.
struct IncludedFile {
    CFile file;
    std::unique_ptr<CArchive> archive;
    CString name;      // as messages name it
    CString fullPath;  // to know a file that is being read already
};

CString FullPath(const CString& path) {
    char full[_MAX_PATH];
    const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    return length > 0 && length < sizeof full ? CString(full) : path;
}

// The folder part of `path` as it is written, with its separator; empty
// for a name in the current directory.
CString FolderOf(const CString& path) {
    const std::string& text = path.Str();
    const size_t separator = text.find_last_of("/\\");
    return separator == std::string::npos ? CString() : CString(text.substr(0, separator + 1));
}

// Opens what `include` names for `reader`, from the innermost file being read
// (`script` itself when `open` is empty): pushed on `open` and entered in the
// reader, or the script refused at the include line with the reason.
void OpenInclude(const CScriptReader::Include& include, const CString& script,
                 CScriptReader& reader, std::vector<std::unique_ptr<IncludedFile>>& open) {
    const CString& includer = open.empty() ? script : open.back()->name;
    CString name(include.path.c_str());
    if (include.fromIncluder && !IsAbsolutePath(name)) {
        name = FolderOf(includer) + name;
    }
    if (open.size() >= kMaxIncludeDepth) {
        reader.Refuse("included files nest more than 16 deep here; nothing from it on is run");
        return;
    }
    auto next = std::make_unique<IncludedFile>();
    next->name = name;
    next->fullPath = FullPath(name);
    // A file that includes itself, through any chain, would never end.
    const auto same = [&next](const CString& path) {
        return path.CompareNoCase(next->fullPath) == 0 || path == next->fullPath;
    };
    bool again = same(FullPath(script));
    CString chain = script + " -> ";
    for (const auto& file : open) {
        again = again || same(file->fullPath);
        chain += file->name + " -> ";
    }
    if (again) {
        reader.Refuse("'" + std::string(name.Str()) + "' is being read already (" + chain.Str() +
                      name.Str() + "); nothing from it on is run");
        return;
    }
    if (!next->file.Open(name, CFile::modeRead | CFile::shareDenyWrite)) {
        const DWORD error = GetLastError();
        CString why = CFile::DescribeOpenFailure(name, error);
        reader.Refuse("the included file '" + std::string(name.Str()) + "' cannot be read" +
                      (why.IsEmpty() ? std::string() : ": " + std::string(why.Str())) +
                      "; nothing from it on is run");
        return;
    }
    if (GetFileType(next->file.m_hFile) == FILE_TYPE_DISK) {
        char head[kArchiveBufferSize];
        CFile probe;
        const UINT got = probe.Open(name, CFile::modeRead | CFile::shareDenyWrite)
                             ? probe.Read(head, sizeof head)
                             : 0;
        const CString why = NotReadable(head, got);
        if (!why.IsEmpty()) {
            reader.Refuse("the included file '" + std::string(name.Str()) + "' " + why.Str() +
                          "; nothing from it on is run");
            return;
        }
    }
    next->archive = std::make_unique<CArchive>(&next->file, CArchive::load, kArchiveBufferSize);
    reader.EnterFile(name.Str());
    open.push_back(std::move(next));
}

// Reads the script `name` through `reader`, with the files it includes in
// their places, handing each completed batch to `take` in order; false as
// soon as `take` does, true at the end of the script. `scriptRead` counts the
// bytes of the script itself read so far.
template <class Take>
bool EachBatch(CArchive& script, const CString& name, CScriptReader& reader, Take take,
               ULONGLONG* scriptRead = nullptr) {
    std::vector<std::unique_ptr<IncludedFile>> included;
    CString line;
    for (bool more = true; more;) {
        CArchive& archive = included.empty() ? script : *included.back()->archive;
        const bool read = archive.ReadString(line) != FALSE;
        if (read) {
            if (scriptRead != nullptr && included.empty()) {
                *scriptRead += static_cast<ULONGLONG>(line.GetLength()) +
                               std::char_traits<char>::length(archive.LineEnd());
            }
            reader.SetLineEnd(archive.LineEnd());
            reader.AddLine(line);
            CScriptReader::Include include;
            if (reader.TakeInclude(include)) {
                OpenInclude(include, name, reader, included);
            }
        } else if (!included.empty()) {
            included.pop_back();
            reader.LeaveFile();
        } else {
            reader.Finish();
            more = false;
        }
        while (CScriptBatch* batch = reader.NextBatch()) {
            if (!take(*batch)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

void CRunCmd::SetUpReader(CScriptReader& reader) const {
    const CString dbms = m_db.GetDbmsName();
    if (m_bStandardSql) {
        reader.UseStandardSql(CScriptReader::DialectOf(dbms));
    }
    reader.OmitCommentsOutsideDefinitions(dbms.CompareNoCase("SQLite") == 0);
    reader.ShowLater(m_bQuiet != FALSE);
    for (const auto& [name, value] : m_variables) {
        reader.SetVariable(name.Str(), value.Str());
    }
}

BOOL CRunCmd::PlanOneTransaction(CArchive& archive) {
    CScriptReader reader(m_strBatchSeparator);
    SetUpReader(reader);
    reader.ShowLater(true);  // nothing of this reading is printed
    OwnTransaction own;
    long refusedAt = 0;
    bool refused = false;
    EachBatch(archive, m_strCommandFile, reader, [&](const CScriptBatch& batch) {
        if (!batch.failure.IsEmpty()) {
            return false;  // the run reports it when it gets there
        }
        refused = own.Next(batch, refusedAt) == OwnTransaction::Step::Refuse;
        return !refused;
    });
    const long line = refused ? refusedAt : own.Unended();
    if (line == 0) {
        return TRUE;
    }
    ReportOwnTransaction(line);
    return FALSE;
}

void CRunCmd::ReportOwnTransaction(long line) {
    CString where;
    where.Format("%ld", line);
    AfxWriteErrLine(
        "With -t the script runs as one transaction, and it begins, commits or rolls "
        "back one itself at line " +
        where + " of '" + m_strCommandFile +
        "': only one BEGIN, with the COMMIT as the last statement, can stand in for "
        "the run's own.");
}

BOOL CRunCmd::RunScript() {
    CFile file;
    // Read-only, denying writers only, as the templates are read: any number
    // of runs read one script side by side, and a script that another
    // program is writing is refused.
    const bool standardInput = m_strCommandFile == kStandardInputName;
    if (!(standardInput ? file.OpenStandardInput(m_strCommandFile)
                        : file.Open(m_strCommandFile, CFile::modeRead | CFile::shareDenyWrite))) {
        const DWORD error = GetLastError();
        AfxWriteErrLine("Cannot open file '" + m_strCommandFile + "' for reading");
        const CString why = CFile::DescribeOpenFailure(m_strCommandFile, error);
        if (!why.IsEmpty()) {
            AfxWriteErrLine("The script cannot be read: " + why + ".");
        }
        return FALSE;
    }
    // Each message names the script on a line of its own.
    const char* failure = nullptr;
    try {
        // A script in another encoding, or a file that is no text, would
        // reach the database as bytes it cannot read. Only a file on disk is
        // looked at ahead: what a pipe gives is read once.
        const bool onDisk = !standardInput && GetFileType(file.m_hFile) == FILE_TYPE_DISK;
        if (onDisk) {
            CFile probe;
            if (probe.Open(m_strCommandFile, CFile::modeRead | CFile::shareDenyWrite)) {
                char head[kArchiveBufferSize];
                const UINT got = probe.Read(head, sizeof head);
                const CString why = NotReadable(head, got);
                if (!why.IsEmpty()) {
                    AfxWriteErrLine("The script '" + m_strCommandFile + "' " + why + ".");
                    file.Close();
                    return FALSE;
                }
            }
        }
        // Where a definition commits by itself, what ran before a refusal
        // would stay: such a script is read once before anything is sent.
        // Elsewhere the refusal comes where it is found, and the rollback
        // undoes what ran before it.
        if (m_bOneTransaction && onDisk && m_db.DefinitionsCommit()) {
            // Read once before anything is sent, through a second handle.
            CFile planFile;
            if (!planFile.Open(m_strCommandFile, CFile::modeRead | CFile::shareDenyWrite)) {
                AfxWriteErrLine("Cannot open file '" + m_strCommandFile + "' for reading");
                file.Close();
                return FALSE;
            }
            CArchive plan(&planFile, CArchive::load, kArchiveBufferSize);
            const BOOL planned = PlanOneTransaction(plan);
            plan.Close();
            planFile.Close();
            if (!planned) {
                file.Close();
                return FALSE;
            }
        }
        CArchive archive(&file, CArchive::load, kArchiveBufferSize);
        const BOOL result = ReadBatches(archive, onDisk ? file.GetLength() : 0);
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

BOOL CRunCmd::ReadBatches(CArchive& archive, ULONGLONG scriptBytes) {
    CScriptReader reader(m_strBatchSeparator);
    SetUpReader(reader);
    // Quiet runs show how far they are, on a terminal only: a log stays as
    // it is.
    DWORD mode = 0;
    CProgress progress(m_bQuiet && GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE,
                       scriptBytes);
    // A round trip per statement is most of what a restore in one
    // transaction costs on a server; psqlODBC takes several statements in
    // one call and stops at the first that fails.
    m_bGroupStatements = m_bOneTransaction && m_bStandardSql && m_strBatchSeparator.IsEmpty() &&
                         m_results == Results::None &&
                         m_db.GetDbmsName().CompareNoCase("PostgreSQL") == 0;
    CStatementGroup group;
    m_done = 0;
    ULONGLONG read = 0;
    OwnTransaction own;
    const bool all = EachBatch(
        archive, m_strCommandFile, reader,
        [&](CScriptBatch& batch) {
            // The run's own transaction stands in for the script's.
            long refusedAt = 0;
            const OwnTransaction::Step step =
                m_bOneTransaction ? own.Next(batch, refusedAt) : OwnTransaction::Step::Run;
            if (step == OwnTransaction::Step::Refuse) {
                ReportOwnTransaction(refusedAt);
                return false;
            }
            if (step == OwnTransaction::Step::LeaveOut) {
                return true;
            }
            const BOOL ran = m_bGroupStatements ? QueueBatch(group, batch) : ExecuteBatch(batch);
            if (ran == FALSE) {
                return false;
            }
            m_done += m_bGroupStatements ? 0 : 1;
            progress.Update(read, m_done);
            return true;
        },
        &read);
    if (all && own.Unended() != 0) {
        ReportOwnTransaction(own.Unended());
        return FALSE;
    }
    return all && FlushGroup(group) ? TRUE : FALSE;
}

BOOL CRunCmd::QueueBatch(CStatementGroup& group, CScriptBatch& batch) {
    if (CStatementGroup::CanJoin(batch)) {
        group.Add(batch);
        return group.Full() ? FlushGroup(group) : TRUE;
    }
    m_bGroupStatements = false;
    if (FlushGroup(group) == FALSE || ExecuteBatch(batch) == FALSE) {
        return FALSE;
    }
    ++m_done;
    return TRUE;
}

BOOL CRunCmd::FlushGroup(CStatementGroup& group) {
    if (group.Empty()) {
        return TRUE;
    }
    const size_t count = group.Count();
    try {
        // Every statement gives one result; fewer or more means the text
        // was not cut where the script's statements end, and what ran is
        // undone and run again statement by statement.
        if (m_db.ExecuteCountingResults(group.Text()) == group.ExpectedResults()) {
            if (!m_bQuiet) {
                m_printed.clear();
                for (size_t i = 0; i < count; ++i) {
                    m_printed.append("Executing: ");
                    m_printed.append(group[i].shown.Str());
                    m_printed.append("\n\n");
                }
                AfxWriteOutSoon(m_printed.data(), m_printed.size());
            }
            m_done += static_cast<long>(count);
            group.Clear();
            return TRUE;
        }
        m_db.ExecuteSQL(CStatementGroup::RollbackText());
    } catch (CDBException* groupError) {
        // Undone to the group's savepoint, its statements run one at a time
        // below, and the one that fails says so as it would have alone.
        try {
            m_db.ExecuteSQL(CStatementGroup::RollbackText());
        } catch (CDBException* e) {
            e->Delete();
            // Where the group failed is unknown; the first statement is
            // named, with the database's message.
            if (!m_bQuiet) {
                AfxWriteOutLine("Executing: " + group[0].shown + "\n");
            }
            ReportBatchError(group[0], groupError->m_strError);
            groupError->Delete();
            group.Clear();
            return FALSE;
        }
        groupError->Delete();
    }
    for (size_t i = 0; i < count; ++i) {
        if (ExecuteBatch(group[i]) == FALSE) {
            group.Clear();
            return FALSE;
        }
        ++m_done;
    }
    group.Clear();
    return TRUE;
}

BOOL CRunCmd::ExecuteBatch(const CScriptBatch& batch) {
    // What the reader refused is never sent.
    if (!batch.failure.IsEmpty()) {
        AfxWriteErrLine("Script error: " + batch.failure);
        AfxWriteErrLine(CScriptReader::ShownOf(batch));
        return FALSE;
    }
    // The statement's line and the empty line after it leave in one write,
    // made in a buffer that serves every batch.
    if (!m_bQuiet) {
        m_printed.assign("Executing: ");
        m_printed.append(batch.shown.Str());
        m_printed.append("\n\n");
        AfxWriteOutSoon(m_printed.data(), m_printed.size());
    }
    try {
        // The text goes with its length: a NUL byte inside it must not cut
        // short what is executed, compared with what was printed.
        if (m_results == Results::None) {
            m_db.ExecuteSQL(batch.sql);
        } else {
            const bool table = m_results == Results::Table;
            m_db.ExecuteSQL(batch.sql, [table](const CResultSet& set) {
                AfxWriteOut(table ? ResultTable(set) : ResultCsv(set));
            });
        }
    } catch (CDBException* e) {
        ReportBatchError(batch, e->m_strError);
        e->Delete();
        return FALSE;
    }
    return TRUE;
}

void CRunCmd::ReportBatchError(const CScriptBatch& batch, const CString& error) {
    AfxWriteErrLine("Script error: " + error);
    AfxWriteErrLine(CScriptReader::ShownOf(batch));
    // Where to look: the script line where the failed batch begins, or the
    // one inside it that the database names.
    const long inside = LineInStatement(error, batch.sql);
    const long line = inside > 0 && batch.sqlLine > 0 ? batch.sqlLine + inside - 1 : batch.line;
    CString where;
    where.Format("At line %ld of '", line);
    where += (batch.file.IsEmpty() ? m_strCommandFile : batch.file) + "'";
    if (line != batch.line) {
        CString begins;
        begins.Format(" (the statement begins at line %ld)", batch.line);
        where += begins;
    }
    AfxWriteErrLine(where + ".");
}
