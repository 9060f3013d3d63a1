// The script reader: lines of a script in, batches out, with no database.
//
// A batch carries two texts. `sql` is what the database is sent: the lines
// as they were read (line end removed, the comment marker's cut applied, the
// separator or terminator removed), joined by line feeds, with only the
// batch's own leading and trailing whitespace taken off. `shown` is what is
// printed: the same lines trimmed, joined by one blank each, and every run of
// whitespace reduced to its first character, on one line.
//
// The reader knows two forms of script.
//
// - The program's own (the default): the apostrophe is the comment marker,
//   batches end at a blank line or at the separator given with -b, and
//   double-quoted text ("...", with "" as a quote inside), "--" comments (to
//   the line end) and "/* ... */" comments (which may span lines) are
//   opaque: the comment marker, the separator and the blank line that ends a
//   batch count only outside them.
//
// - Standard SQL (-a): '...' is text, "...", `...` and [...] are quoted
//   names, "--" and "/* */" are comments, and a statement ends at a `;`
//   outside them and outside a trigger's or an atomic body's BEGIN ... END;
//   with a separator, batches end where the separator says instead. Per
//   database: on MySQL and MariaDB a backslash escapes inside '...' and
//   "...", "#" begins a comment, "/*!" comments are executable and DELIMITER
//   lines set the terminator; on PostgreSQL E'...' takes backslash escapes
//   and $tag$...$tag$ is text. A line that begins with a backslash is
//   another client's command, and COPY ... FROM stdin needs rows that no
//   statement holds: the reading fails before either.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "framework/CString.h"

struct CScriptBatch {
    CString sql;
    CString shown;
    // The script line where the batch's text begins, in `file`: the name
    // of the included file it is in, empty for the script itself.
    long line = 0;
    CString file;
    // The script line of the first character of `sql` (a comment before the
    // text may be sent with it); every line break in `sql` is one more line.
    // 0 when the batch runs over more than one file.
    long sqlLine = 0;
    // When not empty, the reading failed here: this says why (and `shown`
    // what was refused), and nothing more is read.
    CString failure;
    // `shown` holds the lines as read, for CScriptReader::ShownOf to make
    // the printed form of (see ShowLater).
    bool shownRaw = false;
};

class CScriptReader {
public:
    using Batch = CScriptBatch;

    enum class Dialect { Other, PostgreSql, MySql, Sqlite };

    // A file that a line of the script asks to be read in its place: a
    // relative path is taken from the including file's folder, or from the
    // current directory (as the engines' own clients take theirs).
    struct Include {
        std::string path;
        bool fromIncluder = false;
    };

    // `separator` as given with -b; empty for none.
    explicit CScriptReader(const CString& separator);

    // Reads the script as standard SQL, for the database the driver names.
    void UseStandardSql(Dialect dialect);
    // The dialect for a database product name as SQL_DBMS_NAME gives it.
    static Dialect DialectOf(const CString& dbmsName);

    // The SQLite ODBC driver takes a `;` outside quotes that more text
    // follows for a second statement, and refuses it, in every statement
    // that does not begin with a word of definition (CREATE, DROP, BEGIN and
    // the like); it does not know comments. With this set, such a statement
    // that holds a `;` is sent with each of its comments replaced by a blank:
    // the database keeps no comment of those statements.
    void OmitCommentsOutsideDefinitions(bool omit) { m_omitComments = omit; }

    // The script's line end, which a text spanning lines keeps in what is
    // sent ("\n" until told otherwise); lines are joined by "\n" elsewhere.
    void SetLineEnd(const char* lineEnd) { m_lineEnd = lineEnd; }

    // Gives $(NAME) a value (names without regard to case). From the first
    // value on, $(NAME) outside comments, in texts too, is replaced by its
    // value as the line is read, and a name without one fails the script
    // there; before, "$(" is text like any other. ":setvar NAME VALUE" lines
    // of the program's own form set one too.
    void SetVariable(const std::string& name, const std::string& value);

    // Reads one line, without its line end. Batches that it completes wait
    // in order for NextBatch.
    void AddLine(const CString& line);
    // The include that the last line asked for: ":r FILE" in the program's
    // own form; with standard SQL, the include command of the database's own
    // client (\i and \ir, .read, source and \.). The caller reads the file's
    // lines in between EnterFile and LeaveFile.
    bool TakeInclude(Include& include);
    // The lines that follow are those of the included file `name` (as
    // messages name it), from its line 1, until LeaveFile.
    void EnterFile(const std::string& name);
    void LeaveFile();
    // Fails the script at the line read last (an include that cannot be
    // read): `why` follows the line's place in the message.
    void Refuse(const std::string& why);
    // The end of the script: what has been accumulated becomes the last batch.
    void Finish();
    // The next completed batch, oldest first; null when none waits. It is
    // the caller's (its texts may be taken by swapping) until the reader is
    // given the next line, or told of a file or the end.
    Batch* NextBatch();

    // Copies the source to the target, each maximal run of whitespace
    // replaced by the run's first character.
    static void CollapseWhitespace(const CString& source, CString& target);

    // Batches keep their lines as read instead of the printed form, which
    // ShownOf makes when asked: for runs that print a batch only when it
    // fails.
    void ShowLater(bool later) { m_showLater = later; }
    // The printed form of the batch: one line, trimmed, whitespace runs
    // collapsed.
    static CString ShownOf(const CScriptBatch& batch);

private:
    enum class State {
        Outside,
        DoubleQuoted,
        SingleQuoted,
        Backticked,
        Bracketed,
        DollarQuoted,
        BlockComment
    };

