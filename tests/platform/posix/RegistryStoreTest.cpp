// What only the POSIX registry store has: its files in the prefix, files that
// are not stores, read-only stores, prefixes changing under a process, the
// roots without a store, and the computer name.
#include "platform/Win32.h"
#include "testlib/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

using vorla::test::ReadFileBytes;
using vorla::test::ScopedPrefix;
using vorla::test::WriteFileBytes;

std::string RegistryDir(const ScopedPrefix& prefix) {
    return prefix.Path() + "/registry";
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

mode_t ModeOf(const std::string& path) {
    struct stat st;
    EXPECT_EQ(0, stat(path.c_str(), &st)) << path;
    return st.st_mode & 07777;
}

LONG CreateKey(HKEY root, const char* path, HKEY* key = nullptr) {
    HKEY local = nullptr;
    LONG status =
        RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &local, nullptr);
    if (key != nullptr) {
        *key = local;
    } else if (status == ERROR_SUCCESS) {
        RegCloseKey(local);
    }
    return status;
}

LONG SetString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

std::string GetString(HKEY key, const char* name) {
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS) {
        return "<missing>";
    }
    return buffer;
}

TEST(RegistryStoreFiles, OneFilePerHiveWithPrivateModes) {
    ScopedPrefix prefix;
    struct Row {
        HKEY root;
        const char* file;
    };
    const std::vector<Row> rows = {
        {HKEY_LOCAL_MACHINE, "system.db"},
        {HKEY_CURRENT_USER, "user.db"},
        {HKEY_USERS, "users.db"},
        {HKEY_CURRENT_CONFIG, "config.db"},
    };
    // The stores are used by another process, so that they are closed when
    // it ends.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (const Row& row : rows) {
            if (FileExists(RegistryDir(prefix) + "/" + row.file) ||
                CreateKey(row.root, "Probe") != ERROR_SUCCESS) {
                _exit(1);
            }
        }
        // An ordinary exit, which closes the stores on the way out.
        std::exit(0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const Row& row : rows) {
        EXPECT_EQ(0600u, ModeOf(RegistryDir(prefix) + "/" + row.file)) << row.file;
    }
    EXPECT_EQ(0700u, ModeOf(RegistryDir(prefix)));
    // Nothing is left next to the stores once no process has them open.
    for (const char* leftover : {"user.db-journal", "user.db-wal", "user.db-shm"}) {
        EXPECT_FALSE(FileExists(RegistryDir(prefix) + "/" + leftover)) << leftover;
    }
}

TEST(RegistryStoreFiles, ClassesRootIsSoftwareClassesOfTheMachine) {
    ScopedPrefix prefix;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CLASSES_ROOT, ".dds", &key));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, nullptr, "Vorla.Template"));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.dds", 0, KEY_READ, &key));
    EXPECT_EQ("Vorla.Template", GetString(key, ""));
    RegCloseKey(key);
    EXPECT_FALSE(FileExists(RegistryDir(prefix) + "/user.db"));
}

TEST(RegistryStoreFiles, RootsWithoutStoreAndUnsupportedCalls) {
    ScopedPrefix prefix;
    HKEY key = nullptr;
    struct Row {
        const char* what;
        LONG status;
        LONG expected;
    };
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD computerSize = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &computerSize));
    HKEY connected = nullptr;
    const std::vector<Row> rows = {
        {"HKEY_DYN_DATA", RegOpenKeyExA(HKEY_DYN_DATA, "x", 0, KEY_READ, &key),
         ERROR_INVALID_HANDLE},
        {"HKEY_PERFORMANCE_DATA",
         RegQueryValueExA(HKEY_PERFORMANCE_DATA, "Global", nullptr, nullptr, nullptr, nullptr),
         ERROR_INVALID_HANDLE},
        {"connect HKEY_DYN_DATA", RegConnectRegistryA(nullptr, HKEY_DYN_DATA, &key),
         ERROR_INVALID_HANDLE},
        {"remote computer", RegConnectRegistryA("\\\\nowhere-vorla", HKEY_LOCAL_MACHINE, &key),
         ERROR_BAD_NETPATH},
        {"this computer by name", RegConnectRegistryA(computer, HKEY_LOCAL_MACHINE, &connected),
         ERROR_SUCCESS},
        {"replace a hive", RegReplaceKeyA(HKEY_LOCAL_MACHINE, "x", "new", "old"),
         ERROR_CALL_NOT_IMPLEMENTED},
        {"load below HKEY_CLASSES_ROOT", RegLoadKeyA(HKEY_CLASSES_ROOT, "x", "file"),
         ERROR_INVALID_PARAMETER},
        {"flush", RegFlushKey(HKEY_CURRENT_USER), ERROR_SUCCESS},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.expected, row.status) << row.what;
    }
    RegCloseKey(connected);
}

