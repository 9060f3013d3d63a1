// The host's ODBC configuration a test runs with (POSIX). The driver manager
// reads the user's data sources from $ODBCINI (else the password database's
// home) and the system's from $ODBCSYSINI/odbc.ini, with the driver list
// beside it. A test points both at files of its own, so that it never reads
// the real home's or the machine's data sources.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vorla::test {

class HostOdbcConfig {
public:
    // Makes `dir`/sys holding an empty odbc.ini and a copy of the host's driver
    // list (odbcinst.ini), so that drivers are still found by name. The user's
    // file, `dir`/user.ini, does not exist until a data source is added.
    explicit HostOdbcConfig(const std::string& dir);

    enum class Scope { User, System };
    std::string File(Scope scope) const;
    // Appends a data source: "[name]" and its entries, in this order.
    void AddDataSource(Scope scope, const std::string& name,
                       const std::vector<std::pair<std::string, std::string>>& entries) const;

    // ODBCINI and ODBCSYSINI, for a child process's environment.
    std::vector<std::pair<std::string, std::string>> Environment() const;

private:
    std::string m_dir;
};

}  // namespace vorla::test
