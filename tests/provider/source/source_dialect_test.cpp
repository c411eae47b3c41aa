#include "provider/source/source_dialect.h"

#include <gtest/gtest.h>

#include <string>

namespace cubemill::provider::source {
namespace {

TEST(SourceDialectTest, TellsEachKindByItsDriverAndItsDbms) {
  const struct {
    const char* driver;
    const SourceDialect* dialect;
  } drivers[] = {
      {"SQLite3", &SqliteDialect()},
      {"libsqlite3odbc.so", &SqliteDialect()},
      {"{SQLite3 ODBC Driver}", &SqliteDialect()},
      {"PostgreSQL Unicode", &PostgresDialect()},
      {"psqlodbcw.so", &PostgresDialect()},
      {"ODBC Driver 18 for SQL Server", &GenericDialect()},
      {"", &GenericDialect()},
  };
  for (const auto& c : drivers) EXPECT_EQ(&DialectOfDriver(c.driver), c.dialect) << c.driver;
  const struct {
    const char* dbms;
    const SourceDialect* dialect;
  } names[] = {
      {"PostgreSQL", &PostgresDialect()}, {" postgresql ", &PostgresDialect()},
      {"SQLite", &SqliteDialect()},       {"Oracle", &GenericDialect()},
      {"MySQL", &GenericDialect()},       {"", &GenericDialect()},
  };
  for (const auto& c : names) EXPECT_EQ(&DialectOfDbms(c.dbms), c.dialect) << c.dbms;
  // The name a dialect gives a source it does not connect to is its own DBMS's.
  for (const SourceDialect* dialect : {&SqliteDialect(), &PostgresDialect()})
    EXPECT_EQ(&DialectOfDbms(dialect->name), dialect) << dialect->name;
}

}  // namespace
}  // namespace cubemill::provider::source
