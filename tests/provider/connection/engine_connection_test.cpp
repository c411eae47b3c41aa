// The engine's connection over rows held in memory: Open builds the cube file, and the
// connection object behaves as the job expects of it.
#include "provider/connection/engine_connection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "provider/connection/build_cube_file.h"
#include "provider/connection/cube_check.h"
#include "provider/engine_error.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill::provider::connection {
namespace {

// Delivers fixed rows; counts how often it was opened and what it was given.
struct MemoryRows {
  std::vector<std::vector<Value>> rows;
  int opened = 0;
  std::string connection;
  std::string select;
  std::vector<ColumnHint> hints;
};

class MemorySource : public RowSource {
 public:
  explicit MemorySource(const MemoryRows& data) : data_(data) {}
  std::size_t ColumnCount() const override { return data_.hints.size(); }
  Result<bool> NextRow(std::vector<Value>& row) override {
    if (next_ == data_.rows.size()) return false;
    row = data_.rows[next_++];
    return true;
  }

 private:
  const MemoryRows& data_;
  std::size_t next_ = 0;
};

SourceOpener OpenMemory(MemoryRows& data) {
  return [&data](const std::string& connection, const std::string& select,
                 const std::vector<ColumnHint>& hints) -> Result<std::unique_ptr<RowSource>> {
    ++data.opened;
    data.connection = connection;
    data.select = select;
    data.hints = hints;
    return std::unique_ptr<RowSource>(std::make_unique<MemorySource>(data));
  };
}

const char kConnection[] =
    "LOCATION=cube.cub; SOURCE_DSN=\"Sales\"; SOURCE_DSN_SUFFIX=\"Prompt=CompleteRequired;"
    "Window Handle=0x1\"; CreateCube=CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL "
    "[Country], MEASURE [Amount] FUNCTION SUM ); InsertInto=INSERT INTO OCWCube([Region]."
    "[Country], Measures.[Amount])  SELECT country, amount FROM sales ";

// "country=amount;" for every cell of the cube file, by country.
std::string Totals(const std::string& file) {
  std::string text;
  for (const auto& row : test::QuerySqlite(
           file, "SELECT \"Region.Country\" || '=' || \"Amount\" FROM cube_flat ORDER BY 1"))
    text += row[0] + ";";
  return text;
}

const test::FixedClock kClock(platform::MakeDateTime(2024, 3, 7, 9, 5, 2));

struct EngineConnectionTest : ::testing::Test {
  test::TempDir dir;
  EngineConnectionTest() {
    data.rows = {{std::string_view("Spain"), std::int64_t{4}},
                 {std::string_view("Chile"), 1.5},
                 {std::string_view("Spain"), std::int64_t{6}}};
  }
  MemoryRows data;
};

TEST_F(EngineConnectionTest, OpenBuildsTheCubeFromTheSourceRows) {
  auto connection = NewEngineConnection(OpenMemory(data), {});
  EXPECT_FALSE(connection->SetConnectionString(kConnection));
  EXPECT_FALSE(connection->SetProvider("MSOLAP.2"));
  EXPECT_FALSE(connection->Open("", "", "", -1));
  EXPECT_FALSE(connection->Close());
  EXPECT_EQ(data.connection, "DSN=Sales");  // the dialog settings of the suffix are dropped
  EXPECT_EQ(data.select, "SELECT country, amount FROM sales");
  EXPECT_EQ(Totals("cube.cub"), "Chile=1.5;Spain=10;");
}

TEST_F(EngineConnectionTest, ReportsProgressAndTheFinalCount) {
  std::vector<std::uint64_t> seen;
  EXPECT_FALSE(BuildCube(
      kConnection, OpenMemory(data), [&seen](std::uint64_t rows) { seen.push_back(rows); },
      kClock));
  EXPECT_EQ(seen, std::vector<std::uint64_t>{3});
}

TEST_F(EngineConnectionTest, UsesAnExistingFileWhenAskedTo) {
  const std::string use_existing = std::string(kConnection) + "; USEEXISTINGFILE=Yes";
  test::WriteBytes("cube.cub", "earlier");
  EXPECT_FALSE(BuildCube(use_existing, OpenMemory(data), {}, kClock));
  EXPECT_EQ(data.opened, 0);
  EXPECT_EQ(test::ReadBytes("cube.cub"), "earlier");
  std::filesystem::remove("cube.cub");
  EXPECT_FALSE(BuildCube(use_existing, OpenMemory(data), {}, kClock));  // missing: it is built
  EXPECT_EQ(data.opened, 1);
  EXPECT_EQ(Totals("cube.cub"), "Chile=1.5;Spain=10;");
}

TEST_F(EngineConnectionTest, BehavesLikeAConnectionObject) {
  auto other = NewEngineConnection(OpenMemory(data), {});
  other->SetConnectionString(kConnection);
  other->SetProvider("SQLOLEDB");
  auto error = other->Open("", "", "", -1);
  ASSERT_TRUE(error);
  EXPECT_EQ(*error, (Error{kProviderNotFoundText, kProviderNotFoundNumber, kConnectionSource}));
  EXPECT_EQ(data.opened, 0);
  EXPECT_TRUE(other->Close());  // never opened

  auto engine = NewEngineConnection(OpenMemory(data), {});
  engine->SetProvider("msolap");
  EXPECT_FALSE(engine->Open(kConnection, "", "", -1));  // the argument wins when given
  EXPECT_TRUE(engine->Open("", "", "", -1));            // already open
  EXPECT_TRUE(engine->SetConnectionString(""));
  EXPECT_FALSE(engine->Close());
  EXPECT_TRUE(engine->Close());
}

TEST_F(EngineConnectionTest, StatementErrorsComeBeforeTheSourceIsOpened) {
  std::string broken = kConnection;
  broken.replace(broken.find("FUNCTION SUM"), 12, "FUNCTION AVG");
  auto error = BuildCube(broken, OpenMemory(data), {}, kClock);
  ASSERT_TRUE(error);
  EXPECT_NE(error->description.find("AVG"), std::string::npos) << error->description;
  EXPECT_EQ(error->number, -2147217900);
  EXPECT_EQ(data.opened, 0);
  EXPECT_FALSE(std::filesystem::exists("cube.cub"));
}

TEST_F(EngineConnectionTest, AMissingCubeDirectoryFailsBeforeTheSourceIsOpened) {
  std::string elsewhere = kConnection;
  elsewhere.replace(elsewhere.find("LOCATION=cube.cub"), 17, "LOCATION=missing\\cube.cub");
  auto error = BuildCube(elsewhere, OpenMemory(data), {}, kClock);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->description,
            "cannot write the cube file \"missing\\cube.cub\": the directory \"missing\" cannot "
            "be used: No such file or directory");
  EXPECT_EQ(error->number, -2147217911);
  EXPECT_EQ(data.opened, 0);
}

