// vorla-reg end to end: the built program runs in a temporary prefix, with
// its streams and exit code compared, and the store checked directly.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "VorlaVersion.h"
#include "platform/Win32.h"
#include "testlib/TempDir.h"

extern char** environ;

namespace vorla::test {
namespace {

using std::string;

const char kSuccess[] = "The operation completed successfully.\n";
const char kNotFound[] =
    "ERROR: The system was unable to find the specified registry key or value.\n";
const char kKey[] = "HKCU\\Software\\VorlaTool";
const char kKeyName[] = "HKEY_CURRENT_USER\\Software\\VorlaTool";

struct RunResult {
    int nExit = -1;
    string strOut;
    string strErr;
};

class RegToolTest : public testing::Test {
protected:
    // Runs vorla-reg with the arguments; `input` is its standard input.
    RunResult Reg(const std::vector<string>& args, const string& input = string()) {
        const string in = m_files.File("stdin");
        const string out = m_files.File("stdout");
        const string err = m_files.File("stderr");
        WriteFileBytes(in, input);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        std::vector<char*> argv;
        string program = VORLA_REG_PROGRAM;
        argv.push_back(&program[0]);
        std::vector<string> copies(args);
        for (string& arg : copies) {
            argv.push_back(&arg[0]);
        }
        argv.push_back(nullptr);
        pid_t pid = 0;
        RunResult run;
        const int spawned =
            posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << program;
            return run;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        run.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.strOut = ReadFileBytes(out);
        run.strErr = ReadFileBytes(err);
        return run;
    }

    static string Stored(const char* name, DWORD* type = nullptr) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\VorlaTool", 0, KEY_READ, &key) != 0) {
            return "<no key>";
        }
        DWORD size = 0;
        DWORD storedType = 0;
        string bytes = "<no value>";
        if (RegQueryValueExA(key, name, nullptr, &storedType, nullptr, &size) == 0) {
            bytes.assign(size, '\0');
            RegQueryValueExA(key, name, nullptr, &storedType, reinterpret_cast<LPBYTE>(&bytes[0]),
                             &size);
        }
        RegCloseKey(key);
        if (type != nullptr) {
            *type = storedType;
        }
        return bytes;
    }

    static bool KeyExists(const char* path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != 0) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    ScopedPrefix m_prefix;
    ScopedTempDir m_files;
};

struct TypeRow {
    const char* pszType;
    std::vector<string> dataArgs;
    DWORD dwType;
    string bytes;
    const char* pszShown;
};

TEST_F(RegToolTest, AddQueryDeleteOfEachValueType) {
    const std::vector<TypeRow> rows = {
        {"REG_SZ", {"/d", "hello world"}, REG_SZ, string("hello world\0", 12), "hello world"},
        {"REG_EXPAND_SZ", {"/d", "%HOME%/x"}, REG_EXPAND_SZ, string("%HOME%/x\0", 9), "%HOME%/x"},
        {"REG_MULTI_SZ", {"/d", "a\\0bc"}, REG_MULTI_SZ, string("a\0bc\0\0", 6), "a\\0bc"},
        {"REG_MULTI_SZ", {"/s", "#", "/d", "x#y"}, REG_MULTI_SZ, string("x\0y\0\0", 5), "x\\0y"},
        {"REG_DWORD", {"/d", "0x2A"}, REG_DWORD, string("\x2a\0\0\0", 4), "0x2a"},
        {"REG_DWORD", {"/d", "100"}, REG_DWORD, string("\x64\0\0\0", 4), "0x64"},
        {"REG_QWORD",
         {"/d", "0x123456789"},
         REG_QWORD,
         string("\x89\x67\x45\x23\x01\0\0\0", 8),
         "0x123456789"},
        {"REG_BINARY", {"/d", "00ff10"}, REG_BINARY, string("\0\xff\x10", 3), "00FF10"},
        {"REG_NONE", {}, REG_NONE, string(), ""},
    };
    for (const TypeRow& row : rows) {
        SCOPED_TRACE(string(row.pszType) + " " + row.pszShown);
        std::vector<string> add = {"add", kKey, "/v", "val", "/t", row.pszType, "/f"};
        add.insert(add.end(), row.dataArgs.begin(), row.dataArgs.end());
        RunResult run = Reg(add);
        EXPECT_EQ(run.nExit, 0);
        EXPECT_EQ(run.strOut, kSuccess);
        EXPECT_EQ(run.strErr, "");
        DWORD type = 0;
        EXPECT_EQ(Stored("val", &type), row.bytes);
        EXPECT_EQ(type, row.dwType);

        run = Reg({"query", kKey, "/v", "val"});
        EXPECT_EQ(run.nExit, 0);
        EXPECT_EQ(run.strOut, string("\n") + kKeyName + "\n    val    " + row.pszType + "    " +
                                  row.pszShown + "\n\n");

        run = Reg({"delete", kKey, "/v", "val", "/f"});
        EXPECT_EQ(run.nExit, 0);
        EXPECT_EQ(run.strOut, kSuccess);
        EXPECT_EQ(Stored("val"), "<no value>");

        run = Reg({"query", kKey, "/v", "val"});
        EXPECT_EQ(run.nExit, 1);
        EXPECT_EQ(run.strOut, "");
        EXPECT_EQ(run.strErr, kNotFound);
    }
}

