#include "app/Options.h"

#include "OptionRows.h"
#include "ParseArgs.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "framework/Console.h"
#include "res/Resource.h"

namespace {

using vorla::test::OptionExpect;
using vorla::test::OptionRows;

// The rules that hold whatever characters begin an option group; the '/'
// groups of Windows and the '/' paths of POSIX have a table each, in the
// test file of their system.
TEST(Options, EveryRuleOfTheOptionTable) {
    OptionRows rows;
    auto add = [&](std::vector<std::string> args, auto&& setup) { rows.add(args, setup); };
    using E = OptionExpect;
    add({"-m2", "-o", "new.mdb", "-cx", "-i", "<script>", "-b", "GO"}, [](E& e) {
        e.output = "new.mdb", e.create = e.temp = true, e.command = "<script>", e.separator = "GO";
    });
    add({"-cx", "word"}, [](E& e) { e.create = true, e.description = "word"; });
    add({"-cx"}, [](E& e) { e.create = e.temp = true; });
    add({"-c", "-x"}, [](E& e) { e.create = e.temp = true; });
    add({"-cxdName"}, [](E& e) { e.create = e.temp = true, e.dsn = "Name"; });
    add({"-dName"}, [](E& e) { e.dsn = "Name"; });
    add({"-dName", "-x"}, [](E& e) { e.dsn = "Name", e.temp = true; });
    add({"-dName", "Other"}, [](E& e) { e.dsn = "Other"; });
    add({"-d", "", "-x"}, [](E& e) { e.temp = true; });
    add({"-d", "-x"}, [](E& e) { e.temp = true; });
    add({"-o", "-sx"}, [](E& e) { e.machine = e.temp = true; });
    add({"-xdName"}, [](E& e) { e.temp = true, e.dsn = "Name"; });
    add({"-ax", "-b;"}, [](E& e) { e.standardSql = e.temp = true, e.separator = ";"; });
    add({"-dNamea"}, [](E& e) { e.dsn = "Namea"; });
    add({"-dxName"}, [](E& e) { e.dsn = "xName"; });
    add({"-s", "-u"}, [](E&) {});
    add({"-us"}, [](E& e) { e.machine = true; });
    add({"-S", "-D", "-X", "-q"}, [](E&) {});
    add({"stray", "-", "/", "word"}, [](E&) {});
    add({"-UuserX", "-Ppass"}, [](E& e) { e.login = "userX", e.password = "pass"; });
    add({"-U", "bob", "-P", "p;w"}, [](E& e) { e.login = "bob", e.password = "p;w"; });
    add({"-o", "a.mdb", "-o", "b.mdb"}, [](E& e) { e.output = "b.mdb"; });
    add({"-bGO", "-b;"}, [](E& e) { e.separator = ";"; });
    add({"-b"}, [](E&) {});
    add({"-mx"}, [](E&) {});
    add({"-m", "file.mdb"}, [](E&) {});
    add({"-e", "<empty>", "-m"}, [](E&) {});
    add({"-m", "-e", "<empty>"}, [](E& e) { e.emptyDb = "<empty>"; });
    add({"-e<empty>"}, [](E& e) { e.emptyDb = "<empty>"; });
    add({"-i", "<dir>"}, [](E& e) { e.command = "<dir>"; });
    add({"-i<missing>"}, [](E& e) { e.outcome = ParseOutcome::MissingFile; });
    add({"-e"}, [](E& e) { e.outcome = ParseOutcome::MissingFile; });
    add({"-i", "<missing>", "-h"}, [](E& e) { e.outcome = ParseOutcome::MissingFile; });
    add({"-dA", "-h", "-i", "<missing>"},
        [](E& e) { e.outcome = ParseOutcome::HelpShown, e.dsn = "A"; });
    add({"-t"}, [](E& e) { e.transaction = true; });
    add({"-tx", "-ts"}, [](E& e) { e.transaction = e.temp = e.machine = true; });
    add({"-cxt", "-dtName"},
        [](E& e) { e.create = e.temp = e.transaction = true, e.dsn = "tName"; });
    add({"-T"}, [](E&) {});
    add({"-xh", "-dB"}, [](E& e) { e.outcome = ParseOutcome::HelpShown, e.temp = true; });
    vorla::test::CheckOptionRows(rows);
}

TEST(Options, MissingFileMessagesNameTheCheckedValue) {
    RegisterStringTable();
    struct {
        std::vector<std::string> args;
        const char* message;
    } rows[] = {
        {{"-i", "nosuch.sql"}, "Command file 'nosuch.sql' does not exist.\n"},
        {{"-inosuch.sql"}, "Command file 'nosuch.sql' does not exist.\n"},
        {{"-e", "none.mdb"}, "Empty MS-Access db file 'none.mdb' does not exist.\n"},
        {{"-e"}, "Empty MS-Access db file '' does not exist.\n"},
        {{"-i", "-x"}, "Command file '' does not exist.\n"},
    };
    for (auto& row : rows) {
        CRunCmd cmd;
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(vorla::test::ParseArgs(cmd, row.args, out, err), ParseOutcome::MissingFile);
        EXPECT_EQ(err.str(), row.message);
        EXPECT_EQ(out.str(), "");
    }
}

}  // namespace
