#include "app/Options.h"

#include "ParseArgs.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "framework/Console.h"
#include "res/Resource.h"
#include "testlib/TempDir.h"

namespace {

using vorla::test::ScopedTempDir;
using vorla::test::WriteFileBytes;

struct Expect {
    ParseOutcome outcome = ParseOutcome::Run;
    std::string dsn;
    std::string description;
    bool create = false;
    bool temp = false;
    bool machine = false;
    std::string output;
    std::string emptyDb;
    std::string command;
    std::string separator;
    std::string login;
    std::string password;
};

struct Row {
    std::vector<std::string> args;
    Expect expect;
};

// "<script>" is an existing script file, "<dir>" an existing directory,
// "<empty>" an existing empty-database file, "<missing>" a name that does
// not exist.
std::vector<Row> Rows() {
    std::vector<Row> rows;
    auto add = [&](std::vector<std::string> args, auto&& setup) {
        Row row{std::move(args), Expect()};
        setup(row.expect);
        rows.push_back(row);
    };
    add({"-m2", "-o", "new.mdb", "-cx", "-i", "<script>", "-b", "GO"}, [](Expect& e) {
        e.output = "new.mdb", e.create = e.temp = true, e.command = "<script>", e.separator = "GO";
    });
    add({"/c", "Sales", "/x"},
        [](Expect& e) { e.create = e.temp = true, e.description = "Sales"; });
    add({"-cx", "word"}, [](Expect& e) { e.create = true, e.description = "word"; });
    add({"-cx"}, [](Expect& e) { e.create = e.temp = true; });
    add({"-c", "-x"}, [](Expect& e) { e.create = e.temp = true; });
    add({"-cxdName"}, [](Expect& e) { e.create = e.temp = true, e.dsn = "Name"; });
    add({"-dName"}, [](Expect& e) { e.dsn = "Name"; });
    add({"-dName", "-x"}, [](Expect& e) { e.dsn = "Name", e.temp = true; });
    add({"-dName", "Other"}, [](Expect& e) { e.dsn = "Other"; });
    add({"-d", "", "-x"}, [](Expect& e) { e.temp = true; });
    add({"-d", "-x"}, [](Expect& e) { e.temp = true; });
    add({"-o", "-sx"}, [](Expect& e) { e.machine = e.temp = true; });
    add({"-xdName"}, [](Expect& e) { e.temp = true, e.dsn = "Name"; });
    add({"-dxName"}, [](Expect& e) { e.dsn = "xName"; });
    add({"-s", "-u"}, [](Expect&) {});
    add({"-us"}, [](Expect& e) { e.machine = true; });
    add({"-S", "-D", "-X", "-q"}, [](Expect&) {});
    add({"stray", "-", "/", "word"}, [](Expect&) {});
    add({"-UuserX", "-Ppass"}, [](Expect& e) { e.login = "userX", e.password = "pass"; });
    add({"-U", "bob", "-P", "p;w"}, [](Expect& e) { e.login = "bob", e.password = "p;w"; });
    add({"-o", "a.mdb", "/o", "b.mdb"}, [](Expect& e) { e.output = "b.mdb"; });
    add({"-bGO", "-b;"}, [](Expect& e) { e.separator = ";"; });
    add({"-b"}, [](Expect&) {});
    add({"-mx"}, [](Expect&) {});
    add({"-m", "file.mdb"}, [](Expect&) {});
    add({"-e", "<empty>", "-m"}, [](Expect&) {});
    add({"-m", "-e", "<empty>"}, [](Expect& e) { e.emptyDb = "<empty>"; });
    add({"-e<empty>"}, [](Expect& e) { e.emptyDb = "<empty>"; });
    add({"-i", "<dir>"}, [](Expect& e) { e.command = "<dir>"; });
    add({"-i<missing>"}, [](Expect& e) { e.outcome = ParseOutcome::MissingFile; });
    add({"-e"}, [](Expect& e) { e.outcome = ParseOutcome::MissingFile; });
    add({"-i", "<missing>", "-h"}, [](Expect& e) { e.outcome = ParseOutcome::MissingFile; });
    add({"-dA", "-h", "-i", "<missing>"},
        [](Expect& e) { e.outcome = ParseOutcome::HelpShown, e.dsn = "A"; });
    add({"/xh", "-dB"}, [](Expect& e) { e.outcome = ParseOutcome::HelpShown, e.temp = true; });
    return rows;
}

std::string Join(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args) {
        text += "[" + arg + "] ";
    }
    return text;
}

TEST(Options, EveryRuleOfTheOptionTable) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("setup.sql"), "SELECT 1\n");
    WriteFileBytes(dir.File("empty.mdb"), "");
    // Relative names: an absolute POSIX path begins with '/', which starts an
    // option group when it stands as an argument of its own.
    char before[4096];
    ASSERT_NE(GetCurrentDirectoryA(sizeof before, before), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.Path().c_str()));
    auto substitute = [&](std::string text) {
        const std::pair<const char*, std::string> keys[] = {
            {"<script>", "setup.sql"},
            {"<dir>", "."},
            {"<empty>", "empty.mdb"},
            {"<missing>", "missing.sql"},
        };
        for (const auto& key : keys) {
            size_t pos = text.find(key.first);
            if (pos != std::string::npos) {
                text.replace(pos, std::string(key.first).size(), key.second);
            }
        }
        return text;
    };

    RegisterStringTable();
    for (const Row& row : Rows()) {
        SCOPED_TRACE(Join(row.args));
        std::vector<std::string> args;
        for (const std::string& arg : row.args) {
            args.push_back(substitute(arg));
        }
        CRunCmd cmd;
        std::ostringstream out;
        std::ostringstream err;
        const ParseOutcome outcome = vorla::test::ParseArgs(cmd, args, out, err);
        const Expect& e = row.expect;
        EXPECT_EQ(outcome, e.outcome);
        EXPECT_EQ(std::string(cmd.m_strDsn), e.dsn);
        EXPECT_EQ(std::string(cmd.m_strDescription), e.description);
        EXPECT_EQ(cmd.m_bCreateDsn != 0, e.create);
        EXPECT_EQ(cmd.m_bTempDsn != 0, e.temp);
        EXPECT_EQ(cmd.m_hRootKey, e.machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER);
        EXPECT_EQ(std::string(cmd.m_strOutputFile), e.output);
        EXPECT_EQ(std::string(cmd.m_strEmptyDb), substitute(e.emptyDb));
        EXPECT_EQ(std::string(cmd.m_strCommandFile),
                  e.outcome == ParseOutcome::MissingFile ? std::string() : substitute(e.command));
        EXPECT_EQ(std::string(cmd.m_strBatchSeparator), e.separator);
        EXPECT_EQ(std::string(cmd.m_strLogin), e.login);
        EXPECT_EQ(std::string(cmd.m_strPassword), e.password);
        EXPECT_EQ(out.str().empty(), e.outcome != ParseOutcome::HelpShown);
        EXPECT_EQ(err.str().empty(), e.outcome != ParseOutcome::MissingFile) << err.str();
    }
    ASSERT_TRUE(SetCurrentDirectoryA(before));
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
