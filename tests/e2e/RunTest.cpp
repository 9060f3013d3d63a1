// Whole runs of the built program against the SQLite stand-in, each in its
// own directory and prefix set up by vorla-setup, comparing both streams (apart
// and in their merged order), the exit status, the files and the registry.
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Banner.h"
#include "Site.h"
#include "platform/NameClaim.h"
#include "platform/Win32.h"
#include "testlib/Process.h"
#include "testlib/TempDir.h"

namespace {

using namespace vorla::test;

const char* const kScript =
    "' two tables\n"
    "CREATE TABLE t (id INTEGER, name TEXT)\n"
    "GO\n"
    "INSERT INTO t VALUES (1, \"one\")\n"
    "GO\n";

ExpectedStreams& Batches(ExpectedStreams& s) {
    return s.Out("Executing: CREATE TABLE t (id INTEGER, name TEXT)")
        .Out("")
        .Out("Executing: INSERT INTO t VALUES (1, \"one\")")
        .Out("");
}

const char kLeftBehind[] =
    "The temporary data source 'VORLA1' stays registered; vorla-setup --remove-temporary removes "
    "it and every other one that no run holds.";

void WriteScript(Site& site) {
    WriteFileBytes(site.File("setup.sql"), kScript);
}

TEST(Run, TypicalRunWithATemporaryDataSource) {
    ExpectRun(
        [](Site& site) {
            WriteScript(site);
            WriteFileBytes(site.File("sales.mdb"), "old database");
        },
        {"-m2", "-o", "sales.mdb", "-cx", "-i", "setup.sql", "-b", "GO"},
        [](const Site&) {
            ExpectedStreams s;
            s.Out(kBanner).Err("Using Template File: empty2k.mdb");
            s.OutPart("Connecting to 'VORLA1'  . . .").Out(" done!");
            Batches(s).Out("Closing connection.");
            return s;
        },
        0,
        [](const Site& site) {
            EXPECT_EQ(ReadFileBytes(site.File("sales1.mdb")), "old database");
            EXPECT_EQ(Query(site.File("sales.mdb"), "SELECT id, name FROM t"), "1|one\n");
            EXPECT_FALSE(Listed(HKEY_CURRENT_USER, "VORLA1"));
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI\\VORLA1"));
        });
}

TEST(Run, TemporaryNameSkipsListedOnesAndIsRemovedAfterTheRun) {
    ExpectRun(
        [](Site& site) {
            WriteScript(site);
            site.UseRegistry();
            List(HKEY_CURRENT_USER, "VORLA1");
            List(HKEY_LOCAL_MACHINE, "VORLA2");
        },
        {"-m", "-o", "new.mdb", "-cx", "-i", "setup.sql", "-b", "GO"},
        [](const Site&) {
            ExpectedStreams s;
            s.Out(kBanner).Err("Using Template File: empty.mdb");
            s.OutPart("Connecting to 'VORLA3'  . . .").Out(" done!");
            Batches(s).Out("Closing connection.");
            return s;
        },
        0,
        [](const Site& site) {
            EXPECT_FALSE(Listed(HKEY_CURRENT_USER, "VORLA3"));
            EXPECT_TRUE(Listed(HKEY_CURRENT_USER, "VORLA1"));
            EXPECT_TRUE(Listed(HKEY_LOCAL_MACHINE, "VORLA2"));
            EXPECT_EQ(Query(site.File("new.mdb"), "SELECT count(*) FROM t"), "1\n");
        });
}

// A key that a dead run left without its list entry does not block its name;
// the same key while a live run holds the name does.
TEST(Run, TemporaryNameLeftByADeadRunIsFreeOneALiveRunHoldsIsNot) {
    for (const bool held : {false, true}) {
        const std::string name = held ? "VORLA2" : "VORLA1";
        ExpectRun(
            [held](Site& site) {
                WriteScript(site);
                site.UseRegistry();
                HKEY key = nullptr;
                ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI\\VORLA1", 0,
                                          nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                          0);
                RegSetValueExA(key, "DBQ", 0, REG_SZ, reinterpret_cast<const BYTE*>("gone.mdb"), 9);
                RegCloseKey(key);
                if (held) {
                    ASSERT_TRUE(vorla::platform::ClaimName("VORLA1"));
                }
            },
            {"-m", "-o", "new.mdb", "-cx", "-i", "setup.sql", "-b", "GO"},
            [name](const Site&) {
                ExpectedStreams s;
                s.Out(kBanner).Err("Using Template File: empty.mdb");
                s.OutPart("Connecting to '" + name + "'  . . .").Out(" done!");
                Batches(s).Out("Closing connection.");
                return s;
            },
            0,
            [held](const Site&) {
                EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI\\VORLA1"), held);
                EXPECT_FALSE(Listed(HKEY_CURRENT_USER, "VORLA1"));
                EXPECT_FALSE(Listed(HKEY_CURRENT_USER, "VORLA2"));
            });
    }
}

