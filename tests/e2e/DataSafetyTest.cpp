// The user's database is never lost, mixed up or silently replaced: whole
// runs of the built program that an unlucky or careless user could make (a
// run killed while its script ran, two runs on one output, an output that is
// a device, FIFO or socket, a path that cannot be made whole, ';' in a value,
// an absolute path as an argument of its own, a copy that fails part-way).
// After each, every byte of the user's data is where it was or in the
// numbered backup, the streams say what happened, and the registry holds no
// data source the run did not finish with.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Banner.h"
#include "Site.h"
#include "platform/Win32.h"
#include "testlib/Process.h"
#include "testlib/TempDir.h"
#include "testlib/posix/SpecialFiles.h"

namespace {

using vorla::test::BackgroundRun;
using vorla::test::ExpectedStreams;
using vorla::test::kBanner;
using vorla::test::Listed;
using vorla::test::MakeCharDevice;
using vorla::test::MakeFifo;
using vorla::test::MakeSocket;
using vorla::test::ProcessOptions;
using vorla::test::ProcessResult;
using vorla::test::Query;
using vorla::test::ReadFileBytes;
using vorla::test::RunProcess;
using vorla::test::RunProcessMerged;
using vorla::test::ScopedTempDir;
using vorla::test::WriteFileBytes;

const char* const kScript =
    "CREATE TABLE t (id INTEGER, name TEXT)\n"
    "GO\n"
    "INSERT INTO t VALUES (1, \"one\")\n"
    "GO\n";

// A site with a script and a copy of the empty template.
class Site : public vorla::test::Site {
public:
    Site() {
        WriteFileBytes(File("setup.sql"), kScript);
        WriteFileBytes(File("blank.mdb"),
                       ReadFileBytes(std::string(VORLA_DATA_DIR) + "/Template/empty.mdb"));
        char real[4096];
        EXPECT_NE(realpath(Path().c_str(), real), nullptr);
        m_real = real;
    }

