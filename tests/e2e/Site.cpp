#include "Site.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "testlib/posix/Spawn.h"

namespace vorla::test {

const std::string kList = "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";

Site::Site() : m_odbc(m_dir.File("odbc")) {
    mkdir(Prefix().c_str(), 0700);
    ProcessOptions options = Options();
    auto setup = RunProcess({VORLA_SETUP_BIN, "--data-dir", VORLA_DATA_DIR}, options);
    EXPECT_EQ(setup.exitCode, 0) << setup.err;
}

ProcessOptions Site::Options() const {
    ProcessOptions options;
    options.workDir = m_dir.Path();
    options.env = {{"VORLA_PREFIX", Prefix()}, {"HOME", m_dir.File("home")}};
    for (const auto& variable : m_odbc.Environment()) {
        options.env.push_back(variable);
    }
    return options;
}

void Site::UseRegistry() const {
    setenv("VORLA_PREFIX", Prefix().c_str(), 1);
    for (const auto& variable : m_odbc.Environment()) {
        setenv(variable.first.c_str(), variable.second.c_str(), 1);
    }
}

// Runs the same scenario on two identical sites, once with the streams
// apart and once merged, and checks the first site's state afterwards.
void ExpectRun(const Prepare& prepare, const std::vector<std::string>& args,
               const Expected& expected, int exitCode, const Check& check) {
    std::vector<std::string> argv{VORLA_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    {
        Site site;
        if (prepare) {
            prepare(site);
        }
        ProcessResult result = RunProcess(argv, site.Options());
        const ExpectedStreams streams = expected(site);
        EXPECT_EQ(result.out, streams.OutText());
        EXPECT_EQ(result.err, streams.ErrText());
        EXPECT_EQ(result.exitCode, exitCode);
        if (check) {
            site.UseRegistry();
            check(site);
        }
    }
    {
        Site site;
        if (prepare) {
            prepare(site);
        }
        ProcessResult result = RunProcessMerged(argv, site.Options());
        EXPECT_EQ(result.out, expected(site).MergedText());
        EXPECT_EQ(result.exitCode, exitCode);
    }
}

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool Listed(HKEY root, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, kList.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::string ReadText(HKEY root, const std::string& path, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return "<no key>";
    }
    char data[2048] = {0};
    DWORD size = sizeof data;
    LONG status =
        RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::string(data) : "<no value>";
}

void List(HKEY root, const std::string& name) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(root, kList.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        0);
    const char text[] = "Microsoft Access Driver (*.mdb)";
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegCloseKey(key);
}

BackgroundRun::BackgroundRun(const Site& site, const std::vector<std::string>& args) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    std::vector<std::string> argv{VORLA_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    m_pid = SpawnProcess(argv, site.Options(), &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    m_out = out[0];
}

BackgroundRun::~BackgroundRun() {
    Kill();
    if (m_out >= 0) {
        close(m_out);
    }
}

bool BackgroundRun::WaitFor(const std::string& text) {
    char buffer[4096];
    while (m_text.find(text) == std::string::npos) {
        const ssize_t n = read(m_out, buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        m_text.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

void BackgroundRun::Kill() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
}

int BackgroundRun::Signal(int sig) {
    kill(m_pid, sig);
    WaitFor(std::string(1, '\0'));  // to the end of the output
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string Query(const std::string& dbFile, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string result;
    if (sqlite3_open_v2(dbFile.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "<cannot open>";
    }
    sqlite3_exec(
        db, sql.c_str(),
        [](void* out, int n, char** values, char**) {
            auto* text = static_cast<std::string*>(out);
            for (int i = 0; i < n; ++i) {
                *text += (i > 0 ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
            }
            *text += "\n";
            return 0;
        },
        &result, nullptr);
    sqlite3_close(db);
    return result;
}

}  // namespace vorla::test
