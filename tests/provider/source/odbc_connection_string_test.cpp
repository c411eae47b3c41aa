#include "provider/source/odbc_connection_string.h"

#include <gtest/gtest.h>

namespace cubemill::provider::source {
namespace {

TEST(OdbcConnectionStringTest, MakesTheSourceConnectionString) {
  const struct {
    const char* dsn;
    const char* suffix;
    const char* uid;
    const char* pwd;
    const char* expected;
  } cases[] = {
      {"Salesbase", "", "", "", "DSN=Salesbase"},
      {" Salesbase ", "", "", "", "DSN=Salesbase"},
      {"DSN=Salesbase;DBQ=C:\\Data\\sales.mdb;UID=reader", "", "", "",
       "DSN=Salesbase;DBQ=C:\\Data\\sales.mdb;UID=reader"},
      {"DRIVER=SQLite3;Database=../data/sales.db", "", "", "",
       "DRIVER=SQLite3;Database=../data/sales.db"},
      {"DSN=Sales", "Prompt=CompleteRequired;Window Handle=0x1234", "", "", "DSN=Sales"},
      {"DSN=Sales;", "Prompt=CompleteRequired;Timeout=5;WINDOWHANDLE=0x1", "", "",
       "DSN=Sales;Timeout=5"},
      {"Sales", "", "reader", "secret", "DSN=Sales;UID=reader;PWD=secret"},
      {"DSN=Sales;UID=old;PWD=old", "", "reader", "", "DSN=Sales;PWD=old;UID=reader"},
      {"DSN=Sales;uid=old;pwd=old", "", "reader", "a;b}", "DSN=Sales;UID=reader;PWD={a;b}}}"},
      {"", "", "", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MakeOdbcConnectionString(c.dsn, c.suffix, c.uid, c.pwd), c.expected) << c.dsn;
  }
}

TEST(OdbcConnectionStringTest, FindsAttributesWithoutCaseAndBraces) {
  EXPECT_EQ(FindOdbcAttribute("DRIVER={SQLite3 ODBC};Database=x", "driver"), "SQLite3 ODBC");
  EXPECT_EQ(FindOdbcAttribute("dsn = Sales ;DSN=Other", "DSN"), "Sales");
  EXPECT_EQ(FindOdbcAttribute("A={x;y}}z};Database=d.db", "database"), "d.db");
  EXPECT_EQ(FindOdbcAttribute("DSN=Sales", "DRIVER"), std::nullopt);
}

TEST(OdbcConnectionStringTest, AddsTheStreamingOptionOfKnownDrivers) {
  const struct {
    const char* odbc;
    const char* driver;
    const char* expected;
  } cases[] = {
      {"DRIVER=SQLite3;Database=a.db", "SQLite3", "DRIVER=SQLite3;Database=a.db;StepAPI=1"},
      {"DSN=Sales;", "libsqlite3odbc.so", "DSN=Sales;StepAPI=1"},
      {"DRIVER=SQLite3;stepapi=0", "SQLite3", "DRIVER=SQLite3;stepapi=0"},
      {"DSN=pg", "psqlodbcw.so", "DSN=pg;UseDeclareFetch=1;Fetch=10000"},
      {"DRIVER={PostgreSQL Unicode};B6=0", "PostgreSQL Unicode",
       "DRIVER={PostgreSQL Unicode};B6=0;Fetch=10000"},
      {"DSN=other", "libmyodbc8w.so", "DSN=other"},
      {"DSN=other", "", "DSN=other"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AddStreamingOptions(c.odbc, c.driver), c.expected) << c.odbc;
  }
  // A result read whole asks for no cursor, which the streaming options then leave alone; the
  // user's own choice stands.
  EXPECT_EQ(AddStreamingOptions(ReadWholeResult("DSN=pg", PostgresDialect()), "psqlodbcw.so"),
            "DSN=pg;UseDeclareFetch=0;Fetch=10000");
  EXPECT_EQ(ReadWholeResult("DSN=pg;usedeclarefetch=1", PostgresDialect()),
            "DSN=pg;usedeclarefetch=1");
  EXPECT_EQ(ReadWholeResult("DSN=pg;B6=1", PostgresDialect()), "DSN=pg;B6=1");
  // Only psqlODBC has such an option.
  EXPECT_EQ(ReadWholeResult("DSN=lite", SqliteDialect()), "DSN=lite");
  EXPECT_EQ(ReadWholeResult("DSN=other", GenericDialect()), "DSN=other");
}

// The driver options: the streaming ones, and for SQLite NoCreat, which has the driver refuse a
// database file that does not exist instead of creating an empty one.
TEST(OdbcConnectionStringTest, AddsTheDriversOptions) {
  const struct {
    const char* odbc;
    const char* driver;
    const char* expected;
  } cases[] = {
      {"DRIVER=SQLite3;Database=a.db", "SQLite3",
       "DRIVER=SQLite3;Database=a.db;StepAPI=1;NoCreat=1"},
      {"DSN=Sales;", "libsqlite3odbc.so", "DSN=Sales;StepAPI=1;NoCreat=1"},
      {"DRIVER=SQLite3;nocreat=0", "SQLite3", "DRIVER=SQLite3;nocreat=0;StepAPI=1"},
      {"DSN=pg", "psqlodbcw.so", "DSN=pg;UseDeclareFetch=1;Fetch=10000"},
      {"DSN=other", "libmyodbc8w.so", "DSN=other"},
      {"DSN=other", "", "DSN=other"},
  };
  for (const auto& c : cases) EXPECT_EQ(AddDriverOptions(c.odbc, c.driver), c.expected) << c.odbc;
}

TEST(OdbcConnectionStringTest, ReadsTheSqliteTimeoutAndReplacesIt) {
  const struct {
    const char* odbc;
    long timeout_ms;
    const char* with_short_timeout;
  } cases[] = {
      {"DRIVER=SQLite3;Database=a.db", 100000, "DRIVER=SQLite3;Database=a.db;Timeout=1"},
      {"DRIVER=SQLite3;tImEoUt= +2500;Database=a.db", 2500,
       "DRIVER=SQLite3;Database=a.db;Timeout=1"},
      // The driver does not find a key with blanks, nor read a value in braces or with a blank
      // after it: it waits its default, whatever the string says.
      {"DRIVER=SQLite3;timeout = 2500 ;Database=a.db", 100000,
       "DRIVER=SQLite3;Database=a.db;Timeout=1"},
      {"DRIVER=SQLite3; Timeout=2500", 100000, "DRIVER=SQLite3;Timeout=1"},
      {"DRIVER=SQLite3;Timeout=2500 ", 100000, "DRIVER=SQLite3;Timeout=1"},
      {"DSN=Sales;Timeout={300};", 100000, "DSN=Sales;Timeout=1"},
      {"DSN=Sales;Timeout=soon", 100000, "DSN=Sales;Timeout=1"},
      // A number the driver would not wait for: none, zero, negative, signed twice, too large.
      {"DSN=Sales;Timeout=", 100000, "DSN=Sales;Timeout=1"},
      {"DSN=Sales;Timeout=0", 100000, "DSN=Sales;Timeout=1"},
      {"DSN=Sales;Timeout=-5", 100000, "DSN=Sales;Timeout=1"},
      {"DSN=Sales;Timeout=+-5", 100000, "DSN=Sales;Timeout=1"},
      {"DSN=Sales;Timeout=++5", 100000, "DSN=Sales;Timeout=1"},
      {"DSN=Sales;Timeout=99999999999999999999", 100000, "DSN=Sales;Timeout=1"},
      {"DSN=Sales;Timeout=\t007", 7, "DSN=Sales;Timeout=1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SqliteTimeoutMs(c.odbc), c.timeout_ms) << c.odbc;
    EXPECT_EQ(ReplaceOdbcAttribute(c.odbc, "Timeout", "1"), c.with_short_timeout) << c.odbc;
  }
}

}  // namespace
}  // namespace cubemill::provider::source
