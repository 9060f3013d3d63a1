#include "framework/DsnResolve.h"

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

class DsnResolveTest : public testing::Test {
protected:
    vorla::test::ScopedPrefix m_prefix;
};

TEST_F(DsnResolveTest, RegisteredDataSourceNamesItsDriver) {
    // The values of a data source as the program writes them, plus some that
    // must be quoted or skipped.
    SetRegString(HKEY_CURRENT_USER, kSales, "DBQ", "/data/sales.db");
    SetRegString(HKEY_CURRENT_USER, kSales, "Driver", "/lib/odbcjt32.dll");
    SetRegDword(HKEY_CURRENT_USER, kSales, "DriverId", 25);
    SetRegString(HKEY_CURRENT_USER, kSales, "FIL", "MS Access");
    SetRegString(HKEY_CURRENT_USER, kSales, "Description", "north;south");
    SetRegDword(HKEY_CURRENT_USER, kSales, "Largest", 4294967295u);
    SetRegBinary(HKEY_CURRENT_USER, kSales, "Blob", std::string("\x01\x02", 2));
    const std::string added =
        "DBQ=/data/sales.db;DriverId=25;FIL=MS Access;Description={north;south};"
        "Largest=4294967295";

    const std::vector<ResolveCase> cases = {
        {"registry values added, DSN dropped", "DSN=Sales;UID=;PWD=",
         "DRIVER=/lib/odbcjt32.dll;UID=;PWD=;DBQ=/data/sales.db;DriverId=25;FIL=MS Access;"
         "Description={north;south};Largest=4294967295;Database=/data/sales.db"},
        {"the text's own values win, compared without case",
         "dsn=sales;dbq=/other.db;fil=Text;UID=a;b",
         "DRIVER=/lib/odbcjt32.dll;dbq=/other.db;fil=Text;UID=a;b;DriverId=25;"
         "Description={north;south};Largest=4294967295;Database=/other.db"},
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
        EXPECT_EQ(AfxResolveDataSource(c.text).Str(), c.expected) << c.name;
    }
}

TEST_F(DsnResolveTest, UserDataSourceComesBeforeTheMachines) {
    SetRegString(HKEY_LOCAL_MACHINE, kSales, "Driver", "/machine.so");
    EXPECT_EQ(AfxResolveDataSource("DSN=Sales"), "DRIVER=/machine.so");
    SetRegString(HKEY_CURRENT_USER, kSales, "Driver", "/user.so");
    EXPECT_EQ(AfxResolveDataSource("DSN=Sales"), "DRIVER=/user.so");
}

TEST_F(DsnResolveTest, UserKeyWithoutDriverPassesUnchanged) {
    SetRegString(HKEY_LOCAL_MACHINE, kSales, "Driver", "/machine.so");
    CreateRegKey(HKEY_CURRENT_USER, kSales);
    SetRegString(HKEY_CURRENT_USER, kSales, "DBQ", "/data/x.db");
    EXPECT_EQ(AfxResolveDataSource("DSN=Sales"), "DSN=Sales");
}

// The registry shows the host's data sources too; the driver manager knows
// them itself and gets the text as it stands, as isql would hand it. A store
// data source of the same name is the store's.
TEST_F(DsnResolveTest, HostDataSourcePassesUnchanged) {
    SetRegString(HKEY_CURRENT_USER, kSales, "Driver", "/store.so");
    CreateRegKey(HKEY_CURRENT_USER, "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources");
    CreateRegKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources");
    const vorla::test::HostOdbcConfig odbc = m_prefix.HostOdbc();
    using Scope = vorla::test::HostOdbcConfig::Scope;
    odbc.AddDataSource(Scope::User, "Pg", {{"Driver", "PostgreSQL Unicode"}, {"Port", "5432"}});
    odbc.AddDataSource(Scope::User, "Sales", {{"Driver", "PostgreSQL Unicode"}});
    odbc.AddDataSource(Scope::System, "PgSys", {{"Driver", "PostgreSQL Unicode"}});
    EXPECT_EQ(AfxResolveDataSource("DSN=Pg;UID=a;PWD=b"), "DSN=Pg;UID=a;PWD=b");
    EXPECT_EQ(AfxResolveDataSource("DSN=pgsys;DBQ=/x.mdb"), "DSN=pgsys;DBQ=/x.mdb");
    EXPECT_EQ(AfxResolveDataSource("DSN=Sales"), "DRIVER=/store.so");
}

TEST_F(DsnResolveTest, DriverPathWithSemicolonIsQuoted) {
    SetRegString(HKEY_CURRENT_USER, kSales, "Driver", "/odd;dir/driver.so");
    EXPECT_EQ(AfxResolveDataSource("DSN=Sales"), "DRIVER={/odd;dir/driver.so}");
}

TEST_F(DsnResolveTest, LargeValueIsReadWhole) {
    const std::string big(100000, 'v');
    SetRegString(HKEY_CURRENT_USER, kSales, "Driver", "/d.so");
    SetRegString(HKEY_CURRENT_USER, kSales, "Big", big);
    EXPECT_EQ(AfxResolveDataSource("DSN=Sales"), "DRIVER=/d.so;Big=" + big);
}

}  // namespace
