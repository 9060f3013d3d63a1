// Runs side by side on one prefix, as parallel jobs of a build farm start
// them: several runs creating and removing their temporary data sources and
// registry writers at the same time, some of them killed. Every call that
// reports success must have done its work, no process may die of anything
// but the signal it was sent, and the store must stay sound.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Site.h"
#include "platform/Win32.h"
#include "testlib/Process.h"
#include "testlib/TempDir.h"
#include "testlib/posix/Spawn.h"

namespace {

using namespace vorla::test;

constexpr int kRuns = 6;     // vorla runs at a time
constexpr int kWriters = 2;  // vorla-reg writers beside them
constexpr int kCalls = 8;    // registry values each writer adds per round

const char* const kScript = "CREATE TABLE t (id INTEGER)\nGO\nINSERT INTO t VALUES (1)\nGO\n";

// Starts `argv` in the site with standard error in `errFile`; the process id.
pid_t Start(const Site& site, const std::vector<std::string>& argv, const std::string& errFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    ProcessOptions options = site.Options();
    options.workDir = site.Path();
    const pid_t pid = SpawnProcess(argv, options, &actions);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

struct Outcome {
    bool killed = false;  // this test sent SIGKILL before it ended
    int signal = 0;       // the signal that ended it, 0 for an exit
    int exitCode = -1;
    std::string err;
};

Outcome RunOne(const Site& site, const std::vector<std::string>& argv, const std::string& errFile,
               int killAfterMs) {
    Outcome outcome;
    const pid_t pid = Start(site, argv, errFile);
    if (pid < 0) {
        outcome.err = "cannot start " + argv[0];
        return outcome;
    }
    if (killAfterMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs));
        outcome.killed = kill(pid, SIGKILL) == 0;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
        // A process that had ended before the signal reached it was not
        // killed by it.
    } else {
        outcome.exitCode = WEXITSTATUS(status);
        outcome.killed = false;
    }
    std::ifstream in(errFile);
    std::stringstream text;
    text << in.rdbuf();
    outcome.err = text.str();
    return outcome;
}

struct Tally {
    int signalled = 0;  // died of a signal this test did not send
    int failed = 0;     // exited non-zero without being killed
    int lost = 0;       // exited 0, but what it did is not there
    std::string detail;

    void Count(const Outcome& o, const std::string& what) {
        if (o.signal != 0 && !(o.killed && o.signal == SIGKILL)) {
            ++signalled;
            detail += what + ": signal " + std::to_string(o.signal) + "\n";
        } else if (o.signal == 0 && o.exitCode != 0) {
            ++failed;
            detail += what + ": exit " + std::to_string(o.exitCode) + ": " + o.err + "\n";
        }
    }
};

// One round: kRuns runs and kWriters writers at once. With `kill`, every
// other run and every third registry call is killed a few milliseconds in.
void Round(const Site& site, int round, bool kill, Tally* tally) {
    std::vector<Outcome> runs(kRuns);
    std::vector<std::vector<Outcome>> adds(kWriters, std::vector<Outcome>(kCalls));
    std::vector<std::vector<Outcome>> deletes(kWriters, std::vector<Outcome>(kCalls));
    std::vector<std::thread> threads;
    const std::string tag = std::to_string(round);
    for (int r = 0; r < kRuns; ++r) {
        threads.emplace_back([&, r] {
            const std::string n = tag + "_" + std::to_string(r);
            const int killAfter = kill && r % 2 == 1 ? 2 + (r + round) % 9 : -1;
            runs[r] = RunOne(
                site,
                {VORLA_BIN, "-e", "tmpl" + std::to_string(r) + ".mdb", "-o", "o" + n + ".mdb",
                 "-cx", "-i", "s" + std::to_string(r) + ".sql", "-b", "GO"},
                site.File("run" + n + ".err"), killAfter);
        });
    }
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&, w] {
            for (int i = 0; i < kCalls; ++i) {
                const std::string name = tag + "_" + std::to_string(w) + "_" + std::to_string(i);
                const std::string err = site.File("reg" + name + ".err");
                const int killAfter = kill && i % 3 == 2 ? 1 + i % 4 : -1;
                adds[w][i] = RunOne(site,
                                    {VORLA_REG_BIN, "add", "HKCU\\Software\\Race", "/v",
                                     "keep" + name, "/d", name, "/f"},
                                    err, killAfter);
                RunOne(site,
                       {VORLA_REG_BIN, "add", "HKCU\\Software\\Race", "/v", "gone" + name, "/d",
                        name, "/f"},
                       err, -1);
                deletes[w][i] = RunOne(
                    site,
                    {VORLA_REG_BIN, "delete", "HKCU\\Software\\Race", "/v", "gone" + name, "/f"},
                    err, killAfter);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }

    for (int r = 0; r < kRuns; ++r) {
        const std::string n = tag + "_" + std::to_string(r);
        tally->Count(runs[r], "run " + n);
        if (runs[r].signal == 0 && runs[r].exitCode == 0 &&
            Query(site.File("o" + n + ".mdb"), "SELECT id FROM t") != "1\n") {
            ++tally->lost;
            tally->detail += "run " + n + ": exited 0 without its row\n";
        }
    }
    // Read by another process: this one keeps no store of the prefix open.
    const ProcessResult query =
        RunProcess({VORLA_REG_BIN, "query", "HKCU\\Software\\Race"}, site.Options());
    const auto holds = [&](const std::string& name, const std::string& data) {
        return query.out.find("    " + name + "    REG_SZ    " + data + "\n") != std::string::npos;
    };
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kCalls; ++i) {
            const std::string name = tag + "_" + std::to_string(w) + "_" + std::to_string(i);
            tally->Count(adds[w][i], "add " + name);
            tally->Count(deletes[w][i], "delete " + name);
            const bool addDone = adds[w][i].signal == 0 && adds[w][i].exitCode == 0;
            if (addDone && !holds("keep" + name, name)) {
                ++tally->lost;
                tally->detail += "add " + name + ": exited 0, value gone\n";
            }
            const bool deleteDone = deletes[w][i].signal == 0 && deletes[w][i].exitCode == 0;
            if (deleteDone && holds("gone" + name, name)) {
                ++tally->lost;
                tally->detail += "delete " + name + ": exited 0, value still there\n";
            }
        }
    }
    const std::string check = Query(site.Prefix() + "/registry/user.db", "PRAGMA integrity_check");
    if (check != "ok\n") {
        ++tally->lost;
        tally->detail += "round " + tag + ": integrity check: " + check;
    }
}

