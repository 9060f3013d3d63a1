#include "script/ErrorPlace.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace {

bool IsWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// The line of text[0, at], counting LF, CRLF and a lone CR as line ends.
long LineAt(const std::string& text, size_t at) {
    long line = 1;
    for (size_t i = 0; i < at && i < text.size(); ++i) {
        line += static_cast<long>(
            text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')));
    }
    return line;
}

// The one line on which every whole-token place of `token` stands; 0 when it
// stands nowhere or on more than one line.
long LineOfToken(const std::string& sql, const std::string& token) {
    if (token.empty()) {
        return 0;
    }
    const bool wordStart = IsWordCharacter(token.front());
    const bool wordEnd = IsWordCharacter(token.back());
    long found = 0;
    for (size_t at = sql.find(token); at != std::string::npos; at = sql.find(token, at + 1)) {
        const size_t after = at + token.size();
        if ((wordStart && at > 0 && IsWordCharacter(sql[at - 1])) ||
            (wordEnd && after < sql.size() && IsWordCharacter(sql[after]))) {
            continue;  // part of a longer word
        }
        const long line = LineAt(sql, at);
        if (found != 0 && found != line) {
            return 0;
        }
        found = line;
    }
    return found;
}

}  // namespace

long LineInStatement(const CString& error, const CString& sql) {
    const std::string& message = error.Str();
    const std::string& text = sql.Str();
    // MySQL and MariaDB: "... near '...' at line 3".
    const size_t atLine = message.rfind(" at line ");
    if (atLine != std::string::npos) {
        const char* digits = message.c_str() + atLine + 9;
        char* end = nullptr;
        const long line = std::strtol(digits, &end, 10);
        if (end != digits && line >= 1 && line <= LineAt(text, text.size())) {
            return line;
        }
    }
    // PostgreSQL: "syntax error at end of input".
    if (message.find("at end of input") != std::string::npos) {
        return LineAt(text, text.size());
    }
    // PostgreSQL's "at or near \"X\"" and SQLite's "near \"X\": ...".
    const size_t nearAt = message.find("near \"");
    if (nearAt != std::string::npos) {
        const size_t begin = nearAt + 6;
        const size_t close = message.find('"', begin);
        if (close != std::string::npos) {
            return LineOfToken(text, message.substr(begin, close - begin));
        }
    }
    return 0;
}
