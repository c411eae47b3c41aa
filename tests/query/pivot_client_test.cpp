// What the MDX cases (tests/data/mdx) cannot say about the answers pivot clients read: the
// layout of a third axis's cells and names, and the dimension properties a client draws its
// headers from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query/result_format.h"
#include "query_test_cube.h"

namespace cubemill::query::test {
namespace {

using Names = std::vector<std::vector<std::string>>;

class PivotClientTest : public ShopCubeTest {};

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

}  // namespace
}  // namespace cubemill::query::test
