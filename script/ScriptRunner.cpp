#include "app/RunCmd.h"
#include "framework/CArchive.h"
#include "framework/CDBException.h"
#include "framework/CFile.h"
#include "framework/Console.h"

namespace {

constexpr int kArchiveBufferSize = 4096;
constexpr char kCommentMarker = '\'';
constexpr char kLineJoin = '\n';
constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

bool IsControl(unsigned char c) {
    return c < 32 || c == 127;
}

// A line with a separator of two or more characters ends the batch only when
// the separator opens it and nothing but blanks and control characters (such
// as an end-of-file byte 26 left by old editors) follows.
bool IsSeparatorLine(const CString& line, const CString& separator) {
    const std::string& text = line.Str();
    const size_t pos = text.find(separator.Str());
    if (pos == std::string::npos) {
        return false;
    }
    for (size_t i = 0; i < pos; ++i) {
        if (!IsAsciiSpace(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    for (size_t i = pos + separator.Str().size(); i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!IsControl(c) && !IsAsciiSpace(c)) {
            return false;
        }
    }
    return true;
}

// The text sent for a trimmed batch: every run of whitespace becomes its
// first character, except that a run holding a line join becomes the line
// feed, also where a comment cut left blanks before it.
CString CollapseKeepingLines(const CString& batch) {
    const std::string& text = batch.Str();
    std::string sql;
    sql.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const auto c = static_cast<unsigned char>(text[pos]);
        if (!IsAsciiSpace(c)) {
            sql += text[pos++];
            continue;
        }
        char kept = text[pos];
        for (; pos < text.size() && IsAsciiSpace(static_cast<unsigned char>(text[pos])); ++pos) {
            if (text[pos] == kLineJoin) {
                kept = kLineJoin;
            }
        }
        sql += kept;
    }
    return CString(sql);
}

}  // namespace

BOOL CRunCmd::RunScript() {
    CFile file;
    // Read-only with no sharing flag: the open fails while another process
    // has the script open.
    if (!file.Open(m_strCommandFile, CFile::modeRead)) {
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
    const int separatorLength = m_strBatchSeparator.GetLength();
    CString batch;
    CString line;
    bool firstLine = true;
    while (archive.ReadString(line)) {
        // Editors on Windows often start a UTF-8 file with a byte-order mark;
        // trimming does not remove it, and the database would reject the
        // first statement over three bytes the user cannot see.
        if (firstLine && line.Str().compare(0, 3, kUtf8ByteOrderMark) == 0) {
            line = line.Mid(3);
        }
        firstLine = false;

        line.Trim();
        const int comment = line.Find(kCommentMarker);
        if (comment == 0) {
            continue;
        }
        if (comment > 0) {
            line = line.Left(comment);
        }

        bool boundary = false;
        bool add = true;
        if (separatorLength == 0) {
            boundary = line.IsEmpty();
            add = !boundary;
        } else if (separatorLength == 1) {
            const int pos = line.Find(m_strBatchSeparator[0]);
            if (pos >= 0) {
                batch += line.Left(pos);
                boundary = true;
                add = false;
            }
        } else if (IsSeparatorLine(line, m_strBatchSeparator)) {
            boundary = true;
            add = false;
        }

        // Each line added is followed by a line feed, which reaches the
        // database: a "--" comment then ends with its line instead of taking
        // the rest of the batch with it.
        if (add) {
            batch += line;
            batch += kLineJoin;
        }
        if (boundary) {
            if (!ExecuteBatch(batch)) {
                return FALSE;
            }
            batch.Empty();
        }
    }
    if (batch.IsEmpty()) {
        return TRUE;
    }
    return ExecuteBatch(batch);
}

BOOL CRunCmd::ExecuteBatch(CString& batch) {
    batch.Trim();
    if (batch.IsEmpty()) {
        return TRUE;
    }
    // What is printed shows the batch on one line, each line join as one
    // blank; what is sent keeps the joins as line feeds.
    CString shown;
    CollapseWhitespace(batch, shown);
    shown.Replace(kLineJoin, ' ');
    const CString sql = CollapseKeepingLines(batch);
    // The statement's line and the empty line after it leave in one write.
    AfxWriteOut("Executing: " + shown + "\n\n");
    try {
        // The text goes with its length: a NUL byte inside it must not cut
        // short what is executed, compared with what was printed.
        m_db.ExecuteSQL(sql);
    } catch (CDBException* e) {
        AfxWriteErrLine("Script error: " + e->m_strError);
        AfxWriteErrLine(shown);
        e->Delete();
        return FALSE;
    }
    return TRUE;
}

void CRunCmd::CollapseWhitespace(const CString& source, CString& target) {
    const std::string& text = source.Str();
    const auto isSpace = [&text](size_t i) {
        return IsAsciiSpace(static_cast<unsigned char>(text[i]));
    };
    size_t pos = 0;
    while (pos < text.size()) {
        size_t next = pos + 1;
        if (isSpace(pos)) {
            // A run of whitespace keeps only its first character.
            target.Append(text.data() + pos, 1);
            while (next < text.size() && isSpace(next)) {
                ++next;
            }
        } else {
            while (next < text.size() && !isSpace(next)) {
                ++next;
            }
            target.Append(text.data() + pos, static_cast<int>(next - pos));
        }
        pos = next;
    }
}
