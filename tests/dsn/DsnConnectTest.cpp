// A data source registered by CreateDsn in a prefix whose driver link points
// at the SQLite ODBC driver is a working connection to its database file.
#include <unistd.h>

#include <gtest/gtest.h>

#include "DsnFixture.h"
#include "app/RunCmd.h"
#include "dsn/DsnCreate.h"
#include "testlib/OdbcTest.h"

namespace {

using namespace vorla::test;

TEST(DsnConnect, CreatedDataSourceReachesItsDatabaseFile) {
    VORLA_REQUIRE_SQLITE_ODBC(driver);
    ScopedPrefix prefix;
    char systemDir[1024];
    ASSERT_NE(GetSystemDirectoryA(systemDir, sizeof systemDir), 0u);
    ASSERT_EQ(symlink(driver.c_str(), (std::string(systemDir) + "/odbcjt32.dll").c_str()), 0);
    MakeKey(HKEY_CURRENT_USER, kListKey);

    ScopedTempDir dir;
    const std::string database = dir.File("sales.mdb");
    {
        CapturedConsole console;
        ASSERT_TRUE(CreateDsn("Sales", "Sales figures", database.c_str(), HKEY_CURRENT_USER));
    }

    // The run's own connection path: the composed string, the open, a batch.
    CRunCmd cmd;
    cmd.m_strDsn = "Sales";
    cmd.m_strDescription = "Sales figures";
    cmd.m_strOutputFile = database.c_str();
    cmd.ComposeConnectString();
    {
        CapturedConsole console;
        ASSERT_TRUE(cmd.OpenConnection()) << console.Err();
        EXPECT_EQ(console.Out(), "Connecting to 'Sales' Sales figures . . . done!\n");
    }
    cmd.m_db.ExecuteSQL("CREATE TABLE proof (n INTEGER)");
    cmd.m_db.ExecuteSQL("INSERT INTO proof VALUES (42)");
    {
        CapturedConsole console;
        cmd.CloseConnection();
        EXPECT_EQ(console.Out(), "Closing connection.\n");
    }
    EXPECT_EQ(QuerySqlite(database, "SELECT n FROM proof"), std::vector<std::string>{"42"});
}

}  // namespace
