// An odbc.ini-style file read by the configuration library's own parser, in
// one pass: what the driver manager, and so every ODBC program, reads there.
#pragma once

#include "IniText.h"

#include <string>
#include <vector>

namespace vorla::platform::registry {

struct IniSection {
    std::string name;
    IniEntries entries;  // in file order
};

// The sections of the file at `path` in file order; false when it cannot be
// opened or read.
bool ReadIniFile(const std::string& path, std::vector<IniSection>* sections);

}  // namespace vorla::platform::registry
