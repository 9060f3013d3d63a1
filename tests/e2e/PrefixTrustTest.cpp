// What is in the prefix is read and run with the user's rights, so a prefix
// that another user can change stops every program before the registry is
// touched, naming the path and the fix.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "testlib/HostOdbc.h"
#include "testlib/Process.h"
#include "testlib/TempDir.h"

namespace {

using namespace vorla::test;

const char kFatal[] = "Fatal Error: VORLA initialization failed\n";

uid_t UidOf(const char* name) {
    const passwd* entry = getpwnam(name);
    return entry != nullptr ? entry->pw_uid : static_cast<uid_t>(-1);
}

struct TrustCase {
    const char* name;
    // Makes the prefix below `dir`; returns the VORLA_PREFIX to use.
    std::function<std::string(const std::string& dir)> make;
    // The first line the programs print, or empty when the prefix is trusted.
    std::function<std::string(const std::string& prefix)> refusal;
    bool rootOnly;
};

std::string Made(const std::string& dir, mode_t system32Mode) {
    const std::string prefix = dir + "/prefix";
    mkdir(prefix.c_str(), 0700);
    mkdir((prefix + "/system32").c_str(), 0700);
    chmod((prefix + "/system32").c_str(), system32Mode);
    return prefix;
}

// Runs vorla, vorla-reg and, for a refused prefix, checks that none of them
// made the registry.
void ExpectPrefix(const TrustCase& c, const std::vector<std::string>& asUser = {}) {
    ScopedTempDir dir;
    const std::string prefix = c.make(dir.Path());
    const std::string refusal = c.refusal(prefix);
    WriteFileBytes(dir.File("s.sql"), "SELECT 1\n");
    ProcessOptions options;
    options.workDir = dir.Path();
    options.env = {{"VORLA_PREFIX", prefix}, {"HOME", dir.File("home")}};
    for (const auto& variable : HostOdbcConfig(dir.File("odbc")).Environment()) {
        options.env.push_back(variable);
    }
    std::vector<std::string> vorla = asUser;
    vorla.insert(vorla.end(), {VORLA_BIN, "-d", "X", "-i", "s.sql"});
    std::vector<std::string> reg = asUser;
    reg.insert(reg.end(), {VORLA_REG_BIN, "query", "HKCU\\Software"});
    const ProcessResult run = RunProcess(vorla, options);
    const ProcessResult query = RunProcess(reg, options);
    if (refusal.empty()) {
        EXPECT_NE(run.exitCode, 1) << c.name << ": " << run.err;
        EXPECT_EQ(query.err.find("VORLA prefix"), std::string::npos) << c.name;
        return;
    }
    EXPECT_EQ(run.err, refusal + "\n" + kFatal) << c.name;
    EXPECT_EQ(run.exitCode, 1) << c.name;
    EXPECT_EQ(query.err, "ERROR: " + refusal + "\n") << c.name;
    EXPECT_EQ(query.exitCode, 1) << c.name;
    struct stat st;
    EXPECT_NE(stat((prefix + "/registry/user.db").c_str(), &st), 0) << c.name;
}

TEST(PrefixTrust, PrefixOthersCanChangeStopsThePrograms) {
    const bool root = geteuid() == 0;
    const uid_t other = UidOf("daemon");
    const std::vector<TrustCase> cases = {
        {"private prefix", [](const std::string& dir) { return Made(dir, 0700); },
         [](const std::string&) { return std::string(); }, false},
        {"system32 writable by others", [](const std::string& dir) { return Made(dir, 0777); },
         [](const std::string& prefix) {
             return "The VORLA prefix '" + prefix +
                    "/system32' may be changed by other users; make it private: chmod go-w '" +
                    prefix + "/system32'";
         },
         false},
        {"registry of another user",
         [other](const std::string& dir) {
             const std::string prefix = Made(dir, 0700);
             mkdir((prefix + "/registry").c_str(), 0700);
             EXPECT_EQ(chown((prefix + "/registry").c_str(), other, 0), 0);
             return prefix;
         },
         [](const std::string& prefix) {
             return "The VORLA prefix '" + prefix +
                    "/registry' belongs to daemon, not to root; take it over (chown root '" +
                    prefix + "/registry') or set VORLA_PREFIX to a prefix of your own.";
         },
         true},
        {"driver link of another user",
         [other](const std::string& dir) {
             const std::string prefix = Made(dir, 0700);
             const std::string link = prefix + "/system32/odbcjt32.dll";
             EXPECT_EQ(symlink("/nonexistent/evil.so", link.c_str()), 0);
             EXPECT_EQ(lchown(link.c_str(), other, 0), 0);
             return prefix;
         },
         [](const std::string& prefix) {
             return "The VORLA prefix '" + prefix +
                    "/system32/odbcjt32.dll' belongs to daemon, not to root; take it over (chown "
                    "root '" +
                    prefix +
                    "/system32/odbcjt32.dll') or set VORLA_PREFIX to a prefix of your own.";
         },
         true},
        {"reached through another user's link",
         [other](const std::string& dir) {
             Made(dir, 0700);
             EXPECT_EQ(symlink((dir + "/prefix").c_str(), (dir + "/link").c_str()), 0);
             EXPECT_EQ(lchown((dir + "/link").c_str(), other, 0), 0);
             return dir + "/link";
         },
         [](const std::string& prefix) {
             return "The VORLA prefix path goes through '" + prefix +
                    "', a symbolic link that daemon owns; set VORLA_PREFIX to a path without it.";
         },
         true},
    };
    for (const TrustCase& c : cases) {
        if (c.rootOnly && !root) {
            std::cout << "needs root to make another user's files: " << c.name << "\n";
            continue;
        }
        ExpectPrefix(c);
    }
}

// The store files are read for the libraries that runs load: one that others
// may write is refused like a writable registry folder, and a link where
// SQLite keeps its log or index is refused by name. The store keeps its
// bytes either way.
TEST(PrefixTrust, StoreFilesOthersCanChangeOrLinkedSideFilesStopThePrograms) {
    struct StoreRow {
        const char* name;
        const char* file;  // below registry/
        std::function<void(const std::string& path, const std::string& dir)> spoil;
        const char* refusal;  // after the path
    };
    const std::string writable = "' may be changed by other users; make it private: chmod go-w '";
    const StoreRow rows[] = {
        {"a hive anyone may write", "user.db",
         [](const std::string& path, const std::string&) { chmod(path.c_str(), 0666); }, nullptr},
        {"a hive its group may write", "system.db",
         [](const std::string& path, const std::string&) { chmod(path.c_str(), 0620); }, nullptr},
        {"a log anyone may write", "user.db-wal",
         [](const std::string& path, const std::string&) {
             WriteFileBytes(path, "");
             chmod(path.c_str(), 0606);
         },
         nullptr},
        {"an index that is a link", "user.db-shm",
         [](const std::string& path, const std::string& dir) {
             WriteFileBytes(dir + "/elsewhere", "");
             EXPECT_EQ(0, symlink((dir + "/elsewhere").c_str(), path.c_str()));
         },
         "' is a symbolic link, which the registry never makes; remove it (rm '"},
        {"a log that is a dangling link", "user.db-wal",
         [](const std::string& path, const std::string& dir) {
             EXPECT_EQ(0, symlink((dir + "/gone").c_str(), path.c_str()));
         },
         "' is a symbolic link, which the registry never makes; remove it (rm '"},
    };
    for (const StoreRow& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedTempDir dir;
        const std::string prefix = dir.File("prefix");
        ProcessOptions options;
        options.workDir = dir.Path();
        options.env = {{"VORLA_PREFIX", prefix}, {"HOME", dir.File("home")}};
        ASSERT_EQ(
            0, RunProcess({VORLA_REG_BIN, "add", "HKCU\\Software\\Kept", "/f"}, options).exitCode);
        ASSERT_EQ(
            0, RunProcess({VORLA_REG_BIN, "add", "HKLM\\Software\\Kept", "/f"}, options).exitCode);
        const std::string path = prefix + "/registry/" + row.file;
        row.spoil(path, dir.Path());
        const std::string store = ReadFileBytes(prefix + "/registry/user.db");
        const std::string refusal = row.refusal == nullptr
                                        ? "The VORLA prefix '" + path + writable + path + "'"
                                        : "The VORLA registry file '" + path + row.refusal + path +
                                              "') while no VORLA program runs.";
        const ProcessResult query =
            RunProcess({VORLA_REG_BIN, "query", "HKCU\\Software\\Kept"}, options);
        EXPECT_EQ(query.err, "ERROR: " + refusal + "\n");
        EXPECT_EQ(query.exitCode, 1);
        WriteFileBytes(dir.File("s.sql"), "SELECT 1\n");
        const ProcessResult run = RunProcess({VORLA_BIN, "-d", "X", "-i", "s.sql"}, options);
        EXPECT_EQ(run.err, refusal + "\n" + kFatal);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(store == ReadFileBytes(prefix + "/registry/user.db")) << "the store changed";
    }
}

// An ordinary user (the test makes one of nobody when it runs as root) may
// use a prefix of its own or one of root's, not another user's.
TEST(PrefixTrust, OrdinaryUserTrustsItsOwnAndRootsPrefixes) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the programs as another user";
    }
    const uid_t nobody = UidOf("nobody");
    const uid_t other = UidOf("daemon");
    const std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=nobody",
                                               "--regid=nogroup", "--clear-groups"};
    const auto owned = [](uid_t owner) {
        return [owner](const std::string& dir) {
            chmod(dir.c_str(), 0755);
            const std::string prefix = Made(dir, 0755);
            chmod(prefix.c_str(), 0755);
            EXPECT_EQ(chown(prefix.c_str(), owner, 0), 0);
            EXPECT_EQ(chown((prefix + "/system32").c_str(), owner, 0), 0);
            return prefix;
        };
    };
    ExpectPrefix({"its own", owned(nobody), [](const std::string&) { return std::string(); }, true},
                 asNobody);
    ExpectPrefix({"root's", owned(0), [](const std::string&) { return std::string(); }, true},
                 asNobody);
    ExpectPrefix({"another user's", owned(other),
                  [](const std::string& prefix) {
                      return "The VORLA prefix '" + prefix +
                             "' belongs to daemon, not to nobody; take it over (chown nobody '" +
                             prefix + "') or set VORLA_PREFIX to a prefix of your own.";
                  },
                  true},
                 asNobody);
}

