#include "script/ScriptReader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

namespace {

constexpr char kCommentMarker = '\'';
constexpr char kLineJoin = '\n';
constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

bool IsSpace(char c) {
    return IsAsciiSpace(static_cast<unsigned char>(c));
}

bool IsControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 32 || u == 127;
}

bool IsWordCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || c == '_' ||
           c == '$' || u >= 128;
}

size_t FirstNonSpace(const std::string& text, size_t from, size_t to) {
    while (from < to && IsSpace(text[from])) {
        ++from;
    }
    return from;
}

size_t EndWithoutSpace(const std::string& text, size_t from, size_t to) {
    while (to > from && IsSpace(text[to - 1])) {
        --to;
    }
    return to;
}

std::string Trimmed(const std::string& text) {
    const size_t begin = FirstNonSpace(text, 0, text.size());
    return text.substr(begin, EndWithoutSpace(text, begin, text.size()) - begin);
}

// The line breaks in text[begin, end): LF, CRLF or a lone CR, as a
// script's lines may end.
long LineBreaks(const std::string& text, size_t begin, size_t end) {
    long breaks = 0;
    for (size_t i = begin; i < end; ++i) {
        breaks += static_cast<long>(text[i] == '\n' || (text[i] == '\r' && text[i + 1] != '\n'));
    }
    return breaks;
}

// Trimmed(text) into `out`, with `line` moved on by the line breaks trimmed
// from its beginning.
void TrimmedInto(const std::string& text, long& line, std::string& out) {
    const size_t begin = FirstNonSpace(text, 0, text.size());
    line += LineBreaks(text, 0, begin);
    out.assign(text, begin, EndWithoutSpace(text, begin, text.size()) - begin);
}

// Appends text[begin, end), each maximal run of whitespace replaced by the
// run's first character.
void AppendCollapsed(const std::string& text, size_t begin, size_t end, std::string& target) {
    size_t pos = begin;
    while (pos < end) {
        size_t next = pos + 1;
        if (IsSpace(text[pos])) {
            target += text[pos];
            while (next < end && IsSpace(text[next])) {
                ++next;
            }
        } else {
            while (next < end && !IsSpace(text[next])) {
                ++next;
            }
            target.append(text, pos, next - pos);
        }
        pos = next;
    }
}

// AppendCollapsed of the trimmed text.
void AppendShown(const std::string& text, std::string& target) {
    const size_t begin = FirstNonSpace(text, 0, text.size());
    AppendCollapsed(text, begin, EndWithoutSpace(text, begin, text.size()), target);
}

}  // namespace

CScriptReader::CScriptReader(const CString& separator) : m_separator(separator.Str()) {
    MarkSpecialCharacters();
}

void CScriptReader::UseStandardSql(Dialect dialect) {
    m_standard = true;
    m_followWords = true;
    m_dialect = dialect;
    MarkSpecialCharacters();
}

void CScriptReader::MarkSpecialCharacters() {
    m_special.fill(false);
    for (const char c : {'\'', '"', '`', '[', '$', '-', '/', '#', ';'}) {
        m_special[static_cast<unsigned char>(c)] = true;
    }
    if (m_separator.size() == 1) {
        m_special[static_cast<unsigned char>(m_separator[0])] = true;
    }
    m_special[static_cast<unsigned char>(m_terminator[0])] = true;
    m_specialSet.clear();
    for (size_t c = 1; c < m_special.size(); ++c) {
        if (m_special[c]) {
            m_specialSet += static_cast<char>(c);
        }
    }
}

size_t CScriptReader::PlainRunEnd(const std::string& text, size_t i, size_t end) const {
    // strcspn is the C library's vectorised search; it stops at a NUL byte
    // too, which is plain here and passed over.
    while (i < end) {
        i += std::strcspn(text.c_str() + i, m_specialSet.c_str());
        if (i >= end || text[i] != '\0') {
            break;
        }
        ++i;
    }
    return std::min(i, end);
}

