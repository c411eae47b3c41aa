#include "provider/source/odbc_source.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

#include "provider/engine_error.h"
#include "provider/source/odbc_describe.h"
#include "support/sqlite_fixture.h"
#include "support/system.h"
#include "support/test_support.h"

namespace cubemill::provider::source {
namespace {

using namespace std::string_view_literals;
using test::RunSqlite;
using test::SqliteOdbc;

// Opens `select` on the database at `path`, failing the test when that fails.
std::unique_ptr<OdbcSource> OpenOrFail(const std::string& path, const std::string& select,
                                       const std::vector<ColumnHint>& hints = {},
                                       SqliteReading reading = SqliteReading::kLibrary) {
  auto source = OdbcSource::Open(SqliteOdbc(path), select, hints, {}, reading);
  EXPECT_TRUE(source.ok()) << (source.ok() ? "" : source.error().description);
  return source.ok() ? std::move(*source) : nullptr;
}

// Reads every row, copying text so that it outlives the next fetch.
struct OwnedRows {
  std::vector<std::vector<Value>> rows;
  std::vector<std::unique_ptr<std::string>> texts;
};

OwnedRows ReadAll(RowSource& source) {
  OwnedRows result;
  std::vector<Value> row;
  for (;;) {
    auto more = source.NextRow(row);
    EXPECT_TRUE(more.ok()) << (more.ok() ? "" : more.error().description);
    if (!more.ok() || !*more) break;
    for (auto& value : row) {
      if (const auto* text = std::get_if<std::string_view>(&value)) {
        result.texts.push_back(std::make_unique<std::string>(*text));
        value = std::string_view(*result.texts.back());
      }
    }
    result.rows.push_back(row);
  }
  return result;
}

std::size_t OpenFileCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

TEST(OdbcSourceTest, ReadsEachColumnTypeAsTheDriverReportsIt) {
  test::TempDir dir;
  RunSqlite(dir.File("t.db"),
            "CREATE TABLE t(id INTEGER, amount REAL, city TEXT, day DATE, moment TIMESTAMP);"
            "INSERT INTO t VALUES (1, 2.5, 'Valencia', '2024-03-05', '2024-03-05 07:08:09');"
            "INSERT INTO t VALUES (2, -1, 'Zürich', '2023-12-31', '2023-12-31 23:59:59.5');"
            "INSERT INTO t VALUES (3, NULL, NULL, NULL, NULL);");
  auto source =
      OpenOrFail(dir.File("t.db"), "SELECT id, amount, city, day, moment FROM t ORDER BY id");
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->ColumnCount(), 5u);
  const std::vector<std::vector<Value>> expected = {
      {std::int64_t{1}, 2.5, "Valencia"sv, Date{2024, 3, 5}, Timestamp{{2024, 3, 5}, 7, 8, 9}},
      {std::int64_t{2}, -1.0, "Zürich"sv, Date{2023, 12, 31},
       Timestamp{{2023, 12, 31}, 23, 59, 59}},
      {std::int64_t{3}, std::monostate{}, std::monostate{}, std::monostate{}, std::monostate{}},
  };
  EXPECT_EQ(ReadAll(*source).rows, expected);
  std::vector<Value> row;
  auto after_end = source->NextRow(row);
  ASSERT_TRUE(after_end.ok());
  EXPECT_FALSE(*after_end);
}

TEST(OdbcSourceTest, ReadsValuesAsTheHintsAsk) {
  test::TempDir dir;
  RunSqlite(dir.File("t.db"),
            "CREATE TABLE t(id INTEGER, n INTEGER, q TEXT, d TEXT);"
            "INSERT INTO t VALUES (1, 7, '12', '2024-03-05');"
            "INSERT INTO t VALUES (2, 8, '12.0', '2024-03-05 10:00:00');"
            "INSERT INTO t VALUES (3, 9, '12.5', 'soon');"
            "INSERT INTO t VALUES (4, 'n/a', 'n/a', '2023-02-29');");
  auto source = OpenOrFail(dir.File("t.db"), "SELECT n, n, q, q, d FROM t ORDER BY id",
                           {ColumnHint::kReal, ColumnHint::kInteger, ColumnHint::kInteger,
                            ColumnHint::kText, ColumnHint::kDateTime});
  ASSERT_NE(source, nullptr);
  const std::vector<std::vector<Value>> expected = {
      {7.0, std::int64_t{7}, std::int64_t{12}, "12"sv, Date{2024, 3, 5}},
      {8.0, std::int64_t{8}, std::int64_t{12}, "12.0"sv, Timestamp{{2024, 3, 5}, 10, 0, 0}},
      {9.0, std::int64_t{9}, 12.5, "12.5"sv, "soon"sv},
      // What cannot be read as asked arrives as text (the driver itself would give NULL).
      {"n/a"sv, "n/a"sv, "n/a"sv, "n/a"sv, "2023-02-29"sv},
  };
  EXPECT_EQ(ReadAll(*source).rows, expected);
}

TEST(OdbcSourceTest, ReadsAggregatesAsNumbersThoughTheDriverCallsThemText) {
  test::TempDir dir;
  RunSqlite(dir.File("t.db"),
            "CREATE TABLE t(g TEXT, q INTEGER, a REAL);"
            "INSERT INTO t VALUES ('x', 3000000000, 0.25), ('x', 3000000000, 0.5), ('y', 1, 1);");
  auto source = OpenOrFail(
      dir.File("t.db"), "SELECT g, SUM(q), SUM(a), COUNT(*) FROM t GROUP BY g ORDER BY g",
      {ColumnHint::kText, ColumnHint::kInteger, ColumnHint::kReal, ColumnHint::kInteger});
  ASSERT_NE(source, nullptr);
  const std::vector<std::vector<Value>> expected = {
      {"x"sv, std::int64_t{6000000000}, 0.75, std::int64_t{2}},
      {"y"sv, std::int64_t{1}, 1.0, std::int64_t{1}},
  };
  EXPECT_EQ(ReadAll(*source).rows, expected);
}

TEST(OdbcSourceTest, DeliversTextLongerThanTheCellBufferWhole) {
  test::TempDir dir;
  RunSqlite(dir.File("t.db"),
            "CREATE TABLE t(id INTEGER, note TEXT);"
            "INSERT INTO t VALUES (1, 'short');"
            "INSERT INTO t VALUES (2, printf('%.*c', 70000, 'y') || 'END');"
            "INSERT INTO t VALUES (3, printf('%.*c', 1024, 'z'));"
            "INSERT INTO t VALUES (4, 'after');");
  auto source = OpenOrFail(dir.File("t.db"), "SELECT id, note FROM t ORDER BY id");
  ASSERT_NE(source, nullptr);
  const auto result = ReadAll(*source);
  ASSERT_EQ(result.rows.size(), 4u);
  EXPECT_EQ(result.rows[0][1], Value("short"sv));
  EXPECT_EQ(std::get<std::string_view>(result.rows[1][1]), std::string(70000, 'y') + "END");
  EXPECT_EQ(std::get<std::string_view>(result.rows[2][1]), std::string(1024, 'z'));
  EXPECT_EQ(result.rows[3][1], Value("after"sv));
}

TEST(OdbcSourceTest, ReportsAValueLongerThanItsDeclaredWidthInBlockMode) {
  // The SQLite driver believes VARCHAR(10) and cannot re-read one row of a block: the value
  // must not be cut silently. SQLite's library hands it over whole.
  test::TempDir dir;
  RunSqlite(dir.File("t.db"),
            "CREATE TABLE t(id INTEGER, code VARCHAR(10));"
            "INSERT INTO t VALUES (1, 'ok'), (2, printf('%.*c', 2000, 'x'));");
  auto library = OpenOrFail(dir.File("t.db"), "SELECT id, code FROM t ORDER BY id");
  ASSERT_NE(library, nullptr);
  ASSERT_TRUE(library->ReadsThroughSqliteLibrary());
  const auto whole = ReadAll(*library);
  ASSERT_EQ(whole.rows.size(), 2u);
  EXPECT_EQ(whole.rows[1][1], Value(std::string_view(std::string(2000, 'x'))));

  auto source = OpenOrFail(dir.File("t.db"), "SELECT id, code FROM t ORDER BY id", {},
                           SqliteReading::kDriver);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->FetchBlockRows(), kFetchBlockRows);
  std::vector<Value> row;
  ASSERT_TRUE(source->NextRow(row).ok());
  auto second = source->NextRow(row);
  ASSERT_FALSE(second.ok());
  EXPECT_EQ(second.error().number, kSourceErrorNumber);
  EXPECT_NE(second.error().description.find("fetch of row 2 failed: column 2 \"code\""),
            std::string::npos)
      << second.error().description;
}

