#include "Regedit4.h"

#include "RegData.h"

#include <cstdio>

namespace vorlareg {

namespace {

const char kLineEnd[] = "\r\n";
// A hex line is continued once it reaches this many characters.
const size_t kHexLineLimit = 76;

std::string Quote(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

// A REG_SZ can be written as a quoted text only when reading that text back
// gives the same bytes: exactly one NUL, at the end, and no line break.
bool IsPlainText(DWORD type, const std::string& bytes) {
    return type == REG_SZ && !bytes.empty() && bytes.find('\0') == bytes.size() - 1 &&
           bytes.find_first_of("\r\n") == std::string::npos;
}

std::string HexData(std::string line, const std::string& bytes, std::string& out) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(bytes[i]));
        line += pair;
        if (i + 1 < bytes.size()) {
            line += ',';
            if (line.size() >= kHexLineLimit) {
                out += line + "\\" + kLineEnd;
                line = "  ";
            }
        }
    }
    return line;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Reads a quoted text starting at `pos` (at the opening quote); `pos` ends
// after the closing quote.
bool ReadQuoted(const std::string& line, size_t& pos, std::string& text) {
    if (pos >= line.size() || line[pos] != '"') {
        return false;
    }
    text.clear();
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < line.size()) {
            c = line[++pos];
        }
        text += c;
    }
    return false;
}

// "01,ff, 0a" (blanks allowed around the pairs; nothing at all for no bytes).
bool ReadHexBytes(const std::string& text, std::string& bytes) {
    bytes.clear();
    const std::string list = Trim(text);
    if (list.empty()) {
        return true;
    }
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        const std::string pair =
            Trim(list.substr(start, comma == std::string::npos ? comma : comma - start));
        if (pair.empty() || pair.size() > 2) {
            return false;
        }
        int value = 0;
        for (char c : pair) {
            const int digit = HexDigit(c);
            if (digit < 0) {
                return false;
            }
            value = value * 16 + digit;
        }
        bytes += static_cast<char>(value);
        if (comma == std::string::npos) {
            return true;
        }
        start = comma + 1;
    }
}

bool ReadHexNumber(const std::string& text, size_t maxDigits, unsigned long& value) {
    if (text.empty() || text.size() > maxDigits) {
        return false;
    }
    value = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            return false;
        }
        value = value * 16 + static_cast<unsigned long>(digit);
    }
    return true;
}

bool ReadValueData(const std::string& data, Regedit4Entry& entry) {
    if (data == "-") {
        entry.kind = Regedit4Entry::Kind::removeValue;
        return true;
    }
    entry.kind = Regedit4Entry::Kind::value;
    if (!data.empty() && data[0] == '"') {
        size_t pos = 0;
        std::string text;
        if (!ReadQuoted(data, pos, text) || pos != data.size()) {
            return false;
        }
        entry.dwType = REG_SZ;
        entry.strBytes = text + '\0';
        return true;
    }
    const size_t colon = data.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    const std::string kind = data.substr(0, colon);
    const std::string rest = data.substr(colon + 1);
    unsigned long number = 0;
    if (kind == "dword") {
        if (!ReadHexNumber(Trim(rest), 8, number)) {
            return false;
        }
        entry.dwType = REG_DWORD;
        entry.strBytes.clear();
        for (int i = 0; i < 4; ++i) {
            entry.strBytes += static_cast<char>((number >> (8 * i)) & 0xFF);
        }
        return true;
    }
    if (kind == "hex") {
        entry.dwType = REG_BINARY;
    } else if (kind.size() > 5 && kind.compare(0, 4, "hex(") == 0 && kind.back() == ')') {
        if (!ReadHexNumber(kind.substr(4, kind.size() - 5), 8, number)) {
            return false;
        }
        entry.dwType = static_cast<DWORD>(number);
    } else {
        return false;
    }
    return ReadHexBytes(rest, entry.strBytes);
}

}  // namespace

Regedit4Writer::Regedit4Writer() : m_strText(std::string("REGEDIT4") + kLineEnd) {}

void Regedit4Writer::Key(const std::string& fullPath) {
    m_strText += kLineEnd;
    m_strText += "[" + fullPath + "]" + kLineEnd;
}

void Regedit4Writer::Value(const std::string& name, bool isDefault, DWORD type,
                           const std::string& bytes) {
    std::string line = (isDefault ? std::string("@") : Quote(name)) + "=";
    if (IsPlainText(type, bytes)) {
        line += Quote(bytes.substr(0, bytes.size() - 1));
    } else if (type == REG_DWORD && bytes.size() == 4) {
        unsigned long value = 0;
        for (int i = 3; i >= 0; --i) {
            value = (value << 8) | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
        }
        char number[16];
        std::snprintf(number, sizeof number, "dword:%08lx", value);
        line += number;
    } else {
        char prefix[24];
        if (type == REG_BINARY) {
            std::snprintf(prefix, sizeof prefix, "hex:");
        } else {
            std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
        }
        line = HexData(line + prefix, bytes, m_strText);
    }
    m_strText += line + kLineEnd;
}

std::string Regedit4Writer::Finish() const {
    return m_strText + kLineEnd;
}

bool ReadRegedit4(const std::string& text, std::vector<Regedit4Entry>& entries, int& errorLine) {
    entries.clear();
    // Split into lines, joining continued hex lines into the line they
    // continue; each logical line keeps the number of its first line.
    std::vector<std::pair<int, std::string>> lines;
    bool continuing = false;
    int number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::string trimmed = Trim(line);
        const bool continues = !trimmed.empty() && trimmed.back() == '\\' &&
                               (continuing || trimmed[0] == '"' || trimmed[0] == '@');
        if (continues) {
            trimmed.pop_back();
        }
        if (continuing) {
            lines.back().second += trimmed;
        } else {
            lines.emplace_back(number, trimmed);
        }
        continuing = continues;
    }

    bool header = false;
    bool inKey = false;
    std::string key;
    for (const auto& [lineNumber, line] : lines) {
        errorLine = lineNumber;
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (!header) {
            if (line != "REGEDIT4") {
                return false;
            }
            header = true;
            continue;
        }
        Regedit4Entry entry;
        entry.nLine = lineNumber;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3) {
                return false;
            }
            const bool remove = line[1] == '-';
            entry.kind = remove ? Regedit4Entry::Kind::removeKey : Regedit4Entry::Kind::key;
            entry.strKeyPath = line.substr(remove ? 2 : 1, line.size() - (remove ? 3 : 2));
            // Values after a removed key have nowhere to go.
            inKey = !remove;
            key = entry.strKeyPath;
            entries.push_back(entry);
            continue;
        }
        if (!inKey) {
            return false;
        }
        entry.strKeyPath = key;
        size_t pos = 0;
        if (line[0] == '@') {
            entry.bDefault = true;
            pos = 1;
        } else if (!ReadQuoted(line, pos, entry.strName)) {
            return false;
        }
        const std::string rest = Trim(line.substr(pos));
        if (rest.empty() || rest[0] != '=' || !ReadValueData(Trim(rest.substr(1)), entry)) {
            return false;
        }
        entries.push_back(entry);
    }
    if (!header) {
        errorLine = 1;
        return false;
    }
    errorLine = 0;
    return true;
}

}  // namespace vorlareg