void Prepare(Site& site) {
    const std::string empty = ReadFileBytes(std::string(VORLA_DATA_DIR) + "/Template/empty.mdb");
    // A script is read with no sharing: each run has its own, so that only
    // the registry is shared here. The runs choose their temporary data
    // source names side by side.
    for (int r = 0; r < kRuns; ++r) {
        WriteFileBytes(site.File("s" + std::to_string(r) + ".sql"), kScript);
        WriteFileBytes(site.File("tmpl" + std::to_string(r) + ".mdb"), empty);
    }
}

TEST(SideBySide, RunsAndRegistryWritersOnOnePrefix) {
    struct Row {
        const char* name;
        bool kill;
        int rounds;
    } rows[] = {{"all running to the end", false, 4}, {"half of them killed", true, 4}};
    for (const Row& row : rows) {
        Site site;
        Prepare(site);
        Tally tally;
        for (int round = 0; round < row.rounds; ++round) {
            Round(site, round, row.kill, &tally);
        }
        if (!row.kill) {
            // Every run removed the temporary data source it made, and only
            // that one.
            const ProcessResult list =
                RunProcess({VORLA_REG_BIN, "query", "HKCU\\" + kList}, site.Options());
            EXPECT_EQ(0, list.exitCode) << list.err;
            EXPECT_EQ(std::string::npos, list.out.find("VORLA")) << list.out;
        }
        EXPECT_EQ(0, tally.signalled) << row.name << "\n" << tally.detail;
        EXPECT_EQ(0, tally.failed) << row.name << "\n" << tally.detail;
        EXPECT_EQ(0, tally.lost) << row.name << "\n" << tally.detail;
    }
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The tables of a database file, one name a line.
std::string Tables(const std::string& file) {
    return Query(file, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name");
}

std::string Script(const std::string& table) {
    return "CREATE TABLE " + table + " (id INTEGER)\nGO\nINSERT INTO " + table +
           " VALUES (1)\nGO\n";
}

// Any number of runs copy one template at once: from -e and from the
// installed one (-m). A process that writes the template keeps them out, and
// the copy message then says so.
TEST(SideBySide, RunsShareOneTemplate) {
    const std::vector<std::vector<std::string>> templates = {{"-e", "tmpl.mdb"}, {"-m"}};
    for (const auto& option : templates) {
        SCOPED_TRACE(option[0]);
        Site site;
        WriteFileBytes(site.File("tmpl.mdb"),
                       ReadFileBytes(std::string(VORLA_DATA_DIR) + "/Template/empty.mdb"));
        std::vector<ProcessResult> results(kRuns);
        std::vector<std::thread> threads;
        // Every file is written before the first run starts: a run started
        // meanwhile would inherit the descriptor being written.
        for (int r = 0; r < kRuns; ++r) {
            WriteFileBytes(site.File("s" + std::to_string(r) + ".sql"), kScript);
        }
        for (int r = 0; r < kRuns; ++r) {
            const std::string n = std::to_string(r);
            threads.emplace_back([&, r, n] {
                std::vector<std::string> argv{VORLA_BIN};
                argv.insert(argv.end(), option.begin(), option.end());
                for (const std::string& a : std::vector<std::string>{
                         "-o", "o" + n + ".mdb", "-cx", "-i", "s" + n + ".sql", "-b", "GO"}) {
                    argv.push_back(a);
                }
                results[r] = RunProcess(argv, site.Options());
            });
        }
        for (std::thread& t : threads) {
            t.join();
        }
        for (int r = 0; r < kRuns; ++r) {
            EXPECT_EQ(0, results[r].exitCode) << r << ": " << results[r].err;
            EXPECT_EQ("1\n",
                      Query(site.File("o" + std::to_string(r) + ".mdb"), "SELECT id FROM t"));
        }
    }

    Site site;
    WriteFileBytes(site.File("tmpl.mdb"), "template");
    WriteFileBytes(site.File("s.sql"), kScript);
    int release[2];
    int ready[2];
    ASSERT_EQ(0, pipe(release));
    ASSERT_EQ(0, pipe(ready));
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        // An ordinary program with the template open for writing, no lock.
        const int fd = open(site.File("tmpl.mdb").c_str(), O_RDWR);
        char c = fd >= 0 ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(1, read(ready[0], &c, 1));
    ASSERT_EQ('y', c);
    const ProcessResult run = RunProcess(
        {VORLA_BIN, "-e", "tmpl.mdb", "-o", "o.mdb", "-cx", "-i", "s.sql"}, site.Options());
    (void)!write(release[1], "x", 1);
    waitpid(writer, nullptr, 0);
    EXPECT_EQ(255, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("Unable to create new database file '")) << run.err;
    EXPECT_NE(std::string::npos,
              run.err.find("from empty file 'tmpl.mdb'\n'tmpl.mdb' is in use by another process "
                           "that writes it.\n"))
        << run.err;
    EXPECT_FALSE(FileExists(site.File("o.mdb")));
}

// Two runs on one output, with different templates and scripts, started
// together: each holds the output from its creation until its connection is
// closed, so the other fails with the backup or copy message. Never both
// scripts in one file, never a run that exited 0 without its rows.
TEST(SideBySide, OneOutputOneRun) {
    constexpr int kRaces = 20;
    Site site;
    const std::string empty = ReadFileBytes(std::string(VORLA_DATA_DIR) + "/Template/empty.mdb");
    const char* const tables[2] = {"ta", "tb"};
    for (int k = 0; k < 2; ++k) {
        WriteFileBytes(site.File(std::string(tables[k]) + ".mdb"), empty);
        WriteFileBytes(site.File(std::string(tables[k]) + ".sql"), Script(tables[k]));
    }
    for (int race = 0; race < kRaces; ++race) {
        const std::string dir = "race" + std::to_string(race);
        ASSERT_EQ(0, mkdir(site.File(dir).c_str(), 0700));
        ProcessResult results[2];
        std::vector<std::thread> threads;
        for (int k = 0; k < 2; ++k) {
            threads.emplace_back([&, k] {
                const std::string t = tables[k];
                results[k] =
                    RunProcess({VORLA_BIN, "-e", t + ".mdb", "-o", dir + "/same.mdb", "-d",
                                t + std::to_string(race), "-cx", "-i", t + ".sql", "-b", "GO"},
                               site.Options());
            });
        }
        for (std::thread& t : threads) {
            t.join();
        }
        std::vector<std::string> files = {dir + "/same.mdb"};
        for (int n = 1; FileExists(site.File(dir + "/same" + std::to_string(n) + ".mdb")); ++n) {
            files.push_back(dir + "/same" + std::to_string(n) + ".mdb");
        }
        for (const std::string& file : files) {
            EXPECT_NE("ta\ntb\n", Tables(site.File(file))) << file << " holds both scripts";
        }
        EXPECT_TRUE(results[0].exitCode == 0 || results[1].exitCode == 0)
            << dir << ": no run did its work\n"
            << results[0].err << results[1].err;
        for (int k = 0; k < 2; ++k) {
            const std::string t = tables[k];
            if (results[k].exitCode != 0) {
                const bool refused =
                    results[k].err.rfind("Unable to backup existing database file", 0) == 0 ||
                    results[k].err.rfind("Unable to create new database file", 0) == 0;
                EXPECT_TRUE(refused) << dir << " " << t << ": " << results[k].err;
                continue;
            }
            bool found = false;
            for (const std::string& file : files) {
                found = found || Query(site.File(file), "SELECT id FROM " + t) == "1\n";
            }
            EXPECT_TRUE(found) << dir << " " << t << " exited 0 without its rows";
        }
    }
}

}  // namespace