TEST(OdbcSourceTest, ReportsEachFailingStepWithTheDriverDiagnostic) {
  test::TempDir dir;
  RunSqlite(dir.File("t.db"), "CREATE TABLE t(a INTEGER);");
  const struct {
    std::string connection;
    std::string select;
    std::string expected_start;
    std::string expected_part;
  } cases[] = {
      {"DSN=NoSuchCubemillSource", "SELECT 1", "source: connect failed: [IM002] ",
       "Data source name not found"},
      {"DRIVER=NoSuchCubemillDriver", "SELECT 1", "source: connect failed: [01000] ",
       "Can't open lib"},
      {SqliteOdbc(dir.File("t.db")), "SELECT x FROM sales", "source: SELECT failed: [HY000] ",
       "no such table: sales"},
      {SqliteOdbc(dir.File("t.db")), "SELEKT 1", "source: SELECT failed: [HY000] ", "syntax error"},
      {SqliteOdbc(dir.File("t.db")), "DELETE FROM t",
       "source: SELECT failed: ", "no result columns"},
  };
  for (const auto& c : cases) {
    auto source = OpenOdbcSource(c.connection, c.select, {});
    ASSERT_FALSE(source.ok()) << c.connection << " " << c.select;
    const Error& error = source.error();
    EXPECT_EQ(error.number, kSourceErrorNumber);
    EXPECT_EQ(error.source, kEngineSource);
    EXPECT_EQ(error.description.rfind(c.expected_start, 0), 0u) << error.description;
    EXPECT_NE(error.description.find(c.expected_part), std::string::npos) << error.description;
  }
}