// A line too long for the memory the run may have ends in the memory
// message, not in an abort.
TEST(Run, ScriptTooLargeForMemoryIsAMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator ends the process on an allocation it cannot make";
#endif
    Site site;
    WriteFileBytes(site.File("big.sql"), "SELECT " + std::string(64 << 20, 'x') + "\n");
    const ProcessResult result =
        RunProcess({"/bin/sh", "-c", "ulimit -v 400000 && exec \"$0\" -m -o big.mdb -cx -i big.sql",
                    VORLA_BIN},
                   site.Options());
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.err,
              "Using Template File: empty.mdb\n"
              "I/O ERROR: Memory allocation error for command file\nbig.sql.\n" +
                  std::string(kLeftBehind) + "\n");
}

TEST(Run, FailingScriptKeepsTheTemporaryDataSource) {
    ExpectRun(
        [](Site& site) {
            WriteFileBytes(site.File("bad.sql"), "CREATE TABLE a (x INTEGER)\n\nNOT SQL AT ALL\n");
        },
        {"-m2", "-o", "bad.mdb", "-cx", "-i", "bad.sql"},
        [](const Site&) {
            ExpectedStreams s;
            s.Out(kBanner).Err("Using Template File: empty2k.mdb");
            s.OutPart("Connecting to 'VORLA1'  . . .").Out(" done!");
            s.Out("Executing: CREATE TABLE a (x INTEGER)").Out("");
            s.Out("Executing: NOT SQL AT ALL").Out("");
            s.Err("Script error: [SQLite]near \"NOT\": syntax error (1)").Err("NOT SQL AT ALL");
            s.Err("At line 3 of 'bad.sql'.").Err(kLeftBehind);
            s.Out("Closing connection.");
            return s;
        },
        255,
        [](const Site& site) {
            EXPECT_TRUE(Listed(HKEY_CURRENT_USER, "VORLA1"));
            EXPECT_EQ(ReadText(HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI\\VORLA1", "DBQ"),
                      site.File("bad.mdb"));
        });
}

// What failed runs left is cleared by one command: their temporary data
// sources, not a persistent one, nor one that a live run holds.
TEST(Run, LeftTemporaryDataSourcesAreRemovedByOneCommand) {
    Site site;
    WriteFileBytes(site.File("bad.sql"), "NOT SQL AT ALL\n");
    for (const char* output : {"a.mdb", "b.mdb"}) {
        EXPECT_EQ(
            RunProcess({VORLA_BIN, "-m", "-o", output, "-cx", "-i", "bad.sql"}, site.Options())
                .exitCode,
            255);
    }
    EXPECT_EQ(RunProcess({VORLA_BIN, "-m", "-o", "c.mdb", "-d", "Kept", "-c", "k", "-i", "bad.sql"},
                         site.Options())
                  .exitCode,
              255);
    site.UseRegistry();
    ASSERT_TRUE(vorla::platform::ClaimName("VORLA2"));  // as a live run would
    const ProcessResult clean = RunProcess({VORLA_SETUP_BIN, "--remove-temporary"}, site.Options());
    EXPECT_EQ(clean.exitCode, 0) << clean.err;
    EXPECT_EQ(clean.out, "Removed HKEY_CURRENT_USER\\VORLA1\n");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI\\VORLA1"));
    EXPECT_FALSE(Listed(HKEY_CURRENT_USER, "VORLA1"));
    EXPECT_TRUE(Listed(HKEY_CURRENT_USER, "VORLA2"));
    EXPECT_TRUE(Listed(HKEY_CURRENT_USER, "Kept"));
}

// A data source registered beforehand, as another tool would have made it.
void RegisterExisting(Site& site, const std::string& name, const std::string& dbFile) {
    site.UseRegistry();
    List(HKEY_CURRENT_USER, name);
    const std::string keyPath = "SOFTWARE\\ODBC\\ODBC.INI\\" + name;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              0);
    const std::string driver = site.Prefix() + "/system32/odbcjt32.dll";
    RegSetValueExA(key, "Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(driver.c_str()),
                   static_cast<DWORD>(driver.size() + 1));
    RegSetValueExA(key, "DBQ", 0, REG_SZ, reinterpret_cast<const BYTE*>(dbFile.c_str()),
                   static_cast<DWORD>(dbFile.size() + 1));
    RegCloseKey(key);
}