TEST(RegistryStoreFiles, ComputerNameBufferRules) {
    char host[256] = {};
    ASSERT_EQ(0, gethostname(host, sizeof host - 1));
    std::string expected(host, strcspn(host, "."));
    expected.resize(std::min<size_t>(expected.size(), MAX_COMPUTERNAME_LENGTH));
    for (char& c : expected) {
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    }
    const auto length = static_cast<DWORD>(expected.size());
    struct Row {
        const char* what;
        DWORD offered;
        BOOL result;
        DWORD sizeAfter;
    };
    const std::vector<Row> rows = {
        {"exact", length + 1, TRUE, length},
        {"larger", length + 10, TRUE, length},
        {"no room for the NUL", length, FALSE, length + 1},
        {"empty", 0, FALSE, length + 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        DWORD size = row.offered;
        SetLastError(0);
        EXPECT_EQ(row.result, GetComputerNameA(buffer, &size));
        EXPECT_EQ(row.sizeAfter, size);
        if (row.result) {
            EXPECT_EQ(expected, std::string(buffer));
        } else {
            EXPECT_EQ(static_cast<DWORD>(ERROR_BUFFER_OVERFLOW), GetLastError());
        }
    }
}

// A file that is not a store: every call on its hive fails with ERROR_BADDB
// and the file keeps its bytes, with nothing created beside it.
TEST(RegistryStoreFiles, NotAStoreIsNeverTouched) {
    std::string valid;
    {
        ScopedPrefix source;
        ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Software\\Kept"));
        valid = ReadFileBytes(RegistryDir(source) + "/user.db");
    }
    std::string otherSchema = valid;
    size_t at = otherSchema.find("vorla-registry");
    ASSERT_NE(std::string::npos, at);
    otherSchema[at] = 'x';  // still an SQLite database, no longer this format
    struct Row {
        const char* what;
        std::string bytes;
    };
    const std::vector<Row> rows = {
        {"garbage", std::string(5000, '\x5a')},
        {"empty file", ""},
        {"text", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n"},
        {"other format", otherSchema},
        {"truncated store", valid.substr(0, 100)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScopedPrefix prefix;
        ASSERT_EQ(0, mkdir(RegistryDir(prefix).c_str(), 0700));
        const std::string file = RegistryDir(prefix) + "/user.db";
        WriteFileBytes(file, row.bytes);
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_BADDB, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
        EXPECT_EQ(ERROR_BADDB, CreateKey(HKEY_CURRENT_USER, "Software\\New"));
        EXPECT_EQ(ERROR_BADDB, SetString(HKEY_CURRENT_USER, "v", "x"));
        EXPECT_EQ(ERROR_BADDB,
                  RegQueryValueExA(HKEY_CURRENT_USER, "v", nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_BADDB, RegDeleteKeyA(HKEY_CURRENT_USER, "Software"));
        EXPECT_EQ(row.bytes, ReadFileBytes(file));
        EXPECT_FALSE(FileExists(file + "-journal"));
        // Other hives are not affected.
        EXPECT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fine"));
    }
}

// A store the process may not write (0400, even for root): reading works,
// write access and writing fail with ERROR_ACCESS_DENIED, the file keeps its
// bytes.
TEST(RegistryStoreFiles, ReadOnlyStoreRefusesWrites) {
    std::string bytes;
    {
        ScopedPrefix source;
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Software\\Kept\\Child", &key));
        ASSERT_EQ(ERROR_SUCCESS, SetString(key, "v", "stored"));
        // Committed changes reach the store file lazily; flushing forces
        // them there before the file is copied.
        ASSERT_EQ(ERROR_SUCCESS, RegFlushKey(key));
        RegCloseKey(key);
        bytes = ReadFileBytes(RegistryDir(source) + "/user.db");
    }
    ScopedPrefix prefix;
    ASSERT_EQ(0, mkdir(RegistryDir(prefix).c_str(), 0700));
    const std::string file = RegistryDir(prefix) + "/user.db";
    WriteFileBytes(file, bytes);
    ASSERT_EQ(0, chmod(file.c_str(), 0400));

    HKEY child = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kept\\Child", 0, KEY_READ, &child));
    EXPECT_EQ("stored", GetString(child, "v"));
    HKEY key = nullptr;
    DWORD disposition = 0;
    struct Row {
        const char* what;
        LONG status;
        LONG expected;
    };
    const std::vector<Row> rows = {
        {"open for writing", RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kept", 0, KEY_WRITE, &key),
         ERROR_ACCESS_DENIED},
        {"open all access",
         RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kept", 0, KEY_ALL_ACCESS, &key),
         ERROR_ACCESS_DENIED},
        {"create a new key", CreateKey(HKEY_CURRENT_USER, "Software\\New"), ERROR_ACCESS_DENIED},
        {"set a value on the root", SetString(HKEY_CURRENT_USER, "v", "x"), ERROR_ACCESS_DENIED},
        {"delete a key", RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Kept\\Child"),
         ERROR_ACCESS_DENIED},
        {"delete a value", RegDeleteValueA(HKEY_CURRENT_USER, "v"), ERROR_ACCESS_DENIED},
        {"open an existing key for reading through create",
         RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kept", 0, nullptr, 0, KEY_READ, nullptr,
                         &key, &disposition),
         ERROR_SUCCESS},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.expected, row.status) << row.what;
    }
    RegCloseKey(key);
    // MAXIMUM_ALLOWED gives what the store allows: reading.
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kept", 0, MAXIMUM_ALLOWED, &key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetString(key, "v", "x"));
    char name[64];
    DWORD length = sizeof name;
    EXPECT_EQ(ERROR_SUCCESS,
              RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("Child", name);
    RegCloseKey(key);
    RegCloseKey(child);
    EXPECT_EQ(bytes, ReadFileBytes(file));
    EXPECT_FALSE(FileExists(file + "-journal"));
}

TEST(RegistryStoreFiles, PrefixChangeIsHonoured) {
    ScopedPrefix first;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Software\\First", &key));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, "where", "first"));
    {
        ScopedPrefix second;
        HKEY other = nullptr;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND,
                  RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\First", 0, KEY_READ, &other));
        ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Software\\Second"));
        EXPECT_TRUE(FileExists(RegistryDir(second) + "/user.db"));
        // A handle opened under the first prefix stays in its store.
        EXPECT_EQ("first", GetString(key, "where"));
        ASSERT_EQ(ERROR_SUCCESS, SetString(key, "later", "also first"));
    }
    RegCloseKey(key);
    HKEY again = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\First", 0, KEY_READ, &again));
    EXPECT_EQ("also first", GetString(again, "later"));
    RegCloseKey(again);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Second", 0, KEY_READ, &again));
}

// A hive file that is not a store is neither loaded nor restored from, and
// keeps its bytes; a saved file never overwrites one.
TEST(RegistryStoreFiles, HiveFilesAreCheckedAndNeverOverwritten) {
    ScopedPrefix prefix;
    const std::string bad = prefix.Path() + "/bad.hive";
    const std::string garbage(3000, '\x11');
    WriteFileBytes(bad, garbage);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Software\\Target", &key));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, "kept", "yes"));
    struct Row {
        const char* what;
        LONG status;
        LONG expected;
    };
    const std::vector<Row> rows = {
        {"load a bad file", RegLoadKeyA(HKEY_LOCAL_MACHINE, "Bad", bad.c_str()), ERROR_BADDB},
        {"load a missing file",
         RegLoadKeyA(HKEY_LOCAL_MACHINE, "Missing", (prefix.Path() + "/none").c_str()),
         ERROR_FILE_NOT_FOUND},
        {"load with a path", RegLoadKeyA(HKEY_LOCAL_MACHINE, "a\\b", bad.c_str()),
         ERROR_INVALID_PARAMETER},
        {"restore from a bad file", RegRestoreKeyA(key, bad.c_str(), 0), ERROR_BADDB},
        {"save over a file", RegSaveKeyA(key, bad.c_str(), nullptr), ERROR_ALREADY_EXISTS},
        {"unload what is not loaded", RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"),
         ERROR_INVALID_PARAMETER},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.expected, row.status) << row.what;
    }
    EXPECT_EQ(garbage, ReadFileBytes(bad));
    EXPECT_EQ("yes", GetString(key, "kept"));
    HKEY probe = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Bad", 0, KEY_READ, &probe));
    // A loaded hive's root is not deleted as a key.
    const std::string saved = prefix.Path() + "/good.hive";
    ASSERT_EQ(ERROR_SUCCESS, RegSaveKeyA(key, saved.c_str(), nullptr));
    EXPECT_EQ(0600u, ModeOf(saved));
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyA(HKEY_LOCAL_MACHINE, "Good", saved.c_str()));
    EXPECT_EQ(ERROR_ALREADY_EXISTS, RegLoadKeyA(HKEY_LOCAL_MACHINE, "Good", saved.c_str()));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Good"));
    // Writes through the loaded key land in the file.
    HKEY loaded = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, "Good\\Added", &loaded));
    RegCloseKey(loaded);
    ASSERT_EQ(ERROR_SUCCESS, RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "Good"));
    HKEY restored = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Software\\Restored", &restored));
    ASSERT_EQ(ERROR_SUCCESS, RegRestoreKeyA(restored, saved.c_str(), 0));
    EXPECT_EQ("yes", GetString(restored, "kept"));
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(restored, "Added", 0, KEY_READ, &probe));
    RegCloseKey(probe);
    RegCloseKey(restored);
    RegCloseKey(key);
}

}  // namespace

