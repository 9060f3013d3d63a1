#include "testlib/TestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "testlib/Process.h"
#include "testlib/TempDir.h"

namespace fs = std::filesystem;

namespace vorla::test {

namespace {

constexpr auto kStartLimit = std::chrono::seconds(60);
constexpr auto kStopLimit = std::chrono::seconds(20);

// A TCP port of 127.0.0.1 that nothing listens on now.
int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

// Starts `argv` as the given user in the folder of `log`, both streams in
// `log`. With a `deathSignal` the child gets it when this thread ends.
pid_t SpawnAs(uid_t uid, gid_t gid, const std::vector<std::string>& argv, const std::string& log,
              int deathSignal) {
    const std::string workDir = log.substr(0, log.rfind('/'));
    std::vector<std::string> copy = argv;
    std::vector<char*> args;
    for (std::string& arg : copy) {
        args.push_back(&arg[0]);
    }
    args.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    // The child: only async-signal-safe calls from here on. The log is
    // opened while the test's own user still may write its folder.
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) {
        _exit(126);
    }
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) {
        _exit(126);
    }
    // Set after the change of user, which would clear it.
    if (deathSignal != 0 && (prctl(PR_SET_PDEATHSIG, deathSignal) != 0 || getppid() != parent)) {
        _exit(126);
    }
    if (chdir(workDir.c_str()) != 0) {
        _exit(126);
    }
    execv(args[0], args.data());
    _exit(127);
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

}  // namespace

TestServer::TestServer(const std::string& dir) : m_dir(dir), m_socketDir(dir + "/socket") {}

TestServer::~TestServer() {
    Stop();
}

bool TestServer::Prepare(const char* user) {
    m_uid = getuid();
    m_gid = getgid();
    if (geteuid() == 0) {
        const passwd* entry = getpwnam(user);
        if (entry == nullptr) {
            m_error = std::string("running as root needs the server's user '") + user + "'";
            return false;
        }
        m_uid = entry->pw_uid;
        m_gid = entry->pw_gid;
    }
    std::error_code ec;
    fs::create_directories(m_dir, ec);
    // The server's user must reach its folders.
    for (const fs::path& folder : {fs::path(m_dir), fs::path(m_dir).parent_path()}) {
        fs::permissions(folder, fs::perms::others_exec | fs::perms::group_exec,
                        fs::perm_options::add, ec);
    }
    for (const std::string& folder : {DataDir(), m_socketDir}) {
        if (mkdir(folder.c_str(), 0700) != 0 || chown(folder.c_str(), m_uid, m_gid) != 0) {
            m_error = "cannot make " + folder;
            return false;
        }
    }
    m_port = FreePort();
    return true;
}

bool TestServer::Run(const Launch& launch) {
    const std::string log = m_dir + "/server.log";
    const pid_t init = SpawnAs(m_uid, m_gid, launch.init, log, 0);
    if (init < 0 || WaitFor(init) != 0) {
        m_error = launch.init[0] + " failed:\n" + ReadFileBytes(log);
        return false;
    }
    m_stopSignal = launch.stopSignal;
    m_pid = SpawnAs(m_uid, m_gid, launch.server, log, launch.stopSignal);
    if (m_pid < 0) {
        m_pid = 0;
        m_error = "cannot start " + launch.server[0];
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    for (;;) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = 0;
            m_error = launch.server[0] + " ended at start:\n" + ReadFileBytes(log);
            return false;
        }
        if (RunProcess(launch.ready, ProcessOptions()).exitCode == 0) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            m_error = launch.server[0] + " did not become ready:\n" + ReadFileBytes(log);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void TestServer::Stop() {
    if (m_pid <= 0) {
        return;
    }
    kill(m_pid, m_stopSignal);
    const auto deadline = std::chrono::steady_clock::now() + kStopLimit;
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_pid = 0;
}

std::vector<std::string> TestServer::Sql(const std::string& sql,
                                         const std::string& database) const {
    const ProcessResult result = RunProcess(Client(sql, database), ProcessOptions());
    if (result.exitCode != 0) {
        ADD_FAILURE() << Name() << " refused: " << sql << "\n" << result.err;
        return {result.err};
    }
    std::string out = result.out;
    for (char& c : out) {
        if (c == ColumnSeparator()) {
            c = '|';
        }
    }
    return Lines(out);
}

std::string TestServer::Dump(const std::string& database,
                             const std::vector<std::string>& options) const {
    std::vector<std::string> argv = DumpCommand(database);
    argv.insert(argv.end() - 1, options.begin(), options.end());
    const ProcessResult result = RunProcess(argv, ProcessOptions());
    if (result.exitCode != 0) {
        ADD_FAILURE() << Name() << " could not dump " << database << ":\n" << result.err;
    }
    return result.out;
}

namespace {

// The newest PostgreSQL installed, as Debian lays them out.
std::string PgBinDir() {
    std::string best;
    int bestVersion = -1;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        const std::string bin = entry.path().string() + "/bin";
        const int version = std::atoi(entry.path().filename().c_str());
        if (fs::exists(bin + "/initdb") && fs::exists(bin + "/postgres") && version > bestVersion) {
            bestVersion = version;
            best = bin;
        }
    }
    return best;
}

}  // namespace

