#include <gtest/gtest.h>

#include <vector>

#include "support/Registry.h"

namespace {

struct TrimRow {
    const char* pszPath;
    const char* pszFlagClear;
    const char* pszFlagSet;
};

// At most one backslash goes at each end.
TEST(TrimKeyPathTest, Table) {
    const std::vector<TrimRow> rows = {
        {"Software\\ODBC\\", "Software\\ODBC", "Software\\ODBC"},
        {"\\Software\\ODBC", "\\Software\\ODBC", "Software\\ODBC"},
        {"\\Software\\", "\\Software", "Software"},
        {"Software\\\\", "Software\\", "Software\\"},
        {"\\", "", ""},
        {"\\\\", "\\", ""},
        {"", "", ""},
        {"Software", "Software", "Software"},
    };
    for (const TrimRow& row : rows) {
        CString clear(row.pszPath);
        TrimKeyPath(clear, FALSE);
        EXPECT_EQ(clear, row.pszFlagClear) << "path '" << row.pszPath << "', flag clear";
        CString set(row.pszPath);
        TrimKeyPath(set, TRUE);
        EXPECT_EQ(set, row.pszFlagSet) << "path '" << row.pszPath << "', flag set";
    }
}

struct JoinRow {
    const char* pszFirst;
    const char* pszSecond;
    const char* pszJoined;
};

TEST(JoinKeyPathTest, Table) {
    const std::vector<JoinRow> rows = {
        {"Software\\ODBC\\", "\\ODBC.INI\\", "Software\\ODBC\\ODBC.INI"},
        {"", "Jet", "\\Jet"},
        {"Software", "", "Software\\"},
        {"\\Software", "Jet\\Engines", "\\Software\\Jet\\Engines"},
        {"Software\\\\", "\\\\Jet", "Software\\\\\\Jet"},
    };
    for (const JoinRow& row : rows) {
        EXPECT_EQ(JoinKeyPath(row.pszFirst, row.pszSecond), row.pszJoined)
            << "'" << row.pszFirst << "' + '" << row.pszSecond << "'";
    }
}

struct RootRow {
    HKEY hRoot;
    const char* pszName;
};

TEST(RootKeyNameTest, EveryRowBothWays) {
    const std::vector<RootRow> rows = {
        {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},     {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
        {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},   {HKEY_USERS, "HKEY_USERS"},
        {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"}, {HKEY_DYN_DATA, "HKEY_DYN_DATA"},
    };
    for (const RootRow& row : rows) {
        CString name;
        EXPECT_TRUE(RootKeyName(row.hRoot, name)) << row.pszName;
        EXPECT_EQ(name, row.pszName);
        EXPECT_EQ(RootKeyFromName(row.pszName), row.hRoot) << row.pszName;
    }
}

TEST(RootKeyNameTest, NamesAreExactAndPerformanceDataHasNone) {
    EXPECT_EQ(RootKeyFromName("hkey_local_machine"), nullptr);
    EXPECT_EQ(RootKeyFromName("HKLM"), nullptr);
    EXPECT_EQ(RootKeyFromName(""), nullptr);
    CString name = "untouched";
    EXPECT_FALSE(RootKeyName(HKEY_PERFORMANCE_DATA, name));
    EXPECT_EQ(name, "untouched");
    EXPECT_FALSE(RootKeyName(nullptr, name));
    EXPECT_EQ(name, "untouched");
}

}  // namespace
