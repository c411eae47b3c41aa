#include "provider/ddl/insert_into_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "provider/ddl/create_cube_parser.h"
#include "provider/engine_error.h"

namespace cubemill::provider::ddl {
namespace {

using R = ColumnRole;

CubeSchema Cube(const std::string& create_cube) {
  auto schema = ParseCreateCube(create_cube);
  EXPECT_TRUE(schema.ok()) << schema.error().description;
  return schema.ok() ? *schema : CubeSchema{};
}

ColumnBinding Bind(R role, std::size_t d, std::size_t h, std::size_t l, std::string target) {
  return ColumnBinding{role, d, h, l, 0, std::move(target)};
}

ColumnBinding MeasureBind(std::size_t m, std::string target) {
  return ColumnBinding{R::kMeasure, 0, 0, 0, m, std::move(target)};
}

const char* const kSalesCube =
    "CREATE CUBE Sales (DIMENSION Product, LEVEL [All Products] TYPE ALL, LEVEL [Product Family],"
    " LEVEL [Brand Name], DIMENSION [Time] TYPE TIME, HIERARCHY [Column], LEVEL [All Time] TYPE"
    " ALL, LEVEL [Year] TYPE YEAR, LEVEL [Quarter] TYPE QUARTER, HIERARCHY Formula, LEVEL [All"
    " Formula Time] TYPE ALL, LEVEL Year TYPE YEAR, LEVEL [Month] TYPE MONTH, MEASURE [Units"
    " Ordered] Function Sum, MEASURE [Warehouse Sales])";

TEST(InsertIntoParserTest, ReadsWorkedExampleWithSkippedColumn) {
  const CubeSchema schema = Cube(
      "CREATE CUBE [OCWCube]( DIMENSION [Time], HIERARCHY [Fiscal], LEVEL [Year], "
      "MEASURE [Amount] FUNCTION SUM);");
  auto insert = ParseInsertInto(
      "INSERT INTO OCWCube([Time].[Year],SKIPONECOLUMN,[Measures].[Amount]) SELECT Year, "
      "SUM(Amount) FROM Sales GROUP BY Year",
      schema);
  ASSERT_TRUE(insert.ok()) << insert.error().description;
  EXPECT_EQ(*insert, (InsertInto{"OCWCube",
                                 {Bind(R::kLevel, 0, 0, 0, "[Time].[Year]"),
                                  Bind(R::kSkip, 0, 0, 0, "SKIPONECOLUMN"),
                                  MeasureBind(0, "[Measures].[Amount]")},
                                 "SELECT Year, SUM(Amount) FROM Sales GROUP BY Year"}));
}

TEST(InsertIntoParserTest, KeepsSelectUnchangedButTrimsTrailingBlanks) {
  const CubeSchema schema = Cube("CREATE CUBE [OCWCube] ( DIMENSION [Region], LEVEL [Region] );");
  const struct {
    const char* statement;
    const char* select;
  } cases[] = {
      {"INSERT INTO OCWCube([Region].[Region])  SELECT region FROM orders ",
       "SELECT region FROM orders"},
      {"insert into [ocwcube] (Region)select  a = 'x;y' , {fn UCASE(b)}\r\n FROM t\t\n",
       "select  a = 'x;y' , {fn UCASE(b)}\r\n FROM t"},
      {"INSERT INTO \"OCWCUBE\"([Region]) OPTIONS PASSTHROUGH, ATTEMPT_DEFER Select \"r\" From o",
       "Select \"r\" From o"},
      {"INSERT INTO OCWCube(Region) OPTIONS attempt_analysis SELECT * FROM [Open bracket",
       "SELECT * FROM [Open bracket"},
  };
  for (const auto& c : cases) {
    auto insert = ParseInsertInto(c.statement, schema);
    ASSERT_TRUE(insert.ok()) << c.statement << ": " << insert.error().description;
    EXPECT_EQ(insert->select, c.select);
    EXPECT_EQ(insert->columns, (std::vector{Bind(R::kLevel, 0, 0, 0, insert->columns[0].target)}));
  }
}

TEST(InsertIntoParserTest, ResolvesEveryTargetForm) {
  const CubeSchema schema = Cube(kSalesCube);
  auto insert = ParseInsertInto(
      "INSERT INTO Sales (SKIPONECOLUMN, Product.[Product Family], [Brand Name].KEY, "
      "[Product].\"Brand Name\".[Name], [Time].[Column], [Time].Formula.Year, "
      "[Time].Formula.Month.[Key], [Time].Formula.Month.Name, Measures.[Units Ordered], "
      "[warehouse sales], SKIPONECOLUMN, SKIPONECOLUMN)SELECT 1",
      schema);
  ASSERT_TRUE(insert.ok()) << insert.error().description;
  const std::vector<ColumnBinding> expected = {
      Bind(R::kSkip, 0, 0, 0, "SKIPONECOLUMN"),
      Bind(R::kLevel, 0, 0, 1, "Product.[Product Family]"),
      Bind(R::kLevelKey, 0, 0, 2, "[Brand Name].KEY"),
      Bind(R::kLevelName, 0, 0, 2, "[Product].\"Brand Name\".[Name]"),
      Bind(R::kTime, 1, 0, 0, "[Time].[Column]"),
      Bind(R::kLevel, 1, 1, 1, "[Time].Formula.Year"),
      Bind(R::kLevelKey, 1, 1, 2, "[Time].Formula.Month.[Key]"),
      Bind(R::kLevelName, 1, 1, 2, "[Time].Formula.Month.Name"),
      MeasureBind(0, "Measures.[Units Ordered]"),
      MeasureBind(1, "[warehouse sales]"),
      Bind(R::kSkip, 0, 0, 0, "SKIPONECOLUMN"),
      Bind(R::kSkip, 0, 0, 0, "SKIPONECOLUMN")};
  EXPECT_EQ(insert->columns, expected);
  EXPECT_EQ(insert->cube_name, "Sales");
}

TEST(InsertIntoParserTest, FeedsTimeDimensionFromOneColumnAndKeywordNamesAsTargets) {
  const CubeSchema schema = Cube(
      "CREATE CUBE [C] (DIMENSION [When] TYPE TIME, LEVEL [All] TYPE ALL, LEVEL Year TYPE YEAR,"
      " LEVEL Week TYPE WEEK, DIMENSION Store, LEVEL Country, DIMENSION Warehouse, LEVEL Country,"
      " LEVEL Month, MEASURE Count FUNCTION COUNT)");
  const struct {
    const char* targets;
    std::vector<ColumnBinding> expected;
  } cases[] = {
      {"[When].KEY, Store.Country, [Warehouse].[Country], Month, Count",
       {Bind(R::kTime, 0, kAllHierarchies, 0, "[When].KEY"),
        Bind(R::kLevel, 1, 0, 0, "Store.Country"),
        Bind(R::kLevel, 2, 0, 0, "[Warehouse].[Country]"), Bind(R::kLevel, 2, 0, 1, "Month"),
        MeasureBind(0, "Count")}},
      {"Year, Week, Store.Country, Warehouse.Country, Warehouse.Month.NAME, [Measures].Count",
       {Bind(R::kLevel, 0, 0, 1, "Year"), Bind(R::kLevel, 0, 0, 2, "Week"),
        Bind(R::kLevel, 1, 0, 0, "Store.Country"), Bind(R::kLevel, 2, 0, 0, "Warehouse.Country"),
        Bind(R::kLevelName, 2, 0, 1, "Warehouse.Month.NAME"), MeasureBind(0, "[Measures].Count")}},
  };
  for (const auto& c : cases) {
    const std::string statement = std::string("INSERT INTO C (") + c.targets + ") SELECT 1";
    auto insert = ParseInsertInto(statement, schema);
    ASSERT_TRUE(insert.ok()) << statement << ": " << insert.error().description;
    EXPECT_EQ(insert->columns, c.expected) << statement;
  }
}

TEST(InsertIntoParserTest, RejectsBadStatementsNamingWhatAndWhere) {
  const CubeSchema sales = Cube(kSalesCube);
  const std::string kSales =
      "INSERT INTO Sales (Product.[Product Family], Product.[Brand Name], [Time].[Column], "
      "[Time].Formula.Year, [Time].Formula.Month, [Units Ordered], [Warehouse Sales]";
  const CubeSchema shops = Cube(
      "CREATE CUBE [C] (DIMENSION Store, LEVEL Country, DIMENSION Warehouse, LEVEL Country,"
      " DIMENSION [Customer], LEVEL [Customer], LEVEL [Name], DIMENSION [T] TYPE TIME,"
      " LEVEL [Y] TYPE YEAR, LEVEL [Region], MEASURE [M])");
  const std::string kShops =
      "Store.Country, Warehouse.Country, [Customer].[Customer], [Customer].[Name].NAME";
  const struct {
    const CubeSchema* schema;
    std::string statement;
    std::string marker;  // its first occurrence gives {pos}
    std::string message;
  } cases[] = {
      {&sales, kSales + ", [Geo].[Town]) SELECT 1", "[Geo]",
       "INSERT INTO: target \"[Geo].[Town]\" names no level or measure of cube \"Sales\", at "
       "position {pos}"},
      {&sales, kSales + ", Measures.[Nope]) SELECT 1", "Measures.[Nope]",
       "target \"Measures.[Nope]\" names no level or measure of cube \"Sales\", at position {pos}"},
      {&sales, kSales + ", Product.Column) SELECT 1", "Product.Column",
       "target \"Product.Column\" names no level or measure"},
      {&shops, "INSERT INTO C (" + kShops + ", [T].[Y], [T].[Region], [M], [Country]) SELECT 1",
       "[Country]",
       "INSERT INTO: target \"[Country]\" is ambiguous: it names [Store].[Country] and "
       "[Warehouse].[Country]; qualify it further, at position {pos}"},
      {&shops, "INSERT INTO C ([Customer].[Name], " + kShops + ") SELECT 1", "[Customer]",
       "INSERT INTO: target \"[Customer].[Name]\" is ambiguous: it names [Customer].[Name] and "
       "[Customer].[Customer].NAME; qualify it further, at position {pos}"},
      {&shops, "INSERT INTO C (" + kShops + ", [T], [M]) SELECT 1", "[T]",
       "INSERT INTO: target \"[T]\" at position {pos} derives every level it covers from one "
       "date, but level [T].[Region] has no time TYPE"},
      {&shops,
       "INSERT INTO C (Store.Country, [Customer].[Customer], [Customer].[Name].Name, "
       "[T].[Y], "
       "[T].[Region], [M]) SELECT 1",
       "zzz", "INSERT INTO: level [Warehouse].[Country] is fed by no target"},
      {&shops, "INSERT INTO C (" + kShops + ", [T].[Y], [T].[Region]) SELECT 1", "zzz",
       "INSERT INTO: measure [M] is fed by no target"},
      {&shops, "INSERT INTO C (" + kShops + ", [T].[Y], [T].[Region], [M], Measures.M) SELECT 1",
       "Measures.M",
       "INSERT INTO: [Measures].[M] is fed twice: by \"[M]\" and by \"Measures.M\" at position "
       "{pos}"},
      {&shops,
       "INSERT INTO C (" + kShops +
           ", [T].[Y], [T].[Region], [M], Store.Country.KEY) "
           "SELECT 1",
       "Store.Country.KEY",
       "INSERT INTO: level [Store].[Country] is fed twice: by \"Store.Country\" and by "
       "\"Store.Country.KEY\" at position {pos}"},
      {&shops,
       "INSERT INTO C (" + kShops +
           ", [T].[Y], [T].[Region], [M], Customer.Name.Name) "
           "SELECT 1",
       "Customer.Name.Name",
       "INSERT INTO: level [Customer].[Name] is fed twice: by \"[Customer].[Name].NAME\" and by "
       "\"Customer.Name.Name\" at position {pos}"},
      {&sales, kSales + ", [Time].[Column].[Year]) SELECT 1", "[Time].[Column].[Year]",
       "INSERT INTO: level [Time].[Column].[Year] is fed twice: by \"[Time].[Column]\" and by "
       "\"[Time].[Column].[Year]\" at position {pos}"},
      {&sales, kSales + ", [Time]) SELECT 1", "[Time])",
       "INSERT INTO: level [Time].[Column].[Year] is fed twice: by \"[Time].[Column]\" and by "
       "\"[Time]\" at position {pos}"},
      {&sales, kSales + ", [All Products]) SELECT 1", "[All Products]",
       "INSERT INTO: target \"[All Products]\" names the ALL level [Product].[All Products], "
       "which has its one member and takes no column, at position {pos}"},
      {&sales, "INSERT INTO [Sale] (Product.[Product Family]) SELECT 1", "[Sale]",
       "INSERT INTO: cube \"Sale\" at position {pos} is not the cube \"Sales\" that CREATE CUBE "
       "defines"},
      {&sales, kSales + ")  ", ")",
       "INSERT INTO: the SELECT is missing after the target list that ends at position {pos}"},
      {&sales, kSales + ") OPTIONS DEFER_DATA SELECT 1", "DEFER_DATA",
       "INSERT INTO: OPTIONS DEFER_DATA (a cube that fetches its data from the source when "
       "queried) is not supported, at position {pos}"},
      {&sales, kSales + ") OPTIONS PASSTHROUGH BIND (a, b) SELECT 1", "BIND",
       "INSERT INTO: BIND (columns of a client rowset) is not supported, at position {pos}"},
      {&sales, kSales + ") DIRECTLYFROMCACHEDROWSET 0x12ab", "DIRECTLY",
       "INSERT INTO: DIRECTLYFROMCACHEDROWSET (rowsets of the calling process) is not supported, "
       "at position {pos}"},
      {&sales, kSales + ") directlyFromMarshalledRowset 0x12ab", "directly",
       "INSERT INTO: DIRECTLYFROMMARSHALLEDROWSET (rowsets of the calling process) is not "
       "supported"},
      {&sales, kSales + ", Product.[Brand Name].CUSTOM_ROLLUP) SELECT 1", "CUSTOM_ROLLUP",
       "INSERT INTO: .CUSTOM_ROLLUP in target \"Product.[Brand Name].CUSTOM_ROLLUP\" is not "
       "supported, at position {pos}"},
      {&sales, kSales + ", Product.[Brand Name].SkipLevelColumn) SELECT 1", "SkipLevelColumn",
       ".SKIPLEVELCOLUMN in target \"Product.[Brand Name].SkipLevelColumn\" is not supported, at "
       "position {pos}"},
      {&sales, kSales + ", Product.[Brand Name].PARENT) SELECT 1", "PARENT",
       ".PARENT in target \"Product.[Brand Name].PARENT\" is not supported, at position {pos}"},
      {&sales, kSales + ", Product.[Brand Name].[Package]) SELECT 1", "Product.[Brand Name].[Pa",
       "INSERT INTO: target \"Product.[Brand Name].[Package]\" names a member property [Package] "
       "of level [Product].[Brand Name]; member properties are not supported, at position {pos}"},
      {&sales, kSales + ") OPTIONS FAST SELECT 1", "FAST",
       "INSERT INTO: expected an option (PASSTHROUGH, ATTEMPT_ANALYSIS or ATTEMPT_DEFER) at "
       "position {pos}, found \"FAST\""},
      {&sales, kSales + ") WHERE x SELECT 1", "WHERE",
       "INSERT INTO: expected OPTIONS or SELECT at position {pos}, found \"WHERE\""},
      {&sales, kSales + " SELECT 1", "SELECT",
       "INSERT INTO: expected \",\" or \")\" at position {pos}, found \"SELECT\""},
      {&sales, "INSERT INTO Sales () SELECT 1", ")",
       "INSERT INTO: expected a target at position {pos}, found \")\""},
      {&sales, "INSERT INTO Sales (Product.) SELECT 1", ")",
       "INSERT INTO: expected a name after \".\" at position {pos}, found \")\""},
      {&sales, "INSERT INTO Sales ([Product SELECT 1", "[",
       "INSERT INTO: unterminated bracketed name starting at position {pos}"},
      {&sales, "INSERT Sales (x) SELECT 1", "Sales",
       "INSERT INTO: expected INTO at position {pos}, found \"Sales\""},
  };
  for (const auto& c : cases) {
    std::string message = c.message;
    const std::size_t place = message.find("{pos}");
    if (place != std::string::npos)
      message.replace(place, 5, std::to_string(c.statement.find(c.marker) + 1));
    auto insert = ParseInsertInto(c.statement, *c.schema);
    ASSERT_FALSE(insert.ok()) << c.statement;
    EXPECT_NE(insert.error().description.find(message), std::string::npos)
        << c.statement << "\n  got: " << insert.error().description << "\n  want: " << message;
    EXPECT_EQ(insert.error().number, kStatementErrorNumber);
  }
}

}  // namespace
}  // namespace cubemill::provider::ddl
