// The host's ODBC data sources in the registry view: shown read-only under the
// ODBC.INI keys of HKEY_CURRENT_USER (user's) and HKEY_LOCAL_MACHINE
// (system's), after the store's own and shadowed by them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/HostDataSources.h"
#include "platform/Win32.h"
#include "testlib/HostOdbc.h"
#include "testlib/RegistryData.h"
#include "testlib/TempDir.h"

namespace {

using vorla::test::CreateRegKey;
using vorla::test::HostOdbcConfig;
using vorla::test::SetRegString;
using vorla::test::WriteFileBytes;
using Scope = HostOdbcConfig::Scope;
using Pairs = std::vector<std::pair<std::string, std::string>>;

const std::string kOdbcIni = "SOFTWARE\\ODBC\\ODBC.INI";
const std::string kList = kOdbcIni + "\\ODBC Data Sources";
const std::string kAccess = "Microsoft Access Driver (*.mdb)";

class Key {
public:
    Key(HKEY root, const std::string& path, REGSAM access = KEY_READ) {
        m_status = RegOpenKeyExA(root, path.c_str(), 0, access, &m_key);
    }
    ~Key() {
        if (m_status == ERROR_SUCCESS) {
            RegCloseKey(m_key);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    LONG Status() const { return m_status; }
    HKEY Get() const { return m_key; }

    // Every value as (name, text), checking that each is REG_SZ with its NUL.
    Pairs Values() const {
        Pairs values;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD nameLength = sizeof name;
            BYTE data[256];
            DWORD size = sizeof data;
            DWORD type = 0;
            const LONG status =
                RegEnumValueA(m_key, i, name, &nameLength, nullptr, &type, data, &size);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
                return values;
            }
            EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
            EXPECT_TRUE(size > 0 && data[size - 1] == 0) << name;
            values.emplace_back(
                std::string(name, nameLength),
                std::string(reinterpret_cast<char*>(data), size > 0 ? size - 1 : 0));
        }
    }
    std::vector<std::string> SubKeys() const {
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD length = sizeof name;
            const LONG status =
                RegEnumKeyExA(m_key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
                return names;
            }
            names.emplace_back(name, length);
        }
    }
    // Sub-keys, values, longest sub-key name, longest value name, largest data.
    std::vector<DWORD> Info() const {
        DWORD subKeys = 0, maxSubKey = 0, values = 0, maxName = 0, maxData = 0;
        EXPECT_EQ(RegQueryInfoKeyA(m_key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr,
                                   &values, &maxName, &maxData, nullptr, nullptr),
                  ERROR_SUCCESS);
        return {subKeys, values, maxSubKey, maxName, maxData};
    }

private:
    HKEY m_key = nullptr;
    LONG m_status;
};

class HostDataSourcesTest : public testing::Test {
protected:
    void SetUp() override {
        // What an installation and one earlier run leave in the store.
        SetRegString(HKEY_CURRENT_USER, kList, "VORLA1", kAccess);
        SetRegString(HKEY_CURRENT_USER, kOdbcIni + "\\VORLA1", "DBQ", "/data/v.mdb");
        CreateRegKey(HKEY_LOCAL_MACHINE, kList);
        m_odbc.AddDataSource(
            Scope::User, "PgUser",
            {{"Driver", "PostgreSQL Unicode"}, {"Servername", "db"}, {"Port", "5432"}});
        m_odbc.AddDataSource(Scope::User, "Pg Blank", {{"Driver", "/usr/lib/x.so"}});
        m_odbc.AddDataSource(Scope::User, "vorla1", {{"Driver", "Shadowed"}});
        m_odbc.AddDataSource(Scope::User, "Zeta", {{"Driver", "Z"}});
        m_odbc.AddDataSource(Scope::System, "PgSys", {{"Driver", "PostgreSQL Unicode"}});
    }

    vorla::test::ScopedPrefix m_prefix;
    HostOdbcConfig m_odbc = m_prefix.HostOdbc();
};