TEST_F(RegToolTest, QueryListsValuesThenSubKeys) {
    ASSERT_EQ(Reg({"add", kKey, "/v", "b", "/d", "2", "/t", "REG_DWORD"}).nExit, 0);
    ASSERT_EQ(Reg({"add", kKey, "/ve", "/d", "dflt"}).nExit, 0);
    ASSERT_EQ(Reg({"add", string(kKey) + "\\Zeta"}).nExit, 0);
    ASSERT_EQ(Reg({"add", string(kKey) + "\\alpha", "/v", "deep", "/d", "x"}).nExit, 0);

    RunResult run = Reg({"query", "hkey_current_user\\Software\\VorlaTool\\"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.strOut, string("\n") + kKeyName +
                              "\n"
                              "    b    REG_DWORD    0x2\n"
                              "    (Default)    REG_SZ    dflt\n"
                              "\n" +
                              kKeyName + "\\alpha\n" + kKeyName + "\\Zeta\n");

    run = Reg({"query", kKey, "/s"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.strOut, string("\n") + kKeyName +
                              "\n"
                              "    b    REG_DWORD    0x2\n"
                              "    (Default)    REG_SZ    dflt\n"
                              "\n" +
                              kKeyName + "\\alpha\n    deep    REG_SZ    x\n\n" + kKeyName +
                              "\\Zeta\n\n");

    run = Reg({"query", kKey, "/v", "deep", "/s"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.strOut, string("\n") + kKeyName +
                              "\\alpha\n    deep    REG_SZ    x\n\nEnd of search: 1 match(es) "
                              "found.\n");
}

TEST_F(RegToolTest, QueryOfAKeyWithoutValuesListsOnlyItsSubKeysAndAnUnsetDefault) {
    ASSERT_EQ(Reg({"add", string(kKey) + "\\Sub"}).nExit, 0);
    RunResult run = Reg({"query", kKey});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.strOut, string("\n") + kKeyName + "\\Sub\n");
    run = Reg({"query", kKey, "/ve"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.strOut,
              string("\n") + kKeyName + "\n    (Default)    REG_SZ    (value not set)\n\n");
}

TEST_F(RegToolTest, MissingKeyFails) {
    RunResult run = Reg({"query", "HKCU\\Software\\Nothing"});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strErr, kNotFound);
    run = Reg({"delete", "HKCU\\Software\\Nothing", "/f"});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strErr, kNotFound);
    run = Reg({"export", "HKCU\\Software\\Nothing", m_files.File("x.reg")});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strErr, kNotFound);
}

TEST_F(RegToolTest, DeleteWithoutForceWaitsForYes) {
    ASSERT_EQ(Reg({"add", kKey, "/v", "keep", "/d", "1"}).nExit, 0);
    RunResult run = Reg({"delete", kKey, "/v", "keep"});  // no answer at all
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(Stored("keep"), string("1\0", 2));
    run = Reg({"delete", kKey, "/v", "keep"}, "maybe\nno\n");
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(Stored("keep"), string("1\0", 2));
    run = Reg({"delete", kKey}, "NO\n");
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(KeyExists("Software\\VorlaTool"));
    run = Reg({"delete", kKey, "/v", "keep"}, "Yes\n");
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(Stored("keep"), "<no value>");
}

TEST_F(RegToolTest, OverwriteWithoutForceWaitsForYes) {
    ASSERT_EQ(Reg({"add", kKey, "/v", "v", "/d", "old"}).nExit, 0);
    RunResult run = Reg({"add", kKey, "/v", "v", "/d", "new"});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(Stored("v"), string("old\0", 4));
    run = Reg({"add", kKey, "/v", "v", "/d", "new"}, "y\n");
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(Stored("v"), string("new\0", 4));
}