// The check goes as far as a build would before reading rows, and says what it found.
TEST_F(EngineConnectionTest, CheckComparesTheSelectWithTheTargetsWithoutBuilding) {
  std::vector<std::string> said;
  auto say = [&said](const std::string& line) { said.push_back(line); };
  auto describe = [](std::vector<source::SourceColumn> columns) {
    return [columns](const std::string&,
                     const std::string&) -> Result<std::vector<source::SourceColumn>> {
      return columns;
    };
  };
  EXPECT_EQ(
      CheckCubeBuild(kConnection, say,
                     describe({{"country", ColumnHint::kText}, {"amount", ColumnHint::kReal}})),
      std::nullopt);
  EXPECT_EQ(said, (std::vector<std::string>{
                      "CREATE CUBE [OCWCube]: 1 dimensions, 1 levels, 1 measures",
                      "INSERT INTO: 2 targets", "Cube file: cube.cub (its directory is writable)",
                      "Source: connected, SELECT prepared: 2 columns"}));
  said.clear();
  std::string typed = kConnection;
  typed.replace(typed.find("FUNCTION SUM"), 12, "FUNCTION SUM TYPE DBTYPE_I8");
  EXPECT_EQ(
      CheckCubeBuild(typed, say,
                     describe({{"country", ColumnHint::kText}, {"amount", ColumnHint::kText}})),
      std::nullopt);
  EXPECT_EQ(said.back(),
            "Warning: column 2 \"amount\" is reported as text, its target wants integer; values "
            "that do not convert will fail the build");
  auto error = CheckCubeBuild(kConnection, say, describe({{"country", ColumnHint::kText}}));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->description, "INSERT INTO names 2 targets, but its SELECT returns 1 columns");
  EXPECT_FALSE(std::filesystem::exists("cube.cub"));
}