TEST_F(HostDataSourcesTest, ShownAfterTheStoresOwnAndShadowedByThem) {
    const Key userList(HKEY_CURRENT_USER, kList);
    EXPECT_EQ(userList.Values(), (Pairs{{"VORLA1", kAccess},
                                        {"PgUser", "PostgreSQL Unicode"},
                                        {"Pg Blank", "/usr/lib/x.so"},
                                        {"Zeta", "Z"}}));
    EXPECT_EQ(userList.Info(), (std::vector<DWORD>{0, 4, 0, 8, 32}));
    EXPECT_EQ(Key(HKEY_LOCAL_MACHINE, kList).Values(), (Pairs{{"PgSys", "PostgreSQL Unicode"}}));

    // Sub-keys by their upper-cased names, the host's among the store's.
    const Key userIni(HKEY_CURRENT_USER, kOdbcIni);
    EXPECT_EQ(userIni.SubKeys(), (std::vector<std::string>{"ODBC Data Sources", "Pg Blank",
                                                           "PgUser", "VORLA1", "Zeta"}));
    EXPECT_EQ(userIni.Info(), (std::vector<DWORD>{5, 0, 17, 0, 0}));

    const Key pg(HKEY_CURRENT_USER, kOdbcIni + "\\PgUser");
    ASSERT_EQ(pg.Status(), ERROR_SUCCESS);
    EXPECT_TRUE(vorla::platform::IsHostDataSourceKey(pg.Get()));
    EXPECT_EQ(pg.Values(),
              (Pairs{{"Driver", "PostgreSQL Unicode"}, {"Servername", "db"}, {"Port", "5432"}}));
    EXPECT_EQ(pg.SubKeys(), std::vector<std::string>{});
    EXPECT_EQ(pg.Info(), (std::vector<DWORD>{0, 3, 0, 10, 19}));
    char port[16];
    DWORD size = sizeof port;
    EXPECT_EQ(
        RegQueryValueExA(pg.Get(), "PORT", nullptr, nullptr, reinterpret_cast<BYTE*>(port), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(std::string(port, size), std::string("5432", 5));

    // The user's are not the machine's, and the store's key is the store's.
    EXPECT_EQ(Key(HKEY_CURRENT_USER, kOdbcIni + "\\PgSys").Status(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Key(HKEY_LOCAL_MACHINE, kOdbcIni + "\\PgSys").Status(), ERROR_SUCCESS);
    const Key store(HKEY_CURRENT_USER, kOdbcIni + "\\vorla1", KEY_ALL_ACCESS);
    ASSERT_EQ(store.Status(), ERROR_SUCCESS);
    EXPECT_FALSE(vorla::platform::IsHostDataSourceKey(store.Get()));
    EXPECT_EQ(store.Values(), (Pairs{{"DBQ", "/data/v.mdb"}}));
}

struct RefusalCase {
    const char* name;
    std::function<LONG()> call;
    LONG expected;
};

LONG SetInList(const char* name) {
    const Key list(HKEY_CURRENT_USER, kList, KEY_ALL_ACCESS);
    return RegSetValueExA(list.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
}

LONG Create(const std::string& path, REGSAM access) {
    HKEY key = nullptr;
    const LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, access,
                                        nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
    return status;
}

TEST_F(HostDataSourcesTest, HostEntriesAreReadOnly) {
    const std::string pg = kOdbcIni + "\\PgUser";
    const std::vector<RefusalCase> cases = {
        {"open for writing", [&] { return Key(HKEY_CURRENT_USER, pg, KEY_SET_VALUE).Status(); },
         ERROR_ACCESS_DENIED},
        {"create the key", [&] { return Create(pg, KEY_READ); }, ERROR_ACCESS_DENIED},
        {"create below it", [&] { return Create(pg + "\\Engines", KEY_ALL_ACCESS); },
         ERROR_ACCESS_DENIED},
        {"open below it", [&] { return Key(HKEY_CURRENT_USER, pg + "\\Engines").Status(); },
         ERROR_FILE_NOT_FOUND},
        {"list it in the store", [] { return SetInList("pguser"); }, ERROR_ACCESS_DENIED},
        {"delete its list value",
         [] {
             const Key list(HKEY_CURRENT_USER, kList, KEY_ALL_ACCESS);
             return RegDeleteValueA(list.Get(), "PgUser");
         },
         ERROR_ACCESS_DENIED},
        {"delete its key", [&] { return RegDeleteKeyA(HKEY_CURRENT_USER, pg.c_str()); },
         ERROR_ACCESS_DENIED},
        {"the store's own names stay writable", [] { return SetInList("Mine"); }, ERROR_SUCCESS},
        {"delete ODBC.INI, which shows it as a sub-key",
         [] {
             RegDeleteKeyA(HKEY_CURRENT_USER, (kOdbcIni + "\\VORLA1").c_str());
             RegDeleteKeyA(HKEY_CURRENT_USER, kList.c_str());
             return RegDeleteKeyA(HKEY_CURRENT_USER, kOdbcIni.c_str());
         },
         ERROR_ACCESS_DENIED},
        {"set its security",
         [&] {
             const Key key(HKEY_CURRENT_USER, pg, KEY_READ | ACCESS_SYSTEM_SECURITY);
             BYTE descriptor[20] = {1, 0, 0x00, 0x80};
             return RegSetKeySecurity(key.Get(), SACL_SECURITY_INFORMATION, descriptor);
         },
         ERROR_ACCESS_DENIED},
    };
    for (const RefusalCase& c : cases) {
        EXPECT_EQ(c.call(), c.expected) << c.name;
    }
    EXPECT_EQ(Key(HKEY_CURRENT_USER, pg).Values().size(), 3u);
}

TEST_F(HostDataSourcesTest, HandleReadsTheConfigurationOnceWhenOpened) {
    const Key before(HKEY_CURRENT_USER, kList);
    m_odbc.AddDataSource(Scope::User, "Later", {{"Driver", "L"}});
    EXPECT_EQ(before.Values().size(), 4u);
    EXPECT_EQ(before.Info()[1], 4u);
    const Key after(HKEY_CURRENT_USER, kList);
    EXPECT_EQ(after.Values().back(), (std::pair<std::string, std::string>{"Later", "L"}));
}

TEST_F(HostDataSourcesTest, UnusableConfigurationShowsNothing) {
    const std::string user = m_odbc.File(Scope::User);
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"missing", [&] { std::remove(user.c_str()); }},
        {"a folder", [&] { mkdir(user.c_str(), 0700); }},
        {"binary",
         [&] {
             rmdir(user.c_str());
             WriteFileBytes(user, std::string("\0\x01[x\xff\n=\n", 8));
         }},
    };
    for (const auto& c : cases) {
        c.second();
        EXPECT_EQ(Key(HKEY_CURRENT_USER, kList).Values(), (Pairs{{"VORLA1", kAccess}})) << c.first;
        EXPECT_EQ(Key(HKEY_CURRENT_USER, kOdbcIni + "\\PgUser").Status(), ERROR_FILE_NOT_FOUND)
            << c.first;
    }
}

TEST_F(HostDataSourcesTest, ShownWithoutTheStoresOdbcKeysAndHiddenWhenAsked) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kList.c_str());
    EXPECT_EQ(Key(HKEY_LOCAL_MACHINE, kOdbcIni + "\\PgSys").Status(), ERROR_SUCCESS);

    vorla::platform::ShowHostDataSources(false);
    EXPECT_EQ(Key(HKEY_CURRENT_USER, kList).Values(), (Pairs{{"VORLA1", kAccess}}));
    EXPECT_EQ(Key(HKEY_CURRENT_USER, kOdbcIni + "\\PgUser").Status(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kOdbcIni.c_str()), ERROR_SUCCESS);
    EXPECT_EQ(Key(HKEY_LOCAL_MACHINE, kOdbcIni).Status(), ERROR_FILE_NOT_FOUND);
    vorla::platform::ShowHostDataSources(true);

    // A prefix that was never set up shows the host's data sources too: the
    // ODBC.INI and list keys are the view's, for reading.
    const Key odbcIni(HKEY_LOCAL_MACHINE, kOdbcIni);
    ASSERT_EQ(odbcIni.Status(), ERROR_SUCCESS);
    EXPECT_EQ(odbcIni.SubKeys(), (std::vector<std::string>{"PgSys"}));
    EXPECT_EQ(odbcIni.Info(), (std::vector<DWORD>{1, 0, 5, 0, 0}));
    const Key list(HKEY_LOCAL_MACHINE, kList);
    EXPECT_EQ(list.Values(), (Pairs{{"PgSys", "PostgreSQL Unicode"}}));
    EXPECT_EQ(list.SubKeys(), std::vector<std::string>{});
    HKEY below = nullptr;
    ASSERT_EQ(RegOpenKeyExA(odbcIni.Get(), "PgSys", 0, KEY_READ, &below), ERROR_SUCCESS);
    RegCloseKey(below);
    // A writer finds no such key and makes the store's own; through a key
    // of the view's the path is the same.
    EXPECT_EQ(Key(HKEY_LOCAL_MACHINE, kList, KEY_SET_VALUE).Status(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetValueExA(list.Get(), "X", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
              ERROR_ACCESS_DENIED);
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(odbcIni.Get(), "ODBC Data Sources", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &below, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(below);
    EXPECT_EQ(Key(HKEY_LOCAL_MACHINE, kList, KEY_SET_VALUE).Status(), ERROR_SUCCESS);
    EXPECT_EQ(Key(HKEY_LOCAL_MACHINE, kList).Values(), (Pairs{{"PgSys", "PostgreSQL Unicode"}}));
}

}  // namespace
