// A data source that VORLA registers is one that every ODBC program of the
// host can use: isql and Python's pyodbc connect to it by name, odbcinst
// lists it, and it leaves unixODBC's files as it found them when it goes.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Site.h"

namespace {

using namespace vorla::test;
using Scope = HostOdbcConfig::Scope;

// A user's file as the configuration library writes it (it keeps no
// comments and writes "entry=value"), so that it must come back byte for
// byte. The host's AppDb stands for a data source of the user's own.
const char kUserFile[] =
    "[Host]\n"
    "Driver=/usr/lib/none.so\n"
    "Database=/srv/host.db\n"
    "\n"
    "[Other]\n"
    "Driver=libother.so\n"
    "\n";

std::string Real(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

// The driver as the host's odbcinst.ini registers it: the file the prefix's
// link names, never the versioned file behind the host's own link.
std::string Driver(const Site& site) {
    char target[PATH_MAX] = {0};
    const ssize_t n =
        readlink((site.Prefix() + "/system32/odbcjt32.dll").c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// The section a site's data source is published as.
std::string Section(const Site& site, const std::string& name, const std::string& description,
                    const std::string& database) {
    return "[" + name + "]\nDriver=" + Driver(site) + "\nDescription=" + description +
           "\nDatabase=" + database + "\nVorlaPrefix=" + Real(site.Prefix()) + "\n";
}

std::string ListSection(const std::vector<std::string>& names) {
    std::string text = "[ODBC Data Sources]\n";
    for (const std::string& name : names) {
        text += name + "=Microsoft Access Driver (*.mdb)\n";
    }
    return text;
}

ProcessResult RunAt(const Site& site, std::vector<std::string> argv,
                    const std::string& input = "") {
    ProcessOptions options = site.Options();
    options.input = input;
    return RunProcess(argv, options);
}

ProcessResult Vorla(const Site& site, const std::vector<std::string>& args) {
    std::vector<std::string> argv{VORLA_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunAt(site, argv);
}

// The README's demo script, copied into the site: the program opens its
// script for itself alone, and tests run side by side.
std::vector<std::string> With(const Site& site, std::vector<std::string> args) {
    const std::string script = site.File("demo.sql");
    WriteFileBytes(script, ReadFileBytes(VORLA_EXAMPLES_DIR "/demo.sql"));
    args.insert(args.end(), {"-i", script, "-b", "GO"});
    return args;
}

// What the host's clients read through the data source, by name alone.
void ExpectClientsRead(const Site& site, const std::string& name) {
    const ProcessResult isql = RunAt(site, {"/usr/bin/isql", "-b", "-d|", "-v", name},
                                     "SELECT name FROM customer ORDER BY id\n");
    EXPECT_EQ(isql.out, "Ada Byron\nGrace Hopper\nEdsger Dijkstra\n") << isql.err;
    EXPECT_EQ(isql.exitCode, 0);
    const ProcessResult python =
        RunAt(site, {"/usr/bin/python3", "-c",
                     "import pyodbc, sys\n"
                     "c = pyodbc.connect('DSN=' + sys.argv[1])\n"
                     "print(c.execute('SELECT SUM(quantity) FROM orders').fetchone()[0])\n"
                     "print(sys.argv[1] in pyodbc.dataSources())\n",
                     name});
    EXPECT_EQ(python.out, "14\nTrue\n") << python.err;
    const ProcessResult listed = RunAt(site, {"/usr/bin/odbcinst", "-q", "-s"});
    EXPECT_NE(listed.out.find("[" + name + "]\n"), std::string::npos) << listed.out;
}

TEST(Publish, NamedDataSourceIsEveryClientsAndLeavesTheUserFileAsItWas) {
    Site site;
    const std::string userFile = site.HostOdbc().File(Scope::User);
    WriteFileBytes(userFile, kUserFile);
    const ProcessResult run = Vorla(
        site, With(site, {"-m2", "-o", site.File("app.mdb"), "-d", "AppDb", "-c", "App database"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFileBytes(userFile),
              std::string(kUserFile) +
                  Section(site, "AppDb", "App database", site.File("app.mdb")) +
                  ListSection({"AppDb"}));
    ExpectClientsRead(site, "AppDb");
    // The system's file is not the user's data source's.
    EXPECT_EQ(ReadFileBytes(site.HostOdbc().File(Scope::System)), "");

    // A change of a value follows; removing the list entry and the key, as
    // the program removes a data source, leaves the user's file as it was.
    const std::string key = "HKCU\\SOFTWARE\\ODBC\\ODBC.INI\\AppDb";
    ASSERT_EQ(
        RunAt(site, {VORLA_REG_BIN, "add", key, "/v", "Description", "/d", "Shop", "/f"}).exitCode,
        0);
    EXPECT_NE(ReadFileBytes(userFile).find("Description=Shop\n"), std::string::npos);
    ASSERT_EQ(RunAt(site, {VORLA_REG_BIN, "delete", key, "/f"}).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(userFile), kUserFile);
    ASSERT_EQ(
        RunAt(site, {VORLA_REG_BIN, "delete", "HKCU\\" + kList, "/v", "AppDb", "/f"}).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(userFile), kUserFile);

    // A name that ODBC does not allow has no section, and its data source
    // is still made.
    const std::string odd = "HKCU\\SOFTWARE\\ODBC\\ODBC.INI\\a@b";
    EXPECT_EQ(
        RunAt(site, {VORLA_REG_BIN, "add", odd, "/v", "Driver", "/d", "/x.so", "/f"}).exitCode, 0);
    EXPECT_EQ(RunAt(site, {VORLA_REG_BIN, "add", "HKCU\\" + kList, "/v", "a@b", "/d", "x", "/f"})
                  .exitCode,
              0);
    EXPECT_EQ(ReadFileBytes(userFile), kUserFile);
}

// A temporary data source is published for its run only: after it nothing
// of it is left, and a section that a killed run of this prefix left behind
// goes with it, while another prefix's stays.
TEST(Publish, TemporaryRunLeavesNothingAndRemovesWhatAKilledRunLeft) {
    Site site;
    const std::string userFile = site.HostOdbc().File(Scope::User);
    const std::string stale = Section(site, "VORLA7", "", site.File("old.mdb"));
    const std::string foreign =
        "[Foreign]\nDriver=/usr/lib/none.so\nVorlaPrefix=/elsewhere/prefix\n";
    WriteFileBytes(userFile, kUserFile + stale + foreign + ListSection({"VORLA7"}));
    // The prefix's own sections are never the host's data sources to it;
    // another prefix's are.
    const ProcessResult listed = RunAt(site, {VORLA_REG_BIN, "query", "HKCU\\" + kList});
    EXPECT_EQ(listed.out.find("VORLA7"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("Foreign"), std::string::npos) << listed.out;
    const ProcessResult run = Vorla(site, With(site, {"-m2", "-o", site.File("t.mdb"), "-cx"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFileBytes(userFile), kUserFile + foreign);

    // vorla-setup removes them as well, and writes back a persistent data
    // source's section that the file lost.
    WriteFileBytes(userFile, kUserFile);
    ASSERT_EQ(Vorla(site, With(site, {"-m2", "-o", site.File("k.mdb"), "-d", "Kept", "-c", "k"}))
                  .exitCode,
              0);
    const std::string kept = ReadFileBytes(userFile);
    WriteFileBytes(userFile, kUserFile + stale);
    ASSERT_EQ(RunAt(site, {VORLA_SETUP_BIN, "--data-dir", VORLA_DATA_DIR}).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(userFile), kept);

    // A driver link left dangling (the driver's package replaced its file)
    // sets the prefix up again on first use.
    const std::string link = site.Prefix() + "/system32/odbcjt32.dll";
    const std::string driver = Driver(site);
    unlink(link.c_str());
    ASSERT_EQ(symlink("/usr/lib/gone/libsqlite3odbc-0.9997.so", link.c_str()), 0);
    const ProcessResult again = Vorla(site, With(site, {"-m2", "-o", site.File("u.mdb"), "-cx"}));
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Driver(site), driver);
}

// A section that is not this prefix's is never written or removed, even
// when the store holds a data source of that name (one that a prefix made
// before publishing, or that the user's own section replaced): a change of
// that data source is refused, the others go through.
TEST(Publish, HostSectionOfTheSameNameStaysByteForByte) {
    Site site;
    const std::string userFile = site.HostOdbc().File(Scope::User);
    const std::string key = "HKCU\\SOFTWARE\\ODBC\\ODBC.INI\\Host";
    const auto change = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv{VORLA_REG_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunAt(site, argv).exitCode;
    };
    ASSERT_EQ(
        change({"add", key, "/v", "Driver", "/d", site.Prefix() + "/system32/odbcjt32.dll", "/f"}),
        0);
    ASSERT_EQ(change({"add", "HKCU\\" + kList, "/v", "Host", "/d",
                      "Microsoft Access Driver (*.mdb)", "/f"}),
              0);
    WriteFileBytes(userFile, kUserFile);
    const std::vector<std::vector<std::string>> changes = {
        {"add", key, "/v", "DBQ", "/d", site.File("x.mdb"), "/f"},
        {VORLA_SETUP_BIN, "--data-dir", VORLA_DATA_DIR},
        {"delete", key, "/f"},
        {"delete", "HKCU\\" + kList, "/v", "Host", "/f"}};
    for (const std::vector<std::string>& args : changes) {
        const int status = args[0] == VORLA_SETUP_BIN ? RunAt(site, args).exitCode : change(args);
        EXPECT_EQ(status != 0, args[0] == "add") << args[0] << " " << args[1];
        EXPECT_EQ(ReadFileBytes(userFile), kUserFile) << args[0] << " " << args[1];
    }
}

// A machine's data source needs the right to write the system's file, as
// HKEY_LOCAL_MACHINE needs it on Windows.
TEST(Publish, MachineDataSourceNeedsTheRightToWriteTheSystemFile) {
    ASSERT_EQ(geteuid(), 0u) << "runs the program as root and as an ordinary user: run as root";
    Site site;
    const std::string systemFile = site.HostOdbc().File(Scope::System);
    const ProcessResult run = Vorla(
        site, With(site, {"-m2", "-o", site.File("sys.mdb"), "-d", "SysDb", "-c", "Shared", "-s"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFileBytes(systemFile),
              Section(site, "SysDb", "Shared", site.File("sys.mdb")) + ListSection({"SysDb"}));
    EXPECT_EQ(ReadFileBytes(site.HostOdbc().File(Scope::User)), "");
    ExpectClientsRead(site, "SysDb");

    // An ordinary user, with a prefix and a user file of its own, may read
    // the system's file but not write it.
    const std::string home = site.File("nobody");
    mkdir(home.c_str(), 0755);
    ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
    chmod(site.Path().c_str(), 0755);
    const std::string before = ReadFileBytes(systemFile);
    ProcessOptions options;
    options.workDir = home;
    options.env = {{"VORLA_PREFIX", home + "/prefix"},
                   {"HOME", home},
                   {"ODBCINI", home + "/odbc.ini"},
                   site.HostOdbc().Environment()[1]};
    const std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=nobody",
                                               "--regid=nogroup", "--clear-groups"};
    // The templates from where the ordinary user can read them: the build
    // tree may lie in a folder that only root can enter.
    const std::string data = home + "/data";
    mkdir(data.c_str(), 0755);
    mkdir((data + "/Template").c_str(), 0755);
    for (const char* name : {"empty.mdb", "empty2k.mdb"}) {
        WriteFileBytes(data + "/Template/" + name,
                       ReadFileBytes(std::string(VORLA_DATA_DIR "/Template/") + name));
    }
    std::vector<std::string> setup = asNobody;
    setup.insert(setup.end(), {VORLA_SETUP_BIN, "--data-dir", data});
    ASSERT_EQ(RunProcess(setup, options).exitCode, 0);
    std::vector<std::string> vorla = asNobody;
    vorla.push_back(VORLA_BIN);
    for (const std::string& arg :
         With(site, {"-m2", "-o", home + "/u.mdb", "-d", "UserSys", "-c", "Not mine", "-s"})) {
        vorla.push_back(arg);
    }
    const ProcessResult refused = RunProcess(vorla, options);
    EXPECT_EQ(refused.exitCode, 255);
    EXPECT_NE(refused.err.find("Cannot create ICS Key.\nCannot create DSN entry:\n"
                               "DSN:         UserSys\n"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(ReadFileBytes(systemFile), before);
}

}  // namespace