    // The site as the program names it: the current directory, links resolved.
    std::string Real(const std::string& name) const { return m_real + "/" + name; }

private:
    std::string m_real;
};

std::vector<std::string> Vorla(const std::vector<std::string>& args) {
    std::vector<std::string> argv{VORLA_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

mode_t KindOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// A file's bytes as a failure message can show them: short ones as they
// are, longer ones by their size and a hash.
std::string Digest(const std::string& bytes) {
    if (bytes.size() <= 64) {
        return bytes;
    }
    return std::to_string(bytes.size()) + " bytes, hash " +
           std::to_string(std::hash<std::string>()(bytes));
}

// Every file of the site but the prefix, with its bytes (a FIFO, device or
// socket by its kind only): what "the user's data" is here.
std::map<std::string, std::string> Snapshot(const Site& site) {
    std::map<std::string, std::string> files;
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        const std::string rel = pending.back();
        pending.pop_back();
        DIR* dir = opendir(site.File(rel).c_str());
        if (dir == nullptr) {
            continue;
        }
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            const std::string path = rel.empty() ? name : rel + "/" + name;
            if (name == "." || name == ".." || path == "prefix" || path == "home" ||
                path == "odbc") {
                continue;
            }
            const mode_t kind = KindOf(site.File(path));
            if (kind == S_IFDIR) {
                pending.push_back(path);
            } else if (kind == S_IFREG) {
                files[path] = Digest(ReadFileBytes(site.File(path)));
            } else {
                files[path] = "<kind " + std::to_string(kind) + ">";
            }
        }
        closedir(dir);
    }
    return files;
}

// A run refused before it touches anything: its streams, apart and merged,
// its status, and every file of the site as it was; it may be repeated, as
// it changed nothing. No data source was made.
void ExpectRefused(const Site& site, const std::vector<std::string>& args,
                   const ExpectedStreams& expected, const ProcessOptions& options) {
    const auto before = Snapshot(site);
    ProcessResult apart = RunProcess(Vorla(args), options);
    EXPECT_EQ(apart.out, expected.OutText());
    EXPECT_EQ(apart.err, expected.ErrText());
    EXPECT_EQ(apart.exitCode, 255);
    ProcessResult merged = RunProcessMerged(Vorla(args), options);
    EXPECT_EQ(merged.out, expected.MergedText());
    EXPECT_EQ(merged.exitCode, 255);
    EXPECT_EQ(Snapshot(site), before);
    site.UseRegistry();
    EXPECT_FALSE(Listed(HKEY_CURRENT_USER, "VORLA1"));
}

ExpectedStreams BackupRefused(const std::string& output, const std::string& second = "") {
    ExpectedStreams s;
    s.Out(kBanner).Err("Unable to backup existing database file '" + output + "'");
    if (!second.empty()) {
        s.Err(second);
    }
    return s;
}

ExpectedStreams CreateRefused(const std::string& output, const std::string& emptyDb,
                              const std::string& third = "") {
    ExpectedStreams s;
    s.Out(kBanner)
        .Err("Unable to create new database file '" + output + "'")
        .Err("from empty file '" + emptyDb + "'");
    if (!third.empty()) {
        s.Err(third);
    }
    return s;
}

struct RefusedRow {
    const char* title;
    // Makes the files (empty text) or says why it cannot (the row fails).
    std::function<std::string(const Site&)> prepare;
    std::vector<std::string> args;
    std::function<ExpectedStreams(const Site&)> expected;
};

TEST(DataSafety, OutputsThatAreNotWholeClosedFilesAreRefused) {
    const std::vector<RefusedRow> rows = {
        {"an output whose journal is left over",
         [](const Site& s) {
             WriteFileBytes(s.File("x.mdb"), "database");
             WriteFileBytes(s.File("x.mdb-journal"), "pages of a transaction");
             return std::string();
         },
         {"-e", "blank.mdb", "-o", "x.mdb", "-cx", "-i", "setup.sql"},
         [](const Site& s) {
             return BackupRefused(s.Real("x.mdb"), "it is in use or was not closed cleanly: '" +
                                                       s.Real("x.mdb-journal") + "' exists.");
         }},
        {"a new output beside a log that is left over",
         [](const Site& s) {
             WriteFileBytes(s.File("x.mdb-wal"), "committed rows of an earlier database");
             return std::string();
         },
         {"-e", "blank.mdb", "-o", "x.mdb", "-cx", "-i", "setup.sql"},
         [](const Site& s) {
             return CreateRefused(s.Real("x.mdb"), "blank.mdb",
                                  "'" + s.Real("x.mdb-wal") +
                                      "' is left over from an earlier database of that name.");
         }},
        {"an output that is a FIFO",
         [](const Site& s) { return MakeFifo(s.File("x.mdb")); },
         {"-e", "blank.mdb", "-o", "x.mdb", "-cx", "-i", "setup.sql"},
         [](const Site& s) { return BackupRefused(s.Real("x.mdb")); }},
        {"an output that is a device node",
         [](const Site& s) { return MakeCharDevice(s.File("x.mdb")); },
         {"-e", "blank.mdb", "-o", "x.mdb", "-cx", "-i", "setup.sql"},
         [](const Site& s) { return BackupRefused(s.Real("x.mdb")); }},
        {"an output that is a socket",
         [](const Site& s) { return MakeSocket(s.File("x.mdb")); },
         {"-e", "blank.mdb", "-o", "x.mdb", "-cx", "-i", "setup.sql"},
         [](const Site& s) { return BackupRefused(s.Real("x.mdb")); }},
        {"a template that is a FIFO",
         [](const Site& s) {
             WriteFileBytes(s.File("x.mdb"), "database");
             return MakeFifo(s.File("blank.fifo"));
         },
         {"-e", "blank.fifo", "-o", "x.mdb", "-cx", "-i", "setup.sql"},
         [](const Site& s) { return CreateRefused(s.Real("x.mdb"), "blank.fifo"); }},
        {"an output in a folder that does not exist",
         [](const Site&) { return std::string(); },
         {"-e", "blank.mdb", "-o", "nodir/x.mdb", "-cx", "-i", "setup.sql"},
         [](const Site&) {
             return CreateRefused("nodir/x.mdb", "blank.mdb",
                                  "The new file 'nodir/x.mdb' cannot be made: its folder does not "
                                  "exist.");
         }},
        {"a template that is a device, named by its absolute path",
         [](const Site& s) {
             WriteFileBytes(s.File("x.mdb"), "database");
             return std::string();
         },
         {"-e", "/dev/null", "-o", "x.mdb", "-cx", "-i", "setup.sql"},
         [](const Site& s) { return CreateRefused(s.Real("x.mdb"), "/dev/null"); }},
    };
    for (const RefusedRow& row : rows) {
        SCOPED_TRACE(row.title);
        Site site;
        const std::string why = row.prepare(site);
        if (!why.empty()) {
            ADD_FAILURE() << "cannot make the files of this case: " << why;
            continue;
        }
        ExpectRefused(site, row.args, row.expected(site), site.Options());
    }
    EXPECT_EQ(KindOf("/dev/null"), static_cast<mode_t>(S_IFCHR));
}

// A backup name whose companions are left over is not free: the backup takes
// the next number, and the old companion is left alone.
TEST(DataSafety, BackupSkipsANameWithCompanions) {
    Site site;
    WriteFileBytes(site.File("x.mdb"), "the user's database");
    WriteFileBytes(site.File("x1.mdb-wal"), "a log of a database long gone");
    ProcessResult run =
        RunProcess(Vorla({"-e", "blank.mdb", "-o", "x.mdb", "-cx", "-i", "setup.sql", "-b", "GO"}),
                   site.Options());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(Exists(site.File("x1.mdb")));
    EXPECT_EQ(ReadFileBytes(site.File("x1.mdb-wal")), "a log of a database long gone");
    EXPECT_EQ(ReadFileBytes(site.File("x2.mdb")), "the user's database");
    EXPECT_EQ(Query(site.File("x.mdb"), "SELECT id, name FROM t"), "1|one\n");
}

const char* const kEndless =
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c\n"
    "GO\n";

// Fifty committed rows, then perhaps a transaction left open, then a query
// that never ends, which keeps the engine busy until the run is killed.
std::string BusyScript(bool wal, bool openTransaction) {
    std::string script;
    if (wal) {
        script += "PRAGMA journal_mode=WAL\nGO\n";
    }
    script +=
        "CREATE TABLE t (id INTEGER, v INTEGER)\nGO\n"
        "INSERT INTO t WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < 50) SELECT i, i * 7 FROM n\nGO\n";
    if (openTransaction) {
        script += "BEGIN\nGO\nINSERT INTO t VALUES (51, 0)\nGO\n";
    }
    script += kEndless;
    return script;
}

// What a later look at the database finds: the 50 committed rows, after the
// engine has recovered the files it was given in a directory of their own.
std::string CommittedRows(const Site& site, const std::vector<std::string>& names) {
    ScopedTempDir look;
    for (const std::string& name : names) {
        if (Exists(site.File(name))) {
            WriteFileBytes(look.File(name), ReadFileBytes(site.File(name)));
        }
    }
    return Query(look.File("x.mdb"), "SELECT count(*), sum(v) FROM t");
}

struct BusyRow {
    const char* title;
    bool wal;
    bool openTransaction;
    bool killFirst;      // the first run is killed before the second starts
    const char* suffix;  // the companion the refusal names, "" for none
};

// The second run on one output, while the first runs or after it was killed
// (SIGKILL) in the middle of its script.
TEST(DataSafety, ABusyOrKilledRunsDatabaseIsNeitherBackedUpNorReplaced) {
    const BusyRow rows[] = {
        {"killed in the write-ahead log mode", true, false, true, "-wal"},
        {"killed with a transaction open", false, true, true, "-journal"},
        {"running, in the write-ahead log mode", true, false, false, "-wal"},
        {"running, between transactions", false, false, false, ""},
    };
    const std::vector<std::string> files = {"x.mdb", "x.mdb-journal", "x.mdb-wal", "x.mdb-shm"};
    for (const BusyRow& row : rows) {
        SCOPED_TRACE(row.title);
        Site site;
        WriteFileBytes(site.File("busy.sql"), BusyScript(row.wal, row.openTransaction));
        BackgroundRun first(
            site, {"-e", "blank.mdb", "-o", "x.mdb", "-cx", "-i", "busy.sql", "-b", "GO"});
        ASSERT_TRUE(first.WaitFor("Executing: WITH RECURSIVE c(x)")) << first.Text();
        if (row.killFirst) {
            first.Kill();
        }
        // A run that holds its output (between transactions) is named as
        // such; its companions tell of the others.
        const std::string second =
            *row.suffix == '\0' ? "'" + site.Real("x.mdb") + "' is in use by another process."
                                : "it is in use or was not closed cleanly: '" +
                                      site.Real(std::string("x.mdb") + row.suffix) + "' exists.";
        const auto before = Snapshot(site);
        ProcessResult run = RunProcessMerged(
            Vorla({"-e", "blank.mdb", "-o", "x.mdb", "-cx", "-i", "setup.sql", "-b", "GO"}),
            site.Options());
        EXPECT_EQ(run.out, BackupRefused(site.Real("x.mdb"), second).MergedText());
        EXPECT_EQ(run.exitCode, 255);
        if (row.killFirst) {
            EXPECT_EQ(Snapshot(site), before);
        }
        first.Kill();
        EXPECT_FALSE(Exists(site.File("x1.mdb")));
        EXPECT_EQ(CommittedRows(site, files), "50|8925\n");
        // The first run's data source stays (it was killed); the second made none.
        site.UseRegistry();
        EXPECT_TRUE(Listed(HKEY_CURRENT_USER, "VORLA1"));
        EXPECT_FALSE(Listed(HKEY_CURRENT_USER, "VORLA2"));
    }
}

// A directory chain whose full path needs more than the 1,023 characters a
// path result may have.
std::string DeepDirectory(const Site& site) {
    std::string rel;
    for (int i = 0; i < 5; ++i) {
        rel += (rel.empty() ? "" : "/") + std::string(220, static_cast<char>('a' + i));
        mkdir(site.File(rel).c_str(), 0700);
    }
    return rel;
}

TEST(DataSafety, AnOutputPathThatCannotBeMadeWholeIsRefused) {
    Site site;
    WriteFileBytes(site.File("x.mdb"), "an unrelated database");
    const std::string deep = DeepDirectory(site);
    const std::string given = "./" + deep + "/x.mdb";
    ExpectedStreams expected;
    expected.Out(kBanner).Err("Unable to get the full path of database file '" + given + "'");
    ExpectRefused(site, {"-e", "blank.mdb", "-o", given, "-cx", "-i", "setup.sql"}, expected,
                  site.Options());

    // A bare name in a current directory too long to be read.
    WriteFileBytes(site.File(deep + "/x.mdb"), "another database");
    ProcessOptions inDeep = site.Options();
    inDeep.workDir = site.File(deep);
    ExpectedStreams bare;
    bare.Out(kBanner).Err("Unable to get the full path of database file 'x.mdb'");
    ExpectRefused(
        site, {"-e", site.File("blank.mdb"), "-o", "x.mdb", "-cx", "-i", site.File("setup.sql")},
        bare, inDeep);

    // A current directory that is gone.
    ProcessResult gone = RunProcessMerged(
        {"/bin/sh", "-c", "mkdir gone && cd gone && rmdir ../gone && exec \"$0\" \"$@\"", VORLA_BIN,
         "-e", site.File("blank.mdb"), "-o", "x.mdb", "-cx", "-i", site.File("setup.sql")},
        site.Options());
    EXPECT_EQ(gone.out, bare.MergedText());
    EXPECT_EQ(gone.exitCode, 255);
    EXPECT_EQ(ReadFileBytes(site.File("x.mdb")), "an unrelated database");
}

struct ValueRow {
    const char* title;
    std::vector<std::string> args;  // "<site>" stands for the site's path
    const char* database;           // where the rows must be
};

// A value holding ';' or braces stays one value: the rows go to the output
// named, and no other file is made.
TEST(DataSafety, ValuesStayValuesInTheConnectionText) {
    const std::vector<ValueRow> rows = {
        {"';' in the output", {"-o", "x;y.mdb"}, "x;y.mdb"},
        {"braces and a blank in the output", {"-o", "a{b} c}.mdb"}, "a{b} c}.mdb"},
        {"a password naming another database",
         {"-o", "out.mdb", "-P", "pw;Database=<site>/evil.db"},
         "out.mdb"},
        {"a login naming another database",
         {"-o", "out.mdb", "-U", "u;Database=<site>/evil.db"},
         "out.mdb"},
        {"a password with ';'", {"-o", "out.mdb", "-U", "me", "-P", "se;cret"}, "out.mdb"},
    };
    for (const ValueRow& row : rows) {
        SCOPED_TRACE(row.title);
        Site site;
        std::vector<std::string> args = {"-e", "blank.mdb", "-cx", "-i", "setup.sql", "-b", "GO"};
        for (std::string arg : row.args) {
            const size_t at = arg.find("<site>");
            if (at != std::string::npos) {
                arg.replace(at, 6, site.File(""));
            }
            args.push_back(arg);
        }
        ProcessResult run = RunProcess(Vorla(args), site.Options());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(Query(site.File(row.database), "SELECT id, name FROM t"), "1|one\n");
        auto files = Snapshot(site);
        files.erase("setup.sql");
        files.erase("blank.mdb");
        files.erase(row.database);
        EXPECT_TRUE(files.empty()) << "another file was made: " << files.begin()->first;
        site.UseRegistry();
        EXPECT_FALSE(Listed(HKEY_CURRENT_USER, "VORLA1"));
    }
}

TEST(DataSafety, AbsolutePathsAreValuesAsArgumentsOfTheirOwn) {
    Site site;
    WriteFileBytes(site.File("x.mdb"), "old");
    ProcessResult run =
        RunProcessMerged(Vorla({"-e", site.File("blank.mdb"), "-o", site.File("x.mdb"), "-d", "Abs",
                                "-c", "-i", site.File("setup.sql"), "-b", "GO"}),
                         site.Options());
    ExpectedStreams expected;
    expected.Out(kBanner).OutPart("Connecting to 'Abs'  . . .").Out(" done!");
    expected.Out("Executing: CREATE TABLE t (id INTEGER, name TEXT)").Out("");
    expected.Out("Executing: INSERT INTO t VALUES (1, \"one\")").Out("").Out("Closing connection.");
    EXPECT_EQ(run.out, expected.MergedText());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ReadFileBytes(site.File("x1.mdb")), "old");
    EXPECT_EQ(Query(site.File("x.mdb"), "SELECT id, name FROM t"), "1|one\n");
    site.UseRegistry();
    EXPECT_TRUE(Listed(HKEY_CURRENT_USER, "Abs"));
}