TEST(OdbcSourceTest, ReadsManyRowsInBlocksWhileStreaming) {
  test::TempDir dir;
  RunSqlite(dir.File("big.db"),
            "CREATE TABLE s(id INTEGER, amount REAL, city VARCHAR(20));"
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 100000) "
            "INSERT INTO s SELECT x, x * 0.5, 'city' || (x % 100) FROM n;");
  auto source = OpenOrFail(dir.File("big.db"), "SELECT id, amount, city FROM s",
                           {ColumnHint::kInteger, ColumnHint::kReal, ColumnHint::kText},
                           SqliteReading::kDriver);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->FetchBlockRows(), kFetchBlockRows);
  EXPECT_GE(source->FetchBlockRows(), 1000u);
  EXPECT_NE(source->ConnectionString().find(";StepAPI=1"), std::string::npos);
  std::vector<Value> row;
  std::int64_t rows = 0, id_sum = 0;
  double amount_sum = 0;
  std::size_t text_bytes = 0;
  for (;;) {
    auto more = source->NextRow(row);
    ASSERT_TRUE(more.ok()) << more.error().description;
    if (!*more) break;
    ++rows;
    id_sum += std::get<std::int64_t>(row[0]);
    amount_sum += std::get<double>(row[1]);
    text_bytes += std::get<std::string_view>(row[2]).size();
  }
  EXPECT_EQ(rows, 100000);
  EXPECT_EQ(id_sum, std::int64_t{100000} * 100001 / 2);
  EXPECT_DOUBLE_EQ(amount_sum, 0.5 * 100000 * 100001 / 2);
  EXPECT_EQ(text_bytes, 100000u * 4 + 10u * 1000 + 90u * 1000 * 2);
}

TEST(OdbcSourceTest, AddsTheStreamingOptionForADataSourceName) {
  test::TempDir dir;
  RunSqlite(dir.File("t.db"), "CREATE TABLE t(a INTEGER); INSERT INTO t VALUES (5);");
  test::WriteBytes(dir.File("odbc.ini"),
                   "[CubemillTestSource]\nDriver=SQLite3\nDatabase=" + dir.File("t.db") + "\n");
  std::optional<std::string> saved;
  if (const char* previous = std::getenv("ODBCINI")) saved = previous;
  test::SetEnvironment("ODBCINI", dir.File("odbc.ini"));
  auto source = OdbcSource::Open("DSN=CubemillTestSource", "SELECT a FROM t", {});
  test::SetEnvironment("ODBCINI", saved);
  ASSERT_TRUE(source.ok()) << source.error().description;
  EXPECT_EQ((*source)->ConnectionString(), "DSN=CubemillTestSource;StepAPI=1;NoCreat=1");
  EXPECT_EQ(ReadAll(**source).rows, (std::vector<std::vector<Value>>{{std::int64_t{5}}}));
}

TEST(OdbcSourceTest, EmptyResultGivesNoRows) {
  test::TempDir dir;
  RunSqlite(dir.File("t.db"), "CREATE TABLE t(a INTEGER, b TEXT);");
  auto source = OpenOrFail(dir.File("t.db"), "SELECT a, b FROM t");
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->ColumnCount(), 2u);
  EXPECT_TRUE(ReadAll(*source).rows.empty());
}

