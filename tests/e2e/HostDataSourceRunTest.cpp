// Whole runs of the built program on the host's own data sources: a
// throwaway PostgreSQL server of the test's, reached through data sources in
// the test's user and system odbc.ini, and "--" comments on PostgreSQL and on
// the embedded SQLite stand-in.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "Banner.h"
#include "Site.h"
#include "platform/HostDataSources.h"
#include "testlib/PgCluster.h"

namespace {

using namespace vorla::test;
using Scope = HostOdbcConfig::Scope;

struct Source {
    Scope scope;
    std::string name;
};

struct PgRunCase {
    const char* name;
    std::vector<Source> sources;
    std::string script;
    std::vector<std::string> args;
    std::function<ExpectedStreams(const PgCluster&)> expected;
    int exitCode;
    // Runs on the site of the first run, with its registry in use here.
    std::function<void(const PgCluster&, const std::string& database, const Site&)> check;
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
// site whose data sources name a new database of the cluster.
void ExpectPgRun(const PgCluster& pg, const PgRunCase& c) {
    static int databases = 0;
    for (const bool merged : {false, true}) {
        const std::string database = "run" + std::to_string(++databases);
        pg.Psql("CREATE DATABASE " + database + " OWNER alice", "postgres");
        Site site;
        for (const Source& source : c.sources) {
            site.HostOdbc().AddDataSource(source.scope, source.name, pg.DataSource(database));
        }
        WriteFileBytes(site.File("s.sql"), c.script);
        std::vector<std::string> argv{VORLA_BIN};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const ExpectedStreams expected = c.expected(pg);
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
            c.check(pg, database, site);
        }
    }
}

const std::vector<std::string> kCredentials = {"-U", "alice", "-P", "secret"};

std::vector<std::string> Args(std::vector<std::string> first,
                              const std::vector<std::string>& rest) {
    first.insert(first.end(), kCredentials.begin(), kCredentials.end());
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
}

const char* const kTwoBatches =
    "CREATE TABLE t (id integer, name text)\n"
    "GO\n"
    "INSERT INTO t VALUES (1, $$one$$)\n"
    "GO\n";

ExpectedStreams Connected(const std::string& dsn, const std::string& description = "") {
    ExpectedStreams s;
    s.Out(kBanner).OutPart("Connecting to '" + dsn + "' " + description + " . . .").Out(" done!");
    return s;
}

ExpectedStreams& Executing(ExpectedStreams& s, const std::string& sql) {
    return s.Out("Executing: " + sql).Out("");
}

ExpectedStreams TwoBatches(const std::string& dsn, const std::string& description = "") {
    ExpectedStreams s = Connected(dsn, description);
    Executing(s, "CREATE TABLE t (id integer, name text)");
    Executing(s, "INSERT INTO t VALUES (1, $$one$$)");
    s.Out("Closing connection.");
    return s;
}

// The rows are in the database, and VORLA made no desktop data source.
void RowsAndNoDesktopSource(const PgCluster& pg, const std::string& database,
                            const std::string& dsn) {
    EXPECT_EQ(pg.Psql("SELECT id, name FROM t", database), std::vector<std::string>{"1|one"});
    EXPECT_FALSE(StoreHolds(HKEY_CURRENT_USER, dsn)) << dsn;
    EXPECT_FALSE(StoreHolds(HKEY_LOCAL_MACHINE, dsn)) << dsn;
}

TEST(HostDataSources, ScriptsRunOnPostgreSql) {
    ScopedTempDir dir;
    const PgCluster pg(dir.File("pg"));
    VORLA_REQUIRE_PG(pg);
    const std::vector<PgRunCase> cases = {
        {"system data source",
         {{Scope::System, "PgSys"}},
         kTwoBatches,
         Args({"-d", "PgSys"}, {"-i", "s.sql", "-b", "GO"}),
         [](const PgCluster&) { return TwoBatches("PgSys"); },
         0,
         [](const PgCluster& p, const std::string& db, const Site&) {
             RowsAndNoDesktopSource(p, db, "PgSys");
         }},
        {"user data source",
         {{Scope::User, "PgUser"}},
         kTwoBatches,
         Args({"-d", "PgUser"}, {"-i", "s.sql", "-b", "GO"}),
         [](const PgCluster&) { return TwoBatches("PgUser"); },
         0,
         [](const PgCluster& p, const std::string& db, const Site&) {
             RowsAndNoDesktopSource(p, db, "PgUser");
         }},
        {"name with a blank",
         {{Scope::User, "Pg Sales"}},
         kTwoBatches,
         Args({"-d", "Pg Sales"}, {"-i", "s.sql", "-b", "GO"}),
         [](const PgCluster&) { return TwoBatches("Pg Sales"); },
         0,
         [](const PgCluster& p, const std::string& db, const Site&) {
             RowsAndNoDesktopSource(p, db, "Pg Sales");
         }},
        {"-c with a host name uses the host's",
         {{Scope::System, "PgSys"}},
         kTwoBatches,
         Args({"-d", "PgSys", "-c", "Sales"}, {"-i", "s.sql", "-b", "GO"}),
         [](const PgCluster&) { return TwoBatches("PgSys", "Sales"); },
         0,
         [](const PgCluster& p, const std::string& db, const Site&) {
             RowsAndNoDesktopSource(p, db, "PgSys");
         }},
        {"-cx -o with a host name uses the host's",
         {{Scope::System, "PgOnly"}},
         kTwoBatches,
         Args({"-d", "PgOnly", "-cx", "-o", "pg.mdb"}, {"-i", "s.sql", "-b", "GO"}),
         [](const PgCluster&) { return TwoBatches("PgOnly"); },
         0,
         [](const PgCluster& p, const std::string& db, const Site& site) {
             RowsAndNoDesktopSource(p, db, "PgOnly");
             struct stat st;
             EXPECT_NE(stat(site.File("pg.mdb").c_str(), &st), 0) << "no file was made";
         }},
        {"wrong password",
         {{Scope::User, "PgUser"}},
         kTwoBatches,
         {"-d", "PgUser", "-U", "alice", "-P", "wrong", "-i", "s.sql", "-b", "GO"},
         [](const PgCluster& p) {
             ExpectedStreams s;
             s.Out(kBanner).OutPart("Connecting to 'PgUser'  . . .");
             s.Err("Database connection error 'connection to server at \"127.0.0.1\", port " +
                   std::to_string(p.Port()) +
                   " failed: FATAL:  password authentication failed for user \"alice\"\n'");
             return s;
         },
         255,
         [](const PgCluster& p, const std::string& db, const Site&) {
             EXPECT_EQ(p.Psql("SELECT count(*) FROM pg_tables WHERE tablename = 't'", db),
                       std::vector<std::string>{"0"});
         }},
        {"third batch fails",
         {{Scope::System, "PgSys"}},
         "CREATE TABLE t (id integer)\nGO\nINSERT INTO t VALUES (1)\nGO\n"
         "INSERT INTO missing VALUES (2)\nGO\nINSERT INTO t VALUES (3)\nGO\n",
         Args({"-d", "PgSys"}, {"-i", "s.sql", "-b", "GO"}),
         [](const PgCluster&) {
             ExpectedStreams s = Connected("PgSys");
             Executing(s, "CREATE TABLE t (id integer)");
             Executing(s, "INSERT INTO t VALUES (1)");
             Executing(s, "INSERT INTO missing VALUES (2)");
             s.Err("Script error: ERROR: relation \"missing\" does not exist;")
                 .Err("Error while executing the query")
                 .Err("INSERT INTO missing VALUES (2)");
             s.Out("Closing connection.");
             return s;
         },
         255,
         [](const PgCluster& p, const std::string& db, const Site&) {
             EXPECT_EQ(p.Psql("SELECT id FROM t", db), std::vector<std::string>{"1"});
         }},
        {"-- comments end with their line",
         {{Scope::User, "PgUser"}},
         "CREATE TABLE t (id integer)\nGO\nINSERT INTO t SELECT generate_series(1, 5)\nGO\n"
         "DELETE FROM t -- only the test row\nWHERE id = 5\nGO\n"
         "-- the x table\nCREATE TABLE x (a integer)\nGO\n",
         Args({"-d", "PgUser"}, {"-i", "s.sql", "-b", "GO"}),
         [](const PgCluster&) {
             ExpectedStreams s = Connected("PgUser");
             Executing(s, "CREATE TABLE t (id integer)");
             Executing(s, "INSERT INTO t SELECT generate_series(1, 5)");
             Executing(s, "DELETE FROM t -- only the test row WHERE id = 5");
             Executing(s, "-- the x table CREATE TABLE x (a integer)");
             s.Out("Closing connection.");
             return s;
         },
         0,
         [](const PgCluster& p, const std::string& db, const Site&) {
             EXPECT_EQ(p.Psql("SELECT string_agg(id::text, ',' ORDER BY id) FROM t", db),
                       std::vector<std::string>{"1,2,3,4"});
             EXPECT_EQ(p.Psql("SELECT count(*) FROM x", db), std::vector<std::string>{"0"});
         }},
        // The example of the README, with its script from examples/.
        {"README example",
         {{Scope::System, "Reports"}},
         ReadFileBytes(VORLA_EXAMPLES_DIR "/reports.sql"),
         Args({"-d", "Reports"}, {"-i", "s.sql", "-b", "GO"}),
         [](const PgCluster&) {
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
             s.Out("Closing connection.");
             return s;
         },
         0,
         [](const PgCluster& p, const std::string& db, const Site&) {
             EXPECT_EQ(p.Psql("SELECT region, net, gross FROM monthly ORDER BY region", db),
                       (std::vector<std::string>{"North|149.50|179.40", "South|250.50|300.60"}));
         }},
    };
    for (const PgRunCase& c : cases) {
        ExpectPgRun(pg, c);
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
