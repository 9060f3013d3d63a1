// The script reader: lines of a script in, batches out, with no database.
//
// A batch carries two texts. `sql` is what the database is sent: the lines
// as they were read (line end removed, the comment marker's cut applied, the
// separator removed), joined by line feeds, with only the batch's own leading
// and trailing whitespace taken off. `shown` is what is printed: the same
// lines trimmed, joined by one blank each, and every run of whitespace
// reduced to its first character, on one line.
//
// Double-quoted text ("...", with "" as a quote inside), "--" comments (to
// the line end) and "/* ... */" comments (which may span lines) are opaque:
// the comment marker, the separator and the blank line that ends a batch
// count only outside them.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "framework/CString.h"

struct CScriptBatch {
    CString sql;
    CString shown;
};

class CScriptReader {
public:
    using Batch = CScriptBatch;

    // `separator` as given with -b; empty for none.
    explicit CScriptReader(const CString& separator);

    // Reads one line, without its line end. Batches that it completes wait
    // in order for TakeBatch.
    void AddLine(const CString& line);
    // The end of the script: what has been accumulated becomes the last batch.
    void Finish();
    // The next completed batch, oldest first; false when none waits.
    bool TakeBatch(Batch& batch);

    // The SQLite ODBC driver takes a `;` outside quotes that more text
    // follows for a second statement, and refuses it, in every statement
    // that does not begin with a word of definition (CREATE, DROP, BEGIN and
    // the like); it does not know comments. With this set, such a statement
    // that holds a `;` is sent with each of its comments replaced by a blank:
    // the database keeps no comment of those statements.
    void OmitCommentsOutsideDefinitions(bool omit) { m_omitComments = omit; }

    // Copies the source to the target, each maximal run of whitespace
    // replaced by the run's first character.
    static void CollapseWhitespace(const CString& source, CString& target);

private:
    enum class State { Outside, DoubleQuoted, BlockComment };

    bool IsSeparatorLine(const std::string& line, size_t first) const;
    // Appends line[begin, end) to the batch. `cut` says the piece ended at
    // the comment marker, whose blanks before it stay in the printed text.
    void AddPiece(const std::string& line, size_t begin, size_t end, bool cut);
    void EndBatch();
    // The batch's text to send, with comments left out where the driver
    // needs it.
    std::string SqlToSend();

    std::string m_separator;
    State m_state = State::Outside;
    bool m_firstLine = true;

    // The batch being accumulated.
    std::string m_sql;
    std::string m_shown;
    bool m_hasText = false;       // anything but blanks and comments
    bool m_pieceHasText = false;  // the same, for the current line's piece
    bool m_hasLines = false;

    // Comments of the batch, as spans of m_sql, kept only when they may be
    // left out.
    bool m_omitComments = false;
    bool m_hasSemicolon = false;
    size_t m_commentStart = 0;
    std::vector<std::pair<size_t, size_t>> m_comments;

    std::deque<Batch> m_ready;
};