// vorla-setup makes a prefix of its own private and refuses another user's.
TEST(PrefixTrust, SetupTightensItsOwnPrefixAndRefusesOthers) {
    ScopedTempDir dir;
    const std::string prefix = Made(dir.Path(), 0777);
    chmod(prefix.c_str(), 0775);
    ProcessOptions options;
    options.env = HostOdbcConfig(dir.File("odbc")).Environment();
    options.env.push_back({"VORLA_PREFIX", prefix});
    const ProcessResult setup =
        RunProcess({VORLA_SETUP_BIN, "--data-dir", VORLA_DATA_DIR}, options);
    EXPECT_EQ(setup.exitCode, 0) << setup.err;
    for (const std::string& path : {prefix, prefix + "/system32", prefix + "/registry"}) {
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(st.st_mode & 022, 0u) << path;
    }
    if (geteuid() != 0) {
        return;
    }
    ASSERT_EQ(chown(prefix.c_str(), UidOf("daemon"), 0), 0);
    const ProcessResult refused =
        RunProcess({VORLA_SETUP_BIN, "--data-dir", VORLA_DATA_DIR}, options);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "vorla-setup: The VORLA prefix '" + prefix +
                               "' belongs to daemon, not to root; take it over (chown root '" +
                               prefix + "') or set VORLA_PREFIX to a prefix of your own.\n");
}

}  // namespace
