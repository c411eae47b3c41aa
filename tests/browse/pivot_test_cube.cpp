#include "pivot_test_cube.h"

#include <cmath>
#include <cstdlib>

#include "browse/pivot_members.h"
#include "provider/connection/build_cube_file.h"
#include "provider/source/odbc_source.h"
#include "query/value_format.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"

namespace cubemill::browse::test {

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string BuildCube(const std::string& source, const std::string& cube, const std::string& create,
                      const std::string& insert) {
  const cubemill::test::FixedClock clock(platform::MakeDateTime(2024, 3, 5, 7, 8, 9));
  const auto open_source = [](const std::string& connection, const std::string& select,
                              const std::vector<provider::ColumnHint>& hints) {
    return provider::source::OpenOdbcSource(connection, select, hints);
  };
  const std::string connection = "LOCATION=" + cube +
                                 ";SOURCE_DSN=" + Quoted(cubemill::test::SqliteOdbc(source)) +
                                 ";CREATECUBE=" + Quoted(create) + ";INSERTINTO=" + Quoted(insert);
  const auto error = provider::connection::BuildCube(connection, open_source, {}, clock);
  return error ? error->description : "";
}

std::string Joined(const std::vector<PivotHeader>& headers, const query::CubeModel& model) {
  std::string key;
  for (std::size_t i = 0; i < headers.size(); ++i)
    key += (i == 0 ? "" : " | ") + HeaderKey(model, headers[i]);
  return key;
}

}  // namespace

void PivotCubeTest::SetUp() {
  const std::vector<std::vector<cubemill::test::SqliteCell>> rows = {
      {"España", "Madrid", "2023", "Q1", "01", "Bikes", "Road", "2", "100.5", "201"},
      {"España", "Madrid", "2023", "Q2", "04", "Bikes", "City", "1", "80", "80"},
      {"España", "Sevilla", "2024", "Q1", "02", "Gear]Box", "Bell", "5", "2.25", "11.25"},
      {"España", "Sevilla", "2024", "Q3", "08", "Bikes", "Road", "2", "300", "600"},
      {"France", "Paris", "2024", "Q3", "08", "Bikes", "Road", "1", "310", "310"},
      {"France", "Bad]City", "2023", "Q4", "11", "Gear]Box", "Lock", "3", "4", "12"},
      {"France", "Lyon", "2024", "Q1", "01", "Bikes", "City", "2", "7", "14"},
      {"France", "Paris", "2023", "Q1", "02", "Gear]Box", "Bell", "4", "2.25", "9"},
      {"Ireland", "O'Neil \"Town\"", "2024", "Q2", "05", "Bikes", "Road", "2", "50", "100"},
      {"España", "Madrid", "2024", "Q3", "09", "Gear]Box", "Lock", "6", "4.5", "27"},
      {"Ireland", "O'Neil \"Town\"", "2023", "Q3", "07", "Gear]Box", "Lock", "1", "5", "5"},
      {"France", "Lyon", "2023", "Q2", "06", "Bikes", "Road", "3", "95.5", "286.5"},
      {"España", "Sevilla", "2023", "Q4", "12", "Bikes", "City", "2", "120", "240"},
      {"France", "Bad]City", "2024", "Q4", "10", "Bikes", "City", "3", "130", "390"},
  };
  ASSERT_EQ(cubemill::test::CreateSqliteTable(
                kSource, "sales",
                {"country TEXT", "city TEXT", "year INTEGER", "quarter TEXT", "month TEXT",
                 "line TEXT", "item TEXT", "qty INTEGER", "price REAL", "amount REAL"},
                rows),
            "");
  ASSERT_EQ(
      BuildCube(kSource, kCube,
                "CREATE CUBE [Shop] ( DIMENSION [Store], LEVEL [All Stores] TYPE ALL, "
                "LEVEL [Country], LEVEL [City], DIMENSION [Time], LEVEL [All Time] TYPE ALL, "
                "LEVEL [Year], LEVEL [Quarter], LEVEL [Month], DIMENSION [Product], "
                "LEVEL [Line], LEVEL [Item], MEASURE [Qty] FUNCTION SUM, "
                "MEASURE [Amount] FUNCTION SUM FORMAT '#,##0.00', MEASURE [Low] FUNCTION MIN, "
                "MEASURE [High] FUNCTION MAX )",
                "INSERT INTO Shop ( [Store].[Country], [Store].[City], [Time].[Year], "
                "[Time].[Quarter], [Time].[Month], [Product].[Line], [Product].[Item], "
                "Measures.[Qty], Measures.[Amount], Measures.[Low], Measures.[High] ) "
                "SELECT country, city, year, quarter, month, line, item, qty, amount, price, "
                "price FROM sales"),
      "");
  auto reader = provider::cubefile::CubeReader::Open(kCube);
  ASSERT_TRUE(reader.ok()) << reader.error().description;
  reader_ = std::move(*reader);
  model_ = std::make_unique<query::CubeModel>(reader_->Catalog());
  store_ = Index("[Store]");
  time_ = Index("[Time]");
  product_ = Index("[Product]");
  country_ = Index("[Store].[Country]");
  city_ = Index("[Store].[City]");
  year_ = Index("[Time].[Year]");
  line_ = Index("[Product].[Line]");
  qty_ = Index("[Measures].[Qty]");
  amount_ = Index("[Measures].[Amount]");
  low_ = Index("[Measures].[Low]");
  high_ = Index("[Measures].[High]");
}

