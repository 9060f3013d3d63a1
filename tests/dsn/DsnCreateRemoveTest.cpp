#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DsnFixture.h"
#include "dsn/DsnCreate.h"
#include "dsn/DsnLookup.h"
#include "dsn/DsnRemove.h"
#include "platform/HostDataSources.h"

namespace {

using namespace vorla::test;

const std::string kDsnKey = "SOFTWARE\\ODBC\\ODBC.INI\\Sales";
const std::string kJetKey = kDsnKey + "\\Engines\\Jet";

class DsnRegistry : public testing::Test {
protected:
    void SetUp() override {
        char dir[1024];
        ASSERT_NE(GetSystemDirectoryA(dir, sizeof dir), 0u);
        m_systemDir = dir;
    }

    void InstallDriverFile() { WriteFileBytes(m_systemDir + "/odbcjt32.dll", "driver"); }
    void MakeLists() {
        MakeKey(HKEY_CURRENT_USER, kListKey);
        MakeKey(HKEY_LOCAL_MACHINE, kListKey);
    }

    ScopedPrefix m_prefix;
    std::string m_systemDir;
};

struct ValueRow {
    const std::string* key;
    const char* name;
    DWORD type;
    std::string bytes;
};

TEST_F(DsnRegistry, CreationWritesTheWholeLayout) {
    InstallDriverFile();
    MakeLists();
    CapturedConsole console;
    ASSERT_TRUE(CreateDsn("Sales", "", "/data/sales.mdb", HKEY_CURRENT_USER));
    EXPECT_EQ(console.Err(), "");

    const std::string driver = m_systemDir + "/odbcjt32.dll";
    const ValueRow rows[] = {
        {&kDsnKey, "DBQ", REG_SZ, Text("/data/sales.mdb")},
        {&kDsnKey, "Description", REG_SZ, std::string(1, '\0')},
        {&kDsnKey, "Driver", REG_SZ, Text(driver)},
        {&kDsnKey, "DriverId", REG_DWORD, Dword(25)},
        {&kDsnKey, "FIL", REG_SZ, Text("MS Access;")},
        {&kDsnKey, "SafeTransactions", REG_DWORD, Dword(0)},
        {&kDsnKey, "UID", REG_SZ, std::string(1, '\0')},
        {&kJetKey, "ImplicitCommitSync", REG_SZ, Text("Yes")},
        {&kJetKey, "UserCommitSync", REG_SZ, Text("Yes")},
        {&kJetKey, "MaxBufferSize", REG_DWORD, Dword(512)},
        {&kJetKey, "PageTimeout", REG_DWORD, Dword(5)},
        {&kJetKey, "Threads", REG_DWORD, Dword(3)},
    };
    for (const ValueRow& row : rows) {
        SCOPED_TRACE(row.name);
        RawValue value = ReadRawValue(HKEY_CURRENT_USER, *row.key, row.name);
        ASSERT_TRUE(value.found);
        EXPECT_EQ(value.type, row.type);
        EXPECT_EQ(value.bytes, row.bytes);
    }
    RawValue entry = ReadRawValue(HKEY_CURRENT_USER, kListKey, "Sales");
    EXPECT_EQ(entry.bytes, Text("Microsoft Access Driver (*.mdb)"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kDsnKey));
    EXPECT_TRUE(DsnExists("sales"));
}

TEST_F(DsnRegistry, WithoutTheDriverFileNothingIsWritten) {
    MakeLists();
    CapturedConsole console;
    EXPECT_FALSE(CreateDsn("Sales", "d", "/x.mdb", HKEY_CURRENT_USER));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kDsnKey));
    EXPECT_EQ(console.Err(), "");
}