TEST(OdbcSourceTest, FreesItsHandlesOnEveryPath) {
  test::TempDir dir;
  RunSqlite(dir.File("t.db"), "CREATE TABLE t(a INTEGER); INSERT INTO t VALUES (1), (2), (3);");
  // Warm up the driver manager and driver once, then count open files around many opens.
  { auto warm = OpenOdbcSource(SqliteOdbc(dir.File("t.db")), "SELECT a FROM t", {}); }
  const std::size_t files_before = OpenFileCount();
  for (int i = 0; i < 200; ++i) {
    auto read_one = OpenOdbcSource(SqliteOdbc(dir.File("t.db")), "SELECT a FROM t", {});
    ASSERT_TRUE(read_one.ok());
    std::vector<Value> row;
    ASSERT_TRUE((*read_one)->NextRow(row).ok());  // closed with the cursor still open
    auto failed = OpenOdbcSource(SqliteOdbc(dir.File("t.db")), "SELECT b FROM t", {});
    ASSERT_FALSE(failed.ok());
  }
  EXPECT_EQ(OpenFileCount(), files_before);
  // The database is not held open: it can be replaced and read again.
  std::filesystem::remove(dir.File("t.db"));
  RunSqlite(dir.File("t.db"), "CREATE TABLE t(a INTEGER); INSERT INTO t VALUES (9);");
  auto again = OpenOrFail(dir.File("t.db"), "SELECT a FROM t");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(ReadAll(*again).rows, (std::vector<std::vector<Value>>{{std::int64_t{9}}}));
}

TEST(OdbcSourceTest, SaysWhenALockedSqliteSourceMakesItWait) {
  test::TempDir dir;
  const std::string path = dir.File("t.db");
  RunSqlite(path, "CREATE TABLE t(a INTEGER); INSERT INTO t VALUES (1);");
  using Lines = std::vector<std::string>;
  // Named as the connection string gives it to the driver.
  const std::string database =
      " for the lock on the SQLite database \"" + test::DriverPath(path) + "\"";
  const struct {
    bool locked;
    const char* options;  // appended to the connection string; short timeouts keep it quick
    Lines said;
  } cases[] = {
      {false, "", {}},
      {true, ";Timeout=200", {"Source busy: waiting up to 1 s" + database}},
      // The driver reads "timeout= 501" but not "timeout = 501" (see SqliteTimeoutMs).
      {true, ";timeout= 501", {"Source busy: waiting up to 2 s" + database}},
  };
  for (const auto& c : cases) {
    std::optional<test::SqliteWriteLock> lock;
    if (c.locked) lock.emplace(path);
    // Said on the list and, at once, as a warning on standard error: by a build's source and by
    // a check's description of its SELECT alike.
    Lines said;
    const InfoMessage say = [&said](const std::string& line) { said.push_back(line); };
    ::testing::internal::CaptureStderr();
    auto source = OdbcSource::Open(SqliteOdbc(path) + c.options, "SELECT a FROM t", {}, say);
    auto described = DescribeOdbcSelect(SqliteOdbc(path) + c.options, "SELECT a FROM t", say);
    Lines warnings;
    std::istringstream stderr_text(::testing::internal::GetCapturedStderr());
    for (std::string line; std::getline(stderr_text, line);) warnings.push_back(line);
    Lines twice = c.said;
    twice.insert(twice.end(), c.said.begin(), c.said.end());
    EXPECT_EQ(said, twice) << c.options;
    Lines warned;
    for (const std::string& line : twice) warned.push_back("cubemill: warning: s" + line.substr(1));
    EXPECT_EQ(warnings, warned) << c.options;
    ASSERT_EQ(source.ok(), !c.locked) << c.options;
    ASSERT_EQ(described.ok(), !c.locked) << c.options;
    if (c.locked) {
      EXPECT_NE(source.error().description.find("database is locked"), std::string::npos)
          << source.error().description;
    }
  }
}

