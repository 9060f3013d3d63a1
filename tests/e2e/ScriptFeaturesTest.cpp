// Script features end to end on SQLite, run by a shell as a user would: the
// script from standard input, variables and included files, results, and the
// progress line of a quiet run on a terminal (under script(1)'s
// pseudo-terminal).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Banner.h"
#include "Site.h"
#include "testlib/Process.h"
#include "testlib/TempDir.h"

namespace {

using namespace vorla::test;

TEST(ScriptFeatures, StandardInputVariablesIncludesResultsAndProgress) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        std::string command;  // for sh -c, with $VORLA the program
        std::function<void(const std::string& out)> checkOut;
        std::string err;
        std::string rows;  // SELECT * FROM t afterwards
    };
    const std::string connected = std::string(kBanner) + "\nConnecting to 'VORLA1'  . . . done!\n";
    const std::string closing = "Closing connection.\n";
    std::string slow =
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
        "WHERE x < 20000000) SELECT count(*) FROM c\nGO\n";
    for (int i = 0; i < 3; ++i) {
        slow += "INSERT INTO t VALUES (" + std::to_string(i) + ", NULL)\nGO\n";
    }
    const Case cases[] = {
        {"-i - from a pipe, quiet",
         {},
         "printf 'CREATE TABLE t (x INTEGER, y TEXT)\\nGO\\nINSERT INTO t VALUES (1, 2)\\n' | "
         "\"$VORLA\" -m2 -o a.mdb -cx -i - -b GO -q",
         [&](const std::string& out) { EXPECT_EQ(out, connected + closing); },
         "Using Template File: empty2k.mdb\n",
         "1|2\n"},
        {"-i - from a file, with a variable, an include and a table",
         {{"s.sql",
           "CREATE TABLE $(TBL) (x INTEGER, y TEXT)\nGO\n:r rows.sql\nSELECT * FROM $(tbl)\n"},
          {"rows.sql", "INSERT INTO $(tbl) VALUES (1, NULL)\nGO\n"}},
         "\"$VORLA\" -m2 -o a.mdb -cx -i - -b GO -v tbl=t -r < s.sql",
         [&](const std::string& out) {
             EXPECT_EQ(out, connected +
                                "Executing: CREATE TABLE t (x INTEGER, y TEXT)\n\n"
                                "Executing: INSERT INTO t VALUES (1, NULL)\n\n"
                                "Executing: SELECT * FROM t\n\n"
                                " x | y\n---+------\n 1 | NULL\n(1 row)\n\n" +
                                closing);
         },
         "Using Template File: empty2k.mdb\n",
         "1|NULL\n"},
        {"a quiet run on a terminal shows its progress, then clears it",
         {{"slow.sql", "CREATE TABLE t (x INTEGER, y TEXT)\nGO\n" + slow}},
         "script -qec '\"$VORLA\" -m2 -o a.mdb -cx -i slow.sql -b GO -q' /dev/null",
         [](const std::string& out) {
             const size_t shown = out.find("% of the script read, 2 statements, ");
             EXPECT_NE(shown, std::string::npos) << out;
             const size_t cleared = out.find("      \rClosing connection.", shown);
             EXPECT_NE(cleared, std::string::npos) << out;
         },
         "",
         "0|NULL\n1|NULL\n2|NULL\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Site site;
        for (const auto& [name, text] : c.files) {
            WriteFileBytes(site.File(name), text);
        }
        ProcessOptions options = site.Options();
        options.env.push_back({"VORLA", VORLA_BIN});
        const ProcessResult result = RunProcess({"/bin/sh", "-c", c.command}, options);
        c.checkOut(result.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(Query(site.File("a.mdb"), "SELECT * FROM t"), c.rows);
    }
}

}  // namespace