// A build and its check share their front half: each broken step fails both with the same
// error, before the source is opened; the check says the steps that passed.
TEST_F(EngineConnectionTest, BuildAndCheckFailAlikeBeforeTheSource) {
  auto with = [](std::string_view from, std::string_view to) {
    std::string text = kConnection;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const struct {
    std::string text;
    std::size_t said;  // lines the check says before it fails
  } cases[] = {
      {with("LOCATION=cube.cub", "LOCATION="), 0},
      {with("CREATE CUBE [OCWCube]", "CREATE CUBE"), 0},
      {with("Measures.[Amount]", "Measures.[Nothing]"), 1},
      {with("LOCATION=cube.cub", "LOCATION=missing/cube.cub"), 2},
  };
  for (const auto& c : cases) {
    std::vector<std::string> said;
    const auto checked =
        CheckCubeBuild(c.text, [&said](const std::string& line) { said.push_back(line); });
    const auto built = BuildCube(c.text, OpenMemory(data), {}, kClock);
    ASSERT_TRUE(built) << c.text;
    EXPECT_EQ(checked, built) << c.text;
    EXPECT_EQ(said.size(), c.said) << c.text;
  }
  EXPECT_EQ(data.opened, 0);
  // An existing file kept by USEEXISTINGFILE ends the build before its statements are read; the
  // check reads them all the same.
  test::WriteBytes("cube.cub", "kept");
  const std::string keep = with("CREATE CUBE [OCWCube]", "CREATE CUBE") + ";UseExistingFile=Y";
  EXPECT_EQ(BuildCube(keep, OpenMemory(data), {}, kClock), std::nullopt);
  EXPECT_TRUE(CheckCubeBuild(keep, [](const std::string&) {}));
  EXPECT_EQ(data.opened, 0);
}

// Whatever a build throws comes back from Open as an engine error, with no file left behind;
// the cube is dated by the clock the connection was given.
TEST_F(EngineConnectionTest, OpenReportsWhatTheBuildThrowsAndDatesTheCubeByItsClock) {
  const struct {
    std::function<void()> thrower;
    Error expected;
  } cases[] = {
      {[] { throw std::bad_alloc(); },
       EngineError("the cube build ran out of memory", kOutOfMemoryNumber)},
      {[] { throw std::length_error("vector::reserve"); },
       EngineError("the cube build failed unexpectedly: vector::reserve", kUnexpectedErrorNumber)},
  };
  for (const auto& c : cases) {
    auto throwing = [&c](const std::string&, const std::string&,
                         const std::vector<ColumnHint>&) -> Result<std::unique_ptr<RowSource>> {
      c.thrower();
      return Error{};
    };
    auto connection = NewEngineConnection(throwing, {}, &kClock);
    connection->SetConnectionString(kConnection);
    connection->SetProvider("MSOLAP");
    EXPECT_EQ(connection->Open("", "", "", -1), c.expected);
    EXPECT_TRUE(connection->Close());  // it did not open
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  }
  auto connection = NewEngineConnection(OpenMemory(data), {}, &kClock);
  connection->SetConnectionString(kConnection);
  connection->SetProvider("MSOLAP");
  ASSERT_FALSE(connection->Open("", "", "", -1));
  EXPECT_EQ(test::QuerySqlite("cube.cub", "SELECT built_at FROM cube"),
            (test::Rows{{"2024-03-07 09:05:02"}}));
}

}  // namespace
}  // namespace cubemill::provider::connection
