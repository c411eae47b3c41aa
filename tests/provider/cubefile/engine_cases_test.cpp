// Runs the engine's case files (tests/data/engine/*.test), one test per case: the case's source
// becomes a SQLite database, the whole engine builds the cube from it through the SQLite ODBC
// driver (connection string, statement parsers, ODBC source, builder, writer), and the cube
// file read back with SQLite must hold what the case expects, or the build must fail as it says
// and leave no file behind. Its MDX queries are answered by the query evaluator twice, from the
// stored rollups and from the leaf cells alone, and both answers must be the case's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "provider/connection/build_cube_file.h"
#include "provider/connection/connection_string.h"
#include "provider/cubefile/cube_reader.h"
#include "provider/cubefile/engine_case_file.h"
#include "provider/cubefile/rollup_check.h"
#include "provider/engine_error.h"
#include "provider/source/odbc_source.h"
#include "query/query_evaluator.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill::test {
namespace {

namespace fs = std::filesystem;

// The source database and the cube file, in the case's own directory.
constexpr char kSource[] = "source.db";
constexpr char kCube[] = "cube.cub";

// The time every case's cube is built at (the cube table's built_at).
const platform::DateTime kBuiltAt = platform::MakeDateTime(2024, 3, 5, 7, 8, 9);

// The connection string a job would hand the engine for the case.
std::string ConnectionString(const EngineCase& c) {
  provider::connection::EngineProperties properties;
  properties.location = kCube;
  properties.source_dsn = SqliteOdbc(kSource);
  properties.create_cube = c.create_cube;
  properties.insert_into = c.insert_into;
  std::string text = provider::connection::WriteEngineProperties(properties);
  if (!c.connection.empty()) text += ";" + c.connection;
  return text;
}

// The lines of a result as a case writes them: the header, then each row.
std::vector<std::string> ResultLines(const SqliteResult& result) {
  std::vector<std::string> lines;
  std::string header;
  for (std::size_t i = 0; i < result.columns.size(); ++i)
    header += (i ? " | " : "") + CellText(result.columns[i]);
  lines.push_back(header);
  for (const auto& row : result.rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      const bool null = row[i].type == SqliteValue::Type::kNull;
      line += (i ? " | " : "") + CellText(null ? SqliteCell{} : SqliteCell{row[i].text});
    }
    lines.push_back(line);
  }
  return lines;
}

std::string Block(const std::vector<std::string>& lines) {
  std::string block;
  for (const std::string& line : lines) block += line + "\n";
  return block;
}

// Checks that `sql` on the cube gives `expected`; prints what it gave, ready to paste.
void ExpectRows(const std::string& sql, const std::vector<std::string>& expected) {
  const SqliteResult result = ReadSqlite(kCube, sql);
  ASSERT_EQ(result.error, "") << sql;
  const std::vector<std::string> actual = ResultLines(result);
  EXPECT_EQ(actual, expected) << sql << "\nThe cube gives:\n" << Block(actual);
}

// Answers `mdx` from the cube, from the stored rollups and then from the leaf cells alone; both
// must give `expected`.
void ExpectMdxAnswer(const CaseMdx& mdx) {
  auto reader = provider::cubefile::CubeReader::Open(kCube);
  ASSERT_TRUE(reader.ok()) << reader.error().description;
  for (const bool leaf_cells_only : {false, true}) {
    query::QueryOptions options;
    options.leaf_cells_only = leaf_cells_only;
    const auto answer = query::EvaluateMdx(**reader, mdx.mdx, options);
    ASSERT_TRUE(answer.ok()) << mdx.mdx << "\n" << answer.error().description;
    const std::vector<std::string> lines = AnswerLines(*answer);
    EXPECT_EQ(lines, mdx.expected.lines)
        << mdx.mdx << "\nThe cube answers from " << answer->table << ":\n"
        << Block(lines);
    if (leaf_cells_only) {
      EXPECT_EQ(answer->table, "cells") << mdx.mdx;
    }
  }
}

