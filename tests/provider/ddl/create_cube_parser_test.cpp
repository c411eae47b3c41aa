#include "provider/ddl/create_cube_parser.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>

#include "provider/engine_error.h"

namespace cubemill::provider::ddl {
namespace {

Level L(std::string name, LevelType type = LevelType::kRegular) {
  return Level{.name = std::move(name), .type = type};
}

TEST(CreateCubeParserTest, ReadsSingleLevelCubeWithTrailingSemicolon) {
  auto schema = ParseCreateCube("CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL [Region] );");
  ASSERT_TRUE(schema.ok()) << schema.error().description;
  EXPECT_EQ(
      *schema,
      (CubeSchema{"OCWCube", {Dimension{"Region", false, false, {{"", {L("Region")}}}}}, {}}));
}

TEST(CreateCubeParserTest, ReadsNamedHierarchyAndMeasure) {
  auto schema = ParseCreateCube(
      "CREATE CUBE [OCWCube]( DIMENSION [Time], HIERARCHY [Fiscal], LEVEL [Year], "
      "MEASURE [Amount] FUNCTION SUM);");
  ASSERT_TRUE(schema.ok()) << schema.error().description;
  EXPECT_EQ(*schema, (CubeSchema{"OCWCube",
                                 {Dimension{"Time", false, true, {{"Fiscal", {L("Year")}}}}},
                                 {Measure{"Amount", AggregateFunction::kSum, "", ""}}}));
}

TEST(CreateCubeParserTest, ReadsHandWrittenSampleWithTwoTimeHierarchies) {
  auto schema = ParseCreateCube(
      "CREATE CUBE Sales (\n"
      "  DIMENSION Product, LEVEL [All Products] TYPE ALL, LEVEL [Product Family],\n"
      "    LEVEL [Brand Name] ,\n"
      "  DIMENSION [Time] TYPE TIME,\n"
      "    HIERARCHY [Column], LEVEL [All Time]  TYPE ALL, LEVEL [Year] TYPE YEAR,\n"
      "      LEVEL [Quarter] TYPE QUARTER,\n"
      "    HIERARCHY Formula, LEVEL [All Formula Time] TYPE ALL, LEVEL Year TYPE YEAR,\n"
      "      LEVEL [Month] TYPE MONTH OPTIONS (SORTBYKEY),\n"
      "  MEASURE [Units Ordered] Function Sum Format '#.#',\n"
      "  MEASURE [Warehouse Sales] FUNCTION min FORMAT 'Currency' TYPE DBTYPE_R8\n"
      ")");
  ASSERT_TRUE(schema.ok()) << schema.error().description;
  Level month = L("Month", LevelType::kMonth);
  month.order = MemberOrder::kByKey;
  const CubeSchema expected{
      "Sales",
      {Dimension{
           "Product",
           false,
           false,
           {{"", {L("All Products", LevelType::kAll), L("Product Family"), L("Brand Name")}}}},
       Dimension{"Time",
                 true,
                 true,
                 {{"Column",
                   {L("All Time", LevelType::kAll), L("Year", LevelType::kYear),
                    L("Quarter", LevelType::kQuarter)}},
                  {"Formula",
                   {L("All Formula Time", LevelType::kAll), L("Year", LevelType::kYear), month}}}}},
      {Measure{"Units Ordered", AggregateFunction::kSum, "#.#", ""},
       Measure{"Warehouse Sales", AggregateFunction::kMin, "Currency", "DBTYPE_R8"}}};
  EXPECT_EQ(*schema, expected);
}

TEST(CreateCubeParserTest, ReadsGeneratedShapeWithOptionsAndFormats) {
  auto schema = ParseCreateCube(
      "CREATE CUBE [Web] (DIMENSION [Shop],LEVEL [All Shop]  TYPE ALL,LEVEL [Country] "
      "OPTIONS(SORTBYKEY),LEVEL [City] OPTIONS(SORTBYNAME, UNIQUE_NAME , UNIQUE),"
      "MEASURE [Revenue] Function Sum Format '#,##0;(#,##0)',MEASURE [Orders] Function Count,"
      "MEASURE [Top] FUNCTION MAX TYPE dbtype_cy)");
  ASSERT_TRUE(schema.ok()) << schema.error().description;
  Level country = L("Country");
  country.order = MemberOrder::kByKey;
  Level city = L("City");
  city.unique_key = city.unique_name = true;
  const CubeSchema expected{
      "Web",
      {Dimension{"Shop", false, false, {{"", {L("All Shop", LevelType::kAll), country, city}}}}},
      {Measure{"Revenue", AggregateFunction::kSum, "#,##0;(#,##0)", ""},
       Measure{"Orders", AggregateFunction::kCount, "", ""},
       Measure{"Top", AggregateFunction::kMax, "", "DBTYPE_CY"}}};
  EXPECT_EQ(*schema, expected);
}

TEST(CreateCubeParserTest, ReadsEveryTimeTypeKeywordNamesAndQuotedNames) {
  auto schema = ParseCreateCube(
      "create cube \"Odd ]Cube\"\r\n(\tdimension [When] type time, level Year type year,\n"
      "level Quarter type quarter, level Month type month, level Week type week,"
      " level Day type day, level [DOW] type dayofweek, level Date type date,"
      " level Hour type hour, level Minute type minute, level [S]]s] type second"
      " options(unique_key), dimension [Town], level [Year], measure Count function count,"
      " measure \"Sum \"\"x\"\"\" format \"0.0\")");
  ASSERT_TRUE(schema.ok()) << schema.error().description;
  Level second = L("S]s", LevelType::kSecond);
  second.unique_key = true;
  const CubeSchema expected{
      "Odd ]Cube",
      {Dimension{
           "When",
           true,
           false,
           {{"",
             {L("Year", LevelType::kYear), L("Quarter", LevelType::kQuarter),
              L("Month", LevelType::kMonth), L("Week", LevelType::kWeek), L("Day", LevelType::kDay),
              L("DOW", LevelType::kDayOfWeek), L("Date", LevelType::kDate),
              L("Hour", LevelType::kHour), L("Minute", LevelType::kMinute), second}}}},
       Dimension{"Town", false, false, {{"", {L("Year")}}}}},
      {Measure{"Count", AggregateFunction::kCount, "", ""},
       Measure{"Sum \"x\"", AggregateFunction::kSum, "0.0", ""}}};
  EXPECT_EQ(*schema, expected);
}

std::string Lower(std::string_view word) {
  std::string lower(word);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// The parser reads the keyword tables of cube_schema.h: every entry in any letter case, kept in
// the table's spelling, which the cube file and the builder read back.
TEST(CreateCubeParserTest, ReadsEveryKeywordOfTheSchemaTables) {
  const std::string head = "CREATE CUBE C (DIMENSION D, LEVEL A TYPE ALL, LEVEL L";
  for (const auto& [number_class, word] : kMeasureTypeKeywords) {
    auto schema = ParseCreateCube(head + ", MEASURE M TYPE " + Lower(word) + ")");
    ASSERT_TRUE(schema.ok()) << schema.error().description;
    EXPECT_EQ(schema->measures[0].type, word);
  }
  for (const auto& [function, word] : kAggregateFunctionKeywords) {
    auto schema = ParseCreateCube(head + ", MEASURE M FUNCTION " + Lower(word) + ")");
    ASSERT_TRUE(schema.ok()) << schema.error().description;
    EXPECT_EQ(schema->measures[0].function, function) << word;
  }
  for (const auto& [order, option, file_word] : kMemberOrderKeywords) {
    auto schema = ParseCreateCube(head + " OPTIONS (" + Lower(option) + "))");
    ASSERT_TRUE(schema.ok()) << schema.error().description;
    EXPECT_EQ(schema->dimensions[0].hierarchies[0].levels[1].order, order) << option;
  }
  for (const auto& [type, word] : kLevelTypeKeywords) {
    auto schema = ParseCreateCube(head + " TYPE " + Lower(word) + ")");
    // REGULAR is the cube file's word for a level without TYPE, and ALL must come first.
    ASSERT_EQ(schema.ok(), type != LevelType::kRegular && type != LevelType::kAll) << word;
    if (schema.ok()) {
      EXPECT_EQ(schema->dimensions[0].hierarchies[0].levels[1].type, type);
    }
  }
}

TEST(CreateCubeParserTest, RejectsBadStatementsNamingWhatAndWhere) {
  const std::string kHead = "CREATE CUBE [C] ( DIMENSION [D], LEVEL [L]";
  const struct {
    std::string statement;
    std::string marker;  // its first occurrence gives {pos}
    std::string message;
  } cases[] = {
      {kHead + " MEASUR [M] )", "MEASUR",
       "CREATE CUBE: expected \",\" or \")\" at position {pos}, found \"MEASUR\""},
      {kHead + ", MEASURE [A], COMMAND (CREATE MEMBER CURRENTCUBE.MEASURES.[B] AS 'A*2'))",
       "COMMAND", "CREATE CUBE: COMMAND (calculated members) is not supported, at position {pos}"},
      {kHead + ", PROPERTY [P] )", "PROPERTY",
       "CREATE CUBE: PROPERTY (member properties) is not supported, at position {pos}"},
      {kHead + " FORMAT_NAME 'x' )", "FORMAT_NAME",
       "CREATE CUBE: FORMAT_NAME (level formats) is not supported, at position {pos}"},
      {kHead + " format_key 'x' )", "format_key",
       "CREATE CUBE: FORMAT_KEY (level formats) is not supported, at position {pos}"},
      {kHead + " CUSTOM_ROLLUP_EXPRESSION 'x' )", "CUSTOM",
       "CREATE CUBE: CUSTOM_ROLLUP_EXPRESSION (custom rollups) is not supported, at position "
       "{pos}"},
      {"CREATE CUBE [C] ( DIMENSION [D] DIMENSION_STRUCTURE PARENT_CHILD, LEVEL [L])",
       "DIMENSION_STRUCTURE",
       "CREATE CUBE: DIMENSION_STRUCTURE (parent-child dimensions) is not supported, at position "
       "{pos}"},
      {kHead + ", MEASURE [M] HIDDEN)", "HIDDEN",
       "CREATE CUBE: HIDDEN is not supported, at position {pos}"},
      {kHead + " OPTIONS(SORTBYKEY, SORTBYPROPERTY [P]))", "SORTBYPROPERTY",
       "CREATE CUBE: SORTBYPROPERTY (member properties) is not supported, at position {pos}"},
      {kHead + " OPTIONS(NOTRELATEDTOFACTTABLE))", "NOTRELATED",
       "CREATE CUBE: NOTRELATEDTOFACTTABLE (levels not related to the facts) is not supported, at "
       "position {pos}"},
      {kHead + " Not_Related_To_Facts)", "Not_",
       "CREATE CUBE: Not_Related_To_Facts (levels not related to the facts) is not supported, at "
       "position {pos}"},
      {"CREATE CUBE [C] ( DIMENSION [D] OPTIONS(ALLOWSIBLINGSWITHSAMENAME), LEVEL [L])", "OPTIONS",
       "CREATE CUBE: dimension OPTIONS is not supported, at position {pos}"},
      {kHead + ", MEASURE [M] FUNCTION DISTINCT COUNT)", "DISTINCT",
       "CREATE CUBE: DISTINCT COUNT (the cube file keeps no leaf facts to count from) is not "
       "supported, at position {pos}"},
      {kHead + ", MEASURE [M] FUNCTION AVG)", "AVG",
       "CREATE CUBE: expected an aggregate function (SUM, COUNT, MIN or MAX) at position {pos}, "
       "found \"AVG\""},
      {kHead + " TYPE DECADE)", "DECADE", "found \"DECADE\""},
      {kHead + ", MEASURE [M] TYPE DBTYPE_BSTR)", "DBTYPE_BSTR",
       "expected a measure type (DBTYPE_I4, DBTYPE_R8, DBTYPE_CY ...) at position {pos}"},
      {kHead, "zzz",
       "CREATE CUBE: expected \",\" or \")\" at position 43, found the end of the statement"},
      {kHead + "))", "))",
       "CREATE CUBE: expected the end of the statement at position 44, "
       "found \")\""},
      {kHead + "); x", "x", "expected the end of the statement at position {pos}, found \"x\""},
      {kHead + " = 1)", "=", "CREATE CUBE: unexpected character \"=\" at position {pos}"},
      {kHead + ", MEASURE [M] FORMAT '#,##0", "'#",
       "CREATE CUBE: unterminated string starting at position {pos}: the statement ends inside "
       "it, after \"...[L], MEASURE [M] FORMAT '#,##0\""},
      {"", "zzz", "CREATE CUBE: expected CREATE at position 1, found the end of the statement"},
      {"CREATE CUBE [C] ()", ")",
       "expected DIMENSION, HIERARCHY, LEVEL or MEASURE at position {pos}"},
      {"CREATE CUBE [C] ( LEVEL [L] )", "LEVEL",
       "CREATE CUBE: LEVEL at position {pos} comes before the first DIMENSION"},
      {kHead + ", MEASURE [M], LEVEL [X])", "LEVEL [X]",
       "CREATE CUBE: LEVEL at position {pos} follows a MEASURE: dimensions and levels must come "
       "before the measures"},
      {kHead + ", LEVEL [All] TYPE ALL)", "[All]",
       "CREATE CUBE: level [All] at position {pos} has TYPE ALL but is not the first level of its "
       "hierarchy"},
      {"CREATE CUBE [C] ( DIMENSION [D], LEVEL [A] TYPE ALL, LEVEL [B] TYPE ALL, LEVEL [L])", "[B]",
       "CREATE CUBE: level [B] at position {pos} has TYPE ALL but is not the first level"},
      {"CREATE CUBE [C] ( DIMENSION [D], LEVEL [All D] TYPE ALL)", "DIMENSION",
       "CREATE CUBE: dimension [D] at position {pos} has no level below its ALL level"},
      {"CREATE CUBE [C] ( DIMENSION [T], HIERARCHY [A], HIERARCHY [B], LEVEL [Y])", "HIERARCHY",
       "CREATE CUBE: hierarchy [A] of dimension [T] at position {pos} has no level"},
      {"CREATE CUBE [C] ( DIMENSION [A], DIMENSION [B], LEVEL [L])", "DIMENSION",
       "CREATE CUBE: dimension [A] at position {pos} has no level"},
      {kHead + ", HIERARCHY [H], LEVEL [X])", "HIERARCHY",
       "CREATE CUBE: HIERARCHY at position {pos} follows levels of dimension [D] that belong to "
       "no hierarchy"},
      {kHead + ", DIMENSION d, LEVEL [L])", "d,",
       "CREATE CUBE: dimension [d] at position {pos} is declared twice"},
      {kHead + ", LEVEL [l])", "[l]",
       "CREATE CUBE: level [l] at position {pos} is declared twice in the same hierarchy"},
      {"CREATE CUBE [C] ( DIMENSION [T], HIERARCHY [H], LEVEL [L], HIERARCHY [h], LEVEL [L])",
       "[h]", "CREATE CUBE: hierarchy [h] at position {pos} is declared twice in dimension [T]"},
      {kHead + ", MEASURE [M], MEASURE [m])", "[m]",
       "CREATE CUBE: measure [m] at position {pos} is declared twice"},
      {"CREATE CUBE [C] ( DIMENSION [Measures], LEVEL [L])", "[Measures]",
       "CREATE CUBE: dimension [Measures] at position {pos} is reserved for the measures"},
      {kHead + " OPTIONS(SORTBYKEY, SORTBYNAME))", "SORTBYNAME",
       "CREATE CUBE: a second sort order SORTBYNAME at position {pos}"},
      {kHead + ", LEVEL [Ci" + std::string(1, '\0') + "ty])", "[Ci",
       "CREATE CUBE: bracketed name starting at position {pos} holds the control character 0x00 "
       "at position 54: names may not hold control characters"},
      {kHead + ", MEASURE \"A\tB\")", "\"A",
       "CREATE CUBE: quoted name starting at position {pos} holds the control character 0x09"},
      {"CREATE CUBE [C\x7F] ( DIMENSION [D], LEVEL [L])", "[C",
       "CREATE CUBE: bracketed name starting at position {pos} holds the control character 0x7F "
       "at position 15"},
  };
  for (const auto& c : cases) {
    std::string message = c.message;
    const std::size_t place = message.find("{pos}");
    if (place != std::string::npos)
      message.replace(place, 5, std::to_string(c.statement.find(c.marker) + 1));
    auto schema = ParseCreateCube(c.statement);
    ASSERT_FALSE(schema.ok()) << c.statement;
    EXPECT_NE(schema.error().description.find(message), std::string::npos)
        << c.statement << "\n  got: " << schema.error().description << "\n  want: " << message;
    EXPECT_EQ(schema.error().number, kStatementErrorNumber);
    EXPECT_EQ(schema.error().source, kEngineSource);
  }
}

}  // namespace
}  // namespace cubemill::provider::ddl
