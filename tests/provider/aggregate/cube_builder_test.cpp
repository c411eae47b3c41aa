#include "provider/aggregate/cube_builder.h"

#include <gtest/gtest.h>

#include "provider/aggregate/cube_fixtures.h"
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

}  // namespace
}  // namespace cubemill::provider::aggregate