TEST_F(RegToolTest, DeleteKeyTakesTheTreeAndVaOnlyTheValues) {
    ASSERT_EQ(Reg({"add", string(kKey) + "\\A\\B", "/v", "x", "/d", "1"}).nExit, 0);
    ASSERT_EQ(Reg({"add", kKey, "/v", "one", "/d", "1"}).nExit, 0);
    ASSERT_EQ(Reg({"add", kKey, "/v", "two", "/d", "2"}).nExit, 0);

    RunResult run = Reg({"delete", kKey, "/va", "/f"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(Stored("one"), "<no value>");
    EXPECT_EQ(Stored("two"), "<no value>");
    EXPECT_TRUE(KeyExists("Software\\VorlaTool\\A\\B"));

    run = Reg({"delete", kKey, "/f"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_EQ(run.strOut, kSuccess);
    EXPECT_FALSE(KeyExists("Software\\VorlaTool"));
    EXPECT_TRUE(KeyExists("Software"));
}

TEST_F(RegToolTest, SyntaxErrorsNameTheUsage) {
    RunResult run = Reg({});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strErr, "ERROR: Invalid syntax.\nType \"vorla-reg /?\" for usage.\n");
    run = Reg({"query", "HKZZ\\X"});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strErr, "ERROR: Invalid key name.\nType \"vorla-reg QUERY /?\" for usage.\n");
    run = Reg({"add", kKey, "/v", "n", "/t", "REG_DWORD", "/d", "ten"});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strErr, "ERROR: Invalid syntax.\nType \"vorla-reg ADD /?\" for usage.\n");
    EXPECT_FALSE(KeyExists("Software\\VorlaTool"));
    run = Reg({"delete", "HKCU", "/f"});
    EXPECT_EQ(run.nExit, 1);
}

TEST_F(RegToolTest, HelpListsTheVerbsWithExamples) {
    for (const char* help : {"/?", "-h"}) {
        const RunResult run = Reg({help});
        EXPECT_EQ(run.nExit, 0);
        for (const char* verb : {"QUERY", "ADD", "DELETE", "EXPORT", "IMPORT"}) {
            EXPECT_NE(run.strOut.find(verb), string::npos) << help << " " << verb;
        }
        EXPECT_NE(run.strOut.find("vorla-reg import vorla.reg"), string::npos);
    }
    const RunResult run = Reg({"delete", "/?"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_NE(run.strOut.find("/va"), string::npos);
}

TEST_F(RegToolTest, VersionIsTheProjectsAndStandsAlone) {
    const struct {
        std::vector<string> args;
        int nExit;
        string strOut;
    } rows[] = {
        {{"--version"}, 0, "vorla-reg " VORLA_VERSION "\n"},
        {{"--Version"}, 0, "vorla-reg " VORLA_VERSION "\n"},
        {{"--version", "query"}, 1, ""},
        {{"query", "--version"}, 1, ""},
    };
    for (const auto& row : rows) {
        const RunResult run = Reg(row.args);
        EXPECT_EQ(run.nExit, row.nExit) << row.args.back();
        EXPECT_EQ(run.strOut, row.strOut) << row.args.back();
    }
}

// Everything the registry can hold survives export, import into an empty
// registry and a second export, byte for byte.
TEST_F(RegToolTest, ExportImportExportGivesTheSameText) {
    const string key = kKey;
    const string longHex(300, 'a');
    const std::vector<std::vector<string>> adds = {
        {"add", key, "/ve", "/d", "default text"},
        {"add", key, "/v", "quote\"and\\slash", "/d", "C:\\dir\\\"x\""},
        {"add", key, "/v", "empty", "/d", ""},
        {"add", key, "/v", "dw", "/t", "REG_DWORD", "/d", "0xdeadbeef"},
        {"add", key, "/v", "qw", "/t", "REG_QWORD", "/d", "42"},
        {"add", key, "/v", "bin", "/t", "REG_BINARY", "/d", longHex},
        {"add", key, "/v", "none", "/t", "REG_NONE"},
        {"add", key, "/v", "exp", "/t", "REG_EXPAND_SZ", "/d", "%PATH%"},
        {"add", key, "/v", "multi", "/t", "REG_MULTI_SZ", "/d", "one\\0two\\0three"},
        {"add", key + "\\Child\\Grandchild", "/v", "deep", "/d", "value"},
        {"add", key + "\\Empty"},
    };
    for (const std::vector<string>& add : adds) {
        ASSERT_EQ(Reg(add).nExit, 0) << add[3];
    }
    const string first = m_files.File("first.reg");
    RunResult run = Reg({"export", key, first});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strOut, kSuccess);
    const string text = ReadFileBytes(first);
    EXPECT_EQ(text.compare(0, 10, "REGEDIT4\r\n"), 0);
    EXPECT_NE(text.find("\r\n[HKEY_CURRENT_USER\\Software\\VorlaTool\\Child\\Grandchild]\r\n"),
              string::npos);

    {
        ScopedPrefix fresh;
        run = Reg({"import", first});
        ASSERT_EQ(run.nExit, 0) << run.strErr;
        EXPECT_EQ(run.strOut, kSuccess);
        const string second = m_files.File("second.reg");
        run = Reg({"export", key, second});
        ASSERT_EQ(run.nExit, 0) << run.strErr;
        EXPECT_EQ(ReadFileBytes(second), text);
        // And the values themselves arrived.
        DWORD type = 0;
        EXPECT_EQ(Stored("dw", &type), string("\xef\xbe\xad\xde", 4));
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    }
}

TEST_F(RegToolTest, ExportAsksBeforeReplacingAFile) {
    ASSERT_EQ(Reg({"add", kKey, "/v", "v", "/d", "1"}).nExit, 0);
    const string file = m_files.File("out.reg");
    WriteFileBytes(file, "precious");
    RunResult run = Reg({"export", kKey, file});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(ReadFileBytes(file), "precious");
    run = Reg({"export", kKey, file, "/y"});
    EXPECT_EQ(run.nExit, 0);
    EXPECT_NE(ReadFileBytes(file), "precious");
}

TEST_F(RegToolTest, ImportDeletesWhatTheScriptRemoves) {
    ASSERT_EQ(Reg({"add", string(kKey) + "\\Old\\Inner"}).nExit, 0);
    ASSERT_EQ(Reg({"add", kKey, "/v", "gone", "/d", "1"}).nExit, 0);
    const string file = m_files.File("change.reg");
    WriteFileBytes(
        file,
        "REGEDIT4\n\n[-HKEY_CURRENT_USER\\Software\\VorlaTool\\Old]\n\n"
        "[HKEY_CURRENT_USER\\Software\\VorlaTool]\n\"gone\"=-\n\"new\"=dword:00000007\n");
    RunResult run = Reg({"import", file});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_FALSE(KeyExists("Software\\VorlaTool\\Old"));
    EXPECT_EQ(Stored("gone"), "<no value>");
    EXPECT_EQ(Stored("new"), string("\7\0\0\0", 4));

    WriteFileBytes(file, "not a script\n");
    run = Reg({"import", file});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_NE(run.strErr.find("line 1"), string::npos);
    run = Reg({"import", m_files.File("missing.reg")});
    EXPECT_EQ(run.nExit, 1);
}

// The registry allows value names of 16,383 characters: every verb handles
// one whole (a fixed 2,048-byte buffer once made query and export loop).
TEST_F(RegToolTest, LongestValueNameWorksInEveryVerb) {
    const string name(16383, 'v');
    const string file = m_files.File("long.reg");
    RunResult add = Reg({"add", kKey, "/v", name, "/d", "x", "/f"});
    ASSERT_EQ(add.nExit, 0) << add.strErr;
    const string line = "    " + name + "    REG_SZ    x\n";
    EXPECT_NE(Reg({"query", kKey}).strOut.find(line), string::npos);
    EXPECT_NE(Reg({"query", kKey, "/v", name}).strOut.find(line), string::npos);
    EXPECT_EQ(Reg({"export", kKey, file, "/y"}).nExit, 0);
    EXPECT_NE(ReadFileBytes(file).find("\"" + name + "\"=\"x\""), string::npos);
    EXPECT_EQ(Reg({"delete", kKey, "/v", name, "/f"}).strOut, kSuccess);
    EXPECT_EQ(Stored(name.c_str()), "<no value>");
    EXPECT_EQ(Reg({"import", file}).nExit, 0);
    EXPECT_EQ(Stored(name.c_str()), string("x\0", 2));
}

// A tree is at most 512 levels deep: deeper keys are refused, an import of a
// deeper path fails at once and makes nothing, and a tree of the full depth
// is queried, exported and deleted without recursion.
TEST_F(RegToolTest, KeyDepthIsLimitedAndWalkedWithoutRecursion) {
    string path = "HKCU\\d";
    for (int depth = 2; depth <= 512; ++depth) {
        path += "\\d";
    }
    EXPECT_EQ(Reg({"add", path + "\\d"}).strErr, "ERROR: The parameter is incorrect.\n");
    string deep = "REGEDIT4\n\n[HKEY_CURRENT_USER\\x";
    for (int depth = 2; depth <= 20000; ++depth) {
        deep += "\\x";
    }
    WriteFileBytes(m_files.File("deep.reg"), deep + "]\n");
    EXPECT_EQ(Reg({"import", m_files.File("deep.reg")}).strErr,
              "ERROR: Error accessing the registry.\n");
    EXPECT_FALSE(KeyExists("x"));

    ASSERT_EQ(Reg({"add", path, "/v", "bottom", "/d", "1"}).nExit, 0);
    const RunResult query = Reg({"query", "HKCU\\d", "/s"});
    EXPECT_EQ(query.nExit, 0);
    EXPECT_NE(query.strOut.find("    bottom    REG_SZ    1\n"), string::npos);
    const string file = m_files.File("deep-out.reg");
    EXPECT_EQ(Reg({"export", "HKCU\\d", file}).nExit, 0);
    const string text = ReadFileBytes(file);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER" + path.substr(4) + "]\r\n\"bottom\""), string::npos);
    EXPECT_EQ(Reg({"delete", "HKCU\\d", "/f"}).strOut, kSuccess);
    EXPECT_FALSE(KeyExists("d"));
}