CScriptReader::Dialect CScriptReader::DialectOf(const CString& dbmsName) {
    CString name(dbmsName);
    name.MakeLower();
    if (name.Find("postgres") >= 0) {
        return Dialect::PostgreSql;
    }
    if (name.Find("mysql") >= 0 || name.Find("mariadb") >= 0) {
        return Dialect::MySql;
    }
    if (name.Find("sqlite") >= 0) {
        return Dialect::Sqlite;
    }
    return Dialect::Other;
}

void CScriptReader::AddLine(const CString& line) {
    if (m_failed) {
        return;
    }
    ++m_lineNumber;
    const std::string& text = line.Str();
    size_t begin = 0;
    // Editors on Windows often start a UTF-8 file with a byte-order mark;
    // trimming does not remove it, and the database would reject the first
    // statement over three bytes the user cannot see.
    if (m_firstLine && text.compare(0, 3, kUtf8ByteOrderMark) == 0) {
        begin = 3;
    }
    m_firstLine = false;
    m_lineEndInText = m_state != State::Outside && m_state != State::BlockComment;
    // What decides a whole line counts only where the line does not begin
    // inside a text or a comment.
    if (m_state == State::Outside && TakeWholeLine(text, begin, text.size())) {
        return;
    }
    m_line.assign(text, 0, text.size());
    ScanLine(m_line, begin, m_line.size());
}

void CScriptReader::SetVariable(const std::string& name, const std::string& value) {
    const std::string key = CString(name).MakeUpper().Str();
    m_variablesOn = true;
    for (auto& [known, known_value] : m_variables) {
        if (known == key) {
            known_value = value;
            return;
        }
    }
    m_variables.emplace_back(key, value);
}

bool CScriptReader::Substitute(std::string& text, size_t& i, size_t& end, size_t& textEnd) {
    const size_t close = text.find(')', i + 2);
    if (close == std::string::npos || close >= end) {
        i += 2;
        return true;
    }
    const std::string key = CString(text.substr(i + 2, close - i - 2)).MakeUpper().Str();
    for (const auto& [name, value] : m_variables) {
        if (name == key) {
            const size_t length = close + 1 - i;
            text.replace(i, length, value);
            end = end + value.size() - length;
            textEnd = textEnd + value.size() - length;
            i += value.size();
            return true;
        }
    }
    const std::string name = text.substr(i + 2, close - i - 2);
    Fail(Where(m_lineNumber) + ": $(" + name + ") has no value (give it one with -v " + name +
             "=VALUE or :setvar " + name + " VALUE); nothing from it on is run",
         Trimmed(text.substr(0, end)));
    return false;
}

std::string CScriptReader::Where(long line) const {
    std::string where = "line " + std::to_string(line);
    if (!m_fileName.empty()) {
        where += " of '" + m_fileName + "'";
    }
    return where;
}

bool CScriptReader::TakeInclude(Include& include) {
    if (!m_includeWaits) {
        return false;
    }
    m_includeWaits = false;
    include = m_include;
    return true;
}

void CScriptReader::EnterFile(const std::string& name) {
    m_files.emplace_back(m_fileName, m_lineNumber);
    m_fileName = name;
    m_lineNumber = 0;
    m_firstLine = true;
}

void CScriptReader::LeaveFile() {
    if (m_files.empty()) {
        return;
    }
    m_fileName = m_files.back().first;
    m_lineNumber = m_files.back().second;
    m_files.pop_back();
}

void CScriptReader::Refuse(const std::string& why) {
    if (!m_failed) {
        Fail(Where(m_lineNumber) + ": " + why, m_lastLine);
    }
}

