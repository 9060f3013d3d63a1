// A throwaway PostgreSQL server of the test's own (POSIX).
//
// The cluster is made with initdb in a folder of the test, listens on its own
// socket folder and on a free TCP port of 127.0.0.1, and runs as the
// unprivileged "postgres" user when the test runs as root (the server refuses
// root). It knows the role alice (password "secret", checked on TCP) and a
// database "vorla" that alice owns; the superuser "postgres" is trusted on
// the socket. The server is stopped when the object goes, and by the kernel
// when the test process ends any other way: it gets SIGQUIT, the immediate
// shutdown, as soon as the thread that started it is gone.
#pragma once

#include <sys/types.h>
#include <string>
#include <utility>
#include <vector>

namespace vorla::test {

class PgCluster {
public:
    // Starts the server in `dir`. On failure Started() is false and Error()
    // says why; the caller fails its test (a test that needs the server never
    // passes without it).
    explicit PgCluster(const std::string& dir);
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    bool Started() const { return m_pid > 0; }
    const std::string& Error() const { return m_error; }
    int Port() const { return m_port; }

    // Runs SQL as the superuser in `database` through psql on the socket and
    // gives the rows, columns joined by '|'. A failure adds a test failure and
    // gives the error text as the only row.
    std::vector<std::string> Psql(const std::string& sql,
                                  const std::string& database = "vorla") const;

    // The entries of an ODBC data source for `database` through the PostgreSQL
    // driver (Debian package odbc-postgresql), without user and password.
    std::vector<std::pair<std::string, std::string>> DataSource(const std::string& database) const;

private:
    bool Start();
    void Stop();

    std::string m_dir;
    std::string m_bin;
    std::string m_socketDir;
    int m_port = 0;
    pid_t m_pid = 0;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    std::string m_error;
};

// Fails the current test at once when the cluster did not start.
#define VORLA_REQUIRE_PG(cluster) \
    ASSERT_TRUE((cluster).Started()) << "PostgreSQL did not start: " << (cluster).Error()

}  // namespace vorla::test