TEST(RunOptions, ExistingDataSourceIsUsedAndKept) {
    ExpectRun(
        [](Site& site) {
            WriteScript(site);
            RegisterExisting(site, "Existing", site.File("existing.db"));
        },
        {"-d", "Existing", "-x", "-i", "setup.sql", "-b", "GO"},
        [](const Site&) {
            ExpectedStreams s;
            s.Out(kBanner).OutPart("Connecting to 'Existing'  . . .").Out(" done!");
            Batches(s).Out("Closing connection.");
            return s;
        },
        0,
        [](const Site& site) {
            EXPECT_TRUE(Listed(HKEY_CURRENT_USER, "Existing"));
            EXPECT_EQ(Query(site.File("existing.db"), "SELECT name FROM t"), "one\n");
        });
}

// After the advice, the names it may have meant, and what -c takes besides.
TEST(RunOptions, UnknownDataSourceWithoutCreateFails) {
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> more;
    } rows[] = {
        {{"-d", "Nowhere", "-i", "setup.sql"},
         {"'-c' and '-cx' make a data source for a database file: they need '-o FILE' as well."}},
        {{"-d", "shop", "-o", "x.mdb", "-i", "setup.sql"},
         {"Data sources with names close to it: 'Shop1', 'MyShop'."}},
    };
    for (const auto& row : rows) {
        ExpectRun(
            [](Site& site) {
                WriteScript(site);
                site.UseRegistry();
                for (const char* name : {"Other", "Shop1", "MyShop"}) {
                    List(HKEY_CURRENT_USER, name);
                }
            },
            row.args,
            [&row](const Site&) {
                ExpectedStreams s;
                s.Out(kBanner).Err("The specified DSN '" + row.args[1] +
                                   "' does not exist, use '-c \"DESCRIPTION TEXT\" to create a "
                                   "DSN or '-cx' to create a temp DSN.");
                for (const std::string& line : row.more) {
                    s.Err(line);
                }
                return s;
            },
            255);
    }
}

