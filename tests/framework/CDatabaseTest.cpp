#include "framework/CDatabase.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "testlib/OdbcTest.h"
#include "testlib/TempDir.h"

namespace {

using vorla::test::DirectConnect;
using vorla::test::QuerySqlite;
using vorla::test::ReadFileBytes;
using vorla::test::ScopedTempDir;
using Rows = std::vector<std::string>;

// Opens the database the way the program does: the whole connection text in
// the data-source position, "ODBC;" as the connect text.
void OpenDirect(CDatabase& db, const std::string& driver, const std::string& file) {
    const CString connect = CString("ODBC;") + DirectConnect(driver, file).c_str();
    db.Open(connect, FALSE, FALSE, "ODBC;", TRUE);
}

// Runs `f`, which must throw CDBException; returns the exception's texts.
template <typename F>
std::pair<std::string, std::string> ExpectDBException(F&& f) {
    try {
        f();
    } catch (CDBException* e) {
        std::pair<std::string, std::string> texts(e->m_strError.Str(),
                                                  e->m_strStateNativeOrigin.Str());
        EXPECT_EQ(e->GetErrorText(), e->m_strError);
        e->Delete();
        return texts;
    }
    ADD_FAILURE() << "no CDBException";
    return {};
}

TEST(CDatabaseTest, OpensExecutesAndCloses) {
    VORLA_REQUIRE_SQLITE_ODBC(driver);
    ScopedTempDir dir;
    const std::string file = dir.File("t.db");
    CDatabase db;
    EXPECT_FALSE(db.IsOpen());
    OpenDirect(db, driver, file);
    EXPECT_TRUE(db.IsOpen());
    // What the driver manager gave back, after the traditional prefix.
    EXPECT_EQ(db.GetConnect().Left(5), "ODBC;");
    EXPECT_NE(db.GetConnect().Find(("Database=" + file).c_str()), -1) << db.GetConnect().Str();

    db.ExecuteSQL("CREATE TABLE t (x INTEGER)");
    db.ExecuteSQL("INSERT INTO t VALUES (7)");
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    EXPECT_TRUE(db.GetConnect().IsEmpty());
    EXPECT_EQ(QuerySqlite(file, "SELECT x FROM t"), Rows{"7"});
    db.Close();  // closing twice does nothing
}

TEST(CDatabaseTest, DataSourceNameAndConnectTextAreCombined) {
    VORLA_REQUIRE_SQLITE_ODBC(driver);
    ScopedTempDir dir;
    const std::string file = dir.File("t.db");
    CDatabase db;
    // Attributes in the connect text, the driver in the data-source text.
    const CString connect = CString("ODBC;Database=") + file.c_str();
    const CString source = CString("ODBC;DRIVER=") + driver.c_str();
    db.Open(source, FALSE, FALSE, connect, TRUE);
    db.ExecuteSQL("CREATE TABLE combined (x INTEGER)");
    db.Close();
    EXPECT_EQ(QuerySqlite(file, "SELECT name FROM sqlite_master"), Rows{"combined"});
}

TEST(CDatabaseTest, FailedOpenThrowsTheDriverManagersTextAndLeavesNothingOpen) {
    ScopedTempDir dir;
    const std::string missing = dir.File("no-such-driver.so");
    CDatabase db;
    const auto texts = ExpectDBException([&] {
        db.Open(("ODBC;DRIVER=" + missing + ";Database=" + dir.File("x.db")).c_str(), FALSE, FALSE,
                "ODBC;", TRUE);
    });
    // Exactly as unixODBC delivers it: origin kept, no line end added.
    EXPECT_EQ(texts.first,
              "[unixODBC][Driver Manager]Can't open lib '" + missing + "' : file not found");
    EXPECT_EQ(texts.second, "State:01000,Native:0,Origin:[unixODBC][Driver Manager]");
    EXPECT_FALSE(db.IsOpen());
    EXPECT_TRUE(db.GetConnect().IsEmpty());
}

TEST(CDatabaseTest, UnknownDataSourceIsRefusedByTheDriverManager) {
    vorla::test::ScopedPrefix prefix;
    CDatabase db;
    const auto texts = ExpectDBException(
        [&] { db.Open("ODBC;DSN=vorla-no-such-source;UID=;PWD=", FALSE, FALSE, "ODBC;", TRUE); });
    EXPECT_NE(texts.first.find("Data source name not found"), std::string::npos) << texts.first;
    EXPECT_EQ(texts.second.rfind("State:IM002,", 0), 0u) << texts.second;
    EXPECT_FALSE(db.IsOpen());
}

// A server that accepts connections and never says a word.
class SilentServer {
public:
    SilentServer() {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_fd, 8) != 0 ||
            getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "cannot listen on 127.0.0.1";
        }
        m_port = ntohs(address.sin_port);
    }
    ~SilentServer() { close(m_fd); }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    int Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// The login timeout ends a connection attempt that the server never answers
