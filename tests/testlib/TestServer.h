// Database servers of the test's own (POSIX): PostgreSQL and MariaDB.
//
// Each server is made in a folder of the test (initdb, mariadb-install-db),
// listens on its own socket folder and on a free TCP port of 127.0.0.1, and
// runs as the server's own unprivileged user when the test runs as root
// ("postgres", "mysql"; the servers refuse root). It knows the role alice,
// password "se;cr}et" (checked on TCP), who owns the database "vorla"; the
// administrator is trusted on the socket. The server is stopped when the
// object goes, and by the kernel when the test process ends any other way:
// it gets a signal as soon as the thread that started it is gone.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "testlib/Process.h"

namespace vorla::test {

class TestServer {
public:
    virtual ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // False when the server did not start; Error() says why. A test that
    // needs the server then fails (VORLA_REQUIRE_SERVER), never passes.
    bool Started() const { return m_pid > 0; }
    const std::string& Error() const { return m_error; }
    int Port() const { return m_port; }
    virtual const char* Name() const = 0;

    // Runs SQL as the administrator in `database` through the server's own
    // client on the socket and gives the rows, columns joined by '|'. A
    // failure adds a test failure and gives the error text as the only row.
    std::vector<std::string> Sql(const std::string& sql, const std::string& database) const;

    // The engine's own client, run as alice over TCP, reading `file` into
    // `database` and stopping at the first error.
    virtual ProcessResult Restore(const std::string& file, const std::string& database) const = 0;

    // The engine's own dump tool on `database`, as the administrator, with
    // `options`; a failure adds a test failure.
    std::string Dump(const std::string& database, const std::vector<std::string>& options) const;

    // A new database that alice owns.
    virtual void CreateDatabase(const std::string& name) const = 0;

    // The entries of an ODBC data source for `database` through the server's
    // ODBC driver, without user and password.
    virtual std::vector<std::pair<std::string, std::string>> DataSource(
        const std::string& database) const = 0;

protected:
    struct Launch {
        std::vector<std::string> init;
        std::vector<std::string> server;
        int stopSignal;
        std::vector<std::string> ready;
    };
    explicit TestServer(const std::string& dir);
    // Makes the folders and chooses the port; then Run starts the server
    // that `launch` describes and waits until it answers. False (with
    // Error()) on failure.
    bool Prepare(const char* user);
    bool Run(const Launch& launch);
    std::string DataDir() const { return m_dir + "/data"; }
    // The client command that runs `sql` in `database`.
    virtual std::vector<std::string> Client(const std::string& sql,
                                            const std::string& database) const = 0;

    // The dump tool's command for `database`, without options.
    virtual std::vector<std::string> DumpCommand(const std::string& database) const = 0;

    // What separates the columns in the client's rows.
    virtual char ColumnSeparator() const { return '|'; }

    std::string m_dir;
    std::string m_socketDir;
    std::string m_error;

private:
    void Stop();

    int m_port = 0;
    pid_t m_pid = 0;
    int m_stopSignal = 0;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
};

// PostgreSQL, the newest version under /usr/lib/postgresql (Debian package
// postgresql), through "PostgreSQL Unicode" (odbc-postgresql).
class PgCluster : public TestServer {
public:
    explicit PgCluster(const std::string& dir);
    const char* Name() const override { return "PostgreSQL"; }
    // What psql --csv prints for `sql` in `database`.
    std::string Csv(const std::string& sql, const std::string& database) const;
    void CreateDatabase(const std::string& name) const override;
    std::vector<std::pair<std::string, std::string>> DataSource(
        const std::string& database) const override;
    ProcessResult Restore(const std::string& file, const std::string& database) const override;

protected:
    std::vector<std::string> Client(const std::string& sql,
                                    const std::string& database) const override;
    std::vector<std::string> DumpCommand(const std::string& database) const override;

private:
    std::string m_bin;
};

// MariaDB (Debian package mariadb-server), through "MariaDB Unicode"
// (odbc-mariadb).
class MariaDbServer : public TestServer {
public:
    explicit MariaDbServer(const std::string& dir);
    const char* Name() const override { return "MariaDB"; }
    void CreateDatabase(const std::string& name) const override;
    std::vector<std::pair<std::string, std::string>> DataSource(
        const std::string& database) const override;
    ProcessResult Restore(const std::string& file, const std::string& database) const override;

protected:
    std::vector<std::string> Client(const std::string& sql,
                                    const std::string& database) const override;
    std::vector<std::string> DumpCommand(const std::string& database) const override;
    char ColumnSeparator() const override { return '\t'; }
};

// Fails the current test at once when the server did not start.
#define VORLA_REQUIRE_SERVER(server) \
    ASSERT_TRUE((server).Started()) << (server).Name() << " did not start: " << (server).Error()

}  // namespace vorla::test