struct PartRow {
    const char* title;
    const char* existing;  // an output already there, or null
    const char* emptyDb;
    std::function<ExpectedStreams(const Site&)> expected;
};

// Copies that fail part-way, made so by a file-size limit on the run (the
// signal it raises ignored, so that the write fails instead): the partial
// file is removed, and nothing the user had is lost.
TEST(DataSafety, ACopyThatFailsPartWayLeavesNoPartialFile) {
    // Beyond the limit; the registry's files stay below it.
    const std::string big(1500000, 'd');
    const PartRow rows[] = {
        {"the backup", "x.mdb", "blank.mdb",
         [](const Site& s) {
             return BackupRefused(s.Real("x.mdb"), "The backup '" + s.Real("x1.mdb") +
                                                       "' cannot be made: the disk is full.");
         }},
        {"the template copy", nullptr, "big.mdb",
         [](const Site& s) {
             return CreateRefused(
                 s.Real("x.mdb"), "big.mdb",
                 "The new file '" + s.Real("x.mdb") + "' cannot be made: the disk is full.");
         }},
    };
    for (const PartRow& row : rows) {
        SCOPED_TRACE(row.title);
        Site site;
        WriteFileBytes(site.File("big.mdb"), big);
        if (row.existing != nullptr) {
            WriteFileBytes(site.File(row.existing), big);
        }
        const auto before = Snapshot(site);
        std::vector<std::string> argv = {
            "/bin/sh", "-c", "trap '' XFSZ; exec /usr/bin/prlimit --fsize=1048576 \"$0\" \"$@\"",
            VORLA_BIN};
        for (const char* arg : {"-e", row.emptyDb, "-o", "x.mdb", "-cx", "-i", "setup.sql"}) {
            argv.push_back(arg);
        }
        ProcessResult run = RunProcessMerged(argv, site.Options());
        EXPECT_EQ(run.out, row.expected(site).MergedText());
        EXPECT_EQ(run.exitCode, 255);
        EXPECT_EQ(Snapshot(site), before);
    }
}

