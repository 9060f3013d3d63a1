// The built program on the command line: banner, help, the checks made while
// the options are read, and the exit statuses, with both streams compared in
// the order in which they were written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Banner.h"
#include "testlib/HostOdbc.h"
#include "testlib/Process.h"
#include "testlib/TempDir.h"

namespace {

using vorla::test::ExpectedStreams;
using vorla::test::ProcessOptions;
using vorla::test::RunProcess;
using vorla::test::RunProcessMerged;
using vorla::test::ScopedTempDir;
using vorla::test::WriteFileBytes;

using vorla::test::kBanner;

const char* const kHelp[] = {
    "    -m|-m2   (create for  Access 97)  OR  (-m2 for Access 2000)",
    "    -e    [PATH\\]empty_db.file (instead of -m|-m2 to specify empty mdb file)",
    "    -o    [PATH\\]output_file.mdb",
    "    -d    DSN (Data Source Name)",
    "    -c    \"Description Text\" (Create ODBC DSN)",
    "    -u|-s (Create DSN as USER (default) or SYSTEM registry entry)",
    "    -x    (Delete ODBC DSN after creating database)",
    "    -U    login_id",
    "    -P    password",
    "    -i    [PATH\\]script_file.sql",
    "    -b    batch_separator",
    "    -a    (script is standard SQL: '...' is text, ; ends a statement)",
    "    -t    (run the whole script in one transaction: all of it or none)",
    "    -i -  (read the script from standard input)",
    "    -v    NAME=VALUE (the script's $(NAME) stands for VALUE; repeat for more)",
    "    -q    (quiet: no \"Executing:\" lines; a progress line on a terminal)",
    "    -r    [csv] (print what each statement returns: a table, or CSV)",
};

class CommandLine : public testing::Test {
protected:
    // Runs the program twice in the same fresh directory and prefix: once
    // with the streams apart, once merged, and compares both with `expected`.
    void Expect(const std::vector<std::string>& args, const ExpectedStreams& expected,
                int exitCode) {
        std::vector<std::string> argv{VORLA_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        ProcessOptions options;
        options.workDir = m_dir.Path();
        options.env = vorla::test::HostOdbcConfig(m_dir.File("odbc")).Environment();
        options.env.push_back({"VORLA_PREFIX", m_dir.File("prefix")});
        options.env.push_back({"HOME", m_dir.File("home")});

        auto apart = RunProcess(argv, options);
        EXPECT_EQ(apart.out, expected.OutText());
        EXPECT_EQ(apart.err, expected.ErrText());
        EXPECT_EQ(apart.exitCode, exitCode);

        auto merged = RunProcessMerged(argv, options);
        EXPECT_EQ(merged.out, expected.MergedText());
        EXPECT_EQ(merged.exitCode, exitCode);
    }

    ScopedTempDir m_dir;
};

ExpectedStreams BannerAndHelp() {
    ExpectedStreams streams;
    streams.Out(kBanner);
    for (const char* line : kHelp) {
        streams.Out(line);
    }
    return streams;
}

TEST_F(CommandLine, HelpAfterADashOnly) {
    Expect({"-h"}, BannerAndHelp(), 0);
    // Arguments after the help are never read.
    Expect({"-h", "-i", "nosuch.sql"}, BannerAndHelp(), 0);
    // '/' begins paths here, not option groups: "/h" is a stray argument.
    Expect({"/h"},
           ExpectedStreams()
               .Out(kBanner)
               .Err("Try '-h' for HELP")
               .Err("Use the '-i COMMAND_FILE' command line argument to specify a command file."),
           255);
}

TEST_F(CommandLine, NoArgumentsAsksForTheScriptFile) {
    Expect({},
           ExpectedStreams()
               .Out(kBanner)
               .Err("Try '-h' for HELP")
               .Err("Use the '-i COMMAND_FILE' command line argument to specify a command file."),
           255);
}

TEST_F(CommandLine, MissingScriptBeforeHelpEndsTheRun) {
    Expect({"-i", "nosuch.sql", "-h"},
           ExpectedStreams().Out(kBanner).Err("Command file 'nosuch.sql' does not exist."), 255);
}

TEST_F(CommandLine, EmptyDatabaseOptionAsLastArgumentChecksTheEmptyName) {
    Expect({"-o", "x.mdb", "-e"},
           ExpectedStreams().Out(kBanner).Err("Empty MS-Access db file '' does not exist."), 255);
}

TEST_F(CommandLine, ExistingEmptyDatabaseAndDirectoryPassTheirChecks) {
    WriteFileBytes(m_dir.File("empty.mdb"), "");
    // The script "file" is a directory: it passes the check made while
    // reading the options, and help ends the process before any run.
    Expect({"-e", "empty.mdb", "-i", ".", "-h"}, BannerAndHelp(), 0);
}

}  // namespace