// SIGQUIT is PostgreSQL's immediate shutdown.
PgCluster::PgCluster(const std::string& dir) : TestServer(dir), m_bin(PgBinDir()) {
    if (m_bin.empty()) {
        m_error = "no PostgreSQL server under /usr/lib/postgresql";
        return;
    }
    if (!Prepare("postgres")) {
        return;
    }
    const std::string port = std::to_string(Port());
    if (!Run({{m_bin + "/initdb", "-D", DataDir(), "-U", "postgres", "--auth-local=trust",
               "--auth-host=scram-sha-256", "--no-sync", "-E", "UTF8", "--locale=C"},
              {m_bin + "/postgres", "-D", DataDir(), "-k", m_socketDir, "-p", port, "-c",
               "listen_addresses=127.0.0.1", "-c", "fsync=off", "-c", "full_page_writes=off"},
              SIGQUIT,
              {m_bin + "/pg_isready", "-q", "-h", m_socketDir, "-p", port}})) {
        return;
    }
    Sql("CREATE ROLE alice LOGIN PASSWORD 'se;cr}et'", "postgres");
    CreateDatabase("vorla");
}

void PgCluster::CreateDatabase(const std::string& name) const {
    Sql("CREATE DATABASE " + name + " OWNER alice", "postgres");
}

std::vector<std::pair<std::string, std::string>> PgCluster::DataSource(
    const std::string& database) const {
    return {{"Driver", "PostgreSQL Unicode"},
            {"Servername", "127.0.0.1"},
            {"Port", std::to_string(Port())},
            {"Database", database}};
}

std::vector<std::string> PgCluster::Client(const std::string& sql,
                                           const std::string& database) const {
    return {m_bin + "/psql",
            "-h",
            m_socketDir,
            "-p",
            std::to_string(Port()),
            "-U",
            "postgres",
            "-d",
            database,
            "-AtqX",
            "-v",
            "ON_ERROR_STOP=1",
            "-c",
            sql};
}

std::string PgCluster::Csv(const std::string& sql, const std::string& database) const {
    std::vector<std::string> argv = Client(sql, database);
    std::replace(argv.begin(), argv.end(), std::string("-AtqX"), std::string("--csv"));
    return RunProcess(argv, ProcessOptions()).out;
}

ProcessResult PgCluster::Restore(const std::string& file, const std::string& database) const {
    ProcessOptions options;
    options.env = {{"PGPASSWORD", "se;cr}et"}};
    return RunProcess({m_bin + "/psql", "-h", "127.0.0.1", "-p", std::to_string(Port()), "-U",
                       "alice", "-d", database, "-qX", "-v", "ON_ERROR_STOP=1", "-f", file},
                      options);
}

std::vector<std::string> PgCluster::DumpCommand(const std::string& database) const {
    return {m_bin + "/pg_dump",     "-h", m_socketDir, "-p",
            std::to_string(Port()), "-U", "postgres",  database};
}

// mariadbd runs as the user that starts it (given no --user, it changes no
// credentials, which would clear the signal it gets when the test ends).
MariaDbServer::MariaDbServer(const std::string& dir) : TestServer(dir) {
    if (!Prepare("mysql")) {
        return;
    }
    const std::string socket = m_socketDir + "/mysqld.sock";
    if (!Run({{"/usr/bin/mariadb-install-db", "--no-defaults", "--datadir=" + DataDir(),
               "--auth-root-authentication-method=normal", "--skip-test-db"},
              {"/usr/sbin/mariadbd", "--no-defaults", "--datadir=" + DataDir(),
               "--socket=" + socket, "--port=" + std::to_string(Port()), "--bind-address=127.0.0.1",
               "--innodb-buffer-pool-size=16M", "--innodb-flush-log-at-trx-commit=0"},
              SIGKILL,
              {"/usr/bin/mariadb-admin", "--no-defaults", "-S", socket, "-u", "root", "ping"}})) {
        return;
    }
    Sql("CREATE USER alice@'%' IDENTIFIED BY 'se;cr}et'", "mysql");
    CreateDatabase("vorla");
}

void MariaDbServer::CreateDatabase(const std::string& name) const {
    Sql("CREATE DATABASE " + name, "mysql");
    Sql("GRANT ALL ON " + name + ".* TO alice@'%'", "mysql");
}

std::vector<std::pair<std::string, std::string>> MariaDbServer::DataSource(
    const std::string& database) const {
    return {{"Driver", "MariaDB Unicode"},
            {"Server", "127.0.0.1"},
            {"Port", std::to_string(Port())},
            {"Database", database}};
}

std::vector<std::string> MariaDbServer::Client(const std::string& sql,
                                               const std::string& database) const {
    return {"/usr/bin/mariadb",
            "--no-defaults",
            "-S",
            m_socketDir + "/mysqld.sock",
            "-u",
            "root",
            "-N",
            "-B",
            "-e",
            sql,
            database};
}

ProcessResult MariaDbServer::Restore(const std::string& file, const std::string& database) const {
    ProcessOptions options;
    options.input = ReadFileBytes(file);
    // With the character set the ODBC driver uses, and the comments kept in
    // routine bodies, as every other client sends them.
    return RunProcess(
        {"/usr/bin/mariadb", "--no-defaults", "--default-character-set=utf8mb4", "--comments", "-h",
         "127.0.0.1", "-P", std::to_string(Port()), "-u", "alice", "-pse;cr}et", database},
        options);
}

std::vector<std::string> MariaDbServer::DumpCommand(const std::string& database) const {
    return {
        "/usr/bin/mariadb-dump", "--no-defaults", "-S", m_socketDir + "/mysqld.sock", "-u", "root",
        "--skip-dump-date",      database};
}

}  // namespace vorla::test