std::size_t PivotCubeTest::Index(const std::string& unique_name) const {
  const auto parts = SplitUniqueName(unique_name);
  EXPECT_TRUE(parts.has_value()) << unique_name;
  return model_->Resolve(*parts, 1).index;
}

PivotGrid PivotCubeTest::Answer(const PivotLayout& layout) const {
  auto grid = AnswerPivot(*reader_, *model_, layout);
  EXPECT_TRUE(grid.ok()) << grid.error().description << "\n" << PivotMdx(*model_, layout);
  return grid.ok() ? *grid : PivotGrid{};
}

std::string HeaderKey(const query::CubeModel& model, const PivotHeader& header) {
  if (header.total) return "Total";
  if (header.measure != npos) return model.Catalog().measures[header.measure].name;
  if (header.member == npos) return "?" + header.caption;
  std::size_t m = header.member;
  std::string key = model.Member(m).name;
  for (int i = 0; i < header.indent; ++i) {
    m = model.ParentOf(m);
    key = model.Member(m).name + "/" + key;
  }
  return key;
}

std::vector<std::string> RowKeys(const query::CubeModel& model, const PivotGrid& grid) {
  std::vector<std::string> keys;
  for (const auto& headers : grid.row_headers) keys.push_back(Joined(headers, model));
  return keys;
}

std::vector<std::string> ColumnKeys(const query::CubeModel& model, const PivotGrid& grid) {
  std::vector<std::string> keys;
  for (const auto& headers : grid.column_headers) keys.push_back(Joined(headers, model));
  return keys;
}

std::string PivotSql(const std::string& row, const std::string& column, const std::string& value,
                     const std::string& from, const std::string& row_total,
                     const std::string& column_total) {
  const auto literal = [](const std::string& text) { return "'" + text + "'"; };
  std::string sql = "SELECT " + row + ", " + column + ", " + value + " " + from + " GROUP BY 1, 2";
  if (!column_total.empty()) {
    sql += " UNION ALL SELECT " + row + ", " + literal(column_total) + ", " + value + " " + from +
           " GROUP BY 1";
  }
  if (!row_total.empty()) {
    sql += " UNION ALL SELECT " + literal(row_total) + ", " + column + ", " + value + " " + from +
           " GROUP BY 2";
  }
  if (!row_total.empty() && !column_total.empty()) {
    sql += " UNION ALL SELECT " + literal(row_total) + ", " + literal(column_total) + ", " + value +
           " " + from;
  }
  return sql;
}

void ExpectCellsAsSql(const query::CubeModel& model, const PivotGrid& grid,
                      const std::string& source, const std::string& sql) {
  SCOPED_TRACE(grid.mdx);
  const std::vector<std::string> rows = RowKeys(model, grid), columns = ColumnKeys(model, grid);
  std::map<std::pair<std::string, std::string>, std::string> actual, expected;
  for (std::size_t r = 0; r < grid.Rows(); ++r) {
    for (std::size_t c = 0; c < grid.Columns(); ++c) {
      const std::string text = query::ValueText(grid.cells[r][c]);
      if (text.empty()) continue;
      EXPECT_TRUE(actual.emplace(std::make_pair(rows[r], columns[c]), text).second)
          << "the cell " << rows[r] << " x " << columns[c] << " comes twice";
    }
  }
  for (const auto& row : cubemill::test::QuerySqlite(source, sql)) {
    EXPECT_EQ(row.size(), 3u) << sql;
    if (row.size() == 3 && row[2] != "NULL") expected[{row[0], row[1]}] = row[2];
  }
  EXPECT_FALSE(expected.empty()) << sql;
  for (const auto& [key, value] : expected) {
    const auto found = actual.find(key);
    if (found == actual.end()) {
      ADD_FAILURE() << "the grid lacks " << key.first << " x " << key.second << " = " << value;
      continue;
    }
    const double x = std::strtod(found->second.c_str(), nullptr);
    const double y = std::strtod(value.c_str(), nullptr);
    EXPECT_NEAR(x, y, 1e-9 * std::max(1.0, std::fabs(y))) << key.first << " x " << key.second;
  }
  for (const auto& [key, value] : actual) {
    EXPECT_TRUE(expected.contains(key)) << "the grid has " << key.first << " x " << key.second
                                        << " = " << value << ", the source nothing";
  }
}

}  // namespace cubemill::browse::test