namespace {

// A store whose first pages (the schema and the format's meta table) are
// sound but whose last page, one of its b-trees, is not: it reads as a store
// and fails SQLite's quick check.
std::string CorruptStoreBytes() {
    ScopedPrefix source;
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, "Software\\Kept", &key));
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(ERROR_SUCCESS, SetString(key, ("v" + std::to_string(i)).c_str(), "x"));
    }
    RegCloseKey(key);
    // A checkpoint puts every commit into the file before it is copied.
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(HKEY_CURRENT_USER));
    std::string bytes = ReadFileBytes(RegistryDir(source) + "/user.db");
    const size_t pageSize =
        (static_cast<unsigned char>(bytes[16]) << 8) | static_cast<unsigned char>(bytes[17]);
    EXPECT_GE(bytes.size(), 3 * pageSize);
    // The page type byte and the cell count of the last page.
    for (size_t i = bytes.size() - pageSize; i < bytes.size() - pageSize + 5; ++i) {
        bytes[i] = '\x7f';
    }
    return bytes;
}

}  // namespace

// A store that fails the quick check at first use gives
// ERROR_REGISTRY_CORRUPT to every call on its hive, for writes too, and keeps
// its bytes; nothing is made beside it.
TEST(RegistryStoreFiles, CorruptStoreIsNeverWritten) {
    const std::string bytes = CorruptStoreBytes();
    ASSERT_GT(bytes.size(), 0u);
    ScopedPrefix prefix;
    ASSERT_EQ(0, mkdir(RegistryDir(prefix).c_str(), 0700));
    const std::string file = RegistryDir(prefix) + "/user.db";
    WriteFileBytes(file, bytes);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_REGISTRY_CORRUPT,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kept", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_REGISTRY_CORRUPT, CreateKey(HKEY_CURRENT_USER, "Software\\New"));
    EXPECT_EQ(ERROR_REGISTRY_CORRUPT, SetString(HKEY_CURRENT_USER, "v", "x"));
    EXPECT_TRUE(bytes == ReadFileBytes(file)) << "the file was written";
    for (const char* side : {"-journal", "-wal", "-shm"}) {
        EXPECT_FALSE(FileExists(file + side)) << side;
    }
}