bool CScriptReader::CommandArgument(const std::string& text, size_t from, size_t end,
                                    std::string& argument) {
    from = FirstNonSpace(text, from, end);
    end = EndWithoutSpace(text, from, end);
    argument = text.substr(from, end - from);
    if (argument.size() >= 2 && (argument.front() == '"' || argument.front() == '\'') &&
        argument.back() == argument.front()) {
        argument = argument.substr(1, argument.size() - 2);
    }
    if (!m_variablesOn) {
        return true;
    }
    size_t argumentEnd = argument.size();
    size_t unused = argumentEnd;
    for (size_t i = argument.find("$("); i < argumentEnd; i = argument.find("$(", i)) {
        if (!Substitute(argument, i, argumentEnd, unused)) {
            return false;
        }
    }
    return true;
}

bool CScriptReader::TakeClientCommand(const std::string& text, size_t first, size_t end) {
    // What every client command begins with: most lines go no further.
    const char c = text[first];
    if (c != ':' && c != '\\' && c != '.' && c != 's' && c != 'S') {
        return false;
    }
    const size_t wordEnd = std::min(end, text.find_first_of(" \t\v\f\r", first));
    const CString word(text.substr(first, wordEnd - first));
    const auto is = [&word](const char* name) { return word.CompareNoCase(name) == 0; };
    // Which include this is, if one: its path is relative to the includer,
    // or to the current directory.
    bool include = false;
    bool fromIncluder = false;
    if (!m_standard) {
        if (is(":setvar")) {
            const size_t nameBegin = FirstNonSpace(text, wordEnd, end);
            const size_t nameEnd = std::min(end, text.find_first_of(" \t\v\f\r", nameBegin));
            std::string value;
            if (nameBegin == nameEnd) {
                Fail(Where(m_lineNumber) + ": :setvar needs a name and a value",
                     Trimmed(text.substr(first, end - first)));
            } else if (CommandArgument(text, nameEnd, end, value)) {
                SetVariable(text.substr(nameBegin, nameEnd - nameBegin), value);
            }
            return true;
        }
        include = fromIncluder = is(":r");
    } else if (m_dialect == Dialect::PostgreSql) {
        include = is("\\i") || is("\\include");
        fromIncluder = is("\\ir") || is("\\include_relative");
        include = include || fromIncluder;
    } else if (m_dialect == Dialect::MySql) {
        include = is("\\.") || (!m_hasText && is("source"));
    } else if (m_dialect == Dialect::Sqlite) {
        include = !m_hasText && is(".read");
    }
    if (!include) {
        return false;
    }
    m_lastLine = Trimmed(text.substr(first, end - first));
    std::string path;
    if (!CommandArgument(text, wordEnd, end, path)) {
        return true;
    }
    // The MySQL client takes "source f.sql;" as it takes "source f.sql".
    if (m_dialect == Dialect::MySql && !path.empty() && path.back() == ';') {
        path.pop_back();
    }
    if (path.empty()) {
        Refuse("the include names no file");
        return true;
    }
    m_include = {path, fromIncluder};
    m_includeWaits = true;
    return true;
}

bool CScriptReader::TakeWholeLine(const std::string& text, size_t begin, size_t end) {
    const size_t first = FirstNonSpace(text, begin, end);
    if (first == end) {
        if (!m_standard && m_separator.empty()) {
            EndBatch();
            return true;
        }
        return false;
    }
    if (!m_standard && text[first] == kCommentMarker) {
        return true;
    }
    if (m_separator.size() >= 2 && IsSeparatorLine(text, first)) {
        EndBatch();
        return true;
    }
    if (TakeClientCommand(text, first, end)) {
        return true;
    }
    // Only another client's command and DELIMITER are taken here.
    const char c = text[first];
    if (!m_standard || (c != '\\' && c != 'D' && c != 'd')) {
        return false;
    }
    const size_t wordEnd = std::min(end, text.find_first_of(" \t\v\f\r", first));
    const std::string word = text.substr(first, wordEnd - first);
    if (text[first] == '\\') {
        // psql's \restrict and \unrestrict only forbid further commands of
        // its own until the key is given again: none is ever run here.
        if (word == "\\restrict" || word == "\\unrestrict") {
            return true;
        }
        Fail(Where(m_lineNumber) +
                 " is a command of another client, not SQL; nothing from it on is run",
             Trimmed(text.substr(first, end - first)));
        return true;
    }
    if (m_separator.empty() && !m_hasText && CString(word).CompareNoCase("DELIMITER") == 0) {
        const size_t from = FirstNonSpace(text, wordEnd, end);
        const size_t to = std::min(end, text.find_first_of(" \t\v\f\r", from));
        if (from == to) {
            Fail(Where(m_lineNumber) + " sets no terminator",
                 Trimmed(text.substr(first, end - first)));
        } else {
            m_terminator = text.substr(from, to - from);
            MarkSpecialCharacters();
        }
        return true;
    }
    return false;
}

