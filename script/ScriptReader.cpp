#include "script/ScriptReader.h"

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

}  // namespace

CScriptReader::CScriptReader(const CString& separator) : m_separator(separator.Str()) {}

void CScriptReader::AddLine(const CString& line) {
    const std::string& text = line.Str();
    size_t begin = 0;
    // Editors on Windows often start a UTF-8 file with a byte-order mark;
    // trimming does not remove it, and the database would reject the first
    // statement over three bytes the user cannot see.
    if (m_firstLine && text.compare(0, 3, kUtf8ByteOrderMark) == 0) {
        begin = 3;
    }
    m_firstLine = false;
    const size_t end = text.size();

    // What decides a whole line counts only where the line does not begin
    // inside a text or a comment.
    if (m_state == State::Outside) {
        const size_t first = FirstNonSpace(text, begin, end);
        if (first == end) {
            if (m_separator.empty()) {
                EndBatch();
            } else {
                AddPiece(text, begin, end, false);
            }
            return;
        }
        if (text[first] == kCommentMarker) {
            return;
        }
        if (m_separator.size() >= 2 && IsSeparatorLine(text, first)) {
            EndBatch();
            return;
        }
    }

    const bool oneCharacter = m_separator.size() == 1;
    const char separator = oneCharacter ? m_separator[0] : '\0';
    size_t pieceBegin = begin;
    bool afterSeparator = false;
    bool cut = false;
    m_pieceHasText = false;
    // Where text[i] will stand in m_sql once the piece is added.
    const auto at = [this, &pieceBegin](size_t i) {
        return m_sql.size() + (m_hasLines ? 1 : 0) + (i - pieceBegin);
    };
    size_t i = begin;
    while (i < end) {
        const char c = text[i];
        const char next = i + 1 < end ? text[i + 1] : '\0';
        if (m_state == State::DoubleQuoted) {
            m_state = c == '"' ? State::Outside : m_state;
            ++i;
            continue;
        }
        if (m_state == State::BlockComment) {
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
        }
        if (c == kCommentMarker) {
            cut = true;
            break;
        }
        if (c == '-' && next == '-') {
            // A comment to the line end.
            if (m_omitComments) {
                m_comments.emplace_back(at(i), at(end));
                m_hasSemicolon = m_hasSemicolon || text.find(';', i) != std::string::npos;
            }
            break;
        }
        if (c == '/' && next == '*') {
            m_state = State::BlockComment;
            m_commentStart = at(i);
            i += 2;
            continue;
        }
        if (oneCharacter && c == separator) {
            AddPiece(text, pieceBegin, i, false);
            EndBatch();
            ++i;
            pieceBegin = i;
            afterSeparator = true;
            m_pieceHasText = false;
            continue;
        }
        m_hasSemicolon = m_hasSemicolon || c == ';';
        if (c == '"') {
            m_state = State::DoubleQuoted;
        }
        if (!IsSpace(c)) {
            m_pieceHasText = true;
        }
        ++i;
    }
    // What follows a separator on its line begins the next batch, unless it
    // holds only blanks and complete comments.
    if (afterSeparator && !m_pieceHasText && m_state == State::Outside) {
        m_comments.clear();  // the batch is still empty
        m_hasSemicolon = false;
        return;
    }
    AddPiece(text, pieceBegin, cut ? i : end, cut);
}

void CScriptReader::Finish() {
    EndBatch();
}

bool CScriptReader::TakeBatch(Batch& batch) {
    if (m_ready.empty()) {
        return false;
    }
    batch = std::move(m_ready.front());
    m_ready.pop_front();
    return true;
}

bool CScriptReader::IsSeparatorLine(const std::string& line, size_t first) const {
    // The separator opens the line, and nothing but blanks and control
    // characters (such as an end-of-file byte 26 left by old editors)
    // follows it up to the end or to the comment marker.
    if (line.compare(first, m_separator.size(), m_separator) != 0) {
        return false;
    }
    for (size_t i = first + m_separator.size(); i < line.size(); ++i) {
        const char c = line[i];
        if (c == kCommentMarker) {
            return true;
        }
        if (!IsControl(c) && !IsSpace(c)) {
            return false;
        }
    }
    return true;
}

void CScriptReader::AddPiece(const std::string& line, size_t begin, size_t end, bool cut) {
    if (m_hasLines) {
        m_sql += kLineJoin;
    }
    m_sql.append(line, begin, end - begin);
    m_hasLines = true;

    // The printed form is the line trimmed, except for the blanks before a
    // cut comment, and one blank after it.
    const size_t first = FirstNonSpace(line, begin, end);
    const size_t last = cut ? end : EndWithoutSpace(line, first, end);
    m_shown.append(line, first, last - first);
    m_shown += ' ';
    m_hasText = m_hasText || m_pieceHasText;
    m_pieceHasText = false;
}

void CScriptReader::EndBatch() {
    // A batch of nothing but blanks and comments is neither printed nor sent.
    if (m_hasText) {
        Batch batch;
        batch.sql = SqlToSend();
        CollapseWhitespace(Trimmed(m_shown), batch.shown);
        m_ready.push_back(std::move(batch));
    }
    m_sql.clear();
    m_shown.clear();
    m_hasText = false;
    m_hasLines = false;
    m_hasSemicolon = false;
    m_comments.clear();
    m_commentStart = 0;
}

std::string CScriptReader::SqlToSend() {
    std::string sql = Trimmed(m_sql);
    if (!m_omitComments || !m_hasSemicolon) {
        return sql;
    }
    // The words after which the driver lets several statements through.
    static const char* const kDefinitionWords[] = {
        "alter", "analyze", "attach",  "begin",   "commit",   "create",    "detach",
        "drop",  "end",     "reindex", "release", "rollback", "savepoint", "vacuum"};
    for (const char* word : kDefinitionWords) {
        if (CString(sql.substr(0, std::char_traits<char>::length(word))).CompareNoCase(word) == 0) {
            return sql;
        }
    }
    if (m_state == State::BlockComment) {
        m_comments.emplace_back(m_commentStart, m_sql.size());  // open to the end
    }
    std::string kept;
    size_t from = 0;
    for (const auto& [commentBegin, commentEnd] : m_comments) {
        kept.append(m_sql, from, commentBegin - from);
        kept += ' ';
        from = commentEnd;
    }
    kept.append(m_sql, from, std::string::npos);
    return Trimmed(kept);
}

void CScriptReader::CollapseWhitespace(const CString& source, CString& target) {
    const std::string& text = source.Str();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t next = pos + 1;
        if (IsSpace(text[pos])) {
            // A run of whitespace keeps only its first character.
            target.Append(text.data() + pos, 1);
            while (next < text.size() && IsSpace(text[next])) {
                ++next;
            }
        } else {
            while (next < text.size() && !IsSpace(text[next])) {
                ++next;
            }
            target.Append(text.data() + pos, static_cast<int>(next - pos));
        }
        pos = next;
    }
}