// (the kernel completes the connection from the listen queue) with the
// driver's own message, where it would otherwise wait for ever.
TEST(CDatabaseTest, LoginTimeoutEndsAnAttemptThatIsNeverAnswered) {
    SilentServer server;
    CDatabase db;
    db.SetLoginTimeout(1);
    const std::string connect = "ODBC;DRIVER={PostgreSQL Unicode};Servername=127.0.0.1;Port=" +
                                std::to_string(server.Port()) + ";Database=x;UID=a;PWD=b";
    const auto texts =
        ExpectDBException([&] { db.Open(connect.c_str(), FALSE, FALSE, "ODBC;", TRUE); });
    EXPECT_NE(texts.first.find("timeout expired"), std::string::npos)
        << texts.first << " (needs the PostgreSQL ODBC driver, Debian package odbc-postgresql)";
    EXPECT_FALSE(db.IsOpen());
}

TEST(CDatabaseTest, ExclusiveOpenIsRefused) {
    VORLA_REQUIRE_SQLITE_ODBC(driver);
    ScopedTempDir dir;
    CDatabase db;
    const CString connect = CString("ODBC;") + DirectConnect(driver, dir.File("t.db")).c_str();
    const auto texts = ExpectDBException([&] { db.Open(connect, TRUE, FALSE, "ODBC;", TRUE); });
    EXPECT_FALSE(texts.first.empty());
    EXPECT_FALSE(db.IsOpen());
}

TEST(CDatabaseTest, ReopeningClosesTheFirstConnection) {
    VORLA_REQUIRE_SQLITE_ODBC(driver);
    ScopedTempDir dir;
    CDatabase db;
    OpenDirect(db, driver, dir.File("first.db"));
    OpenDirect(db, driver, dir.File("second.db"));
    db.ExecuteSQL("CREATE TABLE second (x INTEGER)");
    db.Close();
    EXPECT_EQ(QuerySqlite(dir.File("second.db"), "SELECT name FROM sqlite_master"), Rows{"second"});
}

struct ExecCase {
    const char* name;
    const char* sql;
    bool fails;
};

TEST(CDatabaseTest, ResultCodesOfExecuteSQL) {
    VORLA_REQUIRE_SQLITE_ODBC(driver);
    ScopedTempDir dir;
    const std::string file = dir.File("t.db");
    CDatabase db;
    OpenDirect(db, driver, file);
    db.ExecuteSQL("CREATE TABLE t (x INTEGER)");
    db.ExecuteSQL("INSERT INTO t VALUES (1)");
    const std::vector<ExecCase> cases = {
        {"result set", "SELECT x FROM t", false},
        {"no row touched (SQL_NO_DATA)", "UPDATE t SET x = 2 WHERE x = 99", false},
        {"empty result set", "SELECT x FROM t WHERE x = 99", false},
        {"syntax error", "SELEKT 1", true},
        {"missing table", "INSERT INTO nosuch VALUES (1)", true},
    };
    for (const ExecCase& c : cases) {
        bool failed = false;
        try {
            db.ExecuteSQL(c.sql);
        } catch (CDBException* e) {
            failed = true;
            EXPECT_FALSE(e->m_strError.IsEmpty()) << c.name;
            e->Delete();
        }
        EXPECT_EQ(failed, c.fails) << c.name;
    }
    // The result sets above were closed unread: the table can be dropped.
    db.ExecuteSQL("DROP TABLE t");
    db.Close();
    EXPECT_EQ(QuerySqlite(file, "SELECT count(*) FROM sqlite_master"), Rows{"0"});
}

TEST(CDatabaseTest, StatementErrorCarriesTheDriversTextAndState) {
    VORLA_REQUIRE_SQLITE_ODBC(driver);
    ScopedTempDir dir;
    CDatabase db;
    OpenDirect(db, driver, dir.File("t.db"));
    const auto texts = ExpectDBException([&] { db.ExecuteSQL("INSERT INTO nosuch VALUES (1)"); });
    EXPECT_EQ(texts.first, "[SQLite]no such table: nosuch (1)");
    EXPECT_EQ(texts.second, "State:HY000,Native:1,Origin:[SQLite]");
    // The connection survives a failed statement.
    db.ExecuteSQL("CREATE TABLE ok (x INTEGER)");
}