// A copy is never readable by more users than what it copies, whatever the
// umask: the backup keeps the database's permission bits, the new output
// those of its template. A link at the output path that another user planted
// is not followed: root's run would copy the file it points to into a backup.
TEST(DataSafety, PrivateFilesStayPrivate) {
    ASSERT_EQ(geteuid(), 0u) << "plants a link that another user owns: run as root";
    const struct { mode_t database, emptyDb; } rows[] = {{0600, 0644}, {0640, 0600}, {0644, 0640}};
    for (const auto& row : rows) {
        Site site;
        WriteFileBytes(site.File("x.mdb"), "precious");
        chmod(site.File("x.mdb").c_str(), row.database);
        chmod(site.File("blank.mdb").c_str(), row.emptyDb);
        const ProcessResult run = RunProcess(
            {"/bin/sh", "-c",
             "umask 022 && exec \"$0\" -e blank.mdb -o x.mdb -cx -i setup.sql -b GO", VORLA_BIN},
            site.Options());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        struct stat backup, output;
        ASSERT_EQ(stat(site.File("x1.mdb").c_str(), &backup), 0);
        ASSERT_EQ(stat(site.File("x.mdb").c_str(), &output), 0);
        EXPECT_EQ(backup.st_mode & 07777, row.database);
        EXPECT_EQ(output.st_mode & 07777, row.emptyDb);
    }
    Site site;
    WriteFileBytes(site.File("secret"), "root's own");
    chmod(site.File("secret").c_str(), 0600);
    ASSERT_EQ(symlink(site.File("secret").c_str(), site.File("x.mdb").c_str()), 0);
    ASSERT_EQ(lchown(site.File("x.mdb").c_str(), 65534, 65534), 0);
    ExpectRefused(site, {"-e", "blank.mdb", "-o", "x.mdb", "-cx", "-i", "setup.sql"},
                  BackupRefused(site.Real("x.mdb"), "'" + site.Real("x.mdb") +
                                                        "' is a link that another user owns: "
                                                        "it is not followed."),
                  site.Options());
}

