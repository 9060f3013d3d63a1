// A line editor for the driver manager's configuration files (odbc.ini).
//
// The files are the user's: people write them by hand, with comments, blank
// lines and their own spacing, and other programs write sections of their
// own. The configuration library's writers rewrite a whole file in their own
// layout; this editor changes only the lines of one section or one entry and
// keeps every other byte as it was.
//
// Lines are read as the configuration library reads them: a line whose first
// character is '[' starts a section, named by the text up to ']' with the
// blanks around it trimmed; a line whose first non-blank character is '#' or
// ';' is a comment; any other line holding '=' is an entry named by the text
// before it, trimmed. Names compare with ASCII letters folded.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vorla::platform::registry {

using IniEntries = std::vector<std::pair<std::string, std::string>>;

class IniText {
public:
    explicit IniText(const std::string& text);

    // The section `name` holding exactly `entries`, as "name=value" lines:
    // an existing one's header and entry lines are replaced (the comments and
    // blank lines after its last entry stay with what follows), a missing one
    // is added at the end. No blank line is ever added, so that removing what
    // was added gives back the file as it was.
    void PutSection(const std::string& name, const IniEntries& entries);
    // Removes the section's header and entry lines.
    void RemoveSection(const std::string& name);
    // The entry `name` of `section` set to `value`: its line replaced, or a
    // line added after the section's last entry; a missing section is added
    // at the end.
    void PutEntry(const std::string& section, const std::string& name, const std::string& value);
    // Removes the entry's line; a section left with no entry and no comment
    // goes as RemoveSection takes it.
    void RemoveEntry(const std::string& section, const std::string& name);

    std::string Text() const;

private:
    struct Block {
        size_t header = 0;   // the header line
        size_t bodyEnd = 0;  // one past the last entry line (or the header)
        size_t end = 0;      // the next section's header, or the end
    };
    bool Find(const std::string& section, Block* block) const;
    void Append(const std::vector<std::string>& lines);
    void Erase(const Block& block);

    std::vector<std::string> m_lines;  // each with its line end, the last maybe without
    std::string m_eol;                 // the file's own line end
};

// The name of the section a line starts, false when it starts none.
bool IniSectionName(const std::string& line, std::string* name);

}  // namespace vorla::platform::registry