// The names in the case's directory other than the source database the case made.
std::vector<std::string> FilesBesideTheSource(const EngineCase& c) {
  const bool made_source = !c.tables.empty() || !c.source_sql.empty();
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    if (!made_source || name != kSource) names.push_back(name);
  }
  return names;
}

// Makes the case's source database, kSource, in the current directory.
void MakeSource(const EngineCase& c) {
  for (const CaseTable& table : c.tables)
    ASSERT_EQ(CreateSqliteTable(kSource, table.name, table.columns, table.rows), "") << table.name;
  for (const std::string& sql : c.source_sql) ASSERT_NO_FATAL_FAILURE(RunSqlite(kSource, sql));
}

// Opens a case's source through the SQLite ODBC driver, as a build does.
Result<std::unique_ptr<provider::RowSource>> OpenThroughOdbc(
    const std::string& connection, const std::string& select,
    const std::vector<provider::ColumnHint>& hints) {
  return provider::source::OpenOdbcSource(connection, select, hints);
}

class EngineCaseTest : public ::testing::TestWithParam<EngineCase> {};

TEST_P(EngineCaseTest, BuildsWhatTheCaseExpects) {
  const EngineCase& c = GetParam();
  SCOPED_TRACE(c.file + ":" + std::to_string(c.line) + ": case " + c.name);
  ASSERT_EQ(c.problem, "");
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(MakeSource(c));

  const FixedClock clock(kBuiltAt);
  const provider::SourceOpener open_source = OpenThroughOdbc;
  // A refresh case's expectations are those of its first build, in full, by its refresh column.
  provider::connection::BuildOptions options;
  options.refresh_column = c.refresh_column;
  const std::optional<Error> error =
      provider::connection::BuildCube(ConnectionString(c), open_source, {}, clock, options);

  if (c.error) {
    ASSERT_TRUE(error.has_value()) << "the build succeeded";
    EXPECT_EQ(error->description, c.error->description);
    EXPECT_EQ(error->number, c.error->number) << "expected an error of kind " << c.error->kind;
    EXPECT_EQ(error->source, provider::kEngineSource);
    EXPECT_EQ(FilesBesideTheSource(c), std::vector<std::string>{})
        << "a failed build leaves no file (and opens no source it did not reach)";
    return;
  }
  ASSERT_FALSE(error.has_value()) << error->description << " (" << error->number << ")";
  {
    // Every cube stores rollups by default, within as many rows as it has cells, and they agree
    // with its cells.
    SCOPED_TRACE("rollups");
    const std::uint64_t rollup_rows = ExpectRollupsMatchCells(kCube);
    EXPECT_LE(rollup_rows, std::stoull(QuerySqlite(kCube, "SELECT cell_count FROM cube")[0][0]));
  }
  if (c.cube_flat) {
    // Every column in order, so that the rows come in one order whatever the cube's.
    const std::size_t columns = ReadSqlite(kCube, "SELECT * FROM cube_flat LIMIT 0").columns.size();
    std::string order;
    for (std::size_t i = 1; i <= columns; ++i) order += (i > 1 ? ", " : "") + std::to_string(i);
    ExpectRows("SELECT * FROM cube_flat" + (order.empty() ? "" : " ORDER BY " + order),
               c.cube_flat->lines);
  }
  std::vector<std::string> warnings = {"text"};
  for (const std::string& text : c.warnings) warnings.push_back(CellText(text));
  ExpectRows("SELECT text FROM warnings ORDER BY id", warnings);
  for (const CaseQuery& query : c.queries) {
    SCOPED_TRACE(c.file + ":" + std::to_string(query.line) + ": expect query");
    ExpectRows(query.sql, query.expected.lines);
  }
  for (const CaseSame& same : c.same) {
    SCOPED_TRACE(c.file + ":" + std::to_string(same.line) + ": expect same");
    const SqliteResult cube = ReadSqlite(kCube, same.cube_sql);
    const SqliteResult source = ReadSqlite(kSource, same.source_sql);
    ASSERT_EQ(cube.error, "") << same.cube_sql;
    ASSERT_EQ(source.error, "") << same.source_sql;
    EXPECT_FALSE(source.rows.empty()) << "the source query gives no row to compare";
    EXPECT_EQ(cube.rows, source.rows) << "cube:\n"
                                      << Block(ResultLines(cube)) << "source:\n"
                                      << Block(ResultLines(source));
  }
  for (const CaseMdx& mdx : c.mdx) {
    SCOPED_TRACE(c.file + ":" + std::to_string(mdx.line) + ": expect mdx");
    ExpectMdxAnswer(mdx);
  }
}