// Names that ODBC does not allow, and the list key's own name, are refused
// before anything is written: such a name would put a data source's values
// into the list key (and delete it with the data source) or make nested keys.
TEST_F(DsnRegistry, NamesOdbcRefusesWriteNothing) {
    InstallDriverFile();
    MakeLists();
    const std::vector<std::string> refused = {
        "",
        "ODBC Data Sources",
        "odbc data sources",
        std::string(33, 'n'),
        "a\\b",
        "x;y",
        "[x]",
        "{x}",
        "(x)",
        "a,b",
        "a?",
        "a*",
        "a=b",
        "a!",
        "a@b",
    };
    CapturedConsole console;
    for (const std::string& name : refused) {
        EXPECT_FALSE(CreateDsn(name.c_str(), "d", "/x.mdb", HKEY_CURRENT_USER)) << name;
    }
    HKEY odbc = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI", 0, KEY_READ, &odbc), 0);
    DWORD subKeys = 0;
    DWORD values = 0;
    HKEY list = nullptr;
    ASSERT_EQ(RegOpenKeyExA(odbc, "ODBC Data Sources", 0, KEY_READ, &list), 0);
    EXPECT_EQ(RegQueryInfoKeyA(odbc, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(RegQueryInfoKeyA(list, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(subKeys, 1u) << "only the list key";
    EXPECT_EQ(values, 0u);
    RegCloseKey(list);
    RegCloseKey(odbc);
    EXPECT_TRUE(CreateDsn(std::string(32, 'n').c_str(), "d", "/x.mdb", HKEY_CURRENT_USER));
    EXPECT_EQ(console.Err(), "");
}

TEST_F(DsnRegistry, WithoutTheListKeyEverythingButTheEntryIsWritten) {
    InstallDriverFile();
    CapturedConsole console;
    EXPECT_FALSE(CreateDsn("Sales", "d", "/x.mdb", HKEY_CURRENT_USER));
    EXPECT_TRUE(ReadRawValue(HKEY_CURRENT_USER, kDsnKey, "UID").found);
    EXPECT_TRUE(ReadRawValue(HKEY_CURRENT_USER, kJetKey, "Threads").found);
    // The registry shows a list key in every prefix, for reading; the store
    // was given none.
    vorla::platform::ShowHostDataSources(false);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kListKey));
    vorla::platform::ShowHostDataSources(true);
    EXPECT_FALSE(DsnExists("Sales"));
    EXPECT_EQ(console.Err(), "");
}

TEST_F(DsnRegistry, AMachineStoreThatCannotBeWrittenGetsNothing) {
    InstallDriverFile();
    // Another process sets the machine's store up; this one finds it read-only.
    pid_t child = fork();
    if (child == 0) {
        MakeLists();
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(chmod((m_prefix.Path() + "/registry/system.db").c_str(), 0400), 0);
    CapturedConsole console;
    EXPECT_FALSE(CreateDsn("Sales", "d", "/x.mdb", HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kDsnKey));
    EXPECT_EQ(console.Err(), "");
}

TEST_F(DsnRegistry, CreatingAgainRewritesTheValuesAndKeepsOthers) {
    InstallDriverFile();
    MakeLists();
    ASSERT_TRUE(CreateDsn("Sales", "first", "/one.mdb", HKEY_CURRENT_USER));
    SetText(HKEY_CURRENT_USER, kDsnKey, "Extra", "kept");
    SetText(HKEY_CURRENT_USER, kDsnKey, "DBQ", "/changed.mdb");
    ASSERT_TRUE(CreateDsn("Sales", "second", "/two.mdb", HKEY_CURRENT_USER));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kDsnKey, "DBQ").bytes, Text("/two.mdb"));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kDsnKey, "Description").bytes, Text("second"));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kDsnKey, "Extra").bytes, Text("kept"));
}

