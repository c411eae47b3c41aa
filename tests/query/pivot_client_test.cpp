// What the MDX cases (tests/data/mdx) cannot say about the answers pivot clients read: the
// layout of a third axis's cells and names, the dimension properties a client draws its headers
// from, and the rows behind a cell (DRILLTHROUGH).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "query/drillthrough.h"
#include "query/parser/mdx_parser.h"
#include "query/result_format.h"
#include "query/value_format.h"
#include "query_test_cube.h"
#include "support/sqlite_query.h"

namespace cubemill::query::test {
namespace {

using Names = std::vector<std::vector<std::string>>;

class PivotClientTest : public ShopCubeTest {
 protected:
  Result<DrillthroughResult> Drill(const std::string& mdx) const {
    const auto reader = provider::cubefile::CubeReader::Open(kCube);
    if (!reader.ok()) return reader.error();
    return EvaluateDrillthrough(**reader, mdx);
  }
};

// A number as both sides write it: a cell's value, or SQL's text of one ("NULL" for none).
std::string Number(const std::string& text) {
  if (text.empty() || text == "NULL") return "NULL";
  char out[32];
  std::snprintf(out, sizeof out, "%.17g", std::strtod(text.c_str(), nullptr));
  return out;
}

// The drillthrough's rows, each its members then its values, sorted: the order of the leaf
// cells is the cube file's.
Names SortedRows(const DrillthroughResult& drilled) {
  Names rows;
  for (std::size_t r = 0; r < drilled.members.size(); ++r) {
    std::vector<std::string> row = drilled.members[r];
    for (const auto& value : drilled.values[r]) row.push_back(Number(ValueText(value)));
    rows.push_back(std::move(row));
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

// SQL's rows, the last `numbers` fields numbers, sorted.
Names SortedSql(const std::string& source, const std::string& sql, std::size_t numbers) {
  Names rows = cubemill::test::QuerySqlite(source, sql);
  for (auto& row : rows)
    for (std::size_t i = row.size() - numbers; i < row.size(); ++i) row[i] = Number(row[i]);
  std::sort(rows.begin(), rows.end());
  return rows;
}

// A page per measure: the cells of page p and row r are cells[p * rows + r], each cell shows
// its page's measure, and the pages carry their unique names and properties as rows do.
TEST_F(PivotClientTest, PagesLayOutTheCellsPageAfterPage) {
  for (const std::string with : {"", "WITH MEMBER [Measures].[Twice] AS [Measures].[Qty] * 2 "}) {
    SCOPED_TRACE(with);
    const std::string pages =
        with.empty() ? "{[Measures].[Qty], [Measures].[Amount]}" : "{[Measures].[Twice]}";
    const auto answer =
        Ask(with + "SELECT {[Time].[2023], [Time].[2024]} ON 0, {[Store].[France]} ON 1, " + pages +
                " DIMENSION PROPERTIES MEMBER_TYPE ON 2 FROM [Shop]",
            {.unique_names = true});
    ASSERT_TRUE(answer.ok()) << answer.error().description;
    const std::size_t page_count = with.empty() ? 2 : 1;
    EXPECT_TRUE(answer->paged);
    EXPECT_EQ(answer->PageCount(), page_count);
    EXPECT_EQ(answer->rows, (Names{{"France"}}));
    ASSERT_EQ(answer->cells.size(), page_count);
    EXPECT_EQ(answer->page_property_names, (std::vector<std::string>{"MEMBER_TYPE"}));
    if (with.empty()) {
      EXPECT_EQ(answer->pages, (Names{{"Qty"}, {"Amount"}}));
      EXPECT_EQ(answer->page_unique_names, (Names{{"[Measures].[Qty]"}, {"[Measures].[Amount]"}}));
      EXPECT_EQ(answer->MeasureAt(0, 1), 0U);
      EXPECT_EQ(answer->MeasureAt(1, 1), 1U);
      // France: 3 and 4.0 in 2023; 1 and 307.0 in 2024 (Lyon's quantity is NULL).
      EXPECT_EQ(answer->cells[0][0].integer, 3);
      EXPECT_EQ(answer->cells[0][1].integer, 1);
      EXPECT_EQ(answer->cells[1][0].real, 4.0);
      EXPECT_EQ(answer->cells[1][1].real, 307.0);
      EXPECT_EQ(answer->page_properties[1][0], (std::vector<std::string>{"3"}));
    } else {
      EXPECT_EQ(answer->pages, (Names{{"Twice"}}));
      EXPECT_EQ(answer->MeasureAt(0, 0), 3U);  // the first calculated measure
      EXPECT_EQ(answer->cells[0][0].integer, 6);
      EXPECT_EQ(answer->page_properties[0][0], (std::vector<std::string>{"4"}));
    }
  }
}

TEST_F(PivotClientTest, WritesPagesPageAfterPage) {
  const auto answer =
      Ask("SELECT {[Time].[2023]} ON 0, {[Store].[France]} ON 1, "
          "{[Measures].[Qty], [Measures].[Amount]} ON 2 FROM [Shop]",
          {.unique_names = true});
  ASSERT_TRUE(answer.ok()) << answer.error().description;
  EXPECT_EQ(FormatText(*answer),
            "Qty\n        2023\nFrance     3\n\nAmount\n        2023\nFrance     4\n");
  EXPECT_EQ(FormatCsv(*answer), "Qty\r\n,2023\r\nFrance,3\r\n\r\nAmount\r\n,2023\r\nFrance,4\r\n");
  const std::string json = FormatJson(*answer);
  EXPECT_NE(json.find("\"pages\": [[\"Qty\"], [\"Amount\"]], \"page_unique_names\": "
                      "[[\"[Measures].[Qty]\"], [\"[Measures].[Amount]\"]]"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"cells\": [[3], [4]]"), std::string::npos) << json;
}

// The properties a pivot client asks for, read from a stored table and computed alike; a name
// the engine does not know is answered empty.
TEST_F(PivotClientTest, AnswersTheDimensionPropertiesClientsAskFor) {
  for (const std::string with : {"", "WITH MEMBER [Measures].[Twice] AS [Measures].[Qty] * 2 "}) {
    SCOPED_TRACE(with);
    const auto answer =
        Ask(with +
            "SELECT {[Measures].[Qty]} ON 0, {[Store].[All Stores], [Store].[France], "
            "[Store].[France].[Paris], [Store].[France].[Lyon], [Store].[España]} DIMENSION "
            "PROPERTIES MEMBER_TYPE, HIERARCHY_UNIQUE_NAME, DISPLAY_INFO, [Store].[Country].[Key], "
            "CUSTOM_ROLLUP ON 1 FROM [Shop] CELL PROPERTIES VALUE, FORMAT_STRING, LANGUAGE, "
            "BACK_COLOR, FORE_COLOR, FONT_FLAGS");
    ASSERT_TRUE(answer.ok()) << answer.error().description;
    EXPECT_EQ(answer->row_property_names,
              (std::vector<std::string>{"MEMBER_TYPE", "HIERARCHY_UNIQUE_NAME", "DISPLAY_INFO",
                                        "MEMBER_KEY", "CUSTOM_ROLLUP"}));
    EXPECT_EQ(answer->cell_properties.size(), 6U);
    ASSERT_EQ(answer->row_properties.size(), 5U);
    const auto row = [&](std::size_t r) { return answer->row_properties[r][0]; };
    // The ALL member: 3 countries (one of them the empty name), drilled down (France follows).
    EXPECT_EQ(row(0)[0], "2");
    EXPECT_EQ(row(0)[1], "[Store]");
    EXPECT_EQ(row(0)[2], std::to_string(3 + 0x10000));
    EXPECT_EQ(row(0)[4], "");
    // France: drilled down; the tuple before is its parent, not a sibling.
    EXPECT_EQ(row(1), (std::vector<std::string>{"1", "[Store]", std::to_string(3 + 0x10000),
                                                "France", ""}));
    EXPECT_EQ(row(2)[2], "0");                      // Paris: first child of France
    EXPECT_EQ(row(3)[2], std::to_string(0x20000));  // Lyon: after its sibling Paris
    EXPECT_EQ(row(4)[2], std::to_string(2));        // España: after Lyon, another parent
    EXPECT_EQ(row(4)[0], "1");
  }
}

// Without RETURN: every hierarchy's leaf level and every measure, a row per leaf cell under the
// cell (the measure the cell names does not matter), as the source groups its rows.
TEST_F(PivotClientTest, DrillsThroughToTheLeafCellsOfACell) {
  const auto drilled =
      Drill("DRILLTHROUGH SELECT {[Measures].[Amount]} ON 0, {[Store].[France]} ON 1 FROM [Shop]");
  ASSERT_TRUE(drilled.ok()) << drilled.error().description;
  EXPECT_EQ(drilled->columns, (std::vector<std::string>{
                                  "[Store].[City]", "[Product].[Item]", "[Time].[Month]",
                                  "[Measures].[Qty]", "[Measures].[Amount]", "[Measures].[Top]"}));
  EXPECT_EQ(drilled->level_columns, 3U);
  EXPECT_FALSE(drilled->truncated);
  EXPECT_EQ(SortedRows(*drilled),
            SortedSql(kSource,
                      "SELECT city, item, month, SUM(qty), SUM(amount), MAX(amount) FROM sales "
                      "WHERE country = 'France' GROUP BY city, item, month",
                      3));
}

TEST_F(PivotClientTest, DrillsThroughToTheColumnsReturnNamesWithinMaxRows) {
  const auto drilled = Drill(
      "/* a client's */ DRILLTHROUGH MAXROWS 5 SELECT FROM [Shop] WHERE ([Time].[2024], "
      "[Product].[Bikes]) RETURN [Store].[Country], [Measures].[Amount], [Time]");
  ASSERT_TRUE(drilled.ok()) << drilled.error().description;
  EXPECT_EQ(drilled->columns, (std::vector<std::string>{"[Store].[Country]", "[Time].[Month]",
                                                        "[Measures].[Amount]"}));
  EXPECT_EQ(SortedRows(*drilled),
            SortedSql(kSource,
                      "SELECT COALESCE(country, ''), month, SUM(amount) FROM sales WHERE year = "
                      "2024 AND line = 'Bikes' GROUP BY COALESCE(country, ''), city, item, month",
                      1));
  const auto one = Drill("DRILLTHROUGH MAXROWS 1 SELECT FROM [Shop] WHERE [Time].[2024]");
  ASSERT_TRUE(one.ok()) << one.error().description;
  EXPECT_EQ(one->members.size(), 1U);
  EXPECT_TRUE(one->truncated);
}

TEST_F(PivotClientTest, RefusesADrillthroughOfMoreThanOneCellAndAQueryThatIsOne) {
  EXPECT_EQ(
      Drill("DRILLTHROUGH SELECT [Store].[Country].Members ON 0 FROM [Shop]").error().description,
      "DRILLTHROUGH needs one cell: the columns axis has 3 tuples at 21");
  EXPECT_EQ(Drill("DRILLTHROUGH SELECT FROM [Shop] RETURN [Store].[France]").error().description,
            "RETURN takes levels, hierarchies and measures, not [Store].[France] at 40");
  EXPECT_EQ(Drill("SELECT FROM [Shop]").error().description,
            "expected DRILLTHROUGH, found \"SELECT\" at 1");
  EXPECT_EQ(AskError("DRILLTHROUGH SELECT FROM [Shop]"),
            "DRILLTHROUGH asks for the rows under a cell, which a query of cells does not answer: "
            "use the drillthrough entry point at 1");
  EXPECT_TRUE(IsDrillthrough("-- details\n drillthrough maxrows 10 select from [Shop]"));
  EXPECT_FALSE(IsDrillthrough("SELECT FROM [Shop]"));
}

}  // namespace
}  // namespace cubemill::query::test