namespace {

// The first of text[i, end) that is `a`, `b` or `c` (which may repeat one
// another), or `end`: a text is passed over at memchr's speed when only its
// closing quote can stop it.
size_t FindStop(const std::string& text, size_t i, size_t end, char a, char b, char c) {
    const char* data = text.data();
    if (a == b && a == c) {
        const void* found = std::memchr(data + i, a, end - i);
        return found == nullptr ? end : static_cast<size_t>(static_cast<const char*>(found) - data);
    }
    for (; i < end; ++i) {
        const char x = data[i];
        if (x == a || x == b || x == c) {
            return i;
        }
    }
    return end;
}

}  // namespace

void CScriptReader::ScanLine(std::string& text, size_t begin, size_t end) {
    const bool oneCharacter = m_separator.size() == 1;
    const char separator = oneCharacter ? m_separator[0] : '\0';
    // In the program's own form the line is trimmed before the separator is
    // looked for: a blank or tab separator before the first or after the last
    // character of text is no boundary.
    const size_t textBegin = m_standard ? begin : FirstNonSpace(text, begin, end);
    size_t textEnd = m_standard ? end : EndWithoutSpace(text, textBegin, end);
    const bool terminated = m_standard && m_separator.empty();
    const bool mySql = m_standard && m_dialect == Dialect::MySql;
    size_t pieceBegin = begin;
    bool afterBoundary = false;
    bool cut = false;
    m_pieceHasText = false;
    // Where text[i] will stand in m_sql once the piece is added.
    const auto at = [this, &pieceBegin](size_t i) {
        return m_sql.size() + (m_hasLines ? 1 : 0) + (i - pieceBegin);
    };
    std::string word;
    const auto takeWord = [this, &word] {
        if (!word.empty()) {
            TakeWord(word);
            word.clear();
        }
    };
    // Ends the batch before text[i], with `length` bytes of boundary.
    const auto boundary = [&](size_t& i, size_t length) {
        AddPiece(text, pieceBegin, i, false);
        EndBatch();
        i += length;
        pieceBegin = i;
        afterBoundary = true;
        m_pieceHasText = false;
    };
    size_t i = begin;
    while (i < end && !m_failed) {
        const char c = text[i];
        const char next = i + 1 < end ? text[i + 1] : '\0';
        switch (m_state) {
            case State::DoubleQuoted:
            case State::SingleQuoted:
            case State::Backticked:
            case State::Bracketed: {
                // Inside a text only its closing quote, a backslash and a
                // variable matter: the rest is passed over in one search.
                const char closing = m_state == State::DoubleQuoted   ? '"'
                                     : m_state == State::SingleQuoted ? '\''
                                     : m_state == State::Backticked   ? '`'
                                                                      : ']';
                const size_t stop =
                    FindStop(text, i, end, closing, m_backslashEscapes ? '\\' : closing,
                             m_variablesOn ? '$' : closing);
                if (stop >= end) {
                    i = end;
                    continue;
                }
                if (stop != i) {
                    i = stop;
                    continue;
                }
                if (m_backslashEscapes && c == '\\') {
                    i += 2;
                    continue;
                }
                if (m_variablesOn && c == '$' && next == '(') {
                    Substitute(text, i, end, textEnd);
                    continue;
                }
                if (c == closing) {
                    m_state = State::Outside;
                }
                ++i;
                continue;
            }
            case State::DollarQuoted: {
                const size_t close = text.find(m_dollarTag, i);
                const size_t variable = m_variablesOn ? text.find("$(", i) : std::string::npos;
                if (variable < close && variable < end) {
                    i = variable;
                    Substitute(text, i, end, textEnd);
                    continue;
                }
                if (close == std::string::npos || close >= end) {
                    i = end;
                } else {
                    i = close + m_dollarTag.size();
                    m_state = State::Outside;
                }
                continue;
            }
            case State::BlockComment:
                if (c == '*' && next == '/') {
                    m_state = State::Outside;
                    i += 2;
                    if (m_omitComments) {
                        m_comments.emplace_back(m_commentStart, at(i));
                    }
                } else {
                    m_hasSemicolon = m_hasSemicolon || c == ';';
                    ++i;
                }
                continue;
            case State::Outside:
                break;
        }
        // Most characters begin nothing: they take the short way, a run of
        // them at once where no word of the statement matters any more.
        if (!m_special[static_cast<unsigned char>(c)] && !m_followWords) {
            const size_t runEnd = PlainRunEnd(text, i, end);
            for (; !m_pieceHasText && i < runEnd; ++i) {
                m_pieceHasText = !IsSpace(text[i]);
            }
            i = runEnd;
            takeWord();
            continue;
        }
        if (!m_special[static_cast<unsigned char>(c)]) {
            if (IsWordCharacter(c)) {
                // The word's run at once, up to a byte that may begin something.
                size_t wordEnd = i + 1;
                while (wordEnd < end && IsWordCharacter(text[wordEnd]) &&
                       !m_special[static_cast<unsigned char>(text[wordEnd])]) {
                    ++wordEnd;
                }
                word.append(text, i, wordEnd - i);
                m_pieceHasText = true;
                i = wordEnd;
                continue;
            } else {
                takeWord();
            }
            if (!IsSpace(c)) {
                m_pieceHasText = true;
            }
            ++i;
            continue;
        }
        if (m_variablesOn && c == '$' && next == '(') {
            takeWord();
            m_pieceHasText = true;
            Substitute(text, i, end, textEnd);
            continue;
        }
        if (terminated && c == m_terminator[0] &&
            text.compare(i, m_terminator.size(), m_terminator) == 0) {
            takeWord();
            // A trigger's body holds statements that end at `;` too.
            if (m_terminator != ";" || m_bodyDepth == 0) {
                boundary(i, m_terminator.size());
                continue;
            }
        }
        if (!m_standard && c == kCommentMarker) {
            cut = true;
            break;
        }
        if ((c == '-' && next == '-') || (mySql && c == '#')) {
            // A comment to the line end.
            if (m_omitComments) {
                m_comments.emplace_back(at(i), at(end));
                m_hasSemicolon = m_hasSemicolon || text.find(';', i) < end;
            }
            break;
        }
        if (c == '/' && next == '*') {
            takeWord();
            m_state = State::BlockComment;
            m_commentStart = at(i);
            // MySQL runs what stands in /*! ... */ and /*M! ... */.
            if (mySql && (text.compare(i + 2, 1, "!") == 0 || text.compare(i + 2, 2, "M!") == 0)) {
                m_pieceHasText = true;
            }
            i += 2;
            continue;
        }
        if (oneCharacter && c == separator && i >= textBegin && i < textEnd) {
            takeWord();
            boundary(i, 1);
            continue;
        }
        if (OpenQuote(text, i, end)) {
            takeWord();
            m_pieceHasText = true;
            continue;
        }
        if (IsWordCharacter(c)) {
            if (m_followWords) {
                word += c;
            }
        } else {
            takeWord();
        }
        m_hasSemicolon = m_hasSemicolon || c == ';';
        if (!IsSpace(c)) {
            m_pieceHasText = true;
        }
        ++i;
    }
    takeWord();
    if (m_failed) {
        return;
    }
    // What follows a boundary on its line begins the next batch, unless it
    // holds only blanks and complete comments.
    if (afterBoundary && !m_pieceHasText && m_state == State::Outside) {
        m_comments.clear();  // the batch is still empty
        m_hasSemicolon = false;
        return;
    }
    AddPiece(text, pieceBegin, cut ? i : end, cut);
}