// The survey of an AUTO or SOURCE build does not connect to a SQLite source, named by its driver
// or by a data source: it is a file without a planner to ask, and a connection to it would wait
// for a lock before the build's own connection could say so.
TEST(OdbcSourceTest, SurveyDoesNotConnectToASqliteSource) {
  test::TempDir dir;
  const std::string path = dir.File("t.db");
  RunSqlite(path, "CREATE TABLE t(a INTEGER); INSERT INTO t VALUES (1);");
  test::WriteBytes(dir.File("odbc.ini"), "[CubemillLockedSource]\nDriver=SQLite3\nDatabase=" +
                                             path + "\nTimeout=10000\n");
  std::optional<std::string> saved;
  if (const char* previous = std::getenv("ODBCINI")) saved = previous;
  test::SetEnvironment("ODBCINI", dir.File("odbc.ini"));
  test::SqliteWriteLock lock(path);
  // A connection would wait the driver's 10 s for the lock; the bound below is far from both.
  for (const std::string& connection :
       {SqliteOdbc(path) + ";Timeout=10000", std::string("DSN=CubemillLockedSource")}) {
    const auto start = std::chrono::steady_clock::now();
    auto facts = SurveySource(connection, {"SELECT a FROM t", "SELECT DISTINCT a FROM t"});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(facts.ok()) << facts.error().description;
    EXPECT_EQ(facts->dbms, "SQLite");
    EXPECT_EQ(facts->rows, (std::vector<std::optional<double>>(2)));
    EXPECT_EQ(facts->costs, (std::vector<std::optional<double>>(2)));
    EXPECT_TRUE(facts->sums.empty());
    EXPECT_LT(seconds, 5) << connection;
  }
  test::SetEnvironment("ODBCINI", saved);
}

// Sets ODBCINI to `path` (the user's data sources) while it lives.
class UserDataSources {
 public:
  explicit UserDataSources(const std::string& path) {
    if (const char* previous = std::getenv("ODBCINI")) saved_ = previous;
    test::SetEnvironment("ODBCINI", path);
  }
  ~UserDataSources() { test::SetEnvironment("ODBCINI", saved_); }
  UserDataSources(const UserDataSources&) = delete;
  UserDataSources& operator=(const UserDataSources&) = delete;

 private:
  std::optional<std::string> saved_;
};

// A SQLite source whose database file does not exist is an error that says so and names the file,
// and no empty database takes its place: not when a build reads it, nor when a check describes
// its SELECT, nor when an AUTO build surveys it, nor when a data source name stands for it.
TEST(OdbcSourceTest, MissingSqliteDatabaseIsAnErrorAndIsNotCreated) {
  test::TempDir dir;
  const std::string path = dir.File("missing.db");
  const std::string missing = "the SQLite database file \"" + path + "\" does not exist";
  auto source = OpenOdbcSource(SqliteOdbc(path), "SELECT 1", {});
  ASSERT_FALSE(source.ok());
  EXPECT_EQ(source.error().number, kSourceErrorNumber);
  EXPECT_EQ(source.error().description.rfind("source: connect failed: " + missing, 0), 0u)
      << source.error().description;
  EXPECT_FALSE(std::filesystem::exists(path));

  auto described = DescribeOdbcSelect(SqliteOdbc(path), "SELECT 1");
  ASSERT_FALSE(described.ok());
  EXPECT_EQ(described.error().description.rfind("source: connect failed: " + missing, 0), 0u)
      << described.error().description;
  EXPECT_FALSE(std::filesystem::exists(path));

  static_cast<void>(SurveySource(SqliteOdbc(path), {"SELECT 1"}));
  EXPECT_FALSE(std::filesystem::exists(path));

  // A relative name is said as written, and found from the current directory as the driver does.
  auto relative = OpenOdbcSource("DRIVER=SQLite3;Database=missing.db", "SELECT 1", {});
  ASSERT_FALSE(relative.ok());
  EXPECT_NE(
      relative.error().description.find("the SQLite database file \"missing.db\" does not exist"),
      std::string::npos)
      << relative.error().description;
  EXPECT_FALSE(std::filesystem::exists(path));

  test::WriteBytes(dir.File("odbc.ini"),
                   "[CubemillMissingSource]\nDriver=SQLite3\nDatabase=" + path + "\n");
  UserDataSources sources(dir.File("odbc.ini"));
  auto via_name = OpenOdbcSource("DSN=CubemillMissingSource", "SELECT 1", {});
  ASSERT_FALSE(via_name.ok());
  EXPECT_NE(via_name.error().description.find(
                "the SQLite database file of the data source \"CubemillMissingSource\""),
            std::string::npos)
      << via_name.error().description;
  EXPECT_FALSE(std::filesystem::exists(path));
  static_cast<void>(SurveySource("DSN=CubemillMissingSource", {"SELECT 1"}));
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace cubemill::provider::source