// `sql` on the cube file at `path`, each value as text (a real in its shortest round-trip form).
std::vector<std::vector<std::string>> Texts(const std::string& path, const std::string& sql) {
  const SqliteResult result = ReadSqlite(path, sql);
  EXPECT_EQ(result.error, "") << sql;
  std::vector<std::vector<std::string>> rows;
  for (const auto& row : result.rows) {
    rows.emplace_back();
    for (const SqliteValue& value : row) {
      rows.back().push_back(value.type == SqliteValue::Type::kNull ? "NULL" : value.text);
    }
  }
  return rows;
}

// True when two values of a cube are the same, a real sum allowed the last bits by which sums
// taken in another order differ.
bool SameValue(const std::string& a, const std::string& b) {
  if (a == b) return true;
  char* end_a = nullptr;
  char* end_b = nullptr;
  const double x = std::strtod(a.c_str(), &end_a);
  const double y = std::strtod(b.c_str(), &end_b);
  if (*end_a != '\0' || *end_b != '\0' || a.empty() || b.empty()) return false;
  return std::fabs(x - y) <= 1e-12 * std::max(std::fabs(x), std::fabs(y));
}

// Every case that builds a cube builds the same cube when the source groups the rows: the same
// members, cells, flat view and warnings. The source is SQLite, which takes the grouped statement
// as a server would, said to be a server, so that an AUTO build has it group the rows; where it
// fails to (SQLite's SUM of integers stops at 64 bits), the build reads every row instead.
TEST_P(EngineCaseTest, SourceGroupingBuildsTheSameCube) {
  const EngineCase& c = GetParam();
  SCOPED_TRACE(c.file + ":" + std::to_string(c.line) + ": case " + c.name);
  ASSERT_EQ(c.problem, "");
  if (c.error) GTEST_SKIP() << "the case's build fails";
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(MakeSource(c));
  const FixedClock clock(kBuiltAt);
  const provider::SourceOpener open_source = OpenThroughOdbc;
  std::vector<std::string> said;
  provider::connection::BuildOptions options;
  options.aggregation = provider::connection::Aggregation::kClient;
  options.info = [&said](const std::string& line) { said.push_back(line); };
  auto error =
      provider::connection::BuildCube(ConnectionString(c), open_source, {}, clock, options);
  ASSERT_FALSE(error.has_value()) << error->description;
  fs::rename(kCube, "client.cub");
  options.aggregation = provider::connection::Aggregation::kAuto;
  options.survey = [](const std::string&, const std::vector<std::string>&) {
    return Result<provider::SourceFacts>(provider::SourceFacts{"a database server", {}, {}, {}});
  };
  error = provider::connection::BuildCube(ConnectionString(c), open_source, {}, clock, options);
  ASSERT_FALSE(error.has_value()) << error->description;
  ASSERT_GE(said.size(), 2u);
  EXPECT_EQ(said[0], "Aggregation: client");
  EXPECT_EQ(said[1], "Aggregation: source");
  if (said.size() > 2) {
    ASSERT_EQ(said.size(), 4u);
    EXPECT_NE(said[2].find("every row is read instead: source: fetch of row"), std::string::npos)
        << said[2];
    EXPECT_NE(said[2].find("integer overflow"), std::string::npos) << said[2];
    EXPECT_EQ(said[3], "Aggregation: client");
  }

  // The cells without the rests of real sums, which only a sum the engine adds itself has.
  const auto columns =
      Texts(kCube,
            "SELECT group_concat(name, ', ') FROM pragma_table_info('cells') WHERE name NOT "
            "GLOB 'r[0-9]*'");
  ASSERT_EQ(columns.size(), 1u);
  const std::vector<std::string> queries = {
      "SELECT " + columns[0][0] + " FROM cells ORDER BY id", "SELECT * FROM members ORDER BY id",
      "SELECT * FROM cube_flat", "SELECT text FROM warnings ORDER BY id",
      "SELECT source_rows, cell_count FROM cube"};
  for (const std::string& sql : queries) {
    const auto client = Texts("client.cub", sql);
    const auto source = Texts(kCube, sql);
    ASSERT_EQ(client.size(), source.size()) << sql;
    for (std::size_t r = 0; r < client.size(); ++r) {
      ASSERT_EQ(client[r].size(), source[r].size()) << sql;
      for (std::size_t i = 0; i < client[r].size(); ++i) {
        EXPECT_TRUE(SameValue(client[r][i], source[r][i]))
            << sql << ": row " << r + 1 << ", column " << i + 1 << ": client " << client[r][i]
            << ", source " << source[r][i];
      }
    }
  }
}

