// Connections through data sources that the program keeps in the registry.
// On POSIX the framework resolves them before unixODBC is called; on Windows
// the driver manager reads the registry itself, which Wine's driver manager
// does not do.
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
