#include "testlib/PgCluster.h"

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

#include <gtest/gtest.h>

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

// The newest server installed, as Debian lays them out.
std::string ServerBinDir() {
    std::string best;
    int bestVersion = -1;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        const std::string version = entry.path().filename().string();
        const std::string bin = entry.path().string() + "/bin";
        if (!fs::exists(bin + "/initdb") || !fs::exists(bin + "/postgres")) {
            continue;
        }
        const int number = std::atoi(version.c_str());
        if (number > bestVersion) {
            bestVersion = number;
            best = bin;
        }
    }
    return best;
}

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

// Starts `argv` as the given user with both streams in `log`. With
// `dieWithParent` the child gets SIGQUIT when this thread ends.
pid_t SpawnAs(uid_t uid, gid_t gid, const std::vector<std::string>& argv, const std::string& log,
              bool dieWithParent) {
    const std::string workDir = log.substr(0, log.rfind('/'));
    std::vector<char*> args;
    std::vector<std::string> copy = argv;
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
    if (dieWithParent && (prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || getppid() != parent)) {
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

}  // namespace

PgCluster::PgCluster(const std::string& dir) : m_dir(dir) {
    if (!Start()) {
        Stop();
    }
}

PgCluster::~PgCluster() {
    Stop();
}

bool PgCluster::Start() {
    m_bin = ServerBinDir();
    if (m_bin.empty()) {
        m_error = "no PostgreSQL server under /usr/lib/postgresql (Debian package postgresql)";
        return false;
    }
    m_uid = getuid();
    m_gid = getgid();
    if (geteuid() == 0) {
        const passwd* user = getpwnam("postgres");
        if (user == nullptr) {
            m_error = "running as root needs the user 'postgres' (Debian package postgresql)";
            return false;
        }
        m_uid = user->pw_uid;
        m_gid = user->pw_gid;
    }
    const std::string data = m_dir + "/data";
    m_socketDir = m_dir + "/socket";
    std::error_code ec;
    fs::create_directories(m_dir, ec);
    // The server's user must reach its folders.
    fs::permissions(m_dir, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add,
                    ec);
    fs::permissions(fs::path(m_dir).parent_path(), fs::perms::others_exec | fs::perms::group_exec,
                    fs::perm_options::add, ec);
    for (const std::string& folder : {data, m_socketDir}) {
        if (mkdir(folder.c_str(), 0700) != 0 || chown(folder.c_str(), m_uid, m_gid) != 0) {
            m_error = "cannot make " + folder;
            return false;
        }
    }
    const std::string log = m_dir + "/server.log";
    const pid_t initdb =
        SpawnAs(m_uid, m_gid,
                {m_bin + "/initdb", "-D", data, "-U", "postgres", "--auth-local=trust",
                 "--auth-host=scram-sha-256", "--no-sync", "-E", "UTF8", "--locale=C"},
                log, false);
    if (initdb < 0 || WaitFor(initdb) != 0) {
        m_error = "initdb failed:\n" + ReadFileBytes(log);
        return false;
    }
    m_port = FreePort();
    m_pid = SpawnAs(
        m_uid, m_gid,
        {m_bin + "/postgres", "-D", data, "-k", m_socketDir, "-p", std::to_string(m_port), "-c",
         "listen_addresses=127.0.0.1", "-c", "fsync=off", "-c", "full_page_writes=off"},
        log, true);
    if (m_pid < 0) {
        m_pid = 0;
        m_error = "cannot start postgres";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    for (;;) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = 0;
            m_error = "postgres ended at start:\n" + ReadFileBytes(log);
            return false;
        }
        ProcessOptions options;
        const ProcessResult ready = RunProcess(
            {m_bin + "/pg_isready", "-q", "-h", m_socketDir, "-p", std::to_string(m_port)},
            options);
        if (ready.exitCode == 0) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            m_error = "postgres did not become ready:\n" + ReadFileBytes(log);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Psql("CREATE ROLE alice LOGIN PASSWORD 'secret'", "postgres");
    Psql("CREATE DATABASE vorla OWNER alice", "postgres");
    return !::testing::Test::HasFailure();
}

void PgCluster::Stop() {
    if (m_pid <= 0) {
        return;
    }
    kill(m_pid, SIGQUIT);
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

std::vector<std::string> PgCluster::Psql(const std::string& sql,
                                         const std::string& database) const {
    ProcessOptions options;
    const ProcessResult result =
        RunProcess({m_bin + "/psql", "-h", m_socketDir, "-p", std::to_string(m_port), "-U",
                    "postgres", "-d", database, "-AtqX", "-v", "ON_ERROR_STOP=1", "-c", sql},
                   options);
    if (result.exitCode != 0) {
        ADD_FAILURE() << "psql failed on: " << sql << "\n" << result.err;
        return {result.err};
    }
    std::vector<std::string> rows;
    size_t start = 0;
    while (start < result.out.size()) {
        const size_t end = result.out.find('\n', start);
        rows.push_back(result.out.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return rows;
}

std::vector<std::pair<std::string, std::string>> PgCluster::DataSource(
    const std::string& database) const {
    return {{"Driver", "PostgreSQL Unicode"},
            {"Servername", "127.0.0.1"},
            {"Port", std::to_string(m_port)},
            {"Database", database}};
}

}  // namespace vorla::test
