#include "testlib/HostOdbc.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "testlib/TempDir.h"

namespace vorla::test {

namespace {

// The driver list the driver manager reads now: beside the system's data
// sources.
std::string HostDriverList() {
    const char* dir = std::getenv("ODBCSYSINI");
    return std::string(dir != nullptr && *dir != '\0' ? dir : "/etc") + "/odbcinst.ini";
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

// Made once: a second object for the same folder finds the files in place.
HostOdbcConfig::HostOdbcConfig(const std::string& dir) : m_dir(dir) {
    mkdir(m_dir.c_str(), 0755);
    mkdir((m_dir + "/sys").c_str(), 0755);
    if (!Exists(m_dir + "/sys/odbcinst.ini")) {
        WriteFileBytes(m_dir + "/sys/odbcinst.ini", ReadFileBytes(HostDriverList()));
    }
    if (!Exists(File(Scope::System))) {
        WriteFileBytes(File(Scope::System), "");
    }
}

std::string HostOdbcConfig::File(Scope scope) const {
    return scope == Scope::User ? m_dir + "/user.ini" : m_dir + "/sys/odbc.ini";
}

void HostOdbcConfig::AddDataSource(
    Scope scope, const std::string& name,
    const std::vector<std::pair<std::string, std::string>>& entries) const {
    std::ofstream out(File(scope), std::ios::app);
    out << "[" << name << "]\n";
    for (const auto& entry : entries) {
        out << entry.first << "=" << entry.second << "\n";
    }
    out << "\n";
}

std::vector<std::pair<std::string, std::string>> HostOdbcConfig::Environment() const {
    return {{"ODBCINI", File(Scope::User)}, {"ODBCSYSINI", m_dir + "/sys"}};
}

}  // namespace vorla::test