TEST(CDatabaseTest, ExecuteOnAClosedConnectionThrows) {
    CDatabase db;
    const auto texts = ExpectDBException([&] { db.ExecuteSQL("SELECT 1"); });
    EXPECT_FALSE(texts.first.empty());
}

// The driver manager's trace shows the length that ExecuteSQL hands over; a
// NUL byte inside the text must not shorten it.
TEST(CDatabaseTest, StatementLengthIsPassedSoANulByteDoesNotCutIt) {
    VORLA_REQUIRE_SQLITE_ODBC(driver);
    ScopedTempDir dir;
    const std::string trace = dir.File("trace.log");
    vorla::test::WriteFileBytes(dir.File("odbcinst.ini"),
                                "[ODBC]\nTrace=Yes\nTraceFile=" + trace + "\n");
    const char* old = std::getenv("ODBCSYSINI");
    const std::string oldValue = old != nullptr ? old : "";
    setenv("ODBCSYSINI", dir.Path().c_str(), 1);
    {
        CDatabase db;
        OpenDirect(db, driver, dir.File("t.db"));
        const std::string sql("CREATE TABLE t (x INTEGER)\0 -- after the NUL", 45);
        db.ExecuteSQL(CString(sql.data(), static_cast<int>(sql.size())));
    }
    if (old != nullptr) {
        setenv("ODBCSYSINI", oldValue.c_str(), 1);
    } else {
        unsetenv("ODBCSYSINI");
    }
    const std::string log = ReadFileBytes(trace);
    if (log.empty()) {
        GTEST_SKIP() << "the driver manager wrote no trace (it read its settings earlier)";
    }
    EXPECT_NE(log.find("[length = 45]"), std::string::npos) << log;
    EXPECT_EQ(log.find("SQL_NTS"), std::string::npos) << log;
}

}  // namespace

// What each way of ending a transaction leaves, read back after the
// connection is gone; and the calls that have no transaction to end.
TEST(CDatabaseTest, TransactionsEndInCommitRollbackOrClose) {
    VORLA_REQUIRE_SQLITE_ODBC(driver);
    enum class End { Commit, Rollback, Close };
    const struct {
        End end;
        Rows rows;
    } rows[] = {{End::Commit, {"1", "2"}}, {End::Rollback, {"1"}}, {End::Close, {"1"}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.end));
        ScopedTempDir dir;
        const std::string file = dir.File("t.db");
        CDatabase db;
        OpenDirect(db, driver, file);
        db.ExecuteSQL("CREATE TABLE t (x INTEGER)");
        db.ExecuteSQL("INSERT INTO t VALUES (1)");
        db.BeginTrans();
        EXPECT_TRUE(db.IsTransactionPending());
        db.ExecuteSQL("INSERT INTO t VALUES (2)");
        if (row.end == End::Commit) {
            db.CommitTrans();
        } else if (row.end == End::Rollback) {
            db.Rollback();
        }
        if (row.end != End::Close) {
            EXPECT_FALSE(db.IsTransactionPending());
            // Back in autocommit: this row stays without a commit of its own.
            db.ExecuteSQL("INSERT INTO t VALUES (3)");
        }
        db.Close();
        EXPECT_FALSE(db.IsTransactionPending());
        // Nothing of the connection is left to hold the file: another one
        // writes at once (waiting 1 ms for a lock, so one left behind fails here).
        CDatabase next;
        next.Open(CString("ODBC;") + DirectConnect(driver, file).c_str() + ";Timeout=1", FALSE,
                  FALSE, "ODBC;", TRUE);
        next.ExecuteSQL("INSERT INTO t VALUES (9)");
        next.Close();
        Rows expected = row.rows;
        if (row.end != End::Close) {
            expected.push_back("3");
        }
        expected.push_back("9");
        EXPECT_EQ(QuerySqlite(file, "SELECT x FROM t ORDER BY x"), expected);
    }

    CDatabase closed;
    ExpectDBException([&] { closed.BeginTrans(); });
    ScopedTempDir dir;
    CDatabase db;
    OpenDirect(db, driver, dir.File("t.db"));
    EXPECT_EQ(ExpectDBException([&] { db.CommitTrans(); }).first,
              "No transaction is pending on the connection.");
    ExpectDBException([&] { db.Rollback(); });
}
