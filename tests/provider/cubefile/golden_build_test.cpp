// Golden builds: a schema, bindings and rows go through the builder and the writer; the test
// reads cube_flat back with SQLite.
#include <gtest/gtest.h>

#include "provider/aggregate/cube_builder.h"
#include "provider/aggregate/cube_fixtures.h"
#include "provider/cubefile/cube_file_reader.h"
#include "provider/cubefile/cube_file_writer.h"
#include "support/test_support.h"

namespace cubemill::provider::cubefile {
namespace {

using namespace test;  // NOLINT

// Builds and writes the cube; returns the failure's description, or "".
std::string BuildFile(const std::string& file, const CubeSchema& schema, const InsertInto& insert,
                      const Rows& rows) {
  CubeBuilder builder(schema, insert);
  for (const auto& row : rows) {
    if (auto error = builder.AddRow(row)) return error->description;
  }
  auto cube = builder.Finish();
  if (!cube.ok()) return cube.error().description;
  BuildInfo info{"CREATE CUBE ...", "INSERT INTO ...", "DRIVER=SQLite3;Database=x.db",
                 "1997-01-02 03:04:05", builder.RowCount()};
  if (auto error = WriteCubeFile(file, schema, *cube, info)) return error->description;
  return "";
}

// "a|b|c" lines: the header, then each row of cube_flat in stored order.
std::vector<std::string> FlatLines(const std::string& file,
                                   const std::string& sql = "SELECT * FROM cube_flat") {
  QueryResult result = Query(file, sql);
  std::vector<std::string> lines;
  auto join = [](const std::vector<std::string>& parts) {
    std::string line;
    for (std::size_t i = 0; i < parts.size(); ++i) line += (i ? "|" : "") + parts[i];
    return line;
  };
  if (!result.error.empty()) return {"error: " + result.error};
  lines.push_back(join(result.columns));
  for (const auto& row : result.rows) lines.push_back(join(row));
  return lines;
}

struct Golden {
  const char* name;
  CubeSchema schema;
  InsertInto insert;
  Rows rows;
  std::vector<std::string> expected;
};

CubeSchema RegionCube() {
  CubeSchema schema;
  schema.name = "Sales";
  schema.dimensions.push_back(
      MakeDimension("Region", {AllLevel("All Regions"), MakeLevel("Country"), MakeLevel("City")}));
  schema.measures = {MakeMeasure("Amount"), MakeMeasure("Orders", AggregateFunction::kCount)};
  return schema;
}

std::vector<Golden> GoldenCases() {
  std::vector<Golden> cases;
  cases.push_back(
      {"same city name under two countries",
       RegionCube(),
       MakeInsert("Sales", {LevelColumn(0, 0, 1, "Region.Country"), LevelColumn(0, 0, 2, "City"),
                            MeasureColumn(0, "Amount"), MeasureColumn(1, "Orders")}),
       {{Text("USA"), Text("Springfield"), Int(10), Int(1)},
        {Text("Canada"), Text("Springfield"), Int(5), Int(1)},
        {Text("USA"), Text("Springfield"), Int(1), Int(1)},
        {Text("USA"), Text("Boston"), Value{2.5}, Text("x")}},
       {"Region.Country|Region.City|Amount|Orders", "Canada|Springfield|5|1", "USA|Boston|2.5r|1",
        "USA|Springfield|11|2"}});
  cases.push_back({"skipped columns first and last",
                   RegionCube(),
                   MakeInsert("Sales", {SkipColumn(), LevelColumn(0, 0, 1, "Country"), SkipColumn(),
                                        LevelColumn(0, 0, 2, "City"), MeasureColumn(0, "Amount"),
                                        MeasureColumn(1, "Orders"), SkipColumn()}),
                   {{Text("a"), Text("USA"), Int(1), Text("Boston"), Int(3), Int(4), Text("z")}},
                   {"Region.Country|Region.City|Amount|Orders", "USA|Boston|3|1"}});
  {
    CubeSchema schema;
    schema.name = "Keys";
    schema.dimensions.push_back(
        MakeDimension("Product", {MakeLevel("Family", LevelType::kRegular, MemberOrder::kByKey),
                                  MakeLevel("Brand"), MakeLevel("Item")}));
    schema.measures = {MakeMeasure("Units")};
    cases.push_back(
        {".KEY and .NAME in either order, only .KEY, only .NAME",
         schema,
         MakeInsert("Keys", {KeyColumn(0, 0, 0, "Family.KEY"), NameColumn(0, 0, 0, "Family.NAME"),
                             NameColumn(0, 0, 1, "Brand.NAME"), KeyColumn(0, 0, 1, "Brand.KEY"),
                             KeyColumn(0, 0, 2, "Item.KEY"), MeasureColumn(0, "Units")}),
         {{Int(10), Text("Food"), Text("Acme"), Int(7), Int(100), Int(1)},
          {Int(2), Text("Drink"), Text("Zest"), Int(8), Int(200), Int(2)},
          {Int(2), Text("Drink"), Text("Zest renamed"), Int(8), Int(201), Int(4)},
          {Int(2), Text("Drink"), Text("Bubbly"), Int(9), Int(200), Int(8)}},
         {"Product.Family|Product.Brand|Product.Item|Units", "Drink|Bubbly|200|8",
          "Drink|Zest|200|2", "Drink|Zest|201|4", "Food|Acme|100|1"}});
    CubeSchema names_only = schema;
    cases.push_back(
        {"only .NAME makes the name the key",
         names_only,
         MakeInsert("Keys", {NameColumn(0, 0, 0, "Family.NAME"), LevelColumn(0, 0, 1, "Brand"),
                             NameColumn(0, 0, 2, "Item.NAME"), MeasureColumn(0, "Units")}),
         {{Text("b"), Text("x"), Int(1), Int(1)}, {Text("a"), Text("x"), Int(1), Int(2)}},
         {"Product.Family|Product.Brand|Product.Item|Units", "a|x|1|2", "b|x|1|1"}});
  }
  cases.push_back(
      {"NULLs in level and measure columns",
       RegionCube(),
       MakeInsert("Sales", {LevelColumn(0, 0, 1, "Country"), LevelColumn(0, 0, 2, "City"),
                            MeasureColumn(0, "Amount"), MeasureColumn(1, "Orders")}),
       {{Text("USA"), kNull, Int(4), Int(1)},
        {Text("USA"), Text("Boston"), kNull, kNull},
        {Text("USA"), kNull, kNull, Int(1)},
        {kNull, kNull, Int(1), kNull}},
       {"Region.Country|Region.City|Amount|Orders", "||1|NULL", "USA||4|2",
        "USA|Boston|NULL|NULL"}});
  cases.push_back(
      {"empty result",
       RegionCube(),
       MakeInsert("Sales", {LevelColumn(0, 0, 1, "Country"), LevelColumn(0, 0, 2, "City"),
                            MeasureColumn(0, "Amount"), MeasureColumn(1, "Orders")}),
       {},
       {"Region.Country|Region.City|Amount|Orders"}});
  {
    CubeSchema schema;
    schema.name = "Time";
    schema.dimensions.push_back(MakeDimension(
        "Time",
        {AllLevel("All Time"), MakeLevel("Year", LevelType::kYear),
         MakeLevel("Quarter", LevelType::kQuarter), MakeLevel("Month", LevelType::kMonth),
         MakeLevel("Week", LevelType::kWeek), MakeLevel("Day", LevelType::kDay)},
        true));
    schema.measures = {MakeMeasure("Units")};
    cases.push_back(
        {"one date column feeds a TIME dimension",
         schema,
         MakeInsert("Time", {TimeColumn(0, kAllHierarchies, "[Time]"), MeasureColumn(0, "Units")}),
         {{Value{Date{1998, 5, 1}}, Int(1)},
          {Text("1998-04-29"), Int(2)},
          {Value{Timestamp{Date{1998, 4, 1}, 10, 0, 0}}, Int(4)},
          {Text("1998-03-31 23:59:59"), Int(8)},
          {Value{Date{1998, 1, 1}}, Int(16)},
          {Value{Date{1997, 12, 31}}, Int(32)},
          {Value{Date{1998, 1, 1}}, Int(64)},
          {kNull, Int(128)}},
         {"Time.Year|Time.Quarter|Time.Month|Time.Week|Time.Day|Units", "|||||128",
          "1997|Quarter 4|December|Week 53|31|32", "1998|Quarter 1|January|Week 1|1|80",
          "1998|Quarter 1|March|Week 14|31|8", "1998|Quarter 2|April|Week 14|1|4",
          "1998|Quarter 2|April|Week 18|29|2", "1998|Quarter 2|May|Week 18|1|1"}});
  }
  {
    CubeSchema schema;
    schema.name = "Two";
    Dimension product;
    product.name = "Product";
    product.named_hierarchies = true;
    product.hierarchies.push_back(
        Hierarchy{"ByBrand", {AllLevel("All"), MakeLevel("Brand"), MakeLevel("Item")}});
    product.hierarchies.push_back(Hierarchy{"ByColour", {MakeLevel("Colour")}});
    schema.dimensions.push_back(product);
    schema.dimensions.push_back(MakeDimension("Store", {MakeLevel("City")}));
    schema.measures = {MakeMeasure("Units")};
    cases.push_back(
        {"two hierarchies in one dimension",
         schema,
         MakeInsert("Two", {LevelColumn(0, 0, 1, "Brand"), LevelColumn(0, 0, 2, "Item"),
                            LevelColumn(0, 1, 0, "Colour"), LevelColumn(1, 0, 0, "City"),
                            MeasureColumn(0, "Units")}),
         {{Text("Acme"), Text("Pen"), Text("red"), Text("Rome"), Int(1)},
          {Text("Acme"), Text("Pen"), Text("blue"), Text("Rome"), Int(2)},
          {Text("Acme"), Text("Pen"), Text("red"), Text("Rome"), Int(4)},
          {Text("Zed"), Text("Cup"), Text("red"), Text("Oslo"), Int(8)}},
         {"Product.ByBrand.Brand|Product.ByBrand.Item|Product.ByColour.Colour|Store.City|Units",
          "Acme|Pen|blue|Rome|2", "Acme|Pen|red|Rome|5", "Zed|Cup|red|Oslo|8"}});
  }
  return cases;
}

TEST(GoldenBuildTest, WritesTheExpectedFlatView) {
  cubemill::test::TempDir dir;
  for (const Golden& c : GoldenCases()) {
    const std::string file = dir.File("cube.cub");
    ASSERT_EQ(BuildFile(file, c.schema, c.insert, c.rows), "") << c.name;
    EXPECT_EQ(FlatLines(file), c.expected) << c.name;
  }
}

TEST(GoldenBuildTest, KeepsOneMemberPerKeyAndParent) {
  cubemill::test::TempDir dir;
  const Golden c = GoldenCases()[0];
  // The location's backslashes are directory separators: sub/ does not exist.
  EXPECT_EQ(BuildFile("sub\\..\\cube.cub", c.schema, c.insert, c.rows),
            "cannot write the cube file \"sub\\..\\cube.cub\": cannot create a temporary file "
            "in \"sub/..\": No such file or directory");
  ASSERT_EQ(BuildFile("cube.cub", c.schema, c.insert, c.rows), "");
  EXPECT_EQ(FlatLines("cube.cub",
                      "SELECT l.name, m.key, m.name, p.name, m.position FROM members m "
                      "JOIN levels l ON l.id = m.level LEFT JOIN members p ON p.id = m.parent "
                      "ORDER BY m.id"),
            (std::vector<std::string>{
                "name|key|name|name|position", "All Regions|NULL|All Regions|NULL|0",
                "Country|Canada|Canada|All Regions|0", "Country|USA|USA|All Regions|1",
                "City|Springfield|Springfield|Canada|0", "City|Boston|Boston|USA|1",
                "City|Springfield|Springfield|USA|2"}));
}

TEST(GoldenBuildTest, RecordsNullMembersAsWarnings) {
  cubemill::test::TempDir dir;
  for (const Golden& c : GoldenCases()) {
    if (std::string(c.name) != "NULLs in level and measure columns") continue;
    ASSERT_EQ(BuildFile("cube.cub", c.schema, c.insert, c.rows), "");
    EXPECT_EQ(FlatLines("cube.cub", "SELECT text FROM warnings ORDER BY id"),
              (std::vector<std::string>{
                  "text",
                  "level [Region].[Country]: 1 row had no value (NULL) and went to a member "
                  "with an empty name",
                  "level [Region].[City]: 3 rows had no value (NULL) and went to a member with "
                  "an empty name"}));
  }
  ASSERT_EQ(BuildFile("clean.cub", RegionCube(), GoldenCases()[0].insert, {}), "");
  EXPECT_EQ(FlatLines("clean.cub", "SELECT COUNT(*) FROM warnings"),
            (std::vector<std::string>{"COUNT(*)", "0"}));
}

TEST(GoldenBuildTest, DerivesEveryTimeLevelTypeFromTimestamps) {
  cubemill::test::TempDir dir;
  CubeSchema schema;
  schema.name = "Clock";
  Dimension time;
  time.name = "Time";
  time.is_time = true;
  time.named_hierarchies = true;
  time.hierarchies.push_back(Hierarchy{
      "Days", {MakeLevel("Date", LevelType::kDate), MakeLevel("Weekday", LevelType::kDayOfWeek)}});
  time.hierarchies.push_back(
      Hierarchy{"Clock",
                {MakeLevel("H", LevelType::kHour), MakeLevel("M", LevelType::kMinute),
                 MakeLevel("S", LevelType::kSecond)}});
  schema.dimensions.push_back(time);
  schema.measures = {MakeMeasure("N", AggregateFunction::kCount)};
  InsertInto insert =
      MakeInsert("Clock", {TimeColumn(0, 0, "[Time].[Days]"), TimeColumn(0, 1, "[Time].[Clock]"),
                           MeasureColumn(0, "N")});
  ASSERT_EQ(
      BuildFile("c.cub", schema, insert,
                {{Text("2024-03-05"), Text("2024-03-05T07:08:09"), Int(1)},
                 {Value{Date{2024, 3, 3}}, Value{Timestamp{Date{2024, 3, 3}, 23, 0, 59}}, Int(1)}}),
      "");
  EXPECT_EQ(FlatLines("c.cub"),
            (std::vector<std::string>{
                "Time.Days.Date|Time.Days.Weekday|Time.Clock.H|Time.Clock.M|Time.Clock.S|N",
                "2024-03-03|Sunday|23|0|59|1", "2024-03-05|Tuesday|7|8|9|1"}));
}

}  // namespace
}  // namespace cubemill::provider::cubefile