// The tables and views of a cube file, each of its rows with the type and exact value of every
// column ("integer 3", "real 3.0000000000000000", "text 'a'"), in the table's order of its rowid
// or, for a view, of that text.
std::vector<std::string> EveryValue(const std::string& path) {
  std::vector<std::string> lines;
  const auto names = Texts(path,
                           "SELECT type, name FROM sqlite_master WHERE type IN ('table', 'view') "
                           "ORDER BY name");
  for (const auto& row : names) {
    const std::string name = "\"" + row[1] + "\"";
    const auto columns = Texts(path, "SELECT name FROM pragma_table_info('" + row[1] + "')");
    std::string select;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const std::string column = "\"" + columns[i][0] + "\"";
      select += std::string(i ? " || ' | ' || " : "") + "typeof(" + column + ") || ' ' || " +
                "CASE typeof(" + column + ") WHEN 'real' THEN printf('%!.17g', " + column +
                ") ELSE quote(" + column + ") END";
    }
    lines.push_back(row[0] + " " + row[1]);
    if (select.empty()) continue;
    const std::string sql =
        "SELECT " + select + " FROM " + name + " ORDER BY " + (row[0] == "table" ? "rowid" : "1");
    for (const auto& values : Texts(path, sql)) lines.push_back(values[0]);
  }
  return lines;
}

// Builds case `c` by its refresh column with `aggregation`, then after each batch of rows it
// appends refreshes the cube incrementally into "refreshed.cub" and builds it in full into kCube,
// and calls `compare` on the two; returns the refresh lines the builds said.
std::vector<std::string> RefreshEachBatch(const EngineCase& c,
                                          provider::connection::Aggregation aggregation,
                                          const std::function<void()>& compare) {
  const FixedClock clock(kBuiltAt);
  const provider::SourceOpener open_source = OpenThroughOdbc;
  std::vector<std::string> said;
  provider::connection::BuildOptions options;
  options.aggregation = aggregation;
  options.refresh_column = c.refresh_column;
  options.refresh_bases = {"base.cub"};
  options.info = [&said](const std::string& line) {
    if (line.starts_with("Refresh:")) said.push_back(line);
  };
  auto error =
      provider::connection::BuildCube(ConnectionString(c), open_source, {}, clock, options);
  EXPECT_FALSE(error.has_value()) << error->description;
  for (std::size_t batch = 0; batch < c.appends.size() && !error; ++batch) {
    SCOPED_TRACE("batch " + std::to_string(batch + 1));
    fs::rename(kCube, "base.cub");
    RunSqlite(kSource, c.appends[batch]);
    error = provider::connection::BuildCube(ConnectionString(c), open_source, {}, clock, options);
    EXPECT_FALSE(error.has_value()) << error->description;
    if (error) break;
    fs::rename(kCube, "refreshed.cub");
    provider::connection::BuildOptions full = options;
    full.refresh_bases.clear();
    full.info = {};
    error = provider::connection::BuildCube(ConnectionString(c), open_source, {}, clock, full);
    EXPECT_FALSE(error.has_value()) << error->description;
    compare();
    fs::rename("refreshed.cub", kCube);
  }
  return said;
}

