// The odbc.ini line editor: only the lines of the section or entry it is
// told to change change; every other byte of a hand-written file stays.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "IniText.h"

namespace {

using vorla::platform::registry::IniText;

const char kHand[] =
    "# my databases\n"
    "[ODBC Data Sources]\n"
    "Shop = SQLite3   ; the shop\n"
    "\n"
    "[Shop]\n"
    "Driver   =  SQLite3\n"
    "  Database = /srv/shop.db\n"
    "; keep this\n"
    "\n";

struct Row {
    const char* name;
    std::string before;
    std::function<void(IniText&)> edit;
    std::string after;
};

TEST(IniText, ChangesOnlyItsOwnLines) {
    const std::string own = "[Mine]\nDriver=/d.so\nVorlaPrefix=/p\n";
    const Row rows[] = {
        {"a section and a list entry added at the end", kHand,
         [](IniText& t) {
             t.PutSection("Mine", {{"Driver", "/d.so"}, {"VorlaPrefix", "/p"}});
             t.PutEntry("ODBC Data Sources", "Mine", "Access");
         },
         "# my databases\n[ODBC Data Sources]\nShop = SQLite3   ; the shop\nMine=Access\n\n"
         "[Shop]\nDriver   =  SQLite3\n  Database = /srv/shop.db\n; keep this\n\n" +
             own},
        {"and removed again", std::string(kHand) + own,
         [](IniText& t) {
             t.RemoveSection("mine");
             t.RemoveEntry("ODBC Data Sources", "MINE");
         },
         kHand},
        {"a section replaced keeps the comment after it", "[Mine]\nDriver=/old\n; c\n[B]\nx=1",
         [](IniText& t) {
             t.PutSection("Mine", {{"Driver", "/new"}});
         },
         "[Mine]\nDriver=/new\n; c\n[B]\nx=1"},
        {"a list emptied of our entry goes, one with comments stays",
         "[ODBC Data Sources]\nMine=x\n[L]\n; c\nMine=x\n",
         [](IniText& t) {
             t.RemoveEntry("ODBC Data Sources", "Mine");
             t.RemoveEntry("L", "Mine");
         },
         "[L]\n; c\n"},
        {"CRLF lines and a last line without its end", "[A]\r\nx=1",
         [](IniText& t) {
             t.PutEntry("A", "y", "2");
             t.PutSection("B", {{"z", "3"}});
         },
         "[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n"},
        {"an entry replaced where it stands", "[L]\n a = 1 \nb=2\n",
         [](IniText& t) { t.PutEntry("L", "A", "9"); }, "[L]\nA=9\nb=2\n"},
        {"an empty file", "", [](IniText& t) { t.PutEntry("ODBC Data Sources", "M", "x"); },
         "[ODBC Data Sources]\nM=x\n"},
    };
    for (const Row& row : rows) {
        IniText text(row.before);
        row.edit(text);
        EXPECT_EQ(text.Text(), row.after) << row.name;
    }
}

}  // namespace
