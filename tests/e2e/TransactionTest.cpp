// Whole runs with -t on the three engines: the embedded SQLite stand-in and
// throwaway PostgreSQL and MariaDB servers. A script that fails, whose commit
// fails, or whose run is killed leaves none of its rows; one that succeeds
// leaves all of them. Each engine's own client reads the rows back.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Banner.h"
#include "Site.h"
#include "testlib/TestServer.h"

namespace {

using namespace vorla::test;

// Where a run of the cases goes: a fresh database holding an empty table
// t (id integer) for every run.
class Target {
public:
    virtual ~Target() = default;
    virtual const char* Name() const = 0;
    // Makes the database for a run on `site`; gives the options that reach it.
    virtual std::vector<std::string> Prepare(const Site& site) = 0;
    // The data source that the run connects to.
    virtual std::string Dsn() const = 0;
    // The number of rows in t after the run on `site`, through the engine's
    // own client.
    virtual std::string Rows(const Site& site) const = 0;
    // A batch that runs until the run is killed.
    virtual std::string Endless() const = 0;
    // Whether the engine commits a CREATE TABLE, and what came before it,
    // by itself.
    virtual bool DdlCommits() const { return false; }
};

// The command line of a run on `target` from `site`: the options that reach
// the target's database, then `args`.
std::vector<std::string> CommandFor(Target& target, const Site& site,
                                    std::initializer_list<const char*> args) {
    std::vector<std::string> argv{VORLA_BIN};
    for (const std::string& arg : target.Prepare(site)) {
        argv.push_back(arg);
    }
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

class SqliteTarget : public Target {
public:
    const char* Name() const override { return "SQLite"; }
    std::vector<std::string> Prepare(const Site& site) override {
        WriteFileBytes(site.File("blank.mdb"),
                       ReadFileBytes(std::string(VORLA_DATA_DIR) + "/Template/empty.mdb"));
        Sqlite3(site, "blank.mdb", "CREATE TABLE t (id INTEGER)");
        return {"-e", "blank.mdb", "-o", "x.mdb", "-cx"};
    }
    std::string Dsn() const override { return "VORLA1"; }
    std::string Rows(const Site& site) const override {
        return Sqlite3(site, "x.mdb", "SELECT count(*) FROM t");
    }
    std::string Endless() const override {
        return "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
               "SELECT count(*) FROM c";
    }

private:
    // The sqlite3 shell, which also rolls back what a killed run left in the
    // journal before it reads.
    static std::string Sqlite3(const Site& site, const std::string& file, const std::string& sql) {
        ProcessOptions options;
        options.workDir = site.Path();
        const ProcessResult result = RunProcess({"/usr/bin/sqlite3", file, sql}, options);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out.empty() ? result.err : result.out.substr(0, result.out.size() - 1);
    }
};

class ServerTarget : public Target {
public:
    // `handOver` gives the administrator's table t to alice, where the
    // database's rights do not.
    ServerTarget(const TestServer& server, std::string handOver, std::string endless,
                 bool ddlCommits)
        : m_server(server),
          m_handOver(std::move(handOver)),
          m_endless(std::move(endless)),
          m_ddlCommits(ddlCommits) {}
    const char* Name() const override { return m_server.Name(); }
    std::vector<std::string> Prepare(const Site& site) override {
        static int databases = 0;
        m_database = "tx" + std::to_string(++databases);
        m_server.CreateDatabase(m_database);
        m_server.Sql("CREATE TABLE t (id integer)", m_database);
        if (!m_handOver.empty()) {
            m_server.Sql(m_handOver, m_database);
        }
        site.HostOdbc().AddDataSource(HostOdbcConfig::Scope::User, "Db",
                                      m_server.DataSource(m_database));
        return {"-d", "Db", "-U", "alice", "-P", "se;cr}et"};
    }
    std::string Dsn() const override { return "Db"; }
    std::string Rows(const Site&) const override { return Sql("SELECT count(*) FROM t"); }
    // The first row of `sql` in the run's database, columns joined by '|'.
    std::string Sql(const std::string& sql) const { return m_server.Sql(sql, m_database)[0]; }
    std::string Endless() const override { return m_endless; }
    bool DdlCommits() const override { return m_ddlCommits; }

private:
    const TestServer& m_server;
    std::string m_handOver;
    std::string m_endless;
    bool m_ddlCommits;
    std::string m_database;
};

const std::string kRolledBack = "The transaction was rolled back: nothing of the script was kept.";

struct RunCase {
    const char* title;
    const char* only;  // the one engine the case is for, or nullptr
    std::vector<std::string> batches;
    int executed;  // batches that reach the database
    int exitCode;
    // What standard error holds: "" for nothing, else a text that it holds
    // and, last, the rollback line.
    std::string errHolds;
    std::function<std::string(const Target&)> rows;
};

std::string Script(const std::vector<std::string>& batches) {
    std::string script;
    for (const std::string& batch : batches) {
        script += batch + "\nGO\n";
    }
    return script;
}

void ExpectAllOrNothing(Target& target) {
    const auto none = [](const Target&) { return std::string("0"); };
    const RunCase cases[] = {
        {"the third batch fails",
         nullptr,
         {"INSERT INTO t VALUES (1)", "INSERT INTO t VALUES (2)", "INSERT INTO missing VALUES (3)",
          "INSERT INTO t VALUES (4)"},
         3,
         255,
         "INSERT INTO missing VALUES (3)\n",
         none},
        {"the script succeeds",
         nullptr,
         {"INSERT INTO t VALUES (1)", "INSERT INTO t VALUES (2)", "INSERT INTO t VALUES (3)"},
         3,
         0,
         "",
         [](const Target&) { return std::string("3"); }},
        // The engine's own commit of a CREATE TABLE is beyond the run's reach.
        {"a CREATE TABLE before the failing batch",
         nullptr,
         {"INSERT INTO t VALUES (1)", "CREATE TABLE u (a integer)",
          "INSERT INTO missing VALUES (3)"},
         3,
         255,
         "INSERT INTO missing VALUES (3)\n",
         [](const Target& t) { return std::string(t.DdlCommits() ? "1" : "0"); }},
        {"the commit fails on a deferred constraint",
         "PostgreSQL",
         {"CREATE TABLE p (id integer PRIMARY KEY)",
          "CREATE TABLE c (p integer REFERENCES p DEFERRABLE INITIALLY DEFERRED)",
          "INSERT INTO t VALUES (1)", "INSERT INTO c VALUES (7)"},
         4,
         255,
         "Cannot commit the script's transaction: ERROR: insert or update on table \"c\" "
         "violates foreign key constraint",
         none},
    };
    for (const RunCase& c : cases) {
        if (c.only != nullptr && target.Name() != std::string(c.only)) {
            continue;
        }
        SCOPED_TRACE(std::string(target.Name()) + ": " + c.title);
        Site site;
        const std::vector<std::string> argv =
            CommandFor(target, site, {"-i", "s.sql", "-b", "GO", "-t"});
        WriteFileBytes(site.File("s.sql"), Script(c.batches));
        ExpectedStreams expected;
        expected.Out(kBanner).OutPart("Connecting to '" + target.Dsn() + "'  . . .").Out(" done!");
        for (int i = 0; i < c.executed; ++i) {
            expected.Out("Executing: " + c.batches[i]).Out("");
        }
        expected.Out("Closing connection.");
        const ProcessResult result = RunProcess(argv, site.Options());
        EXPECT_EQ(result.out, expected.OutText());
        EXPECT_EQ(result.exitCode, c.exitCode);
        if (c.errHolds.empty()) {
            EXPECT_EQ(result.err, "");
        } else {
            EXPECT_NE(result.err.find(c.errHolds), std::string::npos) << result.err;
            const std::string last = kRolledBack + "\n";
            EXPECT_TRUE(result.err.size() > last.size() &&
                        result.err.compare(result.err.size() - last.size(), last.size(), last) == 0)
                << result.err;
        }
        EXPECT_EQ(target.Rows(site), c.rows(target));
    }

    // Killed (SIGKILL) while a batch runs after two INSERTs: with -t nothing
    // is kept; without it, as a check on the case, both rows are.
    const struct {
        bool oneTransaction;
        const char* rows;
    } kills[] = {{true, "0"}, {false, "2"}};
    for (const auto& k : kills) {
        SCOPED_TRACE(std::string(target.Name()) + ": killed, -t " +
                     (k.oneTransaction ? "on" : "off"));
        Site site;
        std::vector<std::string> args = target.Prepare(site);
        WriteFileBytes(site.File("s.sql"), Script({"INSERT INTO t VALUES (1)",
                                                   "INSERT INTO t VALUES (2)", target.Endless()}));
        for (const char* arg : {"-i", "s.sql", "-b", "GO"}) {
            args.push_back(arg);
        }
        if (k.oneTransaction) {
            args.push_back("-t");
        }
        BackgroundRun run(site, args);
        ASSERT_TRUE(run.WaitFor("Executing: " + target.Endless())) << run.Text();
        run.Kill();
        EXPECT_EQ(target.Rows(site), k.rows);
    }
}

TEST(OneTransaction, AllOrNothingOnSqlite) {
    SqliteTarget target;
    ExpectAllOrNothing(target);
}

TEST(OneTransaction, AllOrNothingOnPostgreSql) {
    ScopedTempDir dir;
    const PgCluster pg(dir.File("pg"));
    VORLA_REQUIRE_SERVER(pg);
    ServerTarget target(pg, "ALTER TABLE t OWNER TO alice", "SELECT pg_sleep(600)", false);
    ExpectAllOrNothing(target);
}

// On PostgreSQL -t has the driver roll back the whole transaction on an error
// rather than wrap every statement in a savepoint: the rows of a run carry one
// transaction id (a savepoint gives each statement its own), and a failing
// statement is named with its line as ever, nothing of the script kept.
TEST(OneTransaction, PostgreSqlStatementsRunWithoutSavepoints) {
    ScopedTempDir dir;
    const PgCluster pg(dir.File("pg"));
    VORLA_REQUIRE_SERVER(pg);
    const std::string two = "INSERT INTO t VALUES (1)\nGO\nINSERT INTO t VALUES (2)\nGO\n";
    const struct {
        std::string script;
        int exitCode;
        std::string err;
        const char* rows;  // rows of t | transaction ids among them
    } rows[] = {
        {two + "INSERT INTO t VALUES (3)\nGO\n", 0, "", "3|1"},
        {two + "INSERT INTO missing VALUES (3)\nGO\nINSERT INTO t VALUES (4)\nGO\n", 255,
         "Script error: ERROR: relation \"missing\" does not exist;\nError while executing the "
         "query\nINSERT INTO missing VALUES (3)\nAt line 5 of 's.sql'.\n" +
             kRolledBack + "\n",
         "0|0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        Site site;
        ServerTarget target(pg, "ALTER TABLE t OWNER TO alice", "", false);
        const std::vector<std::string> argv =
            CommandFor(target, site, {"-i", "s.sql", "-b", "GO", "-t"});
        WriteFileBytes(site.File("s.sql"), row.script);
        const ProcessResult run = RunProcess(argv, site.Options());
        EXPECT_EQ(run.exitCode, row.exitCode);
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(target.Sql("SELECT count(*), count(DISTINCT xmin::text) FROM t"), row.rows);
    }
}

// With -t and -a on PostgreSQL the statements reach the server several to a
// call: the rows of a group share its savepoint's transaction id. What is
// printed is what a statement at a time prints, and a statement that fails
// in a group is named with its line, those before it printed, and nothing
// kept. A script's own savepoints end the grouping and keep their meaning.
TEST(OneTransaction, PostgreSqlStatementsGoInGroups) {
    ScopedTempDir dir;
    const PgCluster pg(dir.File("pg"));
    VORLA_REQUIRE_SERVER(pg);
    const auto inserts = [](int count, int missingAt) {
        std::vector<std::string> statements;
        for (int i = 1; i <= count; ++i) {
            statements.push_back("INSERT INTO " + std::string(i == missingAt ? "missing" : "t") +
                                 " VALUES (" + std::to_string(i) + ")");
        }
        return statements;
    };
    const struct {
        std::vector<std::string> statements;
        int executed;
        std::string err;
        const char* rows;  // rows of t | transaction ids among them
    } rows[] = {
        {inserts(600, 0), 600, "", "600|3"},
        {inserts(600, 300), 300,
         "Script error: ERROR: relation \"missing\" does not exist;\nError while executing the "
         "query\nINSERT INTO missing VALUES (300)\nAt line 300 of 's.sql'.\n" +
             kRolledBack + "\n",
         "0|0"},
        {{"INSERT INTO t VALUES (1)", "SAVEPOINT a", "INSERT INTO t VALUES (2)",
          "ROLLBACK TO SAVEPOINT a", "INSERT INTO t VALUES (3)"},
         5,
         "",
         "2|2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.statements[1]);
        Site site;
        ServerTarget target(pg, "ALTER TABLE t OWNER TO alice", "", false);
        const std::vector<std::string> argv = CommandFor(target, site, {"-i", "s.sql", "-a", "-t"});
        std::string script;
        ExpectedStreams expected;
        expected.Out(kBanner).OutPart("Connecting to '" + target.Dsn() + "'  . . .").Out(" done!");
        for (size_t i = 0; i < row.statements.size(); ++i) {
            script += row.statements[i] + ";\n";
            if (static_cast<int>(i) < row.executed) {
                expected.Out("Executing: " + row.statements[i]).Out("");
            }
        }
        expected.Out("Closing connection.");
        WriteFileBytes(site.File("s.sql"), script);
        const ProcessResult run = RunProcess(argv, site.Options());
        EXPECT_EQ(run.out, expected.OutText());
        EXPECT_EQ(run.err, row.err);
        EXPECT_EQ(run.exitCode, row.err.empty() ? 0 : 255);
        EXPECT_EQ(target.Sql("SELECT count(*), count(DISTINCT xmin::text) FROM t"), row.rows);
    }
}

TEST(OneTransaction, AllOrNothingOnMariaDb) {
    ScopedTempDir dir;
    const MariaDbServer maria(dir.File("maria"));
    VORLA_REQUIRE_SERVER(maria);
    ServerTarget target(maria, "", "SELECT SLEEP(600)", true);
    ExpectAllOrNothing(target);
}

}  // namespace

// A driver that cannot leave autocommit, or that has no transactions, ends
// the run before the first batch, with what it said.
TEST(OneTransaction, ADriverWithoutTransactionsRunsNothing) {
    const struct {
        const char* login;
        const char* message;
    } rows[] = {
        {"refuse", "[NoTransaction]Autocommit cannot be switched off"},
        {"none", "The ODBC driver does not support transactions."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.login);
        Site site;
        site.HostOdbc().AddDataSource(HostOdbcConfig::Scope::User, "Plain",
                                      {{"Driver", VORLA_NO_TRANSACTION_DRIVER}});
        WriteFileBytes(site.File("s.sql"), "INSERT INTO t VALUES (1)\nGO\n");
        ExpectedStreams expected;
        expected.Out(kBanner).OutPart("Connecting to 'Plain'  . . .").Out(" done!");
        expected.Err(std::string("Cannot run the script in one transaction: ") + row.message);
        expected.Out("Closing connection.");
        const std::vector<std::string> argv{VORLA_BIN, "-d",    "Plain", "-U", row.login,
                                            "-i",      "s.sql", "-b",    "GO", "-t"};
        const ProcessResult apart = RunProcess(argv, site.Options());
        EXPECT_EQ(apart.out, expected.OutText());
        EXPECT_EQ(apart.err, expected.ErrText());
        EXPECT_EQ(apart.exitCode, 255);
        EXPECT_EQ(RunProcessMerged(argv, site.Options()).out, expected.MergedText());
    }
}

// With -t, a script that wraps itself in one transaction (sqlite3's dump:
// a PRAGMA, BEGIN TRANSACTION, ..., COMMIT) runs as the run's transaction;
// one that begins, commits or rolls back otherwise is refused where that
// statement stands, and nothing of it is kept. Where definitions commit by
// themselves (MariaDB) the refusal comes before anything is sent.
TEST(OneTransaction, AScriptsOwnTransactionStandsInOrIsRefused) {
    const struct {
        const char* script;
        long refusedAt;  // 0: runs
        const char* rows;
    } rows[] = {
        {"PRAGMA foreign_keys=OFF;\nBEGIN TRANSACTION;\nCREATE TABLE t (id INTEGER);\n"
         "INSERT INTO t VALUES (1);\nINSERT INTO t VALUES (2);\nCOMMIT;\n",
         0, "2"},
        {"CREATE TABLE t (id INTEGER);\nBEGIN;\nINSERT INTO t VALUES (1);\nCOMMIT;\n"
         "INSERT INTO t VALUES (2);\n",
         4, ""},
        {"BEGIN;\nCREATE TABLE t (id INTEGER);\nROLLBACK;\n", 3, ""},
        {"CREATE TABLE t (id INTEGER);\nCOMMIT;\n", 2, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        Site site;
        WriteFileBytes(site.File("s.sql"), row.script);
        const ProcessResult run = RunProcess(
            {VORLA_BIN, "-m", "-o", "x.mdb", "-cx", "-a", "-t", "-i", "s.sql"}, site.Options());
        const std::string count = Query(site.File("x.mdb"), "SELECT count(*) FROM t");
        if (row.refusedAt == 0) {
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(count, std::string(row.rows) + "\n");
            continue;
        }
        EXPECT_EQ(run.exitCode, 255);
        EXPECT_EQ(run.err,
                  "Using Template File: empty.mdb\n"
                  "With -t the script runs as one transaction, and it begins, commits or rolls "
                  "back one itself at line " +
                      std::to_string(row.refusedAt) + " of 's.sql': only one BEGIN, with the " +
                      "COMMIT as the last statement, can stand in for the run's own.\n"
                      "The temporary data source 'VORLA1' stays registered; vorla-setup "
                      "--remove-temporary removes it and every other one that no run holds.\n"
                      "The transaction was rolled back: nothing of the script was kept.\n");
    }
    // The same dump through a pipe, which is read only once.
    Site piped;
    WriteFileBytes(piped.File("s.sql"), rows[0].script);
    const ProcessResult run = RunProcess({"/bin/sh", "-c", "exec \"$0\" \"$@\" < s.sql", VORLA_BIN,
                                          "-m", "-o", "x.mdb", "-cx", "-a", "-t", "-i", "-"},
                                         piped.Options());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Query(piped.File("x.mdb"), "SELECT count(*) FROM t"), "2\n");
    ScopedTempDir dir;
    const MariaDbServer maria(dir.File("maria"));
    VORLA_REQUIRE_SERVER(maria);
    Site site;
    ServerTarget target(maria, "", "", true);
    const std::vector<std::string> argv = CommandFor(target, site, {"-i", "s.sql", "-a", "-t"});
    WriteFileBytes(site.File("s.sql"), "CREATE TABLE u (id integer);\nCOMMIT;\n");
    const ProcessResult refused = RunProcess(argv, site.Options());
    EXPECT_EQ(refused.exitCode, 255);
    EXPECT_EQ(refused.out.find("Executing"), std::string::npos) << refused.out;
    EXPECT_EQ(target.Sql("SELECT count(*) FROM information_schema.tables WHERE table_name = 'u'"),
              "0");
}
