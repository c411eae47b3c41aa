// What the MDX cases (tests/data/mdx) cannot say about queries that compute: numbers read the
// same in every locale, unique names and dimension properties that find the members again, and
// formulas nested as deep as the parser allows.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "query_test_cube.h"

namespace cubemill::query::test {
namespace {

class CalculatorTest : public ShopCubeTest {
 protected:
  // The row names of `mdx`'s answer, in order.
  std::vector<std::string> RowsOf(const std::string& mdx) const {
    const auto answer = Ask(mdx);
    EXPECT_TRUE(answer.ok()) << (answer.ok() ? "" : answer.error().description);
    std::vector<std::string> names;
    if (answer.ok())
      for (const auto& row : answer->rows) names.push_back(row.front());
    return names;
  }
};

// A number in the query reads the same whatever locale the process runs in (the browser's
// toolkit sets the environment's): 1.5 is not 1 where "," is the decimal point.
TEST_F(CalculatorTest, ReadsNumbersTheSameInEveryLocale) {
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
    GTEST_SKIP() << "the locale de_DE.UTF-8 is not generated here";
  const auto answer =
      Ask("WITH MEMBER [Measures].[X] AS 1.5 * 2 + 0.25 SELECT {[Measures].[X]} ON 0 FROM [Shop]");
  std::setlocale(LC_NUMERIC, before.c_str());
  ASSERT_TRUE(answer.ok()) << answer.error().description;
  ASSERT_EQ(answer->cells.size(), 1u);
  EXPECT_EQ(answer->cells[0][0].real, 3.25);
}

TEST_F(CalculatorTest, UniqueNamesAndDimensionPropertiesFindTheMembersAgain) {
  for (const std::string with : {"", "WITH MEMBER [Measures].[Twice] AS [Measures].[Qty] * 2 "}) {
    const auto answer =
        Ask(with +
                "SELECT {[Measures].[Qty]} ON 0, Descendants([Store].[France], [Store].[City], "
                "SELF_AND_BEFORE) DIMENSION PROPERTIES parent_unique_name, LEVEL_NUMBER, "
                "CHILDREN_CARDINALITY ON 1 FROM [Shop] CELL PROPERTIES VALUE, FORMATTED_VALUE",
            {.unique_names = true});
    ASSERT_TRUE(answer.ok()) << answer.error().description;
    EXPECT_EQ(answer->cell_properties, (std::vector<std::string>{"VALUE", "FORMATTED_VALUE"}));
    EXPECT_EQ(
        answer->row_property_names,
        (std::vector<std::string>{"PARENT_UNIQUE_NAME", "LEVEL_NUMBER", "CHILDREN_CARDINALITY"}));
    ASSERT_EQ(answer->row_properties.size(), 4u);
    EXPECT_EQ(answer->row_properties[0][0],
              (std::vector<std::string>{"[Store].[All Stores].[All Stores]", "1", "3"}));
    EXPECT_EQ(answer->row_properties[1][0],
              (std::vector<std::string>{"[Store].[Country].[France]", "2", "0"}));
    // Each row's unique name, sent back, answers the same cell.
    for (std::size_t r = 0; r < answer->rows.size(); ++r) {
      const auto again = Ask("SELECT {[Measures].[Qty]} ON 0, {" +
                             answer->row_unique_names[r].front() + "} ON 1 FROM [Shop]");
      ASSERT_TRUE(again.ok()) << again.error().description;
      EXPECT_EQ(again->rows, (std::vector<std::vector<std::string>>{answer->rows[r]}));
      EXPECT_EQ(again->cells.front(), answer->cells[r]);
    }
  }
}

TEST_F(CalculatorTest, FormulasThatNestTooDeepFailWithoutRunningTheStackOut) {
  // Two formulas, each as deep as the parser allows, that refer to each other: the computation
  // stops at its bound, well before the stack's end (this runs under the sanitizers too).
  const auto nested = [](const std::string& inner) {
    std::string text = inner;
    for (int i = 0; i < 95; ++i) text = "(1 + " + text + ")";
    return text;
  };
  const std::string mdx = "WITH MEMBER [Measures].[A] AS " + nested("[Measures].[B]") +
                          " MEMBER [Measures].[B] AS " + nested("[Measures].[A]") +
                          " SELECT {[Measures].[A]} ON 0 FROM [Shop]";
  const std::string error = AskError(mdx);
  EXPECT_TRUE(error.find("levels deep") != std::string::npos ||
              error.find("refers to itself") != std::string::npos)
      << error;
  // Sets chosen by value within one another as deep as the parser allows are answered.
  std::string set = "[Store].[City].Members";
  for (int i = 0; i < 150; ++i) set = "Filter(" + set + ", [Measures].[Qty] > 1)";
  EXPECT_EQ(RowsOf("SELECT {[Measures].[Qty]} ON 0, " + set + " ON 1 FROM [Shop]"),
            RowsOf("SELECT {[Measures].[Qty]} ON 0, Filter([Store].[City].Members, "
                   "[Measures].[Qty] > 1) ON 1 FROM [Shop]"));
}

}  // namespace
}  // namespace cubemill::query::test
