#include <cstdlib>

#include "testlib/HostOdbc.h"
#include "testlib/TempDir.h"

namespace vorla::test {

namespace {

void SetVariable(const std::string& name, const std::string& value,
                 std::vector<std::pair<std::string, std::string>>* saved,
                 std::vector<std::string>* unset) {
    if (const char* old = std::getenv(name.c_str())) {
        saved->emplace_back(name, old);
    } else {
        unset->push_back(name);
    }
    setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace

// The prefix comes with a host ODBC configuration of its own, so that the
// registry's view of the host's data sources never shows the real ones.
ScopedPrefix::ScopedPrefix() {
    SetVariable("VORLA_PREFIX", m_dir.Path(), &m_saved, &m_unset);
    const HostOdbcConfig odbc(m_odbcDir.Path());
    for (const auto& variable : odbc.Environment()) {
        SetVariable(variable.first, variable.second, &m_saved, &m_unset);
    }
}

ScopedPrefix::~ScopedPrefix() {
    for (const auto& variable : m_saved) {
        setenv(variable.first.c_str(), variable.second.c_str(), 1);
    }
    for (const std::string& name : m_unset) {
        unsetenv(name.c_str());
    }
}

HostOdbcConfig ScopedPrefix::HostOdbc() const {
    return HostOdbcConfig(m_odbcDir.Path());
}

}  // namespace vorla::test