// Names with a line break cannot stand in a REGEDIT4 file: export says so
// and writes nothing, rather than a file that its own import rejects.
TEST_F(RegToolTest, ExportRefusesNamesItsImportCannotReadBack) {
    struct Row {
        const char* what;
        string keyPath;
        string valueName;
        string message;
    };
    const std::vector<Row> rows = {
        {"key name", "Software\\VorlaTool\\two\nlines", "v",
         "ERROR: Nothing was exported: the name of the key "
         "'HKEY_CURRENT_USER\\Software\\VorlaTool\\two\\nlines' holds a line break, which a "
         "REGEDIT4 file cannot hold.\n"},
        {"value name", "Software\\VorlaTool", "carriage\rreturn",
         "ERROR: Nothing was exported: the key 'HKEY_CURRENT_USER\\Software\\VorlaTool' has a "
         "value whose name holds a line break ('carriage\\rreturn'), which a REGEDIT4 file "
         "cannot hold.\n"},
    };
    for (const Row& row : rows) {
        ScopedPrefix prefix;
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, row.keyPath.c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  0);
        RegSetValueExA(key, row.valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("x"),
                       2);
        RegCloseKey(key);
        const string file = m_files.File("out.reg");
        const RunResult run = Reg({"export", kKey, file});
        EXPECT_EQ(run.nExit, 1) << row.what;
        EXPECT_EQ(run.strErr, row.message) << row.what;
        EXPECT_EQ(access(file.c_str(), F_OK), -1) << row.what;
    }
}

// A store that another process keeps locked is waited for a bounded time
// (VORLA_REGISTRY_WAIT seconds), saying what the command waits for after a
// second, and the call then fails.
TEST_F(RegToolTest, HeldStoreLockIsWaitedForABoundedTime) {
    ASSERT_EQ(Reg({"add", kKey}).nExit, 0);
    const string store = m_prefix.Path() + "/registry/user.db";
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(store.c_str(), &db);
        const bool locked = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == 0;
        (void)!write(ready[1], locked ? "1" : "0", 1);
        char c;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char locked = '0';
    ASSERT_EQ(read(ready[0], &locked, 1), 1);
    ASSERT_EQ(locked, '1');
    setenv("VORLA_REGISTRY_WAIT", "1.5", 1);
    const RunResult run = Reg({"add", kKey, "/v", "v", "/d", "1", "/f"});
    unsetenv("VORLA_REGISTRY_WAIT");
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.strErr, "Waiting for the registry store '" + store +
                              "', which another process has locked...\n"
                              "ERROR: The requested resource is in use.\n");
    (void)!write(release[1], "x", 1);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(Reg({"add", kKey, "/v", "v", "/d", "1", "/f"}).nExit, 0);
}

}  // namespace
}  // namespace vorla::test
