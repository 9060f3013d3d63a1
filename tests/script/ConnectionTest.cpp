#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/RunCmd.h"
#include "framework/Console.h"
#include "testlib/OdbcTest.h"
#include "testlib/RegistryData.h"
#include "testlib/StreamCapture.h"
#include "testlib/TempDir.h"

namespace vorla::test {
namespace {

struct ComposeCase {
    const char* name;
    const char* login;
    const char* password;
    const char* output;
    const char* expected;
};

TEST(ConnectionTest, ComposesTheFourForms) {
    const std::vector<ComposeCase> cases = {
        {"nothing", "", "", "", "ODBC;DSN=Sales;UID=;PWD="},
        {"database path", "", "", "/data/s.mdb",
         "ODBC;DSN=Sales;DBQ=/data/s.mdb;DriverId=25;FIL=MS Access;MaxBufferSize=512;"
         "PageTimeout=5;"},
        {"credentials", "ann", "pw", "", "ODBC;DSN=Sales;UID=ann;PWD=pw"},
        {"both", "ann", "pw", "/data/s.mdb",
         "ODBC;DSN=Sales;DBQ=/data/s.mdb;UID=ann;PWD=pw;DriverId=25;FIL=MS Access;"
         "MaxBufferSize=512;PageTimeout=5;"},
        {"login only", "ann", "", "", "ODBC;DSN=Sales;UID=ann;PWD="},
        {"password only", "", "pw", "", "ODBC;DSN=Sales;UID=;PWD=pw"},
        {"';' in the credentials goes in unchanged", "a;b", "p;w=x", "",
         "ODBC;DSN=Sales;UID=a;b;PWD=p;w=x"},
        {"';' in the credentials, with a path", "a;b", "{p;w}", "C:\\db\\s.mdb",
         "ODBC;DSN=Sales;DBQ=C:\\db\\s.mdb;UID=a;b;PWD={p;w};DriverId=25;FIL=MS Access;"
         "MaxBufferSize=512;PageTimeout=5;"},
        {"percent signs are values, not formats", "%s", "%d", "", "ODBC;DSN=Sales;UID=%s;PWD=%d"},
    };
    for (const ComposeCase& c : cases) {
        CRunCmd cmd;
        cmd.m_strDsn = "Sales";
        cmd.m_strLogin = c.login;
        cmd.m_strPassword = c.password;
        cmd.m_strOutputFile = c.output;
        cmd.ComposeConnectString();
        EXPECT_EQ(cmd.m_strConnect, c.expected) << c.name;
    }
}

TEST(ConnectionTest, ConnectsReadsTheConnectionBackAndClosesOnce) {
    VORLA_REQUIRE_SQLITE_ODBC(driver);
    ScopedTempDir dir;
    CRunCmd cmd;
    cmd.m_strDsn = "local";
    cmd.m_strConnect = ("ODBC;" + DirectConnect(driver, dir.File("c.db"))).c_str();
    StreamCapture capture;
    {
        CConsoleRedirect redirect(capture.OutStream(), capture.ErrStream());
        EXPECT_TRUE(cmd.OpenConnection());
        EXPECT_TRUE(cmd.m_db.IsOpen());
        cmd.CloseConnection();
        EXPECT_FALSE(cmd.m_db.IsOpen());
        cmd.CloseConnection();
    }
    // An empty description leaves two blanks before the dots.
    EXPECT_EQ(capture.Chunks(),
              (std::vector<Chunk>{
                  {Stream::Out, "Connecting to 'local'  . . . done!\nClosing connection.\n"}}));
    // The string the driver manager gave back replaced the composed one.
    EXPECT_EQ(cmd.m_strConnect.Left(5), "ODBC;");
    EXPECT_NE(cmd.m_strConnect.Find(("Database=" + dir.File("c.db")).c_str()), -1)
        << cmd.m_strConnect.Str();
}

TEST(ConnectionTest, FailedConnectionLeavesTheProgressLineOpen) {
    ScopedTempDir dir;
    const std::string missing = dir.File("missing-driver.so");
    CRunCmd cmd;
    cmd.m_strDsn = "Sales";
    cmd.m_strDescription = "the sales data";
    cmd.m_strConnect = ("ODBC;DRIVER=" + missing + ";Database=" + dir.File("x.db")).c_str();
    StreamCapture capture;
    {
        CConsoleRedirect redirect(capture.OutStream(), capture.ErrStream());
        EXPECT_FALSE(cmd.OpenConnection());
        cmd.CloseConnection();  // nothing open: prints nothing
    }
    EXPECT_EQ(capture.Chunks(),
              (std::vector<Chunk>{
                  {Stream::Out, "Connecting to 'Sales' the sales data . . ."},
                  {Stream::Err,
                   "Database connection error '[unixODBC][Driver Manager]Can't open "
                   "lib '" +
                       missing + "' : file not found'\n"},
              }));
    EXPECT_FALSE(cmd.m_db.IsOpen());
}

struct RegisteredCase {
    const char* name;
    HKEY root;
    // With an output file the connection text names the database itself;
    // without one the data source's DBQ value does.
    bool outputFile;
};

TEST(ConnectionTest, ConnectsThroughADataSourceInTheRegistry) {
    VORLA_REQUIRE_SQLITE_ODBC(driver);
    const std::vector<RegisteredCase> cases = {
        {"user data source, database in the text", HKEY_CURRENT_USER, true},
        {"user data source, database from the registry", HKEY_CURRENT_USER, false},
        {"machine data source", HKEY_LOCAL_MACHINE, false},
    };
    for (const RegisteredCase& c : cases) {
        ScopedPrefix prefix;
        const std::string database = prefix.Path() + "/registered.db";
        const std::string key = "SOFTWARE\\ODBC\\ODBC.INI\\VORLA1";
        SetRegString(c.root, key, "Driver", driver);
        SetRegString(c.root, key, "DBQ", c.outputFile ? prefix.Path() + "/unused.db" : database);
        SetRegDword(c.root, key, "DriverId", 25);

        CRunCmd cmd;
        cmd.m_strDsn = "vorla1";  // names compare without regard to case
        if (c.outputFile) {
            cmd.m_strOutputFile = database.c_str();
        }
        cmd.ComposeConnectString();
        const std::string script = prefix.Path() + "/s.sql";
        WriteFileBytes(script, "CREATE TABLE t (x INTEGER)\n\nINSERT INTO t VALUES (42)\n");
        cmd.m_strCommandFile = script.c_str();
        StreamCapture capture;
        {
            CConsoleRedirect redirect(capture.OutStream(), capture.ErrStream());
            EXPECT_TRUE(cmd.OpenConnection()) << c.name;
            EXPECT_TRUE(cmd.RunScript()) << c.name;
            cmd.CloseConnection();
        }
        EXPECT_EQ(capture.Err(), "") << c.name;
        EXPECT_EQ(capture.Out().rfind("Connecting to 'vorla1'  . . . done!\n", 0), 0u)
            << c.name << ": " << capture.Out();
        EXPECT_EQ(QuerySqlite(database, "SELECT x FROM t"), std::vector<std::string>{"42"})
            << c.name;
    }
}

}  // namespace
}  // namespace vorla::test
