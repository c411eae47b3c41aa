#include "provider/aggregate/cube_builder.h"

#include <gtest/gtest.h>

#include <limits>

#include "provider/aggregate/cube_fixtures.h"
#include "provider/engine_error.h"

namespace cubemill::provider {
namespace {

using namespace test;  // NOLINT

// Store: Country > City, one measure Amount (SUM).
CubeSchema StoreCube(bool unique_city = false, bool unique_name = false) {
  CubeSchema schema;
  schema.name = "Sales";
  Level city = MakeLevel("City");
  city.unique_key = unique_city;
  city.unique_name = unique_name;
  schema.dimensions.push_back(MakeDimension("Store", {MakeLevel("Country"), city}));
  schema.measures.push_back(MakeMeasure("Amount"));
  return schema;
}

InsertInto StoreInsert() {
  return MakeInsert("Sales",
                    {LevelColumn(0, 0, 0, "Store.Country"), LevelColumn(0, 0, 1, "Store.City"),
                     MeasureColumn(0, "[Measures].[Amount]")});
}

Result<BuiltCube> Build(const CubeSchema& schema, const InsertInto& insert, const Rows& rows) {
  CubeBuilder builder(schema, insert);
  for (const auto& row : rows) {
    if (auto error = builder.AddRow(row)) return *error;
  }
  return builder.Finish();
}

TEST(CubeBuilderTest, HintsFollowMeasureTypesAndTimeColumns) {
  CubeSchema schema;
  schema.dimensions.push_back(
      MakeDimension("Time", {MakeLevel("Year", LevelType::kYear)}, /*is_time=*/true));
  schema.dimensions.push_back(MakeDimension("Store", {MakeLevel("City")}));
  schema.measures = {MakeMeasure("A", AggregateFunction::kSum, "DBTYPE_I4"),
                     MakeMeasure("B", AggregateFunction::kMax, "dbtype_r8"),
                     MakeMeasure("C", AggregateFunction::kCount, "DBTYPE_I4"), MakeMeasure("D")};
  InsertInto insert =
      MakeInsert("X", {TimeColumn(0, kAllHierarchies, "Time"), LevelColumn(1, 0, 0, "City"),
                       SkipColumn(), MeasureColumn(0, "A"), MeasureColumn(1, "B"),
                       MeasureColumn(2, "C"), MeasureColumn(3, "D")});
  EXPECT_EQ(CubeBuilder(schema, insert).Hints(),
            (std::vector<ColumnHint>{ColumnHint::kDateTime, ColumnHint::kAny, ColumnHint::kAny,
                                     ColumnHint::kInteger, ColumnHint::kReal, ColumnHint::kAny,
                                     ColumnHint::kAny}));
}

TEST(CubeBuilderTest, RejectsValuesThatCannotBeConverted) {
  CubeSchema time_schema;
  time_schema.dimensions.push_back(
      MakeDimension("Time", {MakeLevel("Year", LevelType::kYear)}, true));
  time_schema.measures.push_back(MakeMeasure("Amount"));
  InsertInto time_insert =
      MakeInsert("X", {TimeColumn(0, kAllHierarchies, "[Time]"), MeasureColumn(0, "Amount")});
  const struct {
    const CubeSchema schema;
    const InsertInto insert;
    Rows rows;
    std::string message;
  } cases[] = {
      {StoreCube(),
       StoreInsert(),
       {{Text("USA"), Text("Boston"), Int(1)},
        {Text("USA"), Text("Boston"), Text(" 2 ")},
        {Text("USA"), Text("Boston"), Text("n/a")}},
       "row 3, column 3 \"[Measures].[Amount]\": \"n/a\" is not a number"},
      {StoreCube(),
       StoreInsert(),
       {{Text("USA"), Text("Boston"), Value{Date{1997, 1, 2}}}},
       "row 1, column 3 \"[Measures].[Amount]\": \"1997-01-02\" is not a number"},
      {time_schema,
       time_insert,
       {{Value{Date{1997, 1, 2}}, Int(1)}, {Text("1997-02-30"), Int(1)}},
       "row 2, column 1 \"[Time]\": \"1997-02-30\" is not a date"},
      {time_schema,
       time_insert,
       {{Int(19970102), Int(1)}},
       "row 1, column 1 \"[Time]\": \"19970102\" is not a date"},
      {time_schema,
       time_insert,
       {{Value{Date{10000, 1, 1}}, Int(1)}},
       "row 1, column 1 \"[Time]\": \"10000-01-01\" is not a date"},
      {time_schema,
       time_insert,
       {{Text(" 1997-01-02\t"), Int(1)}, {Text("0000-01-01"), Int(1)}},
       "row 2, column 1 \"[Time]\": \"0000-01-01\" is not a date"},
      {StoreCube(),
       StoreInsert(),
       {{Text("USA"), Text("Boston")}},
       "row 1: the source delivered 2 columns, INSERT INTO has 3 targets"},
  };
  for (const auto& c : cases) {
    auto result = Build(c.schema, c.insert, c.rows);
    ASSERT_FALSE(result.ok()) << c.message;
    EXPECT_EQ(result.error(), EngineError(c.message, kDataErrorNumber));
  }
}

TEST(CubeBuilderTest, UniqueLevelsRejectOneKeyOrNameUnderTwoParents) {
  auto by_key = Build(StoreCube(/*unique_city=*/true), StoreInsert(),
                      {{Text("USA"), Text("Springfield"), Int(1)},
                       {Text("USA"), Text("Springfield"), Int(1)},
                       {Text("Canada"), Text("Springfield"), Int(1)}});
  ASSERT_FALSE(by_key.ok());
  EXPECT_EQ(by_key.error().description,
            "row 3: level [Store].[City] is declared UNIQUE, but the key \"Springfield\" appears "
            "under \"USA\" and under \"Canada\"");
  EXPECT_EQ(by_key.error().number, kDataErrorNumber);

  CubeSchema names = StoreCube(false, /*unique_name=*/true);
  InsertInto keyed = MakeInsert("Sales", {LevelColumn(0, 0, 0, "Country"), KeyColumn(0, 0, 1, "k"),
                                          NameColumn(0, 0, 1, "n"), MeasureColumn(0, "Amount")});
  auto by_name = Build(names, keyed,
                       {{Text("USA"), Int(1), Text("Paris"), Int(1)},
                        {Text("USA"), Int(2), Text("Paris"), Int(1)},
                        {Text("France"), Int(3), Text("Paris"), Int(1)}});
  ASSERT_FALSE(by_name.ok());
  EXPECT_EQ(by_name.error().description,
            "row 3: level [Store].[City] is declared UNIQUE_NAME, but the name \"Paris\" appears "
            "under \"USA\" and under \"France\"");
}

TEST(CubeBuilderTest, WritesNamesInMessagesAsStatementsWriteThem) {
  CubeSchema schema;
  Level city = MakeLevel("City]");
  city.unique_key = true;
  schema.dimensions.push_back(MakeDimension("Store]s", {MakeLevel("Country"), city}));
  schema.measures = {MakeMeasure("Amount]"), MakeMeasure("[Other]")};
  InsertInto insert = MakeInsert("X", {LevelColumn(0, 0, 0, "Country"),
                                       LevelColumn(0, 0, 1, "City"), MeasureColumn(0, "Amount")});
  auto unfed = Build(schema, insert, {{Text("USA"), Text("Boston"), Int(1)}});
  ASSERT_FALSE(unfed.ok());
  EXPECT_EQ(unfed.error().description, "INSERT INTO: no column feeds the measure [[Other]]]");

  insert.columns.push_back(MeasureColumn(1, "Other"));
  auto twice = Build(schema, insert,
                     {{Text("USA"), Text("Boston"), Int(1), Int(1)},
                      {Text("UK"), Text("Boston"), Int(1), Int(1)}});
  ASSERT_FALSE(twice.ok());
  EXPECT_EQ(twice.error().description,
            "row 2: level [Store]]s].[City]]] is declared UNIQUE, but the key \"Boston\" appears "
            "under \"USA\" and under \"UK\"");
}

TEST(CubeBuilderTest, ReportsLevelsAndMeasuresThatNoColumnFeeds) {
  InsertInto insert = MakeInsert("Sales", {LevelColumn(0, 0, 0, "Country"), SkipColumn()});
  CubeBuilder builder(StoreCube(), insert);
  auto result = builder.Finish();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().description, "INSERT INTO: no column feeds the level [Store].[City]");
  EXPECT_EQ(result.error().number, kStatementErrorNumber);
}

TEST(CubeBuilderTest, AggregatesEachFunctionAndKeepsEmptyCellsNull) {
  CubeSchema schema;
  schema.dimensions.push_back(MakeDimension("Store", {MakeLevel("City")}));
  schema.measures = {MakeMeasure("Sum"), MakeMeasure("Count", AggregateFunction::kCount),
                     MakeMeasure("Min", AggregateFunction::kMin),
                     MakeMeasure("Max", AggregateFunction::kMax),
                     MakeMeasure("Real", AggregateFunction::kSum, "DBTYPE_R8")};
  InsertInto insert = MakeInsert(
      "X", {LevelColumn(0, 0, 0, "City"), MeasureColumn(0, "Sum"), MeasureColumn(1, "Count"),
            MeasureColumn(2, "Min"), MeasureColumn(3, "Max"), MeasureColumn(4, "Real")});
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  auto result = Build(schema, insert,
                      {{Text("A"), Int(2), Text("x"), Int(5), Value{2.5}, Int(1)},
                       {Text("A"), Value{1.5}, Text("y"), Value{-1.5}, Int(3), Int(2)},
                       {Text("A"), kNull, kNull, kNull, kNull, kNull},
                       {Text("B"), kNull, kNull, kNull, kNull, kNull},
                       {Text("C"), Int(kMax), Int(7), Int(4), Int(4), Int(1)},
                       {Text("C"), Int(kMax), kNull, kNull, kNull, kNull}});
  ASSERT_TRUE(result.ok()) << result.error().description;
  const BuiltCube& cube = *result;
  ASSERT_EQ(cube.cell_count, 3u);
  EXPECT_EQ(cube.source_rows, 6);
  const std::vector<CellValue> expected = {3.5,
                                           std::int64_t{2},
                                           -1.5,
                                           std::int64_t{3},
                                           3.0,  // A
                                           std::monostate{},
                                           std::monostate{},
                                           std::monostate{},
                                           std::monostate{},
                                           std::monostate{},
                                           2.0 * static_cast<double>(kMax),
                                           std::int64_t{1},
                                           std::int64_t{4},
                                           std::int64_t{4},
                                           1.0};
  EXPECT_EQ(cube.cell_values, expected);
  EXPECT_EQ(cube.warnings,
            std::vector<std::string>{
                "measure [Sum]: an integer sum exceeded 64 bits and was kept as a real number"});
}

TEST(CubeBuilderTest, OrdersMembersByNameOrByKey) {
  CubeSchema schema;
  schema.dimensions.push_back(MakeDimension(
      "Product",
      {MakeLevel("Family"), MakeLevel("Month", LevelType::kRegular, MemberOrder::kByKey)}));
  schema.measures.push_back(MakeMeasure("Units"));
  InsertInto insert =
      MakeInsert("X", {NameColumn(0, 0, 1, "Month.NAME"), LevelColumn(0, 0, 0, "Family"),
                       KeyColumn(0, 0, 1, "Month.KEY"), MeasureColumn(0, "Units")});
  auto result = Build(schema, insert,
                      {{Text("October"), Text("drink"), Int(10), Int(1)},
                       {Text("February"), Text("drink"), Int(2), Int(1)},
                       {Text("January"), Text("Food"), Int(1), Int(1)},
                       {Text("none"), Text("drink"), kNull, Int(1)},
                       {Text("ignored"), Text("drink"), Int(2), Int(1)}});
  ASSERT_TRUE(result.ok()) << result.error().description;
  std::vector<std::string> names;
  std::vector<std::int64_t> positions;
  for (const Member& member : result->members) {
    names.push_back(member.name);
    positions.push_back(member.position);
  }
  // Families by bytes ("Food" < "drink"); months by numeric key within family, NULL key first.
  EXPECT_EQ(names,
            (std::vector<std::string>{"Food", "drink", "January", "none", "February", "October"}));
  EXPECT_EQ(positions, (std::vector<std::int64_t>{0, 1, 0, 1, 2, 3}));
  EXPECT_EQ(result->members[3].key, MemberKey{});
  EXPECT_EQ(result->members[5].key, MemberKey{std::int64_t{10}});
  EXPECT_EQ(result->members[5].parent, 2);
}

}  // namespace
}  // namespace cubemill::provider
