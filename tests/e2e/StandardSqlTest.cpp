// Standard SQL scripts (-a) as people and the engines' own tools write them:
// each script is run with the built program and with the engine's own
// client, and the two databases are compared whole, through the engine's
// own dump of each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Site.h"
#include "testlib/TestServer.h"

namespace {

using namespace vorla::test;

const std::vector<std::string> kCredentials = {"-U", "alice", "-P", "se;cr}et"};

// A dump without what differs from one run of the tool to the next (psql's
// \restrict key) and with the database's name in its comments as "DB".
std::string Comparable(const std::string& dump, const std::string& database) {
    std::string kept;
    size_t begin = 0;
    while (begin < dump.size()) {
        size_t end = dump.find('\n', begin);
        end = end == std::string::npos ? dump.size() : end + 1;
        const std::string line = dump.substr(begin, end - begin);
        if (line.rfind("\\restrict ", 0) == 0 || line.rfind("\\unrestrict ", 0) == 0) {
            begin = end;
            continue;
        }
        const size_t name = line.rfind(database);
        kept += line.rfind("--", 0) == 0 && name != std::string::npos
                    ? line.substr(0, name) + "DB" + line.substr(name + database.size())
                    : line;
        begin = end;
    }
    return kept;
}

ProcessResult RunVorla(const Site& site, std::vector<std::string> args) {
    args.insert(args.begin(), VORLA_BIN);
    return RunProcess(args, site.Options());
}

// ---- SQLite -------------------------------------------------------------

std::string SqliteDump(const std::string& file) {
    const ProcessResult dump = RunProcess({"/usr/bin/sqlite3", file, ".dump"}, ProcessOptions());
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    return dump.out;
}

// Restores `script` into a.mdb with VORLA and into b.db with sqlite3, and
// compares the two.
void ExpectSqliteRestoresAlike(const std::string& script, const std::string& what) {
    const Site site;
    WriteFileBytes(site.File("s.sql"), script);
    const ProcessResult run = RunVorla(site, {"-m", "-o", "a.mdb", "-cx", "-a", "-i", "s.sql"});
    EXPECT_EQ(run.err, "Using Template File: empty.mdb\n") << what;
    EXPECT_EQ(run.exitCode, 0) << what;
    ProcessOptions input;
    input.input = script;
    const ProcessResult tool = RunProcess({"/usr/bin/sqlite3", "-bail", site.File("b.db")}, input);
    ASSERT_EQ(tool.exitCode, 0) << what << ": " << tool.err;
    EXPECT_EQ(SqliteDump(site.File("a.mdb")), SqliteDump(site.File("b.db"))) << what;
}

TEST(StandardSql, SqliteSetupScriptAndItsDumpRestoreAsWithSqlite3) {
    const std::string setup = R"(-- A shop; it's what a setup script looks like.
PRAGMA foreign_keys = ON;
BEGIN;
CREATE TABLE customer (
  id INTEGER PRIMARY KEY,   -- the key; never reused
  name TEXT NOT NULL,       /* the "display" name; may hold ' and ; */
  note TEXT,
  photo BLOB,
  score REAL
);
INSERT INTO customer VALUES (1, 'O''Brien; Pat', 'two  spaces
and a line break;   ', X'00FF10', 1.5);
INSERT INTO customer VALUES (2, 'Zoë "Z" [Smith]', NULL, NULL, -0.25); INSERT INTO customer VALUES (3, 'tab	here', '', X'', 0);
CREATE TABLE audit (id INTEGER PRIMARY KEY, what TEXT);
CREATE TRIGGER customer_audit AFTER UPDATE ON customer BEGIN
  INSERT INTO audit (what) VALUES ('changed; ' || old.name ||
    CASE WHEN new.score > 1 THEN ' high' ELSE ' low' END);
END;
UPDATE customer SET score = 2 WHERE id = 2;
CREATE VIEW good AS SELECT name FROM customer WHERE score > 1; -- the view's comment
CREATE INDEX customer_name ON customer (name);
COMMIT;
)";
    ExpectSqliteRestoresAlike(setup, "setup script");

    // The dump that sqlite3 writes of the database the script made.
    ScopedTempDir dir;
    ProcessOptions input;
    input.input = setup;
    ASSERT_EQ(RunProcess({"/usr/bin/sqlite3", dir.File("src.db")}, input).exitCode, 0);
    const std::string dump = SqliteDump(dir.File("src.db"));
    ASSERT_NE(dump.find("CREATE TRIGGER"), std::string::npos) << dump;
    ExpectSqliteRestoresAlike(dump, "sqlite3 .dump");
}

// ---- Servers --------------------------------------------------------------

// Runs `script` with VORLA into one new database and with the engine's
// client into another, and compares the engine's dumps of the two.
void ExpectServerRestoresAlike(const TestServer& server, const std::string& script,
                               const std::string& what,
                               const std::vector<std::string>& dumpOptions) {
    static int databases = 0;
    const std::string ours = "ours" + std::to_string(++databases);
    const std::string theirs = "theirs" + std::to_string(databases);
    server.CreateDatabase(ours);
    server.CreateDatabase(theirs);
    const Site site;
    site.HostOdbc().AddDataSource(HostOdbcConfig::Scope::User, "Db", server.DataSource(ours));
    WriteFileBytes(site.File("s.sql"), script);
    std::vector<std::string> args{"-d", "Db", "-a", "-i", "s.sql"};
    args.insert(args.end(), kCredentials.begin(), kCredentials.end());
    const ProcessResult run = RunVorla(site, args);
    EXPECT_EQ(run.err, "") << what;
    EXPECT_EQ(run.exitCode, 0) << what;
    const ProcessResult tool = server.Restore(site.File("s.sql"), theirs);
    ASSERT_EQ(tool.exitCode, 0) << what << ": " << tool.err;
    const std::string dumped = Comparable(server.Dump(theirs, dumpOptions), theirs);
    EXPECT_EQ(Comparable(server.Dump(ours, dumpOptions), ours), dumped) << what;
}

// The setup script, then the engine tool's dump of what it made.
void ExpectSetupAndDumpRestoreAlike(const TestServer& server, const std::string& setup,
                                    const std::vector<std::string>& dumpOptions) {
    ExpectServerRestoresAlike(server, setup, "setup script", dumpOptions);
    server.CreateDatabase("source");
    ScopedTempDir dir;
    WriteFileBytes(dir.File("setup.sql"), setup);
    ASSERT_EQ(server.Restore(dir.File("setup.sql"), "source").exitCode, 0);
    ExpectServerRestoresAlike(server, server.Dump("source", dumpOptions), "dump", dumpOptions);
}

TEST(StandardSql, PostgreSqlSetupScriptAndPgDumpRestoreAsWithPsql) {
    ScopedTempDir dir;
    const PgCluster pg(dir.File("pg"));
    VORLA_REQUIRE_SERVER(pg);
    const std::string setup = R"(-- Monthly sales; it's what people write for PostgreSQL.
BEGIN;
CREATE TABLE sale (
  id integer PRIMARY KEY,
  region text NOT NULL,  -- where; see 'regions'
  note text,
  amount numeric(10, 2),
  data bytea
);
INSERT INTO sale VALUES (1, 'North; east', 'it''s  two  spaces
line two', 100.00, '\x00ff'::bytea);
INSERT INTO sale VALUES (2, E'South\\tab\'s', $$dollar 'quoted'; text$$, 250.5, NULL);
CREATE FUNCTION with_tax(amount numeric) RETURNS numeric AS $body$
BEGIN
  -- the standard rate; see 'rates'
  RETURN round(amount * 1.2, 2);
END;
$body$ LANGUAGE plpgsql;
CREATE FUNCTION net(a numeric) RETURNS numeric LANGUAGE sql
BEGIN ATOMIC
  SELECT a - 1;
END;
CREATE VIEW monthly AS
  SELECT region, sum(amount) AS net, with_tax(sum(amount)) AS gross FROM sale GROUP BY region;
COMMIT;
)";
    ExpectSetupAndDumpRestoreAlike(pg, setup, {"--no-owner", "--inserts"});

    // A plain dump carries its rows in COPY ... FROM stdin blocks, which are
    // not SQL: refused, with the line, and nothing after it runs.
    const std::string plain = pg.Dump("source", {"--no-owner"});
    const size_t copy = plain.find("\nCOPY public.sale");
    ASSERT_NE(copy, std::string::npos);
    const long line = 2 + static_cast<long>(std::count(plain.begin(), plain.begin() + copy, '\n'));
    pg.CreateDatabase("plain");
    const Site site;
    site.HostOdbc().AddDataSource(HostOdbcConfig::Scope::User, "Db", pg.DataSource("plain"));
    WriteFileBytes(site.File("s.sql"), plain);
    std::vector<std::string> args{"-d", "Db", "-a", "-i", "s.sql"};
    args.insert(args.end(), kCredentials.begin(), kCredentials.end());
    const ProcessResult run = RunVorla(site, args);
    EXPECT_EQ(run.err, "Script error: line " + std::to_string(line) +
                           ": COPY ... FROM stdin takes its rows from the client, and a script "
                           "sends none (dump with --inserts to have them as INSERT statements)\n"
                           "COPY public.sale (id, region, note, amount, data) FROM stdin\n");
    EXPECT_EQ(run.exitCode, 255);
    EXPECT_EQ(pg.Sql("SELECT count(*) FROM sale", "plain"), std::vector<std::string>{"0"});
}

TEST(StandardSql, MariaDbSetupScriptAndMysqldumpRestoreAsWithTheClient) {
    ScopedTempDir dir;
    const MariaDbServer maria(dir.File("maria"));
    VORLA_REQUIRE_SERVER(maria);
    const std::string setup = R"(-- A shop on MariaDB; it's what people write.
CREATE TABLE customer (
  id INT PRIMARY KEY,        -- the key; never reused
  name VARCHAR(80) NOT NULL, # the display name; may hold ' and ;
  note TEXT,
  photo BLOB,
  score DOUBLE
);
INSERT INTO customer VALUES (1, 'O\'Brien; Pat', 'two  spaces
and a break;\n  ', X'00FF10', 1.5),
  (2, "Z \"Z\" Smith", NULL, NULL, -0.25), (3, 'back\\slash', '', '', 0);
CREATE TABLE audit (id INT AUTO_INCREMENT PRIMARY KEY, what VARCHAR(200));
DELIMITER //
CREATE TRIGGER customer_audit AFTER UPDATE ON customer FOR EACH ROW
BEGIN
  INSERT INTO audit (what) VALUES (CONCAT('changed; ', OLD.name));
  INSERT INTO audit (what) VALUES (CASE WHEN NEW.score > 1 THEN 'high' ELSE 'low' END);
END//
CREATE PROCEDURE bump(IN who INT)
BEGIN
  UPDATE customer SET score = score + 1 WHERE id = who; -- one point
END//
DELIMITER ;
UPDATE customer SET score = 2 WHERE id = 2;
CREATE VIEW good AS SELECT name FROM customer WHERE score > 1;
)";
    ExpectSetupAndDumpRestoreAlike(maria, setup, {"--routines", "--triggers"});
}

}  // namespace