    // Whole-line forms, looked at when a line begins outside texts and
    // comments. True when the line is taken care of.
    bool TakeWholeLine(const std::string& text, size_t begin, size_t end);
    bool IsSeparatorLine(const std::string& line, size_t first) const;
    // The bytes that may begin a text, a comment, a boundary or a dollar
    // quote, which the scan looks at closely; every other byte is plain.
    void MarkSpecialCharacters();
    // The line's place for a message: "line N", and "of 'FILE'" inside an
    // included file.
    std::string Where(long line) const;
    // An include line, or a :setvar one; true when the line is one.
    bool TakeClientCommand(const std::string& text, size_t first, size_t end);
    // Replaces the $(NAME) at text[i] by its value, moving `i` past it and
    // `end` and `textEnd` by the change in length; false (and the script
    // failed) for a name without a value. A "$(" without ")" stays text.
    bool Substitute(std::string& text, size_t& i, size_t& end, size_t& textEnd);
    // The argument of a client command: what follows the command word,
    // trimmed, with a pair of quotes around it removed and variables
    // replaced.
    bool CommandArgument(const std::string& text, size_t from, size_t end, std::string& argument);

    // Scans one line from `begin`, adding its pieces to the batch.
    void ScanLine(std::string& text, size_t begin, size_t end);
    // Where an opening character starts a quoted span; false when `c` opens
    // none here.
    bool OpenQuote(const std::string& text, size_t& i, size_t end);
    // Takes one word outside texts and comments, for the statement's
    // structure: bodies, COPY ... FROM stdin.
    // `word` is upper-cased in place and taken.
    void TakeWord(std::string& word);
    // Appends line[begin, end) to the batch. `cut` says the piece ended at
    // the comment marker, whose blanks before it stay in the printed text.
    void AddPiece(const std::string& line, size_t begin, size_t end, bool cut);
    void EndBatch();
    void Fail(const std::string& why, const std::string& shown);
    // The batch's text to send, with comments left out where the driver
    // needs it.
    // The text to send, into `sql`, and the script line of its first
    // character.
    void SqlToSend(long& firstLine, std::string& sql);

    std::string m_separator;
    const char* m_lineEnd = "\n";
    // The line before the one being read ended inside a text.
    bool m_lineEndInText = false;
    bool m_standard = false;
    Dialect m_dialect = Dialect::Other;
    std::string m_terminator = ";";  // standard SQL without a separator
    std::array<bool, 256> m_special{};
    std::string m_specialSet;  // the same bytes, as a C string
    // The end of the run of plain bytes from text[i], at most `end`.
    size_t PlainRunEnd(const std::string& text, size_t i, size_t end) const;
    State m_state = State::Outside;
    bool m_backslashEscapes = false;  // inside the current quoted text
    std::string m_dollarTag;          // the closing $tag$
    bool m_firstLine = true;
    bool m_failed = false;
    long m_lineNumber = 0;

    // The batch being accumulated.
    std::string m_sql;
    std::string m_shown;
    bool m_hasText = false;       // anything but blanks and comments
    bool m_pieceHasText = false;  // the same, for the current line's piece
    bool m_hasLines = false;
    long m_firstTextLine = 0;
    long m_sqlFirstLine = 0;  // the line of m_sql's first piece
    size_t m_shownTextStart = 0;

    // The statement's structure, from its words.
    std::string m_firstWord;
    std::string m_lastWord;
    std::string m_wordBefore;  // the word before m_lastWord
    int m_words = 0;
    bool m_followWords = false;  // the statement's words may still matter
    bool m_trigger = false;
    bool m_endClosed = false;  // the last word was an END that closed a body
    int m_bodyDepth = 0;
    bool m_copyFromStdin = false;

    // Comments of the batch, as spans of m_sql, kept only when they may be
    // left out.
    bool m_omitComments = false;
    bool m_hasSemicolon = false;
    size_t m_commentStart = 0;
    std::vector<std::pair<size_t, size_t>> m_comments;

    // Completed batches wait in m_ready[m_readyHead, m_readyEnd); the slots
    // stay allocated, so a batch costs no allocation once the run is going.
    std::vector<Batch> m_ready;
    size_t m_readyHead = 0;
    size_t m_readyEnd = 0;
    // A slot at the end of the queue, cleared of an earlier batch's marks.
    Batch& NewReadyBatch();
    // Buffers that batches handed out have given back, for the next ones.
    std::string m_spareSql;
    std::string m_spareShown;
    bool m_showLater = false;

    // Variables, by their names in upper case; on once one has a value.
    std::vector<std::pair<std::string, std::string>> m_variables;
    bool m_variablesOn = false;
    std::string m_line;  // the line being read, variables replaced

    // Included files being read: the file's name and the line number of the
    // file that included it.
    std::vector<std::pair<std::string, long>> m_files;
    std::string m_fileName;  // the current file's, empty for the script
    bool m_includeWaits = false;
    Include m_include;
    std::string m_lastLine;  // trimmed, for a refusal of the line
    std::string m_firstTextFile;
    std::string m_sqlFirstFile;
    bool m_sqlOverFiles = false;
};