TEST(RunOptions, CreatedNamedDataSourceStaysWithoutTemporary) {
    ExpectRun(
        [](Site& site) {
            WriteScript(site);
            mkdir(site.File("out").c_str(), 0700);
        },
        {"-d", "Sales", "-c", "Sales figures", "-o", "out/db.mdb", "-i", "setup.sql", "-b", "GO"},
        [](const Site&) {
            ExpectedStreams s;
            s.Out(kBanner).OutPart("Connecting to 'Sales' Sales figures . . .").Out(" done!");
            Batches(s).Out("Closing connection.");
            return s;
        },
        0,
        [](const Site& site) {
            EXPECT_TRUE(Listed(HKEY_CURRENT_USER, "Sales"));
            // A relative directory without "./" or "../" stays as given.
            EXPECT_EQ(ReadText(HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", "DBQ"),
                      "out/db.mdb");
            EXPECT_EQ(Query(site.File("out/db.mdb"), "SELECT id FROM t"), "1\n");
        });
}

TEST(RunOptions, CreatedNamedDataSourceGoesWithTemporary) {
    ExpectRun(
        WriteScript, {"-s", "-d", "Sales", "-cx", "-o", "db.mdb", "-i", "setup.sql", "-b", "GO"},
        [](const Site&) {
            ExpectedStreams s;
            s.Out(kBanner).OutPart("Connecting to 'Sales'  . . .").Out(" done!");
            Batches(s).Out("Closing connection.");
            return s;
        },
        0,
        [](const Site&) {
            EXPECT_FALSE(Listed(HKEY_LOCAL_MACHINE, "Sales"));
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBC.INI\\Sales"));
        });
}

TEST(RunOptions, TemporaryWithoutCreateFailsAfterProvisioning) {
    ExpectRun(
        WriteScript, {"-m", "-o", "made.mdb", "-x", "-i", "setup.sql"},
        [](const Site&) {
            return ExpectedStreams()
                .Out(kBanner)
                .Err("Using Template File: empty.mdb")
                .Err(
                    "The specified DSN 'VORLA1' does not exist, use '-c \"DESCRIPTION "
                    "TEXT\" to create a DSN or '-cx' to create a temp DSN.");
        },
        255,
        [](const Site& site) {
            struct stat st;
            EXPECT_EQ(stat(site.File("made.mdb").c_str(), &st), 0);
            EXPECT_FALSE(Listed(HKEY_CURRENT_USER, "VORLA1"));
        });
}

TEST(RunOptions, NeitherNameNorTemporaryFails) {
    ExpectRun(
        WriteScript, {"-i", "setup.sql"},
        [](const Site&) {
            return ExpectedStreams().Out(kBanner).Err(
                "Specify a DSN using the '-d DSN_NAME' command line argument or use '-x'");
        },
        255);
}

TEST(RunOptions, CreateWithoutOutputFileFails) {
    ExpectRun(
        WriteScript, {"-d", "New", "-c", "-i", "setup.sql"},
        [](const Site&) {
            return ExpectedStreams().Out(kBanner).Err(
                "Can only create DSN entries for MS-Access files.");
        },
        255);
}

TEST(Provision, TemplateWithoutOutputFileFails) {
    ExpectRun(
        WriteScript, {"-m2", "-cx", "-i", "setup.sql"},
        [](const Site&) {
            return ExpectedStreams()
                .Out(kBanner)
                .Err("Using Template File: empty2k.mdb")
                .Err("No database file specified for template file '" +
                     std::string(VORLA_DATA_DIR_REAL) + "/Template/empty2k.mdb'");
        },
        255);
}

TEST(Provision, BackupTakesTheFirstFreeNumber) {
    ExpectRun(
        [](Site& site) {
            WriteScript(site);
            WriteFileBytes(site.File("sales.mdb"), "current");
            WriteFileBytes(site.File("sales1.mdb"), "one");
            WriteFileBytes(site.File("sales3.mdb"), "three");
            WriteFileBytes(site.File("plain"), "no extension");
        },
        {"-m", "-o", "sales.mdb", "-cx", "-i", "setup.sql", "-b", "GO"},
        [](const Site&) {
            ExpectedStreams s;
            s.Out(kBanner).Err("Using Template File: empty.mdb");
            s.OutPart("Connecting to 'VORLA1'  . . .").Out(" done!");
            Batches(s).Out("Closing connection.");
            return s;
        },
        0,
        [](const Site& site) {
            EXPECT_EQ(ReadFileBytes(site.File("sales2.mdb")), "current");
            EXPECT_EQ(ReadFileBytes(site.File("sales1.mdb")), "one");
            EXPECT_EQ(ReadFileBytes(site.File("sales3.mdb")), "three");
        });
}

TEST(Provision, NameWithoutExtensionBacksUpToANameEndingInADot) {
    ExpectRun(
        [](Site& site) {
            WriteScript(site);
            WriteFileBytes(site.File("plain"), "no extension");
        },
        {"-m", "-o", "plain", "-d", "P", "-c", "-i", "setup.sql", "-b", "GO"},
        [](const Site&) {
            ExpectedStreams s;
            s.Out(kBanner).Err("Using Template File: empty.mdb");
            s.OutPart("Connecting to 'P'  . . .").Out(" done!");
            Batches(s).Out("Closing connection.");
            return s;
        },
        0,
        [](const Site& site) {
            EXPECT_EQ(ReadFileBytes(site.File("plain1.")), "no extension");
            // A bare file name becomes a full path in the current directory.
            char cwd[4096];
            ASSERT_NE(realpath(site.Path().c_str(), cwd), nullptr);
            EXPECT_EQ(ReadText(HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI\\P", "DBQ"),
                      std::string(cwd) + "/plain");
        });
}

TEST(Provision, DotPathsBecomeFullPaths) {
    struct {
        const char* output;
        const char* expected;  // below the site, after normalisation
    } rows[] = {
        {"./db.mdb", "/db.mdb"},
        {"../out/db.mdb", "/../out/db.mdb"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.output);
        Site site;
        WriteScript(site);
        mkdir(site.File("work").c_str(), 0700);
        mkdir(site.File("out").c_str(), 0700);
        ProcessOptions options = site.Options();
        options.workDir = site.File("work");
        WriteFileBytes(site.File("work/setup.sql"), kScript);
        auto result = RunProcess(
            {VORLA_BIN, "-d", "N", "-c", "-o", row.output, "-i", "setup.sql", "-b", "GO"}, options);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        site.UseRegistry();
        char work[4096];
        ASSERT_NE(realpath(site.File("work").c_str(), work), nullptr);
        std::string expected = std::string(work) + row.expected;
        if (std::string(row.output).rfind("../", 0) == 0) {
            char top[4096];
            ASSERT_NE(realpath(site.Path().c_str(), top), nullptr);
            expected = std::string(top) + "/out/db.mdb";
        }
        EXPECT_EQ(ReadText(HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI\\N", "DBQ"), expected);
    }
}

TEST(Provision, TemplateIsNotFoundThroughUnusableRegistrations) {
    struct {
        const char* title;
        const char* icon;  // null: no DefaultIcon key; "<no dds>": no .dds key
    } rows[] = {
        {"icon location in quotes", "\"<data>/vorla.ico\",0"},
        {"icon location without a comma", "<data>/vorla.ico"},
        {"no DefaultIcon key", nullptr},
        {"no .dds key", "<no dds>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        ExpectRun(
            [&](Site& site) {
                WriteScript(site);
                site.UseRegistry();
                HKEY key = nullptr;
                if (row.icon != nullptr && std::string(row.icon) == "<no dds>") {
                    RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_ALL_ACCESS, &key);
                    RegDeleteKeyA(HKEY_CLASSES_ROOT, ".dds");
                    return;
                }
                RegDeleteKeyA(HKEY_CLASSES_ROOT, "VORLA.Template\\DefaultIcon");
                if (row.icon != nullptr) {
                    std::string icon = row.icon;
                    icon.replace(icon.find("<data>"), 6, VORLA_DATA_DIR_REAL);
                    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "VORLA.Template\\DefaultIcon", 0,
                                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                              0);
                    RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(icon.c_str()),
                                   static_cast<DWORD>(icon.size() + 1));
                    RegCloseKey(key);
                }
            },
            {"-m", "-o", "x.mdb", "-i", "setup.sql"},
            [](const Site&) {
                return ExpectedStreams().Out(kBanner).Err(
                    "Specify a DSN using the '-d DSN_NAME' command line argument or use '-x'");
            },
            255,
            [](const Site& site) {
                struct stat st;
                EXPECT_NE(stat(site.File("x.mdb").c_str(), &st), 0);
            });
    }
}

TEST(Provision, OutputFileInUseIsNeitherBackedUpNorTouched) {
    Site site;
    WriteScript(site);
    WriteFileBytes(site.File("busy.mdb"), "precious");
    // The child holds the output file open exclusively, as a running
    // database program would.
    std::string holder = "exec 9<busy.mdb; flock -x 9; echo locked; read line";
    ProcessOptions options = site.Options();
    int toChild[2];
    int fromChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(fromChild), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        if (chdir(site.Path().c_str()) != 0) {
            _exit(1);
        }
        execl("/bin/sh", "sh", "-c", holder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    char buf[16] = {0};
    ASSERT_GT(read(fromChild[0], buf, sizeof buf), 0);
    auto result =
        RunProcess({VORLA_BIN, "-m", "-o", "busy.mdb", "-cx", "-i", "setup.sql"}, options);
    (void)!write(toChild[1], "\n", 1);
    int status = 0;
    waitpid(pid, &status, 0);
    char real[4096];
    ASSERT_NE(realpath(site.Path().c_str(), real), nullptr);
    EXPECT_EQ(result.err,
              "Using Template File: empty.mdb\nUnable to backup existing database file '" +
                  std::string(real) + "/busy.mdb'\n'" + std::string(real) +
                  "/busy.mdb' is in use by another process.\n");
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(ReadFileBytes(site.File("busy.mdb")), "precious");
}

// The backup copy runs out of space: the old database stays as it was and the
// run ends with the backup message. The output folder is a small tmpfs in a
// mount namespace of the run's own, made by a shell around the program.
TEST(Provision, BackupOntoAFullFileSystemKeepsTheOriginal) {
    Site site;
    WriteScript(site);
    mkdir(site.File("small").c_str(), 0700);
    const std::string original(150 * 1024, 'd');
    WriteFileBytes(site.File("original.bin"), original);
    char real[4096];
    ASSERT_NE(realpath(site.Path().c_str(), real), nullptr);
    const std::string small = std::string(real) + "/small";
    const std::string script =
        "mount -t tmpfs -o size=256k tmpfs '" + small + "' || exit 99; " +
        "cp original.bin small/db.mdb || exit 98; \"$0\" -m -o small/db.mdb -cx -i setup.sql; " +
        "status=$?; cmp -s original.bin small/db.mdb || exit 97; exit $status";
    ProcessOptions options = site.Options();
    auto result =
        RunProcess({"/usr/bin/unshare", "-m", "/bin/sh", "-c", script, VORLA_BIN}, options);
    if (result.exitCode != 255 && result.exitCode != 0 && result.exitCode != 97 &&
        result.exitCode != 98) {
        // The test needs root (or a user namespace) to mount; without it the
        // case is not tested, which must not pass unseen.
        FAIL() << "cannot make a small file system in a mount namespace here (" << result.exitCode
               << "): " << result.err;
    }
    EXPECT_EQ(result.exitCode, 255) << "97: the original changed";
    // "small/" is relative without "./": the path stays as it was given.
    EXPECT_EQ(result.err,
              "Using Template File: empty.mdb\n"
              "Unable to backup existing database file 'small/db.mdb'\n"
              "The backup 'small/db1.mdb' cannot be made: the disk is full.\n");
    EXPECT_EQ(result.out, kBanner + "\n");
}

}  // namespace
