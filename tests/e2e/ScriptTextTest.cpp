// Scripts reach the database as they are written: blanks inside texts,
// several statements on a line, separators and apostrophes inside texts and
// comments. Run with the built program on the embedded SQLite default and on
// throwaway PostgreSQL and MariaDB servers, and checked with each engine's
// own client.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Site.h"
#include "testlib/TestServer.h"

namespace {

using namespace vorla::test;
using Rows = std::vector<std::string>;

struct Engine {
    // Quotes a text for a script of this engine (neither `;` nor an
    // apostrophe may stand in a $$ text: only double quotes are opaque).
    std::function<std::string(const std::string&)> text;
    // The options that reach the database; the first run also makes it.
    std::vector<std::string> firstRun;
    std::vector<std::string> laterRun;
    // The rows of a query, columns joined by '|'.
    std::function<Rows(const std::string& sql)> query;
    // The SQL expression for a line feed.
    std::string lineFeed;
    // What the first run writes to standard error.
    std::string firstErr;
};

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// The rows of the table of mended cases, as one script with `;` between
// statements, and a second script without a separator.
void ExpectScriptsKeptAsWritten(const Site& site, const Engine& e, const std::string& extra,
                                const Rows& extraRows) {
    const std::string first =
        "CREATE TABLE a (id integer, name varchar(40));\n"
        "BEGIN; INSERT INTO a VALUES (1, " +
        e.text("Two  spaces") +
        "); COMMIT;\n"
        "INSERT INTO a VALUES (2, " +
        e.text("three  \n  lines \n") +
        "); "
        "INSERT INTO a VALUES (4, " +
        e.text("four") +
        ");\n"
        "/* close Bob's account */\n"
        "DELETE FROM a WHERE id = 4;\n"
        "INSERT INTO a VALUES (5, " +
        e.text("five") + "); INSERT INTO a VALUES (6, " + e.text("six") +
        ");\n"
        "DELETE FROM a -- only closed accounts; see ticket 42\n"
        "WHERE id = 5;\n" +
        extra;
    const std::string second =
        "/* the last row\n\ncomes after a blank line */\n"
        "INSERT INTO a VALUES (9, " +
        e.text("nine") + ")\n";
    WriteFileBytes(site.File("first.sql"), first);
    WriteFileBytes(site.File("second.sql"), second);

    std::vector<std::string> argv{VORLA_BIN};
    argv.insert(argv.end(), e.firstRun.begin(), e.firstRun.end());
    argv.insert(argv.end(), {"-i", "first.sql", "-b", ";"});
    ProcessResult run = RunProcess(argv, site.Options());
    EXPECT_EQ(run.err, e.firstErr);
    EXPECT_EQ(run.exitCode, 0);

    argv = {VORLA_BIN};
    argv.insert(argv.end(), e.laterRun.begin(), e.laterRun.end());
    argv.insert(argv.end(), {"-i", "second.sql"});
    run = RunProcess(argv, site.Options());
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);

    Rows expected = {"1|Two  spaces", "2|three  <LF>  lines <LF>", "6|six", "9|nine"};
    expected.insert(expected.end() - 1, extraRows.begin(), extraRows.end());
    EXPECT_EQ(e.query("SELECT id, replace(name, " + e.lineFeed + ", '<LF>') FROM a ORDER BY id"),
              expected);
}

// Texts with a separator and an apostrophe, where double quotes make texts.
const std::string kQuotedTexts = "INSERT INTO a VALUES (7, \"x;y\"), (8, \"it's\");\n";
const Rows kQuotedRows = {"7|x;y", "8|it's"};

const std::vector<std::string> kCredentials = {"-U", "alice", "-P", "se;cr}et"};

std::vector<std::string> ServerArgs() {
    std::vector<std::string> args{"-d", "Db"};
    args.insert(args.end(), kCredentials.begin(), kCredentials.end());
    return args;
}

