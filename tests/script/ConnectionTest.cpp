#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/RunCmd.h"
#include "framework/Console.h"
#include "testlib/OdbcTest.h"
#include "testlib/StreamCapture.h"
#include "testlib/TempDir.h"
#include "testlib/Wine.h"

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
        {"';' in the credentials goes in braces", "a;b", "p;w=x", "",
         "ODBC;DSN=Sales;UID={a;b};PWD={p;w=x}"},
        {"braces in a value are doubled at the end", "a;b", "{p;w}", "C:\\db\\s.mdb",
         "ODBC;DSN=Sales;DBQ=C:\\db\\s.mdb;UID={a;b};PWD={{p;w}}};DriverId=25;FIL=MS Access;"
         "MaxBufferSize=512;PageTimeout=5;"},
        {"';' in the path goes in braces", "", "", "/data/x;y.mdb",
         "ODBC;DSN=Sales;DBQ={/data/x;y.mdb};DriverId=25;FIL=MS Access;MaxBufferSize=512;"
         "PageTimeout=5;"},
        {"blanks at either end", " ann", "pw ", "", "ODBC;DSN=Sales;UID={ ann};PWD={pw }"},
        {"'=', inner blanks and other marks stay as they are", "a=b c", "p'w\"", "/d/a b.mdb",
         "ODBC;DSN=Sales;DBQ=/d/a b.mdb;UID=a=b c;PWD=p'w\";DriverId=25;FIL=MS Access;"
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
    CRunCmd named;
    named.m_strDsn = "North;South";
    named.ComposeConnectString();
    EXPECT_EQ(named.m_strConnect, "ODBC;DSN={North;South};UID=;PWD=");
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
    EXPECT_NE(cmd.m_strConnect.Find(("Database=" + DriverFilePath(dir.File("c.db"))).c_str()), -1)
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
    ASSERT_FALSE(capture.Chunks().empty());
    EXPECT_EQ(capture.Chunks().front(),
              (Chunk{Stream::Out, "Connecting to 'Sales' the sales data . . ."}));
    ASSERT_EQ(capture.Chunks().size(), 2u);
    EXPECT_EQ(capture.Chunks()[1].stream, Stream::Err);
    const std::string windowsError =
        "Database connection error '" + MissingDriverText(missing) + "'\n";
    const std::string wineError =
        "Database connection error '" + UnixOdbcMissingDriverText(missing) + "'\n";
    EXPECT_WINDOWS_OR_WINE(windowsError, wineError, capture.Err(),
                           "the driver manager is unixODBC: its text for a missing driver");
    EXPECT_FALSE(cmd.m_db.IsOpen());
}

}  // namespace
}  // namespace vorla::test
