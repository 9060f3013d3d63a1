#include "platform/DataSourceResolve.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testlib/HostOdbc.h"
#include "testlib/RegistryData.h"
#include "testlib/TempDir.h"

namespace {

using vorla::test::CreateRegKey;
using vorla::test::SetRegBinary;
using vorla::test::SetRegDword;
using vorla::test::SetRegString;

const std::string kSales = "SOFTWARE\\ODBC\\ODBC.INI\\Sales";

struct ResolveCase {
    const char* name;
    const char* text;
    std::string expected;
};

class DataSourceResolveTest : public testing::Test {
protected:
    vorla::test::ScopedPrefix m_prefix;
};

TEST_F(DataSourceResolveTest, RegisteredDataSourceNamesItsDriver) {
    // The values of a data source as the program writes them, plus some that
    // must be quoted or skipped.
    SetRegString(HKEY_CURRENT_USER, kSales, "DBQ", "/data/sales.db");
    SetRegString(HKEY_CURRENT_USER, kSales, "Driver", "/lib/odbcjt32.dll");
    SetRegDword(HKEY_CURRENT_USER, kSales, "DriverId", 25);
    SetRegString(HKEY_CURRENT_USER, kSales, "FIL", "MS Access");
    SetRegString(HKEY_CURRENT_USER, kSales, "Description", "north;south");
    SetRegDword(HKEY_CURRENT_USER, kSales, "Largest", 4294967295u);
    SetRegBinary(HKEY_CURRENT_USER, kSales, "Blob", std::string("\x01\x02", 2));
    // The description needs braces, which the stand-in cannot read: it is
    // left out (see StandInGetsNoValueInBraces).
    const std::string added = "DBQ=/data/sales.db;DriverId=25;FIL=MS Access;Largest=4294967295";

    const std::vector<ResolveCase> cases = {
        {"registry values added, DSN dropped", "DSN=Sales;UID=;PWD=",
         "DRIVER=/lib/odbcjt32.dll;UID=;PWD=;DBQ=/data/sales.db;DriverId=25;FIL=MS Access;"
         "Largest=4294967295;Database=/data/sales.db"},
        {"the text's own values win, compared without case",
         "dsn=sales;dbq=/other.db;fil=Text;UID=a;b",
         "DRIVER=/lib/odbcjt32.dll;dbq=/other.db;fil=Text;UID=a;b;DriverId=25;"
         "Largest=4294967295;Database=/other.db"},
        {"a database named in the text stays", "DSN=Sales;Database=/mine.db",
         "DRIVER=/lib/odbcjt32.dll;Database=/mine.db;" + added},
        {"braced name", "DSN={Sales}",
         "DRIVER=/lib/odbcjt32.dll;" + added + ";Database=/data/sales.db"},
        {"unknown data source passes unchanged", "DSN=Other;UID=;PWD=", "DSN=Other;UID=;PWD="},
        {"a named driver passes unchanged", "DRIVER=/x.so;DSN=Sales", "DRIVER=/x.so;DSN=Sales"},
        {"no data source passes unchanged", "Database=/x.db", "Database=/x.db"},
        {"empty name passes unchanged", "DSN=;UID=", "DSN=;UID="},
    };
    for (const ResolveCase& c : cases) {
        EXPECT_EQ(vorla::platform::ResolveDataSource(c.text), c.expected) << c.name;
    }
}

// The stand-in reads a value up to the next ';' and takes braces literally:
// a braced value would reach it cut short, and the rest of it as attributes
// of their own. It gets its file as a file: URI and no braced value at all.
TEST_F(DataSourceResolveTest, StandInGetsNoValueInBraces) {
    SetRegString(HKEY_CURRENT_USER, kSales, "Driver", "/lib/odbcjt32.dll");
    SetRegString(HKEY_CURRENT_USER, kSales, "DBQ", "/data/sales.db");
    const std::string driver = "DRIVER=/lib/odbcjt32.dll;";
    const std::vector<ResolveCase> cases = {
        {"values that would add attributes are left out",
         "DSN=Sales;DBQ=/d/x.mdb;UID={u;Database=/evil.db};PWD={p;LoadExt=/evil.so};DriverId=25",
         driver + "DBQ=/d/x.mdb;DriverId=25;Database=/d/x.mdb"},
        {"a file that needs braces goes as a URI", "DSN=Sales;DBQ={/d/x;y.mdb};PWD=pw",
         driver + "PWD=pw;Database=file:///d/x%3By.mdb"},
        {"every special byte is encoded", "DSN=Sales;DBQ={/d/{a}} b;c%?#.mdb}",
         driver + "Database=file:///d/%7Ba%7D%20b%3Bc%25%3F%23.mdb"},
        {"a relative file", "DSN=Sales;DBQ={rel/x;y}", driver + "Database=file:rel/x%3By"},
        {"a file beginning with two slashes", "DSN=Sales;DBQ={//host/x;y}",
         driver + "Database=file:////host/x%3By"},
    };
    for (const ResolveCase& c : cases) {
        EXPECT_EQ(vorla::platform::ResolveDataSource(c.text), c.expected) << c.name;
    }
}

// Another driver reads braces by the ODBC rule: its values pass in them.
TEST_F(DataSourceResolveTest, OtherDriversKeepValuesInBraces) {
    SetRegString(HKEY_CURRENT_USER, kSales, "Driver", "/lib/pg.so");
    SetRegString(HKEY_CURRENT_USER, kSales, "Description", "north;south");
    EXPECT_EQ(vorla::platform::ResolveDataSource("DSN=Sales;PWD={p;w}"),
              "DRIVER=/lib/pg.so;PWD={p;w};Description={north;south}");
}

TEST_F(DataSourceResolveTest, UserDataSourceComesBeforeTheMachines) {
    SetRegString(HKEY_LOCAL_MACHINE, kSales, "Driver", "/machine.so");
    EXPECT_EQ(vorla::platform::ResolveDataSource("DSN=Sales"), "DRIVER=/machine.so");
    SetRegString(HKEY_CURRENT_USER, kSales, "Driver", "/user.so");
    EXPECT_EQ(vorla::platform::ResolveDataSource("DSN=Sales"), "DRIVER=/user.so");
}

TEST_F(DataSourceResolveTest, UserKeyWithoutDriverPassesUnchanged) {
    SetRegString(HKEY_LOCAL_MACHINE, kSales, "Driver", "/machine.so");
    CreateRegKey(HKEY_CURRENT_USER, kSales);
    SetRegString(HKEY_CURRENT_USER, kSales, "DBQ", "/data/x.db");
    EXPECT_EQ(vorla::platform::ResolveDataSource("DSN=Sales"), "DSN=Sales");
}

// The registry shows the host's data sources too; the driver manager knows
// them itself and gets the text as it stands, as isql would hand it. A store
// data source of the same name is the store's.
TEST_F(DataSourceResolveTest, HostDataSourcePassesUnchanged) {
    SetRegString(HKEY_CURRENT_USER, kSales, "Driver", "/store.so");
    CreateRegKey(HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources");
    CreateRegKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources");
    const vorla::test::HostOdbcConfig odbc = m_prefix.HostOdbc();
    using Scope = vorla::test::HostOdbcConfig::Scope;
    odbc.AddDataSource(Scope::User, "Pg", {{"Driver", "PostgreSQL Unicode"}, {"Port", "5432"}});
    odbc.AddDataSource(Scope::User, "Sales", {{"Driver", "PostgreSQL Unicode"}});
    odbc.AddDataSource(Scope::System, "PgSys", {{"Driver", "PostgreSQL Unicode"}});
    EXPECT_EQ(vorla::platform::ResolveDataSource("DSN=Pg;UID=a;PWD=b"), "DSN=Pg;UID=a;PWD=b");
    EXPECT_EQ(vorla::platform::ResolveDataSource("DSN=pgsys;DBQ=/x.mdb"), "DSN=pgsys;DBQ=/x.mdb");
    EXPECT_EQ(vorla::platform::ResolveDataSource("DSN=Sales"), "DRIVER=/store.so");
}

TEST_F(DataSourceResolveTest, DriverPathWithSemicolonIsQuoted) {
    SetRegString(HKEY_CURRENT_USER, kSales, "Driver", "/odd;dir/driver.so");
    EXPECT_EQ(vorla::platform::ResolveDataSource("DSN=Sales"), "DRIVER={/odd;dir/driver.so}");
}

TEST_F(DataSourceResolveTest, LargeValueIsReadWhole) {
    const std::string big(100000, 'v');
    SetRegString(HKEY_CURRENT_USER, kSales, "Driver", "/d.so");
    SetRegString(HKEY_CURRENT_USER, kSales, "Big", big);
    EXPECT_EQ(vorla::platform::ResolveDataSource("DSN=Sales"), "DRIVER=/d.so;Big=" + big);
}

}  // namespace
