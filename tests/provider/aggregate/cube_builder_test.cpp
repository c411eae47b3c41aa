#include "provider/aggregate/cube_builder.h"

#include <gtest/gtest.h>

#include "provider/aggregate/cube_fixtures.h"
#include "provider/aggregate/measure_decimals.h"
#include "provider/engine_error.h"

namespace cubemill::provider::aggregate {
namespace {

using namespace provider::test;  // NOLINT

// Store: Country > City, one measure Amount (SUM).
CubeSchema StoreCube() {
  CubeSchema schema;
  schema.name = "Sales";
  schema.dimensions.push_back(MakeDimension("Store", {MakeLevel("Country"), MakeLevel("City")}));
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

// What a source cannot deliver: a typed date beyond the calendar's years, a row shorter than the
// targets. Values read from a source's text are checked by the engine's case files.
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
      {time_schema,
       time_insert,
       {{Value{Date{10000, 1, 1}}, Int(1)}},
       "row 1, column 1 \"[Time]\": \"10000-01-01\" is not a date"},
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

// The statement parser lets no measure go unfed, so only the builder can be asked this; the
// UNIQUE message with such names is checked by the engine's case files.
TEST(CubeBuilderTest, WritesNamesInMessagesAsStatementsWriteThem) {
  CubeSchema schema;
  schema.dimensions.push_back(MakeDimension("Store]s", {MakeLevel("Country"), MakeLevel("City]")}));
  schema.measures = {MakeMeasure("Amount]"), MakeMeasure("[Other]")};
  InsertInto insert = MakeInsert("X", {LevelColumn(0, 0, 0, "Country"),
                                       LevelColumn(0, 0, 1, "City"), MeasureColumn(0, "Amount")});
  auto unfed = Build(schema, insert, {{Text("USA"), Text("Boston"), Int(1)}});
  ASSERT_FALSE(unfed.ok());
  EXPECT_EQ(unfed.error().description, "INSERT INTO: no column feeds the measure [[Other]]]");
}

TEST(CubeBuilderTest, ReportsLevelsAndMeasuresThatNoColumnFeeds) {
  InsertInto insert = MakeInsert("Sales", {LevelColumn(0, 0, 0, "Country"), SkipColumn()});
  CubeBuilder builder(StoreCube(), insert);
  auto result = builder.Finish();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().description, "INSERT INTO: no column feeds the level [Store].[City]");
  EXPECT_EQ(result.error().number, kStatementErrorNumber);
}

TEST(MeasureDecimalsTest, CountsTheDecimalsOfTheShortestForm) {
  const struct {
    double value;
    int known;
    int expected;
  } cases[] = {
      {12.5, 0, 1},
      {7.99, 0, 2},
      {7.99, 1, 2},
      {7.99, 3, 3},
      {1e6, 0, 0},
      {0.1, 0, 1},
      {0.000001, 0, 6},
      {1e-7, 0, 6},
      {1.0 / 3, 0, 6},
      {3637.99, 0, 2},
      {3637.9900000000002, 2, 6},
      {-0.05, 0, 2},
      {9007199254740993.0, 0, 0},
      {1.7976931348623157e308, 0, 0},
      {4.9e-324, 0, 6},
      {0.5, 6, 6},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecimalsOf(c.value, c.known), c.expected) << c.value << " after " << c.known;
}

// Per measure the most decimals any value shows (COUNT and integers none), unless the source
// declares the column's scale.
TEST(CubeBuilderTest, RecordsTheDecimalsOfEachMeasure) {
  CubeSchema schema;
  schema.name = "Sales";
  schema.dimensions.push_back(MakeDimension("Store", {MakeLevel("City")}));
  schema.measures = {MakeMeasure("Price"), MakeMeasure("Units"),
                     MakeMeasure("Rows", AggregateFunction::kCount), MakeMeasure("Cost"),
                     MakeMeasure("Declared Count", AggregateFunction::kCount)};
  const InsertInto insert =
      MakeInsert("Sales", {LevelColumn(0, 0, 0, "City"), MeasureColumn(0, "Price"),
                           MeasureColumn(1, "Units"), MeasureColumn(2, "Rows"),
                           MeasureColumn(3, "Cost"), MeasureColumn(4, "Declared Count")});
  const Rows rows = {{Text("A"), Value{12.5}, Int(3), Value{0.25}, Value{1.125}, Value{2.5}},
                     {Text("B"), Value{7.99}, Int(4), Value{0.5}, Value{2.0}, Value{1.5}}};
  auto cube = Build(schema, insert, rows);
  ASSERT_TRUE(cube.ok()) << cube.error().description;
  EXPECT_EQ(cube->measure_decimals, (std::vector<int>{2, 0, 0, 3, 0}));

  CubeBuilder builder(schema, insert);
  // Price and Cost come from DECIMAL(12,4) and (10,0) columns; Units from an integer column; a
  // COUNT stays 0 whatever its column.
  builder.DeclareScales({std::nullopt, 4, std::nullopt, 2, 0, 3});
  for (const auto& row : rows) ASSERT_FALSE(builder.AddRow(row));
  auto declared = builder.Finish();
  ASSERT_TRUE(declared.ok());
  EXPECT_EQ(declared->measure_decimals, (std::vector<int>{4, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace cubemill::provider::aggregate