// A case with a refresh column is built in full, then refreshed incrementally after each batch
// of rows it appends to the source; each refresh must say what the case expects and give the
// cube a full build of the same rows gives, every table and view value for value, type and bits.
TEST_P(EngineCaseTest, IncrementalRefreshEqualsAFullBuild) {
  const EngineCase& c = GetParam();
  SCOPED_TRACE(c.file + ":" + std::to_string(c.line) + ": case " + c.name);
  ASSERT_EQ(c.problem, "");
  if (c.refresh_column.empty()) GTEST_SKIP() << "the case has no refresh column";
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(MakeSource(c));
  const std::vector<std::string> said =
      RefreshEachBatch(c, provider::connection::Aggregation::kClient, [] {
        const std::vector<std::string> refreshed = EveryValue("refreshed.cub");
        const std::vector<std::string> built = EveryValue(kCube);
        EXPECT_EQ(refreshed, built) << "refreshed:\n"
                                    << Block(refreshed) << "built in full:\n"
                                    << Block(built);
      });
  if (c.refresh_lines.empty()) {
    ASSERT_EQ(said.size(), c.appends.size() + 1);
    EXPECT_EQ(said[0], "Refresh: full (no earlier cube)");
    for (std::size_t i = 1; i < said.size(); ++i)
      EXPECT_TRUE(said[i].starts_with("Refresh: incremental from ")) << said[i];
  } else {
    EXPECT_EQ(said, c.refresh_lines) << Block(said);
  }
}

// The same with the source grouping the new rows (AGGREGATE=SOURCE): the refresh goes the same
// way, and the cube holds the members and cells of a full build grouped at the source. SQLite's
// SUM of reals rounds at every step, so sums may differ in their last bits (and the rests and
// the decimals, taken from the groups' sums, are not compared); a source that sums exactly
// (PostgreSQL, see source_aggregation.h) gives the same bits.
TEST_P(EngineCaseTest, IncrementalRefreshGroupedAtTheSourceEqualsAFullBuild) {
  const EngineCase& c = GetParam();
  SCOPED_TRACE(c.file + ":" + std::to_string(c.line) + ": case " + c.name);
  ASSERT_EQ(c.problem, "");
  if (c.refresh_column.empty()) GTEST_SKIP() << "the case has no refresh column";
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(MakeSource(c));
  const std::vector<std::string> said =
      RefreshEachBatch(c, provider::connection::Aggregation::kSource, [] {
        const auto columns =
            Texts(kCube,
                  "SELECT group_concat(name, ', ') FROM pragma_table_info('cells') WHERE name NOT "
                  "GLOB 'r[0-9]*'");
        ASSERT_EQ(columns.size(), 1u);
        for (const std::string& sql :
             {"SELECT " + columns[0][0] + " FROM cells ORDER BY id",
              std::string("SELECT * FROM members ORDER BY id"),
              std::string("SELECT * FROM cube_flat_keys ORDER BY 1, 2, 3"),
              std::string("SELECT text FROM warnings ORDER BY id"),
              std::string("SELECT source_rows, cell_count, watermark FROM cube")}) {
          const auto refreshed = Texts("refreshed.cub", sql);
          const auto built = Texts(kCube, sql);
          ASSERT_EQ(refreshed.size(), built.size()) << sql;
          for (std::size_t r = 0; r < built.size(); ++r) {
            ASSERT_EQ(refreshed[r].size(), built[r].size()) << sql;
            for (std::size_t i = 0; i < built[r].size(); ++i)
              EXPECT_TRUE(SameValue(refreshed[r][i], built[r][i]))
                  << sql << ": row " << r + 1 << ", column " << i + 1 << ": refreshed "
                  << refreshed[r][i] << ", built in full " << built[r][i];
          }
        }
      });
  if (!c.refresh_lines.empty()) {
    EXPECT_EQ(said, c.refresh_lines) << Block(said);
  }
}