bool CScriptReader::OpenQuote(const std::string& text, size_t& i, size_t end) {
    const char c = text[i];
    const bool afterWord = i > 0 && IsWordCharacter(text[i - 1]);
    m_backslashEscapes = false;
    if (!m_standard) {
        if (c != '"') {
            return false;
        }
        m_state = State::DoubleQuoted;
    } else if (c == '\'') {
        m_state = State::SingleQuoted;
        // E'...' on PostgreSQL: the E must stand alone, not end a word.
        const bool escapeString = m_dialect == Dialect::PostgreSql && i > 0 &&
                                  (text[i - 1] == 'E' || text[i - 1] == 'e') &&
                                  !(i > 1 && IsWordCharacter(text[i - 2]));
        m_backslashEscapes = m_dialect == Dialect::MySql || escapeString;
    } else if (c == '"') {
        m_state = State::DoubleQuoted;
        m_backslashEscapes = m_dialect == Dialect::MySql;
    } else if (c == '`') {
        m_state = State::Backticked;
    } else if (c == '[' && (m_dialect == Dialect::Other || m_dialect == Dialect::Sqlite)) {
        m_state = State::Bracketed;
    } else if (c == '$' && m_dialect == Dialect::PostgreSql && !afterWord) {
        // $$ or $tag$, the tag a name that does not begin with a digit.
        size_t close = i + 1;
        while (close < end && IsWordCharacter(text[close]) && text[close] != '$') {
            ++close;
        }
        const bool tagged = close > i + 1;
        if (close >= end || text[close] != '$' ||
            (tagged && std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
            return false;
        }
        m_dollarTag = text.substr(i, close + 1 - i);
        m_state = State::DollarQuoted;
        i = close + 1;
        return true;
    } else {
        return false;
    }
    ++i;
    return true;
}

namespace {

// Whether `word` is `keyword`: the length first, so that most words are
// told apart without looking at their bytes.
template <size_t N>
bool Is(const std::string& word, const char (&keyword)[N]) {
    return word.size() == N - 1 && std::memcmp(word.data(), keyword, N - 1) == 0;
}

}  // namespace

void CScriptReader::TakeWord(std::string& taken) {
    for (char& c : taken) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    if (m_words > 0) {
        m_wordBefore.assign(m_lastWord);
    }
    m_lastWord.assign(taken);
    const std::string& last = m_wordBefore;
    const std::string& word = m_lastWord;
    if (++m_words == 1) {
        m_firstWord.assign(word);
        // Only a definition (triggers, atomic bodies) and COPY have a
        // structure that later words tell; any other statement ends at its
        // terminator whatever its words are.
        m_followWords = Is(m_firstWord, "CREATE") || Is(m_firstWord, "COPY");
    }
    if (!m_standard) {
        return;
    }
    if (Is(m_firstWord, "COPY") && Is(last, "FROM") && Is(word, "STDIN")) {
        m_copyFromStdin = true;
    }
    if (m_dialect == Dialect::PostgreSql) {
        // Only a body of standard SQL, BEGIN ATOMIC ... END, holds `;`.
        if (Is(last, "BEGIN") && Is(word, "ATOMIC")) {
            ++m_bodyDepth;
        } else if (m_bodyDepth > 0 && Is(word, "CASE")) {
            ++m_bodyDepth;
        } else if (m_bodyDepth > 0 && Is(word, "END")) {
            --m_bodyDepth;
        }
        return;
    }
    if (Is(m_firstWord, "CREATE") && Is(word, "TRIGGER") && m_bodyDepth == 0) {
        m_trigger = true;
    }
    if (!m_trigger) {
        return;
    }
    // END IF, END LOOP, END WHILE and END REPEAT close what was not counted,
    // END CASE a CASE that was.
    if (Is(last, "END") && m_endClosed) {
        m_endClosed = false;
        if (Is(word, "IF") || Is(word, "LOOP") || Is(word, "WHILE") || Is(word, "REPEAT")) {
            ++m_bodyDepth;
            return;
        }
        if (Is(word, "CASE")) {
            return;
        }
    }
    m_endClosed = false;
    if (Is(word, "BEGIN")) {
        ++m_bodyDepth;
    } else if (Is(word, "CASE") && m_bodyDepth > 0) {
        ++m_bodyDepth;
    } else if (Is(word, "END") && m_bodyDepth > 0) {
        --m_bodyDepth;
        m_endClosed = true;
    }
}

void CScriptReader::Finish() {
    if (!m_failed) {
        EndBatch();
    }
}

CScriptBatch* CScriptReader::NextBatch() {
    if (m_readyHead == m_readyEnd) {
        return nullptr;
    }
    Batch* next = &m_ready[m_readyHead++];
    if (m_readyHead == m_readyEnd) {
        // Every slot is handed out: the next batch reuses the first one,
        // which the caller is done with by then.
        m_readyHead = m_readyEnd = 0;
    }
    return next;
}

CScriptBatch& CScriptReader::NewReadyBatch() {
    if (m_readyEnd == m_ready.size()) {
        m_ready.emplace_back();
    }
    Batch& batch = m_ready[m_readyEnd++];
    batch.sql.Empty();
    batch.shown.Empty();
    batch.file.Empty();
    batch.failure.Empty();
    batch.line = 0;
    batch.sqlLine = 0;
    batch.shownRaw = false;
    return batch;
}

bool CScriptReader::IsSeparatorLine(const std::string& line, size_t first) const {
    // The separator opens the line, and nothing but blanks and control
    // characters (such as an end-of-file byte 26 left by old editors)
    // follows it. In the program's own form the line is trimmed and cut at
    // the comment marker first: a separator that ends in a blank or holds
    // the marker is looked for in what is left.
    size_t end = line.size();
    if (!m_standard) {
        end = std::min(EndWithoutSpace(line, first, end), line.find(kCommentMarker, first));
    }
    if (end - first < m_separator.size() ||
        line.compare(first, m_separator.size(), m_separator) != 0) {
        return false;
    }
    for (size_t i = first + m_separator.size(); i < end; ++i) {
        if (!IsControl(line[i]) && !IsSpace(line[i])) {
            return false;
        }
    }
    return true;
}

void CScriptReader::AddPiece(const std::string& line, size_t begin, size_t end, bool cut) {
    if (m_hasLines) {
        if (m_lineEndInText) {
            m_sql += m_lineEnd;
        } else {
            m_sql += kLineJoin;
        }
    }
    if (!m_hasLines) {
        m_sqlFirstLine = m_lineNumber;
        m_sqlFirstFile = m_fileName;
        m_sqlOverFiles = false;
    } else if (m_fileName != m_sqlFirstFile) {
        m_sqlOverFiles = true;
    }
    m_sql.append(line, begin, end - begin);
    m_hasLines = true;

    // The printed form is the line trimmed, except for the blanks before a
    // cut comment, and one blank after it.
    const size_t first = FirstNonSpace(line, begin, end);
    const size_t last = cut ? end : EndWithoutSpace(line, first, end);
    if (!m_hasText && m_pieceHasText) {
        m_firstTextLine = m_lineNumber;
        m_firstTextFile = m_fileName;
        m_shownTextStart = m_shown.size();
    }
    m_shown.append(line, first, last - first);
    m_shown += ' ';
    m_hasText = m_hasText || m_pieceHasText;
    m_pieceHasText = false;
}

void CScriptReader::EndBatch() {
    if (m_copyFromStdin) {
        // Shown from the line that begins the statement, without the
        // comments before it.
        CString shown;
        CollapseWhitespace(Trimmed(m_shown.substr(m_shownTextStart)), shown);
        Fail("line " + std::to_string(m_firstTextLine) +
                 (m_firstTextFile.empty() ? "" : " of '" + m_firstTextFile + "'") +
                 ": COPY ... FROM stdin takes its rows from the client, and a script sends none"
                 " (dump with --inserts to have them as INSERT statements)",
             shown.Str());
        return;
    }
    // A batch of nothing but blanks and comments is neither printed nor sent.
    if (m_hasText) {
        // The texts go into buffers that earlier batches gave back.
        Batch& batch = NewReadyBatch();
        batch.line = m_firstTextLine;
        batch.file = m_firstTextFile;
        SqlToSend(batch.sqlLine, m_spareSql);
        batch.sql.Swap(m_spareSql);  // the slot's last text is the next buffer
        if (m_sqlOverFiles) {
            batch.sqlLine = 0;
        }
        if (m_showLater) {
            batch.shown.Swap(m_shown);  // m_shown is emptied below
        } else {
            m_spareShown.clear();
            AppendShown(m_shown, m_spareShown);
            batch.shown.Swap(m_spareShown);
        }
        batch.shownRaw = m_showLater;
    }
    m_sql.clear();
    m_shown.clear();
    m_hasText = false;
    m_hasLines = false;
    m_hasSemicolon = false;
    m_comments.clear();
    m_commentStart = 0;
    m_firstWord.clear();
    m_lastWord.clear();
    m_wordBefore.clear();
    m_words = 0;
    m_followWords = m_standard;
    m_trigger = false;
    m_endClosed = false;
    m_bodyDepth = 0;
}

void CScriptReader::Fail(const std::string& why, const std::string& shown) {
    Batch& batch = NewReadyBatch();
    batch.failure = why;
    batch.shown = shown;
    m_failed = true;
}

void CScriptReader::SqlToSend(long& firstLine, std::string& out) {
    firstLine = m_sqlFirstLine;
    if (!m_omitComments || !m_hasSemicolon) {
        TrimmedInto(m_sql, firstLine, out);
        return;
    }
    std::string sql = Trimmed(m_sql);
    // The words after which the driver lets several statements through.
    static const char* const kDefinitionWords[] = {
        "alter", "analyze", "attach",  "begin",   "commit",   "create",    "detach",
        "drop",  "end",     "reindex", "release", "rollback", "savepoint", "vacuum"};
    for (const char* word : kDefinitionWords) {
        if (CString(sql.substr(0, std::char_traits<char>::length(word))).CompareNoCase(word) == 0) {
            TrimmedInto(m_sql, firstLine, out);
            return;
        }
    }
    if (m_state == State::BlockComment) {
        m_comments.emplace_back(m_commentStart, m_sql.size());  // open to the end
    }
    std::string kept;
    size_t from = 0;
    for (const auto& [commentBegin, commentEnd] : m_comments) {
        kept.append(m_sql, from, commentBegin - from);
        // A comment over several lines leaves its line breaks, so that a
        // line the database names in the text is still the script's.
        const long breaks = LineBreaks(m_sql, commentBegin, commentEnd);
        kept.append(breaks > 0 ? static_cast<size_t>(breaks) : 1, breaks > 0 ? '\n' : ' ');
        from = commentEnd;
    }
    kept.append(m_sql, from, std::string::npos);
    TrimmedInto(kept, firstLine, out);
}

void CScriptReader::CollapseWhitespace(const CString& source, CString& target) {
    std::string text;
    target.Swap(text);
    AppendCollapsed(source.Str(), 0, source.Str().size(), text);
    target.Swap(text);
}

CString CScriptReader::ShownOf(const CScriptBatch& batch) {
    if (!batch.shownRaw) {
        return batch.shown;
    }
    std::string shown;
    AppendShown(batch.shown.Str(), shown);
    return CString(shown);
}
