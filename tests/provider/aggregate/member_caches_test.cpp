// Rows that repeat, or nearly repeat, the values of the rows before them: the builder finds such
// members without a lookup, and must still find exactly the members a lookup would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "provider/aggregate/cube_builder.h"
#include "provider/aggregate/cube_fixtures.h"
#include "provider/aggregate/time_member_cache.h"

namespace cubemill::provider::aggregate {
namespace {

using namespace provider::test;  // NOLINT

BuiltCube Build(const CubeSchema& schema, const InsertInto& insert, const Rows& rows) {
  CubeBuilder builder(schema, insert);
  for (const auto& row : rows) {
    auto error = builder.AddRow(row);
    EXPECT_FALSE(error.has_value()) << error->description;
  }
  auto cube = builder.Finish();
  EXPECT_TRUE(cube.ok());
  return cube.ok() ? *cube : BuiltCube{};
}

// A member as "parent/name", the parent written the same way ("" for none, and the ALL member).
std::string PathOf(const BuiltCube& cube, std::int64_t id) {
  const Member& member = cube.members[static_cast<std::size_t>(id - 1)];
  if (member.parent == 0) return member.name;
  return PathOf(cube, member.parent) + "/" + member.name;
}

// Every cell as "member path | member path ...: value value ...", in the cube's order; NULL
// values as "NULL".
std::vector<std::string> CellsOf(const BuiltCube& cube) {
  std::vector<std::string> lines;
  const CellRecords& cells = cube.cells;
  for (std::size_t cell = 0; cell < cells.size(); ++cell) {
    const std::byte* record = cells.InOrder(cell);
    std::string line;
    for (std::size_t i = 0; i < cells.width(); ++i) {
      line += (i == 0 ? "" : " | ") + PathOf(cube, cells.Member(record, i));
    }
    line += ":";
    for (std::size_t m = 0; m < cells.measure_count(); ++m) {
      const CellValue value = cells.Value(record, m);
      line += value.state == CellState::kNull      ? " NULL"
              : value.state == CellState::kInteger ? " " + std::to_string(value.integer)
                                                   : " " + std::to_string(value.real);
    }
    lines.push_back(line);
  }
  return lines;
}

CubeSchema StoreCube() {
  CubeSchema schema;
  schema.dimensions.push_back(MakeDimension("Store", {MakeLevel("Country"), MakeLevel("City")}));
  schema.measures.push_back(MakeMeasure("Amount"));
  return schema;
}

InsertInto StoreInsert() {
  return MakeInsert("Sales", {LevelColumn(0, 0, 0, "Country"), LevelColumn(0, 0, 1, "City"),
                              MeasureColumn(0, "Amount")});
}

TEST(MemberCachesTest, RepeatedValueUnderAnotherParentIsAnotherMember) {
  const BuiltCube cube = Build(StoreCube(), StoreInsert(),
                               {{Text("USA"), Text("Springfield"), Int(1)},
                                {Text("Canada"), Text("Springfield"), Int(2)},
                                {Text("Canada"), Text("Springfield"), Int(4)},
                                {Text("USA"), Text("Springfield"), Int(8)},
                                {Text("USA"), Text("Boston"), Int(16)},
                                {Text("Canada"), Text("Boston"), Int(32)}});
  EXPECT_EQ(CellsOf(cube), (std::vector<std::string>{"Canada/Boston: 32", "Canada/Springfield: 6",
                                                     "USA/Boston: 16", "USA/Springfield: 9"}));
  EXPECT_EQ(cube.members.size(), 6u);
}

// NULL, the empty text and the text "NULL" are three members; the NULL rows are counted however
// they follow one another.
TEST(MemberCachesTest, NullAfterAValueAndAValueAfterNull) {
  const BuiltCube cube = Build(StoreCube(), StoreInsert(),
                               {{Text("USA"), Text("Boston"), Int(1)},
                                {Text("USA"), kNull, Int(2)},
                                {Text("USA"), kNull, Int(4)},
                                {Text("USA"), Text(""), Int(8)},
                                {Text("USA"), kNull, Int(16)},
                                {Text("USA"), Text("Boston"), Int(32)},
                                {kNull, kNull, Int(64)},
                                {kNull, Text("Boston"), Int(128)},
                                {Text("USA"), Text("NULL"), Int(256)}});
  EXPECT_EQ(CellsOf(cube), (std::vector<std::string>{"/: 64", "/Boston: 128", "USA/: 22", "USA/: 8",
                                                     "USA/Boston: 33", "USA/NULL: 256"}));
  EXPECT_EQ(cube.warnings,
            (std::vector<std::string>{
                "level [Store].[Country]: 2 rows had no value (NULL) and went to a member with "
                "an empty name",
                "level [Store].[City]: 4 rows had no value (NULL) and went to a member with an "
                "empty name"}));
}

// A real holding an integer is that integer's member, whichever comes first; other reals and
// the same digits as text are members of their own.
TEST(MemberCachesTest, IntegerAndRealKeysFollowingEachOther) {
  const BuiltCube cube = Build(StoreCube(), StoreInsert(),
                               {{Text("USA"), Int(3), Int(1)},
                                {Text("USA"), Value{3.0}, Int(2)},
                                {Text("USA"), Value{3.5}, Int(4)},
                                {Text("USA"), Value{3.0}, Int(8)},
                                {Text("USA"), Text("3"), Int(16)},
                                {Text("USA"), Int(3), Int(32)},
                                {Text("USA"), Value{-0.0}, Int(64)},
                                {Text("USA"), Int(0), Int(128)}});
  // The member of 0 takes its caption from its first row, -0.0.
  EXPECT_EQ(CellsOf(cube),
            (std::vector<std::string>{"USA/-0: 192", "USA/3: 43", "USA/3: 16", "USA/3.5: 4"}));
}

// Two TIME columns, each feeding its own dimension: a date repeated in one column while the
// other changes, a month under another year, a date seen before but not last, NULL dates.
TEST(MemberCachesTest, TwoTimeColumns) {
  CubeSchema schema;
  for (const char* name : {"Ordered", "Shipped"}) {
    schema.dimensions.push_back(MakeDimension(
        name, {MakeLevel("Year", LevelType::kYear), MakeLevel("Month", LevelType::kMonth)},
        /*is_time=*/true));
  }
  schema.measures.push_back(MakeMeasure("N"));
  const InsertInto insert =
      MakeInsert("T", {TimeColumn(0, kAllHierarchies, "Ordered"),
                       TimeColumn(1, kAllHierarchies, "Shipped"), MeasureColumn(0, "N")});
  const BuiltCube cube = Build(schema, insert,
                               {{Value{Date{2021, 1, 5}}, Value{Date{2021, 2, 1}}, Int(1)},
                                {Value{Date{2021, 1, 5}}, Value{Date{2021, 3, 1}}, Int(2)},
                                {Value{Date{2021, 1, 6}}, Value{Date{2021, 3, 1}}, Int(4)},
                                {Value{Date{2022, 1, 6}}, Value{Date{2021, 3, 1}}, Int(8)},
                                {Value{Date{2021, 1, 5}}, Value{Date{2021, 2, 1}}, Int(16)},
                                {kNull, Value{Date{2021, 2, 1}}, Int(32)},
                                {Value{Date{2021, 1, 5}}, kNull, Int(64)},
                                {Text("2021-01-07"), Text("2021-03-31 10:00:00"), Int(128)}});
  EXPECT_EQ(CellsOf(cube),
            (std::vector<std::string>{
                "/ | 2021/February: 32", "2021/January | /: 64", "2021/January | 2021/February: 17",
                "2021/January | 2021/March: 134", "2022/January | 2021/March: 8"}));
  EXPECT_EQ(cube.warnings.size(), 4u);
}

// A derived level whose caption is the date keeps a date and the same day at midnight apart.
TEST(MemberCachesTest, DateAndTimestampOfOneDayInAnUntypedTimeLevel) {
  CubeSchema schema;
  schema.dimensions.push_back(MakeDimension(
      "Time", {MakeLevel("Year", LevelType::kYear), MakeLevel("Moment")}, /*is_time=*/true));
  schema.measures.push_back(MakeMeasure("N"));
  const InsertInto insert =
      MakeInsert("T", {TimeColumn(0, kAllHierarchies, "Time"), MeasureColumn(0, "N")});
  const BuiltCube cube = Build(schema, insert,
                               {{Value{Date{2021, 1, 5}}, Int(1)},
                                {Value{Timestamp{Date{2021, 1, 5}, 0, 0, 0}}, Int(2)},
                                {Value{Date{2021, 1, 5}}, Int(4)},
                                {Value{Timestamp{Date{2021, 1, 5}, 0, 0, 1}}, Int(8)}});
  EXPECT_EQ(CellsOf(cube),
            (std::vector<std::string>{"2021/2021-01-05: 5", "2021/2021-01-05 00:00:00: 2",
                                      "2021/2021-01-05 00:00:01: 8"}));
}

// More dates than the builder keeps apart: it starts over, and dates seen before the start-over
// find their members again.
TEST(MemberCachesTest, MoreDatesThanTheDateCacheHolds) {
  CubeSchema schema;
  schema.dimensions.push_back(
      MakeDimension("Time",
                    {MakeLevel("Year", LevelType::kYear), MakeLevel("Month", LevelType::kMonth),
                     MakeLevel("Day", LevelType::kDay)},
                    /*is_time=*/true));
  schema.measures.push_back(MakeMeasure("N", AggregateFunction::kCount));
  const InsertInto insert =
      MakeInsert("T", {TimeColumn(0, kAllHierarchies, "Time"), MeasureColumn(0, "N")});
  CubeBuilder builder(schema, insert);
  std::vector<Value> row(2, Int(1));
  const int years = 2 + static_cast<int>(aggregate::TimeMemberCache::kMaxDates / 336);
  for (int pass = 0; pass < 2; ++pass) {
    for (int year = 2000; year < 2000 + years; ++year) {
      for (unsigned month = 1; month <= 12; ++month) {
        for (unsigned day = 1; day <= 28; ++day) {
          row[0] = Date{year, month, day};
          ASSERT_FALSE(builder.AddRow(row).has_value());
        }
      }
    }
  }
  auto cube = builder.Finish();
  ASSERT_TRUE(cube.ok());
  const std::size_t days = static_cast<std::size_t>(years) * 336;
  ASSERT_GT(days, aggregate::TimeMemberCache::kMaxDates);
  EXPECT_EQ(cube->members.size(), static_cast<std::size_t>(years) * (1 + 12 + 336));
  ASSERT_EQ(cube->cells.size(), days);
  for (std::size_t cell = 0; cell < days; ++cell) {
    const CellValue value = cube->cells.Value(cube->cells.InOrder(cell), 0);
    ASSERT_EQ(value.integer, 2) << "cell " << cell;
  }
}

}  // namespace
}  // namespace cubemill::provider::aggregate
