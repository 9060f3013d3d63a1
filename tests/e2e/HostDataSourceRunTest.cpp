// Whole runs of the built program on the host's own data sources: throwaway
// PostgreSQL and MariaDB servers of the test's, reached through data sources
// in the test's user and system odbc.ini, and "--" comments there and on the
// embedded SQLite stand-in.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "Banner.h"
#include "Site.h"
#include "platform/HostDataSources.h"
#include "testlib/TestServer.h"

namespace {

using namespace vorla::test;
using Scope = HostOdbcConfig::Scope;

struct Source {
    Scope scope;
    std::string name;
};

struct ServerRunCase {
    const char* name;
    std::vector<Source> sources;
    std::string script;
    std::vector<std::string> args;
    std::function<ExpectedStreams(const TestServer&, const std::string& database)> expected;
    int exitCode;
    // Runs on the site of the first run, with its registry in use here.
    std::function<void(const TestServer&, const std::string& database, const Site&)> check;
    // Files beside the script s.sql, by name.
    std::vector<std::pair<std::string, std::string>> files = {};
};

// Whether the registry store itself (not the host's view in it) holds the
// data source under `root`: VORLA made a desktop data source of that name.
bool StoreHolds(HKEY root, const std::string& name) {
    vorla::platform::ShowHostDataSources(false);
    const bool holds = Listed(root, name) || KeyExists(root, "SOFTWARE\\ODBC\\ODBC.INI\\" + name);
    vorla::platform::ShowHostDataSources(true);
    return holds;
}

// Runs the case twice, with the streams apart and merged, each time on a new
// site whose data sources name a new database of the server.
void ExpectServerRun(const TestServer& server, const ServerRunCase& c) {
    static int databases = 0;
    for (const bool merged : {false, true}) {
        const std::string database = "run" + std::to_string(++databases);
        server.CreateDatabase(database);
        Site site;
        for (const Source& source : c.sources) {
            site.HostOdbc().AddDataSource(source.scope, source.name, server.DataSource(database));
        }
        WriteFileBytes(site.File("s.sql"), c.script);
        for (const auto& [name, text] : c.files) {
            WriteFileBytes(site.File(name), text);
        }
        std::vector<std::string> argv{VORLA_BIN};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const ExpectedStreams expected = c.expected(server, database);
        if (merged) {
            const ProcessResult result = RunProcessMerged(argv, site.Options());
            EXPECT_EQ(result.out, expected.MergedText()) << c.name;
            EXPECT_EQ(result.exitCode, c.exitCode) << c.name;
            continue;
        }
        const ProcessResult result = RunProcess(argv, site.Options());
        EXPECT_EQ(result.out, expected.OutText()) << c.name;
        EXPECT_EQ(result.err, expected.ErrText()) << c.name;
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name;
        if (c.check) {
            site.UseRegistry();
            c.check(server, database, site);
        }
    }
}

// The password holds what ODBC must put in braces.
const std::vector<std::string> kCredentials = {"-U", "alice", "-P", "se;cr}et"};

std::vector<std::string> Args(std::vector<std::string> first,
                              const std::vector<std::string>& rest) {
    first.insert(first.end(), kCredentials.begin(), kCredentials.end());
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
}

// Creates a table and inserts one row, its text literal as the server
// quotes texts ($$one$$ or "one": an apostrophe would cut the line).
std::string TwoBatchScript(const std::string& one) {
    return "CREATE TABLE t (id integer, name text)\nGO\nINSERT INTO t VALUES (1, " + one +
           ")\nGO\n";
}

ExpectedStreams Connected(const std::string& dsn, const std::string& description = "") {
    ExpectedStreams s;
    s.Out(kBanner).OutPart("Connecting to '" + dsn + "' " + description + " . . .").Out(" done!");
    return s;
}

ExpectedStreams& Executing(ExpectedStreams& s, const std::string& sql) {
    return s.Out("Executing: " + sql).Out("");
}

// The rows are in the database, and VORLA made no desktop data source.
void RowsAndNoDesktopSource(const TestServer& server, const std::string& database,
                            const std::string& dsn) {
    EXPECT_EQ(server.Sql("SELECT id, name FROM t", database), std::vector<std::string>{"1|one"});
    EXPECT_FALSE(StoreHolds(HKEY_CURRENT_USER, dsn)) << dsn;
    EXPECT_FALSE(StoreHolds(HKEY_LOCAL_MACHINE, dsn)) << dsn;
}

// A run of the two batches on a host data source, which is used as it is.
ServerRunCase TwoBatchRun(const char* name, Scope scope, const std::string& dsn,
                          const std::string& one, std::vector<std::string> options = {},
                          const std::string& description = "") {
    std::vector<std::string> args{"-d", dsn};
    args.insert(args.end(), options.begin(), options.end());
    return {name,
            {{scope, dsn}},
            TwoBatchScript(one),
            Args(args, {"-i", "s.sql", "-b", "GO"}),
            [dsn, one, description](const TestServer&, const std::string&) {
                ExpectedStreams s = Connected(dsn, description);
                Executing(s, "CREATE TABLE t (id integer, name text)");
                Executing(s, "INSERT INTO t VALUES (1, " + one + ")");
                return s.Out("Closing connection.");
            },
            0,
            [dsn](const TestServer& server, const std::string& db, const Site& site) {
                RowsAndNoDesktopSource(server, db, dsn);
                struct stat st;
                EXPECT_NE(stat(site.File("pg.mdb").c_str(), &st), 0) << "no file was made";
            }};
}

// The runs every server gets: user and system data sources, a name with a
// blank, -c and -cx -o with a host name, and "--" comments.
std::vector<ServerRunCase> CommonCases(const std::string& one) {
    return {
        TwoBatchRun("system data source", Scope::System, "PgSys", one),
        TwoBatchRun("user data source", Scope::User, "PgUser", one),
        TwoBatchRun("name with a blank", Scope::User, "Pg Sales", one),
        TwoBatchRun("-c with a host name uses the host's", Scope::System, "PgSys", one,
                    {"-c", "Sales"}, "Sales"),
        TwoBatchRun("-cx -o with a host name uses the host's", Scope::System, "PgOnly", one,
                    {"-cx", "-o", "pg.mdb"}),
        {"-- comments end with their line",
         {{Scope::User, "PgUser"}},
         "CREATE TABLE t (id integer)\nGO\nINSERT INTO t VALUES (1), (2), (3), (4), (5)\nGO\n"
         "DELETE FROM t -- only the test row\nWHERE id = 5\nGO\n"
         "-- the x table\nCREATE TABLE x (a integer)\nGO\n",
         Args({"-d", "PgUser"}, {"-i", "s.sql", "-b", "GO"}),
         [](const TestServer&, const std::string&) {
             ExpectedStreams s = Connected("PgUser");
             Executing(s, "CREATE TABLE t (id integer)");
             Executing(s, "INSERT INTO t VALUES (1), (2), (3), (4), (5)");
             Executing(s, "DELETE FROM t -- only the test row WHERE id = 5");
             Executing(s, "-- the x table CREATE TABLE x (a integer)");
             return s.Out("Closing connection.");
         },
         0,
         [](const TestServer& server, const std::string& db, const Site&) {
             EXPECT_EQ(server.Sql("SELECT id FROM t ORDER BY id", db),
                       (std::vector<std::string>{"1", "2", "3", "4"}));
             EXPECT_EQ(server.Sql("SELECT count(*) FROM x", db), std::vector<std::string>{"0"});
         }},
    };
}

// A wrong password: the driver's message, nothing run (`tables` counts the
// database's tables named t).
ServerRunCase WrongPassword(std::function<std::string(const TestServer&)> message,
                            const std::string& tables) {
    return {"wrong password",
            {{Scope::User, "PgUser"}},
            TwoBatchScript("2"),
            {"-d", "PgUser", "-U", "alice", "-P", "wrong", "-i", "s.sql", "-b", "GO"},
            [message](const TestServer& server, const std::string&) {
                ExpectedStreams s;
                s.Out(kBanner).OutPart("Connecting to 'PgUser'  . . .");
                return s.Err("Database connection error '" + message(server) + "'");
            },
            255,
            [tables](const TestServer& server, const std::string& db, const Site&) {
                EXPECT_EQ(server.Sql(tables, db), std::vector<std::string>{"0"});
            }};
}

// The third of four batches fails: the first two stay, the fourth never runs.
// `error` gives the lines of the driver's message for the run's database.
using ErrorLines = std::function<std::vector<std::string>(const TestServer&, const std::string&)>;
struct Failing {
    const char* name;
    std::string lines;  // the third batch, from the script's line 5
    std::string shown;
    std::string where;  // the line that names the place
};
const Failing kMissingTable{"third batch fails", "INSERT INTO missing VALUES (2)\n",
                            "INSERT INTO missing VALUES (2)", "At line 5 of 's.sql'."};
// The database names a line inside the statement (MariaDB), or a token that
// stands on one line of it (PostgreSQL).
const Failing kDeepInside{"syntax error inside a long statement",
                          "INSERT INTO t VALUES\n(2),\n(3) oops,\n(4)\n",
                          "INSERT INTO t VALUES (2), (3) oops, (4)",
                          "At line 7 of 's.sql' (the statement begins at line 5)."};
ServerRunCase ThirdBatchFails(const Failing& failing, ErrorLines errorLines) {
    return {failing.name,
            {{Scope::System, "PgSys"}},
            "CREATE TABLE t (id integer)\nGO\nINSERT INTO t VALUES (1)\nGO\n" + failing.lines +
                "GO\nINSERT INTO t VALUES (3)\nGO\n",
            Args({"-d", "PgSys"}, {"-i", "s.sql", "-b", "GO"}),
            [errorLines, failing](const TestServer& server, const std::string& database) {
                const std::vector<std::string> error = errorLines(server, database);
                ExpectedStreams s = Connected("PgSys");
                Executing(s, "CREATE TABLE t (id integer)");
                Executing(s, "INSERT INTO t VALUES (1)");
                Executing(s, failing.shown);
                s.Err("Script error: " + error[0]);
                for (size_t i = 1; i < error.size(); ++i) {
                    s.Err(error[i]);
                }
                s.Err(failing.shown).Err(failing.where);
                return s.Out("Closing connection.");
            },
            255,
            [](const TestServer& server, const std::string& db, const Site&) {
                EXPECT_EQ(server.Sql("SELECT id FROM t", db), std::vector<std::string>{"1"});
            }};
}

TEST(HostDataSources, ScriptsRunOnPostgreSql) {
    ScopedTempDir dir;
    const PgCluster pg(dir.File("pg"));
    VORLA_REQUIRE_SERVER(pg);
    std::vector<ServerRunCase> cases = CommonCases("$$one$$");
    cases.push_back(WrongPassword(
        [](const TestServer& server) {
            return "connection to server at \"127.0.0.1\", port " + std::to_string(server.Port()) +
                   " failed: FATAL:  password authentication failed for user \"alice\"\n";
        },
        "SELECT count(*) FROM pg_tables WHERE tablename = 't'"));
    cases.push_back(ThirdBatchFails(kMissingTable, [](const TestServer&, const std::string&) {
        return std::vector<std::string>{"ERROR: relation \"missing\" does not exist;",
                                        "Error while executing the query"};
    }));
    cases.push_back(ThirdBatchFails(kDeepInside, [](const TestServer&, const std::string&) {
        return std::vector<std::string>{"ERROR: syntax error at or near \"oops\";",
                                        "Error while executing the query"};
    }));
    // A variable, an included file and what a query returns, as CSV the
    // same as psql's (run on a copy made by psql), quiet: nothing but the
    // connection and the rows.
    const std::string create = "CREATE TABLE $(tbl) (id integer, name text, note text);\n";
    const std::string insert =
        "INSERT INTO $(tbl) VALUES (1, 'Ann', NULL),\n(2, 'O''Brien, B', 'says \"hi\"\ntwice');\n";
    const std::string query = "SELECT id, name, note FROM people ORDER BY id";
    cases.push_back(
        {"variables, an include and CSV results",
         {{Scope::System, "PgSys"}},
         create + "\\ir more.sql\n" + query + ";\n",
         Args({"-d", "PgSys"}, {"-a", "-i", "s.sql", "-v", "TBL=people", "-q", "-r", "csv"}),
         [&pg, query, setup = create + insert](const TestServer&, const std::string& database) {
             const std::string copy = database + "_psql";
             pg.CreateDatabase(copy);
             std::string sql = setup;
             for (size_t at; (at = sql.find("$(tbl)")) != std::string::npos;) {
                 sql.replace(at, 6, "people");
             }
             pg.Sql(sql, copy);
             return Connected("PgSys").OutPart(pg.Csv(query, copy)).Out("Closing connection.");
         },
         0,
         nullptr,
         {{"more.sql", insert}}});
    // The example of the README, with its script from examples/: a PL/pgSQL
    // function whose body holds a "--" comment, and a view.
    cases.push_back(
        {"README example",
         {{Scope::System, "Reports"}},
         ReadFileBytes(VORLA_EXAMPLES_DIR "/reports.sql"),
         Args({"-d", "Reports"}, {"-i", "s.sql", "-b", "GO"}),
         [](const TestServer&, const std::string&) {
             ExpectedStreams s = Connected("Reports");
             Executing(s,
                       "CREATE TABLE sale ( id integer PRIMARY KEY, region text NOT NULL, -- "
                       "where it was sold amount numeric(10, 2) NOT NULL )");
             Executing(s,
                       "-- A PL/pgSQL function: its body keeps its line breaks, comments "
                       "included. CREATE FUNCTION with_tax(amount numeric) RETURNS numeric AS $$ "
                       "BEGIN -- the standard rate RETURN round(amount * 1.2, 2); END; $$ "
                       "LANGUAGE plpgsql");
             Executing(s,
                       "INSERT INTO sale (id, region, amount) VALUES (1, $$North$$, 100.00), (2, "
                       "$$South$$, 250.50), (3, $$North$$, 49.50)");
             Executing(s,
                       "CREATE VIEW monthly AS SELECT region, sum(amount) AS net, "
                       "with_tax(sum(amount)) AS gross FROM sale GROUP BY region");
             return s.Out("Closing connection.");
         },
         0,
         [](const TestServer& server, const std::string& db, const Site&) {
             EXPECT_EQ(server.Sql("SELECT region, net, gross FROM monthly ORDER BY region", db),
                       (std::vector<std::string>{"North|149.50|179.40", "South|250.50|300.60"}));
         }});
    for (const ServerRunCase& c : cases) {
        ExpectServerRun(pg, c);
    }
}

TEST(HostDataSources, ScriptsRunOnMariaDb) {
    ScopedTempDir dir;
    const MariaDbServer maria(dir.File("maria"));
    VORLA_REQUIRE_SERVER(maria);
    std::vector<ServerRunCase> cases = CommonCases("\"one\"");
    cases.push_back(WrongPassword(
        [](const TestServer&) {
            return "[ma-3.1.15]Access denied for user 'alice'@'localhost' (using password: YES)";
        },
        "SELECT count(*) FROM information_schema.tables WHERE "
        "table_schema = DATABASE() AND table_name = 't'"));
    // The message names the server's version, which point releases change.
    const std::string version = maria.Sql("SELECT VERSION()", "mysql")[0];
    cases.push_back(
        ThirdBatchFails(kMissingTable, [version](const TestServer&, const std::string& database) {
            return std::vector<std::string>{"[ma-3.1.15][" + version + "]Table '" + database +
                                            ".missing' doesn't exist"};
        }));
    cases.push_back(ThirdBatchFails(kDeepInside, [version](const TestServer&, const std::string&) {
        return std::vector<std::string>{
            "[ma-3.1.15][" + version +
                "]You have an error in your SQL syntax; check the manual that corresponds to your "
                "MariaDB server version for the right syntax to use near 'oops,",
            "(4)' at line 3"};
    }));
    // The client's two include commands, from the current directory.
    cases.push_back({"source and \\.",
                     {{Scope::User, "PgUser"}},
                     "CREATE TABLE inc (id integer);\nsource more.sql\n\\. more.sql;\n",
                     Args({"-d", "PgUser"}, {"-a", "-i", "s.sql"}),
                     [](const TestServer&, const std::string&) {
                         ExpectedStreams s = Connected("PgUser");
                         Executing(s, "CREATE TABLE inc (id integer)");
                         Executing(s, "INSERT INTO inc VALUES (1)");
                         Executing(s, "INSERT INTO inc VALUES (1)");
                         return s.Out("Closing connection.");
                     },
                     0,
                     [](const TestServer& server, const std::string& db, const Site&) {
                         EXPECT_EQ(server.Sql("SELECT count(*) FROM inc", db),
                                   std::vector<std::string>{"2"});
                     },
                     {{"more.sql", "INSERT INTO inc VALUES (1);\n"}}});
    // A statement without results that the driver runs outside a prepared
    // statement (a trigger with a compound body): the driver must not be
    // asked for further results it does not have (its SQLMoreResults
    // crashes there), and the batches after it run.
    cases.push_back(
        {"trigger with a compound body",
         {{Scope::User, "PgUser"}},
         "CREATE TABLE f (id integer)\nGO\n"
         "CREATE TRIGGER upd_f6 AFTER UPDATE ON f FOR EACH ROW BEGIN IF 1 THEN SET @a=1; END IF; "
         "END\nGO\nINSERT INTO f VALUES (6)\nGO\n",
         Args({"-d", "PgUser"}, {"-i", "s.sql", "-b", "GO"}),
         [](const TestServer&, const std::string&) {
             ExpectedStreams s = Connected("PgUser");
             Executing(s, "CREATE TABLE f (id integer)");
             Executing(s,
                       "CREATE TRIGGER upd_f6 AFTER UPDATE ON f FOR EACH ROW BEGIN IF 1 THEN SET "
                       "@a=1; END IF; END");
             Executing(s, "INSERT INTO f VALUES (6)");
             return s.Out("Closing connection.");
         },
         0,
         [](const TestServer& server, const std::string& db, const Site&) {
             EXPECT_EQ(server.Sql("SELECT trigger_name FROM information_schema.triggers WHERE "
                                  "trigger_schema = DATABASE()",
                                  db),
                       std::vector<std::string>{"upd_f6"});
             EXPECT_EQ(server.Sql("SELECT id FROM f", db), std::vector<std::string>{"6"});
         }});
    for (const ServerRunCase& c : cases) {
        ExpectServerRun(maria, c);
    }
}

// The registry tool shows the host's data sources where Windows keeps them,
// refuses to change them, and exports the store's own contents only.
TEST(HostDataSources, RegistryToolShowsThemAndKeepsThemOutOfExports) {
    Site site;
    site.HostOdbc().AddDataSource(Scope::System, "PgSys", {{"Driver", "PostgreSQL Unicode"}});
    const ProcessOptions options = site.Options();
    const ProcessResult query = RunProcess(
        {VORLA_REG_BIN, "query", "HKLM\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources"}, options);
    EXPECT_EQ(query.out,
              "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources\n"
              "    PgSys    REG_SZ    PostgreSQL Unicode\n\n");
    EXPECT_EQ(query.exitCode, 0);
    const ProcessResult add =
        RunProcess({VORLA_REG_BIN, "add", "HKLM\\SOFTWARE\\ODBC\\ODBC.INI\\PgSys", "/v", "Port",
                    "/d", "5433", "/f"},
                   options);
    EXPECT_EQ(add.err, "ERROR: Access is denied.\n");
    EXPECT_EQ(add.exitCode, 1);
    const ProcessResult exported = RunProcess(
        {VORLA_REG_BIN, "export", "HKLM\\SOFTWARE\\ODBC", site.File("odbc.reg"), "/y"}, options);
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(ReadFileBytes(site.File("odbc.reg")),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources]\r\n\r\n");
}

// The same "--" cases on the embedded default database.
TEST(HostDataSources, LineCommentsEndWithTheirLineOnSqlite) {
    ExpectRun(
        [](Site& site) {
            WriteFileBytes(site.File("s.sql"),
                           "CREATE TABLE t (id INTEGER)\nGO\n"
                           "INSERT INTO t VALUES (1), (2), (5)\nGO\n"
                           "DELETE FROM t -- only the test row\nWHERE id = 5\nGO\n"
                           "-- the x table\nCREATE TABLE x (a INTEGER)\nGO\n");
        },
        {"-m", "-o", "c.mdb", "-cx", "-i", "s.sql", "-b", "GO"},
        [](const Site&) {
            ExpectedStreams s;
            s.Out(kBanner).Err("Using Template File: empty.mdb");
            s.OutPart("Connecting to 'VORLA1'  . . .").Out(" done!");
            Executing(s, "CREATE TABLE t (id INTEGER)");
            Executing(s, "INSERT INTO t VALUES (1), (2), (5)");
            Executing(s, "DELETE FROM t -- only the test row WHERE id = 5");
            Executing(s, "-- the x table CREATE TABLE x (a INTEGER)");
            return s.Out("Closing connection.");
        },
        0,
        [](const Site& site) {
            EXPECT_EQ(Query(site.File("c.mdb"), "SELECT group_concat(id) FROM t"), "1,2\n");
            EXPECT_EQ(Query(site.File("c.mdb"), "SELECT count(*) FROM x"), "0\n");
        });
}

}  // namespace