Engine ServerEngine(const TestServer& server, const Site& site,
                    std::function<std::string(const std::string&)> text, const char* lineFeed) {
    server.CreateDatabase("kept");
    site.HostOdbc().AddDataSource(HostOdbcConfig::Scope::User, "Db", server.DataSource("kept"));
    return {std::move(text), ServerArgs(),
            ServerArgs(),    [&server](const std::string& sql) { return server.Sql(sql, "kept"); },
            lineFeed,        ""};
}

TEST(ScriptText, KeptAsWrittenOnSqlite) {
    const Site site;
    const std::string file = site.File("c.mdb");
    const Engine sqlite{Quoted,
                        {"-m", "-o", "c.mdb", "-d", "Db", "-c"},
                        {"-d", "Db"},
                        [file](const std::string& sql) {
                            Rows rows;
                            std::string all = Query(file, sql);
                            for (size_t end; (end = all.find('\n')) != std::string::npos;) {
                                rows.push_back(all.substr(0, end));
                                all.erase(0, end + 1);
                            }
                            return rows;
                        },
                        "char(10)",
                        "Using Template File: empty.mdb\n"};
    ExpectScriptsKeptAsWritten(site, sqlite, kQuotedTexts, kQuotedRows);
}

// A text that spans lines keeps the script's own line end, in both forms of
// script; lines outside texts are joined as before.
TEST(ScriptText, TextsKeepTheScriptsLineEnds) {
    const Site site;
    const struct {
        const char* lineEnd;
        const char* hex;
    } ends[] = {{"\n", "610A62"}, {"\r\n", "610D0A62"}, {"\r", "610D62"}};
    int run = 0;
    for (const auto& end : ends) {
        for (const bool standard : {false, true}) {
            const std::string le = end.lineEnd;
            const std::string q = standard ? "'" : "\"";
            WriteFileBytes(site.File("s.sql"), "CREATE TABLE t (v TEXT);" + le +
                                                   "INSERT INTO t VALUES (" + q + "a" + le + "b" +
                                                   q + ");" + le);
            const std::string db = "t" + std::to_string(++run) + ".mdb";
            std::vector<std::string> argv = {VORLA_BIN,         "-m", "-o", db, "-cx", "-i",
                                             site.File("s.sql")};
            const std::vector<std::string> form =
                standard ? std::vector<std::string>{"-a"} : std::vector<std::string>{"-b", ";"};
            argv.insert(argv.end(), form.begin(), form.end());
            const ProcessResult result = RunProcess(argv, site.Options());
            EXPECT_EQ(result.exitCode, 0) << result.err;
            EXPECT_EQ(Query(site.File(db), "SELECT hex(v) FROM t"), std::string(end.hex) + "\n")
                << (standard ? "-a, " : "") << end.hex;
        }
    }
}

TEST(ScriptText, KeptAsWrittenOnPostgreSql) {
    ScopedTempDir dir;
    const PgCluster pg(dir.File("pg"));
    VORLA_REQUIRE_SERVER(pg);
    const Site site;
    const Engine e = ServerEngine(
        pg, site, [](const std::string& s) { return "$$" + s + "$$"; }, "chr(10)");
    // Double quotes make names here: a table and a column whose names hold
    // the separator and an apostrophe.
    ExpectScriptsKeptAsWritten(site, e, "CREATE TABLE \"x;y\" (\"it's\" integer);\n", {});
    EXPECT_EQ(pg.Sql("SELECT table_name, column_name FROM information_schema.columns "
                     "WHERE table_name = 'x;y'",
                     "kept"),
              Rows{"x;y|it's"});
}

TEST(ScriptText, KeptAsWrittenOnMariaDb) {
    ScopedTempDir dir;
    const MariaDbServer maria(dir.File("maria"));
    VORLA_REQUIRE_SERVER(maria);
    const Site site;
    const Engine e = ServerEngine(maria, site, Quoted, "CHAR(10)");
    ExpectScriptsKeptAsWritten(site, e, kQuotedTexts, kQuotedRows);
}

}  // namespace
