// Members named in their context: the names of the shop's quarters and months (which repeat
// under each year) and of its cities (which do not), alone and with an ancestor shown beside
// them, and the grid's headers, which carry these names to the window, its exports and chart.
#include "browse/pivot_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pivot_test_cube.h"

namespace cubemill::browse::test {
namespace {

using PivotNamesTest = PivotCubeTest;

TEST_F(PivotNamesTest, ARepeatedNameTakesTheAncestorsThatTellItApart) {
  struct Case {
    const char* member;
    const char* beside;  // "" for none
    const char* name;
  };
  const std::vector<Case> cases = {
      // Unique in their levels: their own names.
      {"[Time].[2023]", "", "2023"},
      {"[Store].[España].[Madrid]", "", "Madrid"},
      {"[Store].[France].[Bad]]City]", "", "Bad]City"},
      // Q1 is under each year: the year tells them apart.
      {"[Time].[2023].[Q1]", "", "2023 Q1"},
      {"[Time].[2024].[Q4]", "", "2024 Q4"},
      // 01 is under Q1 of both years: Q1 tells nothing, the year does.
      {"[Time].[2023].[Q1].[01]", "", "2023 01"},
      {"[Time].[2024].[Q1].[02]", "", "2024 02"},
      // 04, 06 and 07 are sold in 2023 only, 05 in 2024 only: no namesake.
      {"[Time].[2023].[Q2].[04]", "", "04"},
      {"[Time].[2024].[Q2].[05]", "", "05"},
      // The year shown beside: it is not named again, and the member is unique under it.
      {"[Time].[2023].[Q1]", "[Time].[2023]", "Q1"},
      {"[Time].[2024].[Q1].[01]", "[Time].[2024]", "01"},
      {"[Time].[2024].[Q1].[01]", "[Time].[2024].[Q1]", "01"},
  };
  ContextNames names(*model_);
  for (const Case& c : cases) {
    const std::size_t beside = *c.beside == '\0' ? npos : Index(c.beside);
    EXPECT_EQ(names.Name(Index(c.member), beside), c.name) << c.member << " beside " << c.beside;
  }
  EXPECT_EQ(names.Name(model_->MemberCount()), "") << "no member, no name";
}

TEST_F(PivotNamesTest, TheGridsHeadersNameMembersInTheirContext) {
  // Quarters on rows, years on columns: each quarter with its year; years and totals as they are.
  PivotLayout layout = DefaultLayout(*model_);
  layout.rows = {{time_, Index("[Time].[Quarter]")}};
  layout.columns = {{store_, country_}};
  PivotGrid grid = Answer(layout);
  std::vector<std::string> captions;
  for (const auto& headers : grid.row_headers) captions.push_back(headers[0].caption);
  EXPECT_EQ(captions,
            (std::vector<std::string>{"2023 Q1", "2023 Q2", "2023 Q3", "2023 Q4", "2024 Q1",
                                      "2024 Q2", "2024 Q3", "2024 Q4", "Total"}));
  EXPECT_EQ(grid.column_headers[0][0].caption, "España");

  // Drilled on the column axis: the same names under the year they are indented below.
  layout = DefaultLayout(*model_);
  ASSERT_EQ(layout.columns, (std::vector<PivotField>{{time_, year_}}));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Time].[2024]")));
  ASSERT_TRUE(Expand(layout, *model_, Index("[Time].[2024].[Q1]")));
  grid = Answer(layout);
  captions.clear();
  for (const auto& headers : grid.column_headers) captions.push_back(headers[0].caption);
  EXPECT_EQ(captions, (std::vector<std::string>{"2023", "2024", "2024 Q1", "2024 01", "2024 02",
                                                "2024 Q2", "2024 Q3", "2024 Q4", "Total"}));
}

}  // namespace
}  // namespace cubemill::browse::test