// The reader of the case files: cells in their written forms, and cases it cannot run named
// with their line rather than skipped.
TEST(EngineCaseFileTest, ReadsCellsAndNamesWhatItCannotRun) {
  for (const std::string text : {"", "NULL", "'NULL'", "' padded '", "a | b", "O'Brien", "#1"}) {
    std::string problem;
    const auto cell = ParseCell(" " + CellText(text) + " ", problem);
    ASSERT_TRUE(cell.has_value()) << problem;
    EXPECT_EQ(*cell, SqliteCell{text});
  }
  std::string problem;
  EXPECT_EQ(ParseCell("NULL", problem), std::optional<SqliteCell>(SqliteCell{}));
  EXPECT_EQ(ParseCell("'open", problem), std::nullopt);
  EXPECT_EQ(problem, "the quote of 'open is not closed");

  TempDir dir;
  WriteBytes("a.test",
             "# broken cases\n"
             "case no insert\ncreate cube\nCREATE CUBE [X]\n\nexpect error data\nx\n\n"
             "case typo\ncreate cube\nC\n\ninsert into\nI\n\nexpect cube_flta\na\n\n"
             "case nothing expected\ncreate cube\nC\n\ninsert into\nI\n\n"
             "case rows\ncreate cube\nC\n\ninsert into\nI\n\n"
             "source t\na TEXT | b TEXT\n1 | 2 | 3\n\nexpect cube_flat\nx\n\n"
             "case mdx without an answer\ncreate cube\nC\n\ninsert into\nI\n\n"
             "expect mdx\nSELECT [A].Members\nON COLUMNS FROM [X]\n\n");
  std::vector<std::string> problems;
  for (const EngineCase& c : ReadEngineCaseFile("a.test")) problems.push_back(c.problem);
  EXPECT_EQ(problems,
            (std::vector<std::string>{"a.test:2: the case has no insert into section",
                                      "a.test:16: unknown section \"expect cube_flta\"",
                                      "a.test:19: the case expects nothing",
                                      "a.test:33: row 1 of table t has 3 values for 2 columns",
                                      "a.test:47: expect mdx needs an MDX query, a line ----, "
                                      "and the answer"}));
}

// An MDX section: the query's lines joined with one blank, the answer's grid read as rows are,
// its empty header cells and NULL cells in their written forms.
TEST(EngineCaseFileTest, ReadsAnMdxQueryAndItsAnswer) {
  TempDir dir;
  WriteBytes("b.test",
             "case answer\ncreate cube\nC\n\ninsert into\nI\n\n"
             "expect mdx\nSELECT [Year].Members ON COLUMNS,\n  [Region].Members ON ROWS\n"
             "FROM [Shop]\n----\n       | 2023 | 2024\nSpain  | 2.5  | NULL\n"
             "'NULL' | 3    | ''\n\n");
  const std::vector<EngineCase> cases = ReadEngineCaseFile("b.test");
  ASSERT_EQ(cases.size(), 1u);
  EXPECT_EQ(cases[0].problem, "");
  ASSERT_EQ(cases[0].mdx.size(), 1u);
  EXPECT_EQ(cases[0].mdx[0].line, 8);
  EXPECT_EQ(cases[0].mdx[0].mdx,
            "SELECT [Year].Members ON COLUMNS, [Region].Members ON ROWS FROM [Shop]");
  EXPECT_EQ(
      cases[0].mdx[0].expected.lines,
      (std::vector<std::string>{"'' | 2023 | 2024", "Spain | 2.5 | NULL", "'NULL' | 3 | ''"}));
}

INSTANTIATE_TEST_SUITE_P(Engine, EngineCaseTest,
                         ::testing::ValuesIn(ReadEngineCases(CUBEMILL_TEST_DATA_DIR "/engine")),
                         [](const ::testing::TestParamInfo<EngineCase>& param_info) {
                           return CaseTestName(param_info.param);
                         });

}  // namespace
}  // namespace cubemill::test
