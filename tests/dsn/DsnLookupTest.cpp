#include "dsn/DsnLookup.h"

#include <gtest/gtest.h>

#include "DsnFixture.h"

namespace {

using namespace vorla::test;

struct Listing {
    HKEY root;
    const char* name;
};

struct LookupRow {
    const char* title;
    std::vector<Listing> listed;
    std::vector<Listing> keysOnly;  // a data-source key without a list entry
    const char* wanted;
    bool exists;
    const char* tempName;
};

TEST(DsnLookup, NamesAreFoundInEitherListOnly) {
    const LookupRow rows[] = {
        {"machine list only", {{HKEY_LOCAL_MACHINE, "Sales"}}, {}, "Sales", true, "VORLA1"},
        {"other letter case", {{HKEY_CURRENT_USER, "SALES"}}, {}, "sales", true, "VORLA1"},
        {"key without entry", {}, {{HKEY_CURRENT_USER, "Sales"}}, "Sales", false, "VORLA1"},
        {"entry without key", {{HKEY_CURRENT_USER, "Ghost"}}, {}, "Ghost", true, "VORLA1"},
        {"first two taken",
         {{HKEY_CURRENT_USER, "VORLA1"}, {HKEY_LOCAL_MACHINE, "VORLA2"}},
         {},
         "vorla2",
         true,
         "VORLA3"},
        {"only the second taken", {{HKEY_LOCAL_MACHINE, "VORLA2"}}, {}, "VORLA1", false, "VORLA1"},
        {"prefix of a listed name",
         {{HKEY_CURRENT_USER, "VORLA10"}},
         {},
         "VORLA1",
         false,
         "VORLA1"},
        {"no lists at all", {}, {}, "Anything", false, "VORLA1"},
    };
    for (const LookupRow& row : rows) {
        SCOPED_TRACE(row.title);
        ScopedPrefix prefix;
        for (const Listing& l : row.listed) {
            SetText(l.root, kListKey, l.name, "Microsoft Access Driver (*.mdb)");
        }
        for (const Listing& l : row.keysOnly) {
            MakeKey(l.root, std::string("SOFTWARE\\ODBC\\ODBC.INI\\") + l.name);
        }
        EXPECT_EQ(DsnExists(row.wanted) != 0, row.exists);
        CString temp = "previous";
        MakeTempDsnName(temp);
        EXPECT_EQ(std::string(temp), row.tempName);
    }
}

TEST(DsnLookup, TemporaryNamesPassNineWithoutLeadingZeros) {
    ScopedPrefix prefix;
    for (int i = 1; i <= 10; ++i) {
        SetText(HKEY_CURRENT_USER, kListKey, "VORLA" + std::to_string(i), "x");
    }
    CString temp;
    MakeTempDsnName(temp);
    EXPECT_EQ(std::string(temp), "VORLA11");
}

}  // namespace
