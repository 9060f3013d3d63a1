#include "IniText.h"

#include "CaseFold.h"

namespace vorla::platform::registry {

namespace {

constexpr char kBlanks[] = " \t\r\n";

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool Same(const std::string& a, const std::string& b) {
    return CompareFolded(reinterpret_cast<const unsigned char*>(a.data()), a.size(),
                         reinterpret_cast<const unsigned char*>(b.data()), b.size()) == 0;
}

bool IsBlank(const std::string& line) {
    return line.find_first_not_of(kBlanks) == std::string::npos;
}

bool IsComment(const std::string& line) {
    const size_t first = line.find_first_not_of(kBlanks);
    return first != std::string::npos && (line[first] == '#' || line[first] == ';');
}

// The name of the entry a line holds, false for blank, comment and header
// lines and lines without '='.
bool EntryName(const std::string& line, std::string* name) {
    std::string ignored;
    if (IsBlank(line) || IsComment(line) || IniSectionName(line, &ignored)) {
        return false;
    }
    const size_t equal = line.find('=');
    if (equal == std::string::npos) {
        return false;
    }
    *name = Trimmed(line.substr(0, equal));
    return true;
}

}  // namespace

bool IniSectionName(const std::string& line, std::string* name) {
    if (line.empty() || line[0] != '[') {
        return false;
    }
    const size_t close = line.find(']');
    *name = Trimmed(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

IniText::IniText(const std::string& text) : m_eol("\n") {
    for (size_t at = 0; at < text.size();) {
        const size_t newline = text.find('\n', at);
        const size_t next = newline == std::string::npos ? text.size() : newline + 1;
        m_lines.push_back(text.substr(at, next - at));
        at = next;
    }
    // New lines take the line end of the file's first line.
    if (!m_lines.empty() && m_lines[0].size() >= 2 &&
        m_lines[0].compare(m_lines[0].size() - 2, 2, "\r\n") == 0) {
        m_eol = "\r\n";
    }
}

bool IniText::Find(const std::string& section, Block* block) const {
    std::string name;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (!IniSectionName(m_lines[i], &name) || !Same(name, section)) {
            continue;
        }
        block->header = i;
        block->bodyEnd = i + 1;
        size_t j = i + 1;
        for (; j < m_lines.size() && !IniSectionName(m_lines[j], &name); ++j) {
            if (!IsBlank(m_lines[j]) && !IsComment(m_lines[j])) {
                block->bodyEnd = j + 1;
            }
        }
        block->end = j;
        return true;
    }
    return false;
}

// New lines go after the last one; blank lines are never added, so that
// removing what was added gives the file back as it was.
void IniText::Append(const std::vector<std::string>& lines) {
    if (!m_lines.empty()) {
        std::string& last = m_lines.back();
        if (last.empty() || last.back() != '\n') {
            last += m_eol;
        }
    }
    m_lines.insert(m_lines.end(), lines.begin(), lines.end());
}

void IniText::Erase(const Block& block) {
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(block.header),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(block.bodyEnd));
}

void IniText::PutSection(const std::string& name, const IniEntries& entries) {
    std::vector<std::string> lines{"[" + name + "]" + m_eol};
    for (const auto& entry : entries) {
        lines.push_back(entry.first + "=" + entry.second + m_eol);
    }
    Block block;
    if (!Find(name, &block)) {
        Append(lines);
        return;
    }
    // The last line of a file may lack its line end: so does its stand-in.
    const std::string& oldLast = m_lines[block.bodyEnd - 1];
    if (block.bodyEnd == m_lines.size() && !oldLast.empty() && oldLast.back() != '\n') {
        lines.back().resize(lines.back().size() - m_eol.size());
    }
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(block.header),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(block.bodyEnd));
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(block.header), lines.begin(),
                   lines.end());
}

void IniText::RemoveSection(const std::string& name) {
    Block block;
    if (Find(name, &block)) {
        Erase(block);
    }
}

void IniText::PutEntry(const std::string& section, const std::string& name,
                       const std::string& value) {
    std::string line = name + "=" + value + m_eol;
    Block block;
    if (!Find(section, &block)) {
        Append({"[" + section + "]" + m_eol, line});
        return;
    }
    std::string found;
    for (size_t i = block.header + 1; i < block.bodyEnd; ++i) {
        if (EntryName(m_lines[i], &found) && Same(found, name)) {
            if (m_lines[i].empty() || m_lines[i].back() != '\n') {
                line.resize(line.size() - m_eol.size());
            }
            m_lines[i] = line;
            return;
        }
    }
    std::string& before = m_lines[block.bodyEnd - 1];
    if (before.empty() || before.back() != '\n') {
        before += m_eol;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(block.bodyEnd), line);
}

void IniText::RemoveEntry(const std::string& section, const std::string& name) {
    Block block;
    if (!Find(section, &block)) {
        return;
    }
    std::string found;
    bool kept = false;
    for (size_t i = block.header + 1; i < block.bodyEnd; ++i) {
        if (EntryName(m_lines[i], &found) && Same(found, name)) {
            m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(i));
            --i;
            --block.bodyEnd;
            --block.end;
        } else if (!IsBlank(m_lines[i])) {
            kept = true;
        }
    }
    if (!kept) {
        Erase(block);
    }
}

std::string IniText::Text() const {
    std::string text;
    for (const std::string& line : m_lines) {
        text += line;
    }
    return text;
}

}  // namespace vorla::platform::registry
