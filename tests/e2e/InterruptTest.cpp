// Ctrl-C, SIGTERM and SIGHUP at random moments of whole runs, from the moment
// the program takes signals on: never a crash or a death by the signal, and
// never a half-made file beside the user's.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "Site.h"
#include "testlib/posix/Spawn.h"

namespace {

using namespace vorla::test;

// Whether the process has a handler for `sig` (its SigCgt mask in /proc),
// false as well when it is gone.
bool Catches(pid_t pid, int sig) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, 7, "SigCgt:") == 0) {
            return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
        }
    }
    return false;
}

off_t SizeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

TEST(Interrupt, SignalsAtRandomMomentsNeverCrashOrLeaveHalfMadeFiles) {
    // Runs interrupted for each signal kind; those that end first count apart.
    const int kInterruptedPerSignal = VORLA_INTERRUPTED_PER_SIGNAL;
    std::mt19937 random(20261209);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        Site site;
        // Files large enough that the copies take part of the run.
        for (const char* name : {"empty.mdb", "original.mdb"}) {
            RunProcess({"/usr/bin/sqlite3", site.File(name),
                        "CREATE TABLE pad (b BLOB); INSERT INTO pad VALUES (zeroblob(1500000))"},
                       site.Options());
        }
        const std::string original = ReadFileBytes(site.File("original.mdb"));
        std::string script = "CREATE TABLE t (id INTEGER)\n\n";
        for (int i = 0; i < 60; ++i) {
            script += "INSERT INTO t VALUES (" + std::to_string(i) + ")\n\n";
        }
        WriteFileBytes(site.File("s.sql"), script);
        // One whole run first: the signals come within its length.
        WriteFileBytes(site.File("x.mdb"), original);
        const auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(RunProcess({VORLA_BIN, "-e", "empty.mdb", "-o", "x.mdb", "-cx", "-i", "s.sql"},
                             site.Options())
                      .exitCode,
                  0);
        auto length = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - started)
                          .count();
        unlink(site.File("x1.mdb").c_str());
        int interrupted = 0;
        int run = 0;
        for (; interrupted < kInterruptedPerSignal; ++run) {
            ASSERT_LT(run, 3 * kInterruptedPerSignal) << "too few runs were still going";
            WriteFileBytes(site.File("x.mdb"), original);
            unlink(site.File("x1.mdb").c_str());
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, site.File("err.txt").c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const pid_t pid =
                SpawnProcess({VORLA_BIN, "-e", "empty.mdb", "-o", "x.mdb", "-cx", "-i", "s.sql"},
                             site.Options(), &actions);
            posix_spawn_file_actions_destroy(&actions);
            ASSERT_GT(pid, 0);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!Catches(pid, sig) && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
            std::this_thread::sleep_for(std::chrono::microseconds(random() % (length * 9 / 10)));
            kill(pid, sig);
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            const std::string err = ReadFileBytes(site.File("err.txt"));
            ASSERT_FALSE(WIFSIGNALED(status))
                << "run " << run << " died by signal " << WTERMSIG(status) << "\n"
                << err;
            const int code = WEXITSTATUS(status);
            ASSERT_TRUE(code == 0 || code == 255) << "run " << run << ": " << code << "\n" << err;
            if (code == 0) {
                // It ended first: the next signals come earlier (a loaded
                // machine's runs vary in length).
                length = std::max<decltype(length)>(length * 3 / 4, 1000);
            } else {
                ++interrupted;
                const std::string last = "The run was interrupted.\n";
                ASSERT_GE(err.size(), last.size()) << err;
                EXPECT_EQ(err.substr(err.size() - last.size()), last) << "run " << run;
            }
            // The database is where it was or whole in its backup; the new
            // output, where there is one, is a whole copy of the template.
            const off_t backup = SizeOf(site.File("x1.mdb"));
            if (backup < 0) {
                ASSERT_EQ(ReadFileBytes(site.File("x.mdb")), original) << "run " << run;
            } else {
                ASSERT_EQ(ReadFileBytes(site.File("x1.mdb")), original) << "run " << run;
                const off_t output = SizeOf(site.File("x.mdb"));
                ASSERT_TRUE(output < 0 || output >= SizeOf(site.File("empty.mdb")))
                    << "run " << run << ": a half-made output of " << output << " bytes";
            }
            ASSERT_LT(SizeOf(site.File("x2.mdb")), 0);
        }
        RecordProperty("runs" + std::to_string(sig), run);
    }
}

}  // namespace
