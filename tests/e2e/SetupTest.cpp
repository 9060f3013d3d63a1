// vorla-setup: a prefix is set up once and stays as it is when set up again;
// a missing SQLite ODBC driver is named clearly and nothing is linked.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "VorlaVersion.h"
#include "testlib/HostOdbc.h"
#include "testlib/Process.h"
#include "testlib/TempDir.h"

namespace {

using vorla::test::ProcessOptions;
using vorla::test::RunProcess;
using vorla::test::ScopedTempDir;

ProcessOptions OptionsFor(const ScopedTempDir& dir) {
    ProcessOptions options;
    options.workDir = dir.Path();
    options.env = {{"VORLA_PREFIX", dir.File("prefix")}, {"HOME", dir.File("home")}};
    // A set-up publishes the prefix's data sources: to files of the test's.
    for (const auto& variable : vorla::test::HostOdbcConfig(dir.File("odbc")).Environment()) {
        options.env.push_back(variable);
    }
    return options;
}

std::string Export(const ScopedTempDir& dir, const std::string& key, const std::string& file) {
    auto result = RunProcess({VORLA_REG_BIN, "export", key, file, "/y"}, OptionsFor(dir));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return vorla::test::ReadFileBytes(dir.File(file));
}

TEST(Setup, SettingUpAgainChangesNothing) {
    ScopedTempDir dir;
    const ProcessOptions options = OptionsFor(dir);
    auto first = RunProcess({VORLA_SETUP_BIN, "--data-dir", VORLA_DATA_DIR}, options);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const std::string machine = Export(dir, "HKLM\\SOFTWARE", "m1.reg");
    const std::string user = Export(dir, "HKCU\\SOFTWARE", "u1.reg");
    EXPECT_NE(machine.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.dds]"), std::string::npos);
    EXPECT_NE(machine.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources]"),
              std::string::npos);
    EXPECT_NE(user.find("[HKEY_CURRENT_USER\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources]"),
              std::string::npos);

    auto second = RunProcess({VORLA_SETUP_BIN, "--data-dir", VORLA_DATA_DIR}, options);
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, first.out);
    EXPECT_EQ(Export(dir, "HKLM\\SOFTWARE", "m2.reg"), machine);
    EXPECT_EQ(Export(dir, "HKCU\\SOFTWARE", "u2.reg"), user);
    struct stat st;
    ASSERT_EQ(lstat(dir.File("prefix/system32/odbcjt32.dll").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// Asking for the release makes no prefix: a package check or a curious user
// must not leave set-up behind.
TEST(Setup, VersionIsTheProjectsAndTouchesNoPrefix) {
    ScopedTempDir dir;
    auto result = RunProcess({VORLA_SETUP_BIN, "--version"}, OptionsFor(dir));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "vorla-setup " VORLA_VERSION "\n");
    struct stat st;
    EXPECT_NE(lstat(dir.File("prefix").c_str(), &st), 0);
}

TEST(Setup, MissingDriverIsNamedAndNothingIsLinked) {
    ScopedTempDir dir;
    auto result = RunProcess(
        {VORLA_SETUP_BIN, "--data-dir", VORLA_DATA_DIR, "--driver", dir.File("no-driver.so")},
        OptionsFor(dir));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("the SQLite ODBC driver is not installed"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("libsqliteodbc"), std::string::npos);
    struct stat st;
    EXPECT_NE(lstat(dir.File("prefix/system32/odbcjt32.dll").c_str(), &st), 0);
}

// A set-up killed between building a store under its temporary name and
// linking it into place leaves that file behind; the next set-up removes it,
// and leaves the file of a builder that still runs.
TEST(Setup, LeftoversOfAnInterruptedSetUpAreRemoved) {
    ScopedTempDir dir;
    const ProcessOptions options = OptionsFor(dir);
    ASSERT_EQ(RunProcess({VORLA_SETUP_BIN, "--data-dir", VORLA_DATA_DIR}, options).exitCode, 0);
    const std::string registry = dir.File("prefix/registry/");
    // No process has the largest pid there is; this test's process runs.
    const std::string gone = registry + "system.db.new-2147483646-1";
    const std::string running = registry + "user.db.new-" + std::to_string(getpid()) + "-1";
    for (const std::string& file : {gone, gone + "-journal", running}) {
        vorla::test::WriteFileBytes(file, "half a store");
    }
    ASSERT_EQ(RunProcess({VORLA_SETUP_BIN, "--data-dir", VORLA_DATA_DIR}, options).exitCode, 0);
    EXPECT_NE(access(gone.c_str(), F_OK), 0);
    EXPECT_NE(access((gone + "-journal").c_str(), F_OK), 0);
    EXPECT_EQ(access(running.c_str(), F_OK), 0);
}

}  // namespace

