// odbc.ini is the user's file: a hand-written one keeps every byte that is not
// VORLA's, is never seen empty or cut short by another program, whatever
// happens to a run, and never receives what the driver manager would read
// differently.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Site.h"
#include "testlib/posix/Spawn.h"

namespace {

using namespace vorla::test;
using Scope = HostOdbcConfig::Scope;

// Comments, spacing and a list section of the user's own, and a data source
// that another program (isql) uses all along.
std::string HandWritten(const Site& site) {
    return "# my databases\n[ODBC]\nTrace = No\n[ODBC Data Sources]\nHand = SQLite3   ; "
           "mine\n\n[Hand]\n"
           "Driver   =  SQLite3\n  Database = " +
           site.File("hand.db") + "\n; keep this\n\n";
}

std::string Prepare(const Site& site) {
    RunProcess(
        {"/usr/bin/sqlite3", site.File("hand.db"), "CREATE TABLE t(x); INSERT INTO t VALUES(7);"},
        site.Options());
    WriteFileBytes(site.File("s.sql"), "SELECT 1;\n");
    const std::string file = site.HostOdbc().File(Scope::User);
    WriteFileBytes(file, HandWritten(site));
    return file;
}

std::vector<std::string> VorlaArgs(const Site& site, const std::vector<std::string>& args) {
    std::vector<std::string> argv{VORLA_BIN, "-m", "-i", site.File("s.sql")};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// Whether the text still holds every line of the hand-written file.
bool Whole(const std::string& text, const std::string& hand) {
    for (size_t at = 0, next; at < hand.size(); at = next + 1) {
        next = hand.find('\n', at);
        if (text.find(hand.substr(at, next - at + 1)) == std::string::npos) {
            return false;
        }
    }
    return true;
}

TEST(OdbcIni, WhatTheFileCannotHoldIsRefusedAndTheFileKept) {
    struct Row {
        std::string dsn, description, output;
        mode_t mode;
        std::string says;  // after "The data source was not published: <file> "
    };
    const std::vector<Row> rows = {
        {" MyPg", "x", "", 0600,
         "cannot hold the name ' MyPg': it begins or ends with a blank, which the file does not "
         "keep"},
        {"MyPg ", "x", "", 0600,
         "cannot hold the name 'MyPg ': it begins or ends with a blank, which the file does not "
         "keep"},
        {"ODBC", "x", "", 0600,
         "cannot hold the name 'ODBC': it is the driver manager's own section"},
        {"a\nb", "x", "", 0600,
         "cannot hold the name: it holds a '[', a ']' or a control character"},
        {"default", "x", "", 0600,
         "cannot hold the name 'default': it is the driver manager's own section"},
        {"Evil", "x\n[Evil]\nDriver=/tmp/evil.so", "", 0600,
         "cannot hold the Description: it holds a line break or another control character"},
        {"Evil", "x", "e\n[Evil]\nDriver=e.mdb", 0600,
         "cannot hold the Database: it holds a line break or another control character"},
        {"Fine", "x", "", 0444, "is read-only; it is left as it is"},
    };
    for (const Row& row : rows) {
        Site site;
        const std::string file = Prepare(site);
        chmod(file.c_str(), row.mode);
        const std::string output = site.File(row.output.empty() ? "r.mdb" : row.output);
        const ProcessResult refused = RunProcess(
            VorlaArgs(site, {"-o", output, "-d", row.dsn, "-c", row.description}), site.Options());
        EXPECT_EQ(refused.exitCode, 255) << row.dsn;
        const std::string line =
            "The data source was not published: " + file + " " + row.says + ".\n";
        EXPECT_EQ(
            refused.err.substr(refused.err.size() - std::min(line.size(), refused.err.size())),
            line);
        EXPECT_EQ(ReadFileBytes(file), HandWritten(site)) << row.dsn;
        // A temporary data source of the same name is the run's own: the file
        // is not even opened for writing.
        struct stat before, after;
        stat(file.c_str(), &before);
        const ProcessResult temporary =
            RunProcess(VorlaArgs(site, {"-o", output + "2", "-d", row.dsn, "-cx"}), site.Options());
        EXPECT_EQ(temporary.exitCode, 0) << row.dsn << temporary.err;
        stat(file.c_str(), &after);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        EXPECT_EQ(after.st_mode & 07777, row.mode);
    }
}

// The copy takes the replaced file's owner, group and mode; a link to the
// file stays a link; a full file system leaves the file as it was.
TEST(OdbcIni, ReplaceKeepsOwnerModeAndLinkAndSurvivesAFullDisk) {
    ASSERT_EQ(geteuid(), 0u)
        << "gives the file to another user and mounts a file system: run as root";
    Site site;
    const std::string file = Prepare(site);
    const std::string real = site.File("real.ini");
    rename(file.c_str(), real.c_str());
    symlink(real.c_str(), file.c_str());
    chown(real.c_str(), 65534, 0);
    chmod(real.c_str(), 0640);
    ASSERT_EQ(RunProcess(VorlaArgs(site, {"-o", site.File("k.mdb"), "-d", "Kept", "-c", "k"}),
                         site.Options())
                  .exitCode,
              0);
    struct stat st;
    ASSERT_EQ(lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(Whole(ReadFileBytes(real), HandWritten(site)));
    const ProcessResult isql = RunProcess({"/usr/bin/isql", "-b", "-d|", "Kept"}, site.Options());
    EXPECT_EQ(isql.exitCode, 0) << isql.out << isql.err;

    // The user's file on a small file system that is full.
    const std::string small = site.File("small");
    mkdir(small.c_str(), 0700);
    const std::string script =
        "mount -t tmpfs -o size=64k tmpfs '" + small + "' || exit 99; cp '" + real +
        "' small/odbc.ini; dd if=/dev/zero of=small/fill bs=4k count=64 2>/dev/null; "
        "cp small/odbc.ini before; ODBCINI=$PWD/small/odbc.ini \"$@\"; status=$?; "
        "cmp -s before small/odbc.ini || exit 97; exit $status";
    std::vector<std::string> argv = {"/usr/bin/unshare", "-m", "/bin/sh", "-c", script, "sh"};
    for (const std::string& arg :
         VorlaArgs(site, {"-o", site.File("f.mdb"), "-d", "Full", "-c", "f"})) {
        argv.push_back(arg);
    }
    const ProcessResult full = RunProcess(argv, site.Options());
    ASSERT_NE(full.exitCode, 99) << "cannot mount a small file system here: " << full.err;
    EXPECT_EQ(full.exitCode, 255) << "97: the file changed";
    EXPECT_NE(full.err.find("The data source was not published: cannot write " +
                            site.File("small") + "/odbc.ini: No space left on device.\n"),
              std::string::npos)
        << full.err;
}

// Runs killed or interrupted at random moments, while another program reads
// the file and connects to the hand-written data source all along: it never
// finds the file empty or cut short and never fails to connect, and the file
// keeps every hand-written line. Three prefixes share the file.
TEST(OdbcIni, KilledRunsAndOtherPrefixesNeverDamageIt) {
    Site sites[3];
    const std::string file = Prepare(sites[0]);
    // Each prefix runs a script of its own: a run holds its script for itself.
    for (const Site& site : sites) {
        WriteFileBytes(site.File("s.sql"), "SELECT 1;\n");
    }
    const std::string hand = HandWritten(sites[0]);
    std::atomic<bool> done{false};
    std::atomic<int> badReads{0}, reads{0}, badConnects{0}, connects{0};
    std::thread reader([&] {
        while (!done) {
            badReads += Whole(ReadFileBytes(file), hand) ? 0 : 1;
            ++reads;
        }
    });
    std::thread client([&] {
        while (!done) {
            const ProcessResult isql =
                RunProcess({"/usr/bin/isql", "-b", "-d|", "Hand"}, sites[0].Options());
            badConnects += isql.exitCode == 0 ? 0 : 1;
            ++connects;
        }
    });
    std::vector<std::thread> prefixes;
    std::atomic<int> failedRuns{0};
    for (int p = 0; p < 3; ++p) {
        prefixes.emplace_back([&, p] {
            ProcessOptions options = sites[p].Options();
            options.env.emplace_back("ODBCINI", file);
            std::mt19937 random(20261209 + p);
            const int signals[] = {SIGKILL, SIGINT, SIGTERM, SIGHUP};
            // 72 killed or interrupted runs a prefix, 216 in all.
            for (int i = 0; i < 90; ++i) {
                const std::string name = "P" + std::to_string(p) + "N" + std::to_string(i % 7);
                const std::vector<std::string> argv =
                    i % 2 == 0
                        ? VorlaArgs(sites[p],
                                    {"-o", sites[p].File(name + ".mdb"), "-d", name, "-c", "d"})
                        : std::vector<std::string>{VORLA_REG_BIN, "delete",
                                                   "HKCU\\SOFTWARE\\ODBC\\ODBC.INI\\" + name, "/f"};
                if (i % 5 == 4) {  // left to finish, beside the killed ones
                    failedRuns +=
                        RunProcess(VorlaArgs(sites[p], {"-o", sites[p].File("t.mdb"), "-cx"}),
                                   options)
                            .exitCode != 0;
                    continue;
                }
                posix_spawn_file_actions_t quiet;
                posix_spawn_file_actions_init(&quiet);
                posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
                posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
                const pid_t pid = SpawnProcess(argv, options, &quiet);
                posix_spawn_file_actions_destroy(&quiet);
                ASSERT_GT(pid, 0);
                usleep(static_cast<useconds_t>(random() % 30000));
                kill(pid, signals[i % 4]);
                waitpid(pid, nullptr, 0);
            }
        });
    }
    for (std::thread& t : prefixes) {
        t.join();
    }
    done = true;
    reader.join();
    client.join();
    EXPECT_EQ(badReads.load(), 0) << "of " << reads.load() << " reads";
    RecordProperty("reads", reads.load());
    RecordProperty("connects", connects.load());
    EXPECT_EQ(badConnects.load(), 0) << "of " << connects.load() << " connects";
    EXPECT_EQ(failedRuns.load(), 0);
    // A last change sweeps what the killed runs left: their copies and the
    // sections of data sources that never got listed.
    ProcessOptions options = sites[0].Options();
    ASSERT_EQ(
        RunProcess(VorlaArgs(sites[0], {"-o", sites[0].File("z.mdb"), "-d", "Last", "-c", "z"}),
                   options)
            .exitCode,
        0);
    EXPECT_TRUE(Whole(ReadFileBytes(file), hand));
    const ProcessResult left = RunProcess(
        {"/bin/sh", "-c", "ls -a '" + sites[0].File("odbc") + "' | grep vorla-"}, options);
    EXPECT_EQ(left.out, "");
}

}  // namespace
