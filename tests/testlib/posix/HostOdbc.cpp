#include "testlib/HostOdbc.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "testlib/TempDir.h"

namespace vorla::test {

namespace {

// The host's driver list, as the driver manager read it when the first test
// configuration was made: tests point ODBCSYSINI at folders of their own,
// which may be gone by the time the next configuration is made.
const std::string& HostDriverList() {
    static const std::string list = [] {
        const char* dir = std::getenv("ODBCSYSINI");
        return ReadFileBytes(std::string(dir != nullptr && *dir != '\0' ? dir : "/etc") +
                             "/odbcinst.ini");
    }();
    return list;
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
        WriteFileBytes(m_dir + "/sys/odbcinst.ini", HostDriverList());
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