// Ctrl-C (SIGINT), a job runner's SIGTERM and a closed terminal's SIGHUP in
// the middle of a long script: the running statement is cancelled and the
// connection closed, one line says so, and the exit status is -1. The rows
// committed before stay, nothing is left beside the database, and the next
// run on the same output backs it up and succeeds.
TEST(DataSafety, AnInterruptedRunEndsCleanly) {
    std::string script = "CREATE TABLE t (id INTEGER)\nGO\n";
    for (int i = 0; i < 200000; ++i) {
        script += "INSERT INTO t VALUES (" + std::to_string(i) + ")\nGO\n";
    }
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        Site site;
        WriteFileBytes(site.File("long.sql"), script);
        BackgroundRun run(site,
                          {"-e", "blank.mdb", "-o", "x.mdb", "-cx", "-i", "long.sql", "-b", "GO"});
        // Well into the script, wherever it is by then.
        ASSERT_TRUE(run.WaitFor("VALUES (200)")) << run.Text();
        EXPECT_EQ(255, run.Signal(sig));
        const std::string& text = run.Text();
        const std::string last = "\nThe run was interrupted.\n";
        EXPECT_TRUE(text.size() > last.size() &&
                    text.compare(text.size() - last.size(), last.size(), last) == 0)
            << text;
        EXPECT_EQ(text.find(last), text.size() - last.size()) << "said once";
        EXPECT_EQ(std::string::npos, text.find("error")) << text;
        for (const char* side : {"x.mdb-journal", "x.mdb-wal"}) {
            struct stat st;
            EXPECT_NE(0, stat(site.File(side).c_str(), &st)) << side;
        }
        // Every batch that was shown ran, but the last one may have been the
        // one cancelled.
        size_t shown = 0;
        for (size_t at = text.find("Executing: INSERT"); at != std::string::npos;
             at = text.find("Executing: INSERT", at + 1)) {
            ++shown;
        }
        const size_t rows = std::stoul(Query(site.File("x.mdb"), "SELECT count(*) FROM t"));
        EXPECT_TRUE(rows == shown || rows + 1 == shown) << rows << " rows, " << shown << " shown";

        const ProcessResult next = RunProcess(
            Vorla({"-e", "blank.mdb", "-o", "x.mdb", "-cx", "-i", "setup.sql", "-b", "GO"}),
            site.Options());
        EXPECT_EQ(0, next.exitCode) << next.err;
        EXPECT_EQ(std::to_string(rows) + "\n",
                  Query(site.File("x1.mdb"), "SELECT count(*) FROM t"));
    }
}

}  // namespace