namespace {

// A program's first use of a prefix sets it up as vorla-setup does: the
// README's first command runs in a prefix nobody set up. Where the set-up
// cannot be done, the run's failure ends with what is missing and the
// command that mends it.
TEST(Setup, FirstUseSetsThePrefixUpOrSaysWhatIsMissing) {
    struct FirstUseCase {
        const char* name;
        bool driverListed;  // whether the driver list names the SQLite driver
        int exitCode;
        std::string (*errTail)(const std::string& dir);
    };
    const FirstUseCase cases[] = {
        {"driver listed", true, 0, [](const std::string&) { return std::string(); }},
        // Installed (as on every test machine) but not in the driver list:
        // the advice is to register it, not to install it.
        {"SQLite driver not listed", false, 255,
         [](const std::string&) {
             return std::string(
                 "/odbc/libsqlite3odbc.so is not registered in odbcinst.ini; register it with: "
                 "odbcinst -i -d -f /usr/share/sqliteodbc/unixodbc.ini\n");
         }},
    };
    for (const FirstUseCase& c : cases) {
        ScopedTempDir dir;
        const ProcessOptions options = OptionsFor(dir);
        if (!c.driverListed) {
            vorla::test::WriteFileBytes(dir.File("odbc/sys/odbcinst.ini"),
                                        "[PostgreSQL ANSI]\nDriver=psqlodbca.so\n\n");
        }
        vorla::test::WriteFileBytes(dir.File("demo.sql"),
                                    vorla::test::ReadFileBytes(VORLA_EXAMPLES_DIR "/demo.sql"));
        const auto run = RunProcess(
            {VORLA_BIN, "-m2", "-o", "demo.mdb", "-cx", "-i", "demo.sql", "-b", "GO"}, options);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << ": " << run.err;
        const std::string tail = c.errTail(dir.Path());
        EXPECT_EQ(run.err.substr(run.err.size() - std::min(run.err.size(), tail.size())), tail)
            << c.name;
        struct stat st;
        EXPECT_EQ(lstat(dir.File("prefix/system32/odbcjt32.dll").c_str(), &st) == 0, c.driverListed)
            << c.name;
        if (c.driverListed) {
            EXPECT_NE(run.out.find("Executing: INSERT INTO orders"), std::string::npos) << c.name;
            // Set up exactly as vorla-setup sets up: running it finds
            // everything in place.
            const auto setup = RunProcess({VORLA_SETUP_BIN}, options);
            EXPECT_EQ(setup.exitCode, 0) << setup.err;
            EXPECT_NE(Export(dir, "HKLM\\SOFTWARE", "m.reg").find("VORLA.Template\\DefaultIcon"),
                      std::string::npos);
        }
    }
}

}  // namespace

namespace {

// The host's data sources are the registry's whether or not the prefix is
// set up: one of them serves a run in a prefix that cannot be set up.
TEST(Setup, HostDataSourceServesAPrefixThatCannotBeSetUp) {
    ScopedTempDir dir;
    const ProcessOptions options = OptionsFor(dir);
    // The driver is there, under a name the set-up does not look for.
    std::string drivers = vorla::test::ReadFileBytes(dir.File("odbc/sys/odbcinst.ini"));
    const size_t at = drivers.find("[SQLite3]");
    ASSERT_NE(at, std::string::npos) << "the host lists no SQLite3 driver";
    drivers.replace(at, 9, "[Lite]");
    vorla::test::WriteFileBytes(dir.File("odbc/sys/odbcinst.ini"), drivers);
    vorla::test::WriteFileBytes(dir.File("odbc/user.ini"),
                                "[Hosty]\nDriver=Lite\nDatabase=" + dir.File("h.db") + "\n\n");
    vorla::test::WriteFileBytes(dir.File("demo.sql"),
                                vorla::test::ReadFileBytes(VORLA_EXAMPLES_DIR "/demo.sql"));
    const auto run = RunProcess({VORLA_BIN, "-d", "Hosty", "-i", "demo.sql", "-b", "GO"}, options);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("Connecting to 'Hosty'"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Executing: INSERT INTO orders"), std::string::npos) << run.out;
    struct stat st;
    EXPECT_NE(lstat(dir.File("prefix/system32/odbcjt32.dll").c_str(), &st), 0);
}

}  // namespace
