#include "IniRead.h"

#include <vector>

// The configuration library's parser. It is exported but its header is not
// installed; these are its declarations, with its handle kept opaque.
extern "C" {
typedef struct tINI* HINI;
int iniOpen(HINI* ini, char* fileName, char* comment, char leftBracket, char rightBracket,
            char equal, int create);
int iniClose(HINI ini);
int iniObjectFirst(HINI ini);
int iniObjectNext(HINI ini);
int iniObjectEOL(HINI ini);
int iniObject(HINI ini, char* name);
int iniPropertyFirst(HINI ini);
int iniPropertyNext(HINI ini);
int iniPropertyEOL(HINI ini);
int iniProperty(HINI ini, char* name);
int iniValue(HINI ini, char* value);
}

namespace vorla::platform::registry {

namespace {

constexpr int kIniSuccess = 1;
// Larger than the longest name or value the library keeps (its line limit).
constexpr size_t kBuffer = 4096;

}  // namespace

bool ReadIniFile(const std::string& path, std::vector<IniSection>* sections) {
    sections->clear();
    std::vector<char> file(path.begin(), path.end());
    file.push_back('\0');
    // The comment characters the library reads odbc.ini with.
    char comments[] = "#;";
    HINI ini = nullptr;
    if (iniOpen(&ini, file.data(), comments, '[', ']', '=', 0) != kIniSuccess) {
        return false;
    }
    std::vector<char> name(kBuffer, '\0');
    std::vector<char> value(kBuffer, '\0');
    for (iniObjectFirst(ini); !iniObjectEOL(ini); iniObjectNext(ini)) {
        IniSection section;
        iniObject(ini, name.data());
        section.name = name.data();
        for (iniPropertyFirst(ini); !iniPropertyEOL(ini); iniPropertyNext(ini)) {
            iniProperty(ini, name.data());
            iniValue(ini, value.data());
            section.entries.emplace_back(name.data(), value.data());
        }
        sections->push_back(std::move(section));
    }
    iniClose(ini);
    return true;
}

}  // namespace vorla::platform::registry