// A tree is at most 512 levels deep. A key below that is refused with
// ERROR_INVALID_PARAMETER before anything of the path is created; keys are
// made 32 levels a call, as Windows allows.
TEST(RegistryStoreFiles, KeysStopAtTheDepthLimit) {
    ScopedPrefix prefix;
    std::string level32;
    for (int i = 0; i < 32; ++i) {
        level32 += i == 0 ? "k" : "\\k";
    }
    HKEY key = HKEY_CURRENT_USER;
    for (int depth = 32; depth <= 512; depth += 32) {
        HKEY next = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, CreateKey(key, level32.c_str(), &next)) << depth;
        if (key != HKEY_CURRENT_USER) {
            RegCloseKey(key);
        }
        key = next;
    }
    EXPECT_EQ(ERROR_INVALID_PARAMETER, CreateKey(key, "deeper"));
    HKEY opened = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key, "deeper", 0, KEY_READ, &opened));
    // A path that would pass the limit creates none of its keys.
    std::string tooDeep = "y";
    for (int i = 1; i <= 512; ++i) {
        tooDeep += "\\y";
    }
    EXPECT_EQ(ERROR_INVALID_PARAMETER, CreateKey(HKEY_CURRENT_USER, tooDeep.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, "y", 0, KEY_READ, &opened));
    RegCloseKey(key);
}