TEST_F(DsnRegistry, RemovalCollectsDeepestFirstAndDeletesEverything) {
    InstallDriverFile();
    MakeLists();
    ASSERT_TRUE(CreateDsn("Sales", "", "/x.mdb", HKEY_CURRENT_USER));
    MakeKey(HKEY_CURRENT_USER, kDsnKey + "\\A\\B\\C");
    MakeKey(HKEY_CURRENT_USER, kDsnKey + "\\Engines\\Other");

    CRegistry reg;
    ASSERT_TRUE(reg.AttachRoot(HKEY_CURRENT_USER, nullptr, TRUE));
    ASSERT_TRUE(reg.OpenSubKey(kDsnKey.c_str(), KEY_ALL_ACCESS));
    CStringList keys(10);
    ASSERT_TRUE(CollectSubKeys(reg, kDsnKey.c_str(), keys, HKEY_CURRENT_USER));
    std::vector<std::string> order;
    for (POSITION pos = keys.GetHeadPosition(); pos != nullptr;) {
        order.push_back(std::string(keys.GetNext(pos)));
    }
    const std::vector<std::string> expected = {
        kDsnKey + "\\A\\B\\C",
        kDsnKey + "\\A\\B",
        kDsnKey + "\\A",
        kDsnKey + "\\Engines\\Jet",
        kDsnKey + "\\Engines\\Other",
        kDsnKey + "\\Engines",
        kDsnKey,
    };
    EXPECT_EQ(order, expected);
    reg.CloseKeys();

    EXPECT_TRUE(RemoveDsn("Sales", HKEY_CURRENT_USER));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kDsnKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI"));
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kListKey, "Sales").found);
    EXPECT_FALSE(DsnExists("Sales"));
}

TEST_F(DsnRegistry, RemovalUnderTheOtherRootTouchesNothing) {
    InstallDriverFile();
    MakeLists();
    ASSERT_TRUE(CreateDsn("Sales", "", "/x.mdb", HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(RemoveDsn("Sales", HKEY_CURRENT_USER));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kJetKey));
    EXPECT_TRUE(DsnExists("Sales"));
}

TEST_F(DsnRegistry, RemovalWithoutListKeyOrEntryStillSucceeds) {
    InstallDriverFile();
    for (bool listKey : {false, true}) {
        SCOPED_TRACE(listKey ? "list key without the entry" : "no list key");
        if (listKey) {
            MakeKey(HKEY_CURRENT_USER, kListKey);
        }
        CreateDsn("Sales", "", "/x.mdb", HKEY_CURRENT_USER);
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kListKey, 0, KEY_ALL_ACCESS, &key) == 0) {
            RegDeleteValueA(key, "Sales");
            RegCloseKey(key);
        }
        ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, kJetKey));
        EXPECT_TRUE(RemoveDsn("Sales", HKEY_CURRENT_USER));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kDsnKey));
    }
}

TEST_F(DsnRegistry, DbqIsReadFromTheUserFirstThenTheMachine) {
    struct {
        const char* title;
        const char* user;     // null: no user key; "" : key without DBQ
        const char* machine;  // same
        bool result;
        const char* path;
    } rows[] = {
        {"user wins", "/user.mdb", "/machine.mdb", true, "/user.mdb"},
        {"user key without DBQ", "", "/machine.mdb", true, "/machine.mdb"},
        {"no user key", nullptr, "/machine.mdb", true, "/machine.mdb"},
        {"empty in both", "<empty>", "<empty>", false, ""},
        {"nowhere", nullptr, nullptr, false, "previous"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        ScopedPrefix prefix;
        auto lay = [&](HKEY root, const char* dbq) {
            if (dbq == nullptr) {
                return;
            }
            MakeKey(root, kDsnKey);
            if (std::string(dbq) == "<empty>") {
                SetText(root, kDsnKey, "DBQ", "");
            } else if (*dbq != '\0') {
                SetText(root, kDsnKey, "DBQ", dbq);
            }
        };
        lay(HKEY_CURRENT_USER, row.user);
        lay(HKEY_LOCAL_MACHINE, row.machine);
        CString path = "previous";
        EXPECT_EQ(DsnHasDbq("Sales", path) != 0, row.result);
        EXPECT_EQ(std::string(path), row.path);
    }
}

}  // namespace
