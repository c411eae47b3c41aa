// An analyst's questions in MDX over two cubes the real engine builds (the shipped sample and a
// sales cube with empty months, empty cities and a country without sales in one year), each
// answered from the table the engine chooses (a stored rollup where one will do) and from the
// leaf cells, and compared with SQL over the source rows. The MDX means what it means in any OLAP
// server; the SQL computes that answer from the sales rows alone. Questions the engine cannot
// answer yet are marked pending: they are skipped while the engine refuses them and checked like
// the others once it answers.
#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "analyst_cube.h"
#include "query/query_evaluator.h"
#include "query_test_cube.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill::query {
namespace {

struct Question {
  std::string name;  // the test's name
  std::string mdx;
  // Rows of (row tuple's names..., column tuple's names..., value) over the source.
  std::string sql;
  bool ordered = false;  // the answer's rows (columns without rows) in the SQL's order
  bool pending = false;  // the engine refuses it for now
};

constexpr bool kInOrder = true;
constexpr bool kAnyOrder = false;
constexpr bool kPending = true;
constexpr bool kAnswered = false;

std::ostream& operator<<(std::ostream& out, const Question& question) {
  return out << question.mdx;
}

// Each measure of the analyst cube over the sales rows. COUNT over no value is no value.
const std::map<std::string, std::string> kMeasureSql = {
    {"Amount", "SUM(amount)"},
    {"Quantity", "SUM(quantity)"},
    {"Orders", "NULLIF(COUNT(order_id), 0)"},
    {"Lowest Price", "MIN(price)"},
    {"Highest Price", "MAX(price)"},
};
const std::vector<std::string> kAllMeasures = {"Amount", "Quantity", "Orders", "Lowest Price",
                                               "Highest Price"};

// `measures` per `group` (source columns, "" for one group of all) over the rows `filter`
// keeps, as rows (group..., measure, value), ordered by `order` (over the group's columns,
// "" for none) and then by the measures' order.
std::string Cells(const std::string& group, const std::string& filter,
                  const std::vector<std::string>& measures, const std::string& order = "") {
  const std::string head = group.empty() ? "" : group + ", ";
  std::string parts;
  for (std::size_t i = 0; i < measures.size(); ++i) {
    if (i > 0) parts += " UNION ALL ";
    parts += "SELECT " + head + std::to_string(i) + " AS measure_order, '" + measures[i] +
             "' AS measure, " + kMeasureSql.at(measures[i]) + " AS value FROM sales WHERE " +
             filter + (group.empty() ? "" : " GROUP BY " + group);
  }
  return "SELECT " + head + "measure, value FROM (" + parts + ") ORDER BY " +
         (order.empty() ? "" : order + ", ") + "measure_order";
}

constexpr char kOsakaSaddlesOfH1[] =
    "city = 'Osaka' AND product = 'Saddle' AND quarter IN ('2023-Q1', '2023-Q2')";

// The analyst cube [Sales] (analyst_cube.h). Time: [2023], [2023].[2023-Q1],
// [2023].[2023-Q1].[2023-01]; 2023-08 and 2024-02 sold nothing. Geography: America (Canada:
// Quebec, Toronto, Vancouver; Mexico: Monterrey; USA: Boston, Chicago, Denver), Asia (Japan:
// Osaka, Tokyo), Europe (France: Lyon, Paris; Portugal: Lisbon, Porto; Spain: Bilbao, Madrid,
// Sevilla, Valencia); Quebec and Bilbao sold nothing, Portugal nothing in 2023. Members are in
// name order within their parent, so a level's members are in the order of their ancestors'
// names and then their own.
const Question kAnalystBank[] = {
    // Totals and layouts.
    {"TotalsByYear",
     "SELECT {[Measures].[Amount], [Measures].[Quantity], [Measures].[Orders]} ON COLUMNS, "
     "[Time].[Year].Members ON ROWS FROM [Sales]",
     Cells("year", "1", {"Amount", "Quantity", "Orders"}, "year"), kInOrder, kAnswered},
    {"GrandTotalOfEveryMeasure", "SELECT [Measures].Members ON COLUMNS FROM [Sales]",
     Cells("", "1", kAllMeasures), kInOrder, kAnswered},
    {"EveryMonthEmptyOnesIncluded",
     "SELECT [Measures].[Amount] ON COLUMNS, [Time].[Month].Members ON ROWS FROM [Sales]",
     Cells("month", "1", {"Amount"}, "month"), kInOrder, kAnswered},
    {"QuartersOfAYear",
     "SELECT {[Measures].[Amount], [Measures].[Quantity]} ON COLUMNS, [Time].[2023].Children ON "
     "ROWS FROM [Sales]",
     Cells("quarter", "year = 2023", {"Amount", "Quantity"}, "quarter"), kInOrder, kAnswered},
    {"CountryByYear",
     "SELECT [Time].[Year].Members ON COLUMNS, [Geography].[Country].Members ON ROWS FROM "
     "[Sales] WHERE [Measures].[Amount]",
     "SELECT country, year, SUM(amount) FROM sales GROUP BY region, country, year "
     "ORDER BY region, country, year",
     kInOrder, kAnswered},
    {"RegionByQuarterOfOneYear",
     "SELECT [Time].[2024].Children ON COLUMNS, [Geography].[Region].Members ON ROWS FROM "
     "[Sales] WHERE [Measures].[Quantity]",
     "SELECT region, quarter, SUM(quantity) FROM sales WHERE year = 2024 GROUP BY 1, 2", kAnyOrder,
     kAnswered},
    {"CategoryByRegionAndMeasure",
     "SELECT CrossJoin([Geography].[Region].Members, {[Measures].[Amount], [Measures].[Orders]}) "
     "ON COLUMNS, [Product].[Category].Members ON ROWS FROM [Sales] WHERE [Time].[2024]",
     Cells("category, region", "year = 2024", {"Amount", "Orders"}), kAnyOrder, kAnswered},
    {"ProductsInHierarchyOrder",
     "SELECT [Measures].[Quantity] ON COLUMNS, [Product].[Product].Members ON ROWS FROM [Sales]",
     "SELECT product, 'Quantity', SUM(quantity) FROM sales GROUP BY category, product "
     "ORDER BY category, product",
     kInOrder, kAnswered},
    // All the places, in any order here; in hierarchy order once hierarchized.
    {"EveryPlace",
     "SELECT [Measures].[Amount] ON COLUMNS, [Geography].Members ON ROWS FROM [Sales]",
     "SELECT 'All Geography', 'Amount', SUM(amount) FROM sales UNION ALL "
     "SELECT region, 'Amount', SUM(amount) FROM sales GROUP BY region UNION ALL "
     "SELECT country, 'Amount', SUM(amount) FROM sales GROUP BY country UNION ALL "
     "SELECT city, 'Amount', SUM(amount) FROM sales GROUP BY city",
     kAnyOrder, kAnswered},
    {"EveryPlaceHierarchized",
     "SELECT [Measures].[Amount] ON COLUMNS, Hierarchize([Geography].Members) ON ROWS FROM "
     "[Sales]",
     "SELECT name, 'Amount', value FROM ("
     "SELECT 'All Geography' AS name, '' AS k1, '' AS k2, '' AS k3, SUM(amount) AS value "
     "FROM sales UNION ALL "
     "SELECT region, region, '', '', SUM(amount) FROM sales GROUP BY region UNION ALL "
     "SELECT country, region, country, '', SUM(amount) FROM sales GROUP BY region, country "
     "UNION ALL SELECT city, region, country, city, SUM(amount) FROM sales "
     "GROUP BY region, country, city) ORDER BY k1, k2, k3",
     kInOrder, kAnswered},
    {"WhereATupleOfTwoDimensions",
     "SELECT [Measures].Members ON COLUMNS, [Product].[Category].[Bikes].Children ON ROWS FROM "
     "[Sales] WHERE ([Geography].[Country].[USA], [Time].[2024])",
     Cells("product", "category = 'Bikes' AND country = 'USA' AND year = 2024", kAllMeasures),
     kAnyOrder, kAnswered},
    {"LowestAndHighestPriceByProductAndQuarter",
     "SELECT CrossJoin({[Time].[Quarter].[2023-Q1], [Time].[Quarter].[2023-Q2]}, "
     "{[Measures].[Lowest Price], [Measures].[Highest Price]}) ON COLUMNS, "
     "[Product].[Category].[Components].Children ON ROWS FROM [Sales] WHERE "
     "[Geography].[Region].[Europe]",
     Cells("product, quarter",
           "category = 'Components' AND region = 'Europe' AND quarter IN ('2023-Q1', '2023-Q2')",
           {"Lowest Price", "Highest Price"}),
     kAnyOrder, kAnswered},
    {"AMonthWithoutSales",
     "SELECT [Measures].Members ON COLUMNS, [Geography].[Region].Members ON ROWS FROM [Sales] "
     "WHERE [Time].[Month].[2023-08]",
     Cells("region", "month = '2023-08'", kAllMeasures), kAnyOrder, kAnswered},
    {"CitiesOfACountryWithAnUnsoldOne",
     "SELECT [Measures].Members ON COLUMNS, [Geography].[Country].[Spain].Children ON ROWS FROM "
     "[Sales]",
     Cells("city", "country = 'Spain'", kAllMeasures, "city"), kInOrder, kAnswered},
    {"MonthsOfAQuarterWithAnEmptyMonth",
     "SELECT {[Measures].[Orders], [Measures].[Quantity]} ON COLUMNS, "
     "[Time].[2023].[2023-Q3].Children ON ROWS FROM [Sales]",
     Cells("month", "quarter = '2023-Q3'", {"Orders", "Quantity"}, "month"), kInOrder, kAnswered},

    // NON EMPTY.
    {"NonEmptyMonths",
     "SELECT [Measures].[Amount] ON COLUMNS, NON EMPTY [Time].[Month].Members ON ROWS FROM "
     "[Sales]",
     "SELECT month, 'Amount', SUM(amount) FROM sales GROUP BY month "
     "HAVING SUM(amount) IS NOT NULL ORDER BY month",
     kInOrder, kAnswered},
    {"NonEmptyCitiesOfAYear",
     "SELECT [Measures].[Amount] ON COLUMNS, NON EMPTY [Geography].[City].Members ON ROWS FROM "
     "[Sales] WHERE [Time].[2023]",
     "SELECT city, 'Amount', SUM(amount) FROM sales WHERE year = 2023 "
     "GROUP BY region, country, city HAVING SUM(amount) IS NOT NULL "
     "ORDER BY region, country, city",
     kInOrder, kAnswered},
    {"NonEmptyOnBothAxes",
     "SELECT NON EMPTY [Geography].[Region].[Europe].Children ON COLUMNS, NON EMPTY "
     "{[Time].[Month].[2023-07], [Time].[Month].[2023-08], [Time].[Month].[2023-09]} ON ROWS "
     "FROM [Sales] WHERE [Measures].[Amount]",
     "SELECT month, country, SUM(amount) FROM sales WHERE region = 'Europe' AND month IN "
     "('2023-07', '2023-08', '2023-09') GROUP BY month, country HAVING SUM(amount) IS NOT NULL "
     "ORDER BY month, country",
     kInOrder, kAnswered},
    {"NonEmptyCrossJoinOfCitiesAndYears",
     "SELECT [Measures].[Amount] ON COLUMNS, NON EMPTY [Geography].[Country].[Portugal].Children "
     "* [Time].[Year].Members ON ROWS FROM [Sales]",
     "SELECT city, year, 'Amount', SUM(amount) FROM sales WHERE country = 'Portugal' "
     "GROUP BY city, year HAVING SUM(amount) IS NOT NULL ORDER BY city, year",
     kInOrder, kAnswered},

    // Slicers of several members.
    {"SlicerOfTwoCountries",
     "SELECT [Measures].Members ON COLUMNS, [Time].[Year].Members ON ROWS FROM [Sales] WHERE "
     "{[Geography].[Country].[Spain], [Geography].[Country].[Portugal]}",
     Cells("year", "country IN ('Spain', 'Portugal')", kAllMeasures), kAnyOrder, kAnswered},
    {"SlicerOfTwoCountriesInAYear",
     "SELECT [Measures].Members ON COLUMNS, [Product].[Category].Members ON ROWS FROM [Sales] "
     "WHERE ({[Geography].[Country].[Spain], [Geography].[Country].[Portugal]}, [Time].[2023])",
     Cells("category", "country IN ('Spain', 'Portugal') AND year = 2023", kAllMeasures), kAnyOrder,
     kAnswered},
    {"SlicerOfTwoCountriesTimesTwoYears",
     "SELECT {[Measures].[Amount], [Measures].[Lowest Price]} ON COLUMNS, "
     "[Product].[Category].Members ON ROWS FROM [Sales] WHERE {[Geography].[Country].[Portugal], "
     "[Geography].[Country].[France]} * {[Time].[2023], [Time].[2024]}",
     Cells("category", "country IN ('Portugal', 'France') AND year IN (2023, 2024)",
           {"Amount", "Lowest Price"}),
     kAnyOrder, kAnswered},
    {"SlicerOfMembersThatOverlap",
     "SELECT [Measures].Members ON COLUMNS, [Time].[Year].Members ON ROWS FROM [Sales] WHERE "
     "{[Geography].[Region].[Europe], [Geography].[Country].[Spain], "
     "[Geography].[City].[Boston]}",
     Cells("year", "region = 'Europe' OR city = 'Boston'", kAllMeasures), kAnyOrder, kAnswered},
    {"SlicerOfMonthsAcrossAYearEnd",
     "SELECT [Measures].Members ON COLUMNS, [Geography].[Region].Members ON ROWS FROM [Sales] "
     "WHERE {[Time].[Month].[2022-11] : [Time].[Month].[2023-02]}",
     Cells("region", "month BETWEEN '2022-11' AND '2023-02'", kAllMeasures), kAnyOrder, kAnswered},
    {"SlicerOfUnqualifiedMemberNames",
     "SELECT [Measures].[Amount] ON COLUMNS, [Time].[Year].Members ON ROWS FROM [Sales] WHERE "
     "{[Spain], [Portugal]}",
     Cells("year", "country IN ('Spain', 'Portugal')", {"Amount"}), kAnyOrder, kAnswered},

    // Ranges and navigation.
    {"RangeOfMonthsAcrossAYearEnd",
     "SELECT [Measures].[Amount] ON COLUMNS, [Time].[Month].[2023-11] : [Time].[Month].[2024-02] "
     "ON ROWS FROM [Sales]",
     Cells("month", "month BETWEEN '2023-11' AND '2024-02'", {"Amount"}, "month"), kInOrder,
     kAnswered},
    {"RangeOfQuarters",
     "SELECT [Measures].[Quantity] ON COLUMNS, {[Time].[Quarter].[2022-Q4] : "
     "[Time].[Quarter].[2023-Q2]} ON ROWS FROM [Sales]",
     Cells("quarter", "quarter BETWEEN '2022-Q4' AND '2023-Q2'", {"Quantity"}, "quarter"), kInOrder,
     kAnswered},
    {"PrevMemberAcrossAYearEnd",
     "SELECT [Measures].[Amount] ON COLUMNS, {[Time].[Month].[2023-01].PrevMember, "
     "[Time].[Month].[2023-01]} ON ROWS FROM [Sales]",
     Cells("month", "month IN ('2022-12', '2023-01')", {"Amount"}, "month"), kInOrder, kAnswered},
    {"LagAndLead",
     "SELECT [Measures].[Amount] ON COLUMNS, {[Time].[Month].[2023-03].Lag(3), "
     "[Time].[Month].[2023-03].Lead(2), [Time].[Month].[2022-11].Lead(3)} ON ROWS FROM [Sales]",
     "SELECT month, 'Amount', SUM(amount) FROM sales WHERE month IN ('2022-12', '2023-05', "
     "'2023-02') GROUP BY month ORDER BY CASE month WHEN '2022-12' THEN 1 WHEN '2023-05' THEN 2 "
     "ELSE 3 END",
     kInOrder, kAnswered},
    {"ParentsChildren",
     "SELECT [Measures].[Amount] ON COLUMNS, [Geography].[City].[Lyon].Parent.Children ON ROWS "
     "FROM [Sales]",
     Cells("city", "country = 'France'", {"Amount"}, "city"), kInOrder, kAnswered},
    {"FirstAndLastChild",
     "SELECT [Measures].[Amount] ON COLUMNS, {[Geography].[Region].[Europe].FirstChild, "
     "[Geography].[Region].[Europe].LastChild, [Geography].[Country].[USA].LastChild} ON ROWS "
     "FROM [Sales]",
     "SELECT name, 'Amount', value FROM ("
     "SELECT 1 AS k, 'France' AS name, SUM(amount) AS value FROM sales WHERE country = 'France' "
     "UNION ALL SELECT 2, 'Spain', SUM(amount) FROM sales WHERE country = 'Spain' "
     "UNION ALL SELECT 3, 'Denver', SUM(amount) FROM sales WHERE city = 'Denver') ORDER BY k",
     kInOrder, kAnswered},
    {"SiblingsOfACountry",
     "SELECT [Measures].[Amount] ON COLUMNS, [Geography].[Country].[Canada].Siblings ON ROWS "
     "FROM [Sales]",
     Cells("country", "region = 'America'", {"Amount"}, "country"), kInOrder, kAnswered},
    {"SiblingsOfAMonth",
     "SELECT [Measures].[Amount] ON COLUMNS, [Time].[Month].[2023-06].Siblings ON ROWS FROM "
     "[Sales]",
     Cells("month", "quarter = '2023-Q2'", {"Amount"}, "month"), kInOrder, kAnswered},
    {"AncestorAtALevel",
     "SELECT [Measures].Members ON COLUMNS, Ancestor([Geography].[City].[Osaka], "
     "[Geography].[Region]) ON ROWS FROM [Sales]",
     Cells("region", "region = 'Asia'", kAllMeasures), kAnyOrder, kAnswered},
    {"AncestorsAtDistances",
     "SELECT [Measures].[Amount] ON COLUMNS, {Ancestor([Time].[Month].[2024-05], 2), "
     "Ancestor([Time].[Month].[2024-05], 1)} ON ROWS FROM [Sales]",
     "SELECT '2024', 'Amount', SUM(amount) FROM sales WHERE year = 2024 "
     "UNION ALL SELECT '2024-Q2', 'Amount', SUM(amount) FROM sales WHERE quarter = '2024-Q2'",
     kInOrder, kAnswered},
    {"DescendantsSelfAndAfter",
     "SELECT [Measures].[Amount] ON COLUMNS, Descendants([Time].[2022], [Time].[Quarter], "
     "SELF_AND_AFTER) ON ROWS FROM [Sales]",
     "SELECT name, 'Amount', value FROM ("
     "SELECT quarter AS name, quarter AS k1, '' AS k2, SUM(amount) AS value FROM sales "
     "WHERE year = 2022 GROUP BY quarter UNION ALL "
     "SELECT month, quarter, month, SUM(amount) FROM sales WHERE year = 2022 "
     "GROUP BY quarter, month) ORDER BY k1, k2",
     kInOrder, kAnswered},
    {"DescendantsAfterALevel",
     "SELECT [Measures].[Amount] ON COLUMNS, Descendants([Geography].[Region].[Europe], "
     "[Geography].[Country], AFTER) ON ROWS FROM [Sales]",
     "SELECT city, 'Amount', SUM(amount) FROM sales WHERE region = 'Europe' "
     "GROUP BY country, city ORDER BY country, city",
     kInOrder, kAnswered},
    {"DescendantsSelfAndBefore",
     "SELECT [Measures].[Amount] ON COLUMNS, Descendants([Geography].[Region].[Asia], "
     "[Geography].[City], SELF_AND_BEFORE) ON ROWS FROM [Sales]",
     "SELECT 'Asia', 'Amount', SUM(amount) FROM sales WHERE region = 'Asia' "
     "UNION ALL SELECT 'Japan', 'Amount', SUM(amount) FROM sales WHERE country = 'Japan' "
     "UNION ALL SELECT * FROM (SELECT city, 'Amount', SUM(amount) FROM sales "
     "WHERE country = 'Japan' GROUP BY city ORDER BY city)",
     kInOrder, kAnswered},
    {"DescendantsLeavesBeyondTheLastLevel",
     "SELECT [Measures].[Amount] ON COLUMNS, Descendants([Geography].[Country].[Canada], 5, "
     "LEAVES) ON ROWS FROM [Sales]",
     Cells("city", "country = 'Canada'", {"Amount"}, "city"), kInOrder, kAnswered},
    {"HeadOfTheMonths",
     "SELECT [Measures].[Amount] ON COLUMNS, Head([Time].[Month].Members, 3) ON ROWS FROM "
     "[Sales]",
     Cells("month", "month <= '2022-03'", {"Amount"}, "month"), kInOrder, kAnswered},
    {"TailOfTheQuarters",
     "SELECT [Measures].[Amount] ON COLUMNS, Tail([Time].[2023].Children, 2) ON ROWS FROM "
     "[Sales]",
     Cells("quarter", "quarter IN ('2023-Q3', '2023-Q4')", {"Amount"}, "quarter"), kInOrder,
     kAnswered},
    {"SubsetOfTheCities",
     "SELECT [Measures].[Amount] ON COLUMNS, Subset([Geography].[City].Members, 3, 4) ON ROWS "
     "FROM [Sales]",
     "SELECT city, 'Amount', value FROM (SELECT city, SUM(amount) AS value, "
     "ROW_NUMBER() OVER (ORDER BY region, country, city) AS position FROM sales "
     "GROUP BY region, country, city) WHERE position BETWEEN 4 AND 7 ORDER BY position",
     kInOrder, kAnswered},

    // Sets made of sets.
    {"UnionWithExcept",
     "SELECT [Measures].[Amount] ON COLUMNS, Union([Time].[2022].Children, "
     "Except([Time].[2023].Children, {[Time].[Quarter].[2023-Q3]})) ON ROWS FROM [Sales]",
     Cells("quarter", "year = 2022 OR quarter IN ('2023-Q1', '2023-Q2', '2023-Q4')", {"Amount"},
           "quarter"),
     kInOrder, kAnswered},
    {"UnionWrittenAsPlus",
     "SELECT [Measures].[Amount] ON COLUMNS, {[Geography].[Region].[Asia]} + "
     "[Geography].[Region].[Asia].Children + [Geography].[Country].[Japan].Children ON ROWS "
     "FROM [Sales]",
     "SELECT 'Asia', 'Amount', SUM(amount) FROM sales WHERE region = 'Asia' "
     "UNION ALL SELECT 'Japan', 'Amount', SUM(amount) FROM sales WHERE country = 'Japan' "
     "UNION ALL SELECT * FROM (SELECT city, 'Amount', SUM(amount) FROM sales "
     "WHERE country = 'Japan' GROUP BY city ORDER BY city)",
     kInOrder, kAnswered},
    {"IntersectKeepsTheFirstSetsOrder",
     "SELECT [Measures].[Amount] ON COLUMNS, Intersect([Geography].[City].Members, "
     "{[Geography].[City].[Tokyo], [Geography].[City].[Boston], [Geography].[City].[Paris]}) "
     "ON ROWS FROM [Sales]",
     "SELECT city, 'Amount', SUM(amount) FROM sales WHERE city IN ('Tokyo', 'Boston', 'Paris') "
     "GROUP BY region, country, city ORDER BY region, country, city",
     kInOrder, kAnswered},
    {"DistinctDropsRepeats",
     "SELECT [Measures].[Amount] ON COLUMNS, Distinct({[Geography].[Country].[USA], "
     "[Geography].[Country].[Japan], [Geography].[Country].[USA]}) ON ROWS FROM [Sales]",
     Cells("country", "country IN ('USA', 'Japan')", {"Amount"}, "country DESC"), kInOrder,
     kAnswered},
    {"HierarchizePutsParentsFirst",
     "SELECT [Measures].[Amount] ON COLUMNS, Hierarchize({[Geography].[City].[Tokyo], "
     "[Geography].[Region].[Asia], [Geography].[Country].[Spain], "
     "[Geography].[Region].[Europe]}) ON ROWS FROM [Sales]",
     "SELECT 'Asia', 'Amount', SUM(amount) FROM sales WHERE region = 'Asia' "
     "UNION ALL SELECT 'Tokyo', 'Amount', SUM(amount) FROM sales WHERE city = 'Tokyo' "
     "UNION ALL SELECT 'Europe', 'Amount', SUM(amount) FROM sales WHERE region = 'Europe' "
     "UNION ALL SELECT 'Spain', 'Amount', SUM(amount) FROM sales WHERE country = 'Spain'",
     kInOrder, kAnswered},
    {"ExtractTheYearsOfACrossJoin",
     "SELECT [Measures].[Amount] ON COLUMNS, Extract(CrossJoin("
     "[Geography].[Country].[Japan].Children, [Time].[Year].Members), [Time]) ON ROWS FROM "
     "[Sales]",
     Cells("year", "1", {"Amount"}, "year"), kInOrder, kAnswered},
    {"CrossJoinOfThreeSets",
     "SELECT [Measures].[Amount] ON COLUMNS, CrossJoin([Geography].[Region].Members, "
     "[Product].[Category].Members, {[Time].[2023], [Time].[2024]}) ON ROWS FROM [Sales]",
     Cells("region, category, year", "year IN (2023, 2024)", {"Amount"}, "region, category, year"),
     kInOrder, kAnswered},

    // Calculated members.
    {"ShareOfAllPlaces",
     "WITH MEMBER [Measures].[Share] AS [Measures].[Amount] / ([Measures].[Amount], "
     "[Geography].[All Geography]) SELECT {[Measures].[Amount], [Measures].[Share]} ON COLUMNS, "
     "[Geography].[Country].Members ON ROWS FROM [Sales] WHERE [Time].[2022]",
     "SELECT country, 'Amount', SUM(amount) FROM sales WHERE year = 2022 GROUP BY country "
     "UNION ALL SELECT country, 'Share', SUM(amount) / (SELECT SUM(amount) FROM sales "
     "WHERE year = 2022) FROM sales WHERE year = 2022 GROUP BY country",
     kAnyOrder, kAnswered},
    {"ShareOfTheParent",
     "WITH MEMBER [Measures].[Share Of Country] AS [Measures].[Amount] / ([Measures].[Amount], "
     "[Geography].CurrentMember.Parent) SELECT {[Measures].[Share Of Country]} ON COLUMNS, "
     "[Geography].[Country].[France].Children + [Geography].[Country].[Japan].Children ON ROWS "
     "FROM [Sales]",
     "SELECT city, 'Share Of Country', SUM(amount) / (SELECT SUM(amount) FROM sales c "
     "WHERE c.country = s.country) FROM sales s WHERE country IN ('France', 'Japan') "
     "GROUP BY country, city ORDER BY country, city",
     kInOrder, kAnswered},
    {"GrowthOverThePreviousQuarter",
     "WITH MEMBER [Measures].[Growth] AS [Measures].[Amount] - ([Measures].[Amount], "
     "[Time].CurrentMember.PrevMember) SELECT {[Measures].[Amount], [Measures].[Growth]} ON "
     "COLUMNS, [Time].[2023].Children ON ROWS FROM [Sales]",
     "WITH q AS (SELECT quarter, SUM(amount) AS amount FROM sales GROUP BY quarter), "
     "g AS (SELECT quarter, amount, amount - LAG(amount) OVER (ORDER BY quarter) AS growth "
     "FROM q) SELECT quarter, 'Amount', amount FROM g WHERE quarter LIKE '2023-%' "
     "UNION ALL SELECT quarter, 'Growth', growth FROM g WHERE quarter LIKE '2023-%'",
     kAnyOrder, kAnswered},
    {"GrowthOverThePreviousYearOrNone",
     "WITH MEMBER [Measures].[Growth %] AS ([Measures].[Amount] - ([Measures].[Amount], "
     "[Time].CurrentMember.PrevMember)) / ([Measures].[Amount], [Time].CurrentMember.PrevMember),"
     " FORMAT_STRING = 'Percent' SELECT {[Measures].[Growth %]} ON COLUMNS, "
     "[Geography].[Country].Members ON ROWS FROM [Sales] WHERE [Time].[2024]",
     // Portugal sold nothing in 2023: a division by an empty cell is empty.
     "SELECT country, 'Growth %', (SUM(CASE WHEN year = 2024 THEN amount END) - "
     "SUM(CASE WHEN year = 2023 THEN amount END)) / SUM(CASE WHEN year = 2023 THEN amount END) "
     "FROM sales GROUP BY country",
     kAnyOrder, kAnswered},
    {"HalfYearAggregatesEachMeasureByItsFunction",
     "WITH MEMBER [Time].[H1 2023] AS Aggregate({[Time].[Quarter].[2023-Q1], "
     "[Time].[Quarter].[2023-Q2]}) SELECT [Measures].Members ON COLUMNS, "
     "{[Time].[Quarter].[2023-Q1], [Time].[Quarter].[2023-Q2], [Time].[H1 2023]} ON ROWS FROM "
     "[Sales] WHERE ([Geography].[City].[Osaka], [Product].[Product].[Saddle])",
     // H1's lowest price is Q1's, its highest Q2's.
     "SELECT * FROM (" + Cells("quarter", kOsakaSaddlesOfH1, kAllMeasures, "quarter") +
         ") UNION ALL SELECT * FROM (" + Cells("'H1 2023'", kOsakaSaddlesOfH1, kAllMeasures) + ")",
     kInOrder, kAnswered},
    {"SolveOrderComputesTheRatioOfTheHalfYear",
     "WITH MEMBER [Time].[H1 2023] AS Aggregate({[Time].[Quarter].[2023-Q1], "
     "[Time].[Quarter].[2023-Q2]}) MEMBER [Measures].[Average Price] AS [Measures].[Amount] / "
     "[Measures].[Quantity], SOLVE_ORDER = 10 SELECT {[Measures].[Amount], "
     "[Measures].[Quantity], [Measures].[Average Price]} ON COLUMNS, "
     "{[Time].[Quarter].[2023-Q1], [Time].[Quarter].[2023-Q2], [Time].[H1 2023]} ON ROWS FROM "
     "[Sales]",
     // The ratio is computed last: at H1 it divides H1's amount by H1's quantity.
     "WITH q AS (SELECT quarter AS name, SUM(amount) AS amount, SUM(quantity) AS quantity "
     "FROM sales WHERE quarter IN ('2023-Q1', '2023-Q2') GROUP BY quarter UNION ALL "
     "SELECT 'H1 2023', SUM(amount), SUM(quantity) FROM sales "
     "WHERE quarter IN ('2023-Q1', '2023-Q2')) "
     "SELECT name, 'Amount', amount FROM q UNION ALL SELECT name, 'Quantity', quantity FROM q "
     "UNION ALL SELECT name, 'Average Price', amount / quantity FROM q",
     kAnyOrder, kAnswered},
    {"FormatStringLeavesTheValue",
     "WITH MEMBER [Measures].[Amount K] AS [Measures].[Amount] / 1000, FORMAT_STRING = "
     "'#,##0.0' SELECT {[Measures].[Amount K]} ON COLUMNS, [Geography].[Region].Members ON ROWS "
     "FROM [Sales]",
     "SELECT region, 'Amount K', SUM(amount) / 1000 FROM sales GROUP BY region", kAnyOrder,
     kAnswered},
    {"IIfFlagsBigCountries",
     "WITH MEMBER [Measures].[Big] AS IIf([Measures].[Amount] > 150000, 1, 0) SELECT "
     "{[Measures].[Amount], [Measures].[Big]} ON COLUMNS, [Geography].[Country].Members ON ROWS "
     "FROM [Sales] WHERE [Time].[2024]",
     "SELECT country, 'Amount', SUM(amount) FROM sales WHERE year = 2024 GROUP BY country "
     "UNION ALL SELECT country, 'Big', CASE WHEN SUM(amount) > 150000 THEN 1 ELSE 0 END "
     "FROM sales WHERE year = 2024 GROUP BY country",
     kAnyOrder, kAnswered},
    {"IIfChoosesAText",
     "WITH MEMBER [Measures].[Class] AS IIf([Measures].[Amount] > 150000, \"High\", \"Low\") "
     "SELECT {[Measures].[Class]} ON COLUMNS, [Geography].[Country].Members ON ROWS FROM [Sales] "
     "WHERE [Time].[2024]",
     "SELECT country, 'Class', CASE WHEN SUM(amount) > 150000 THEN 'High' ELSE 'Low' END "
     "FROM sales WHERE year = 2024 GROUP BY country",
     kAnyOrder, kAnswered},
    {"IsEmptyFindsUnsoldCities",
     "WITH MEMBER [Measures].[Unsold] AS IIf(IsEmpty([Measures].[Amount]), 1, 0) SELECT "
     "{[Measures].[Unsold]} ON COLUMNS, [Geography].[City].Members ON ROWS FROM [Sales] WHERE "
     "[Time].[2023]",
     "SELECT city, 'Unsold', CASE WHEN SUM(CASE WHEN year = 2023 THEN amount END) IS NULL "
     "THEN 1 ELSE 0 END FROM sales GROUP BY city",
     kAnyOrder, kAnswered},
    {"CoalesceEmptyFillsAnEmptyMonth",
     "WITH MEMBER [Measures].[Amount Or Zero] AS CoalesceEmpty([Measures].[Amount], 0) SELECT "
     "{[Measures].[Amount], [Measures].[Amount Or Zero]} ON COLUMNS, "
     "[Time].[2023].[2023-Q3].Children ON ROWS FROM [Sales]",
     "SELECT * FROM (SELECT month, 'Amount', SUM(amount) FROM sales WHERE quarter = '2023-Q3' "
     "GROUP BY month UNION ALL SELECT month, 'Amount Or Zero', COALESCE(SUM(amount), 0) "
     "FROM sales WHERE quarter = '2023-Q3' GROUP BY month) ORDER BY 1",
     kInOrder, kAnswered},
    {"DivisionByAnEmptyCellIsEmpty",
     "WITH MEMBER [Measures].[Vs 2023] AS [Measures].[Amount] / ([Measures].[Amount], "
     "[Time].[2023]) SELECT {[Measures].[Vs 2023]} ON COLUMNS, [Geography].[Country].Members ON "
     "ROWS FROM [Sales] WHERE [Time].[2024]",
     "SELECT country, 'Vs 2023', SUM(CASE WHEN year = 2024 THEN amount END) / "
     "SUM(CASE WHEN year = 2023 THEN amount END) FROM sales GROUP BY country",
     kAnyOrder, kAnswered},
    {"DivisionByZeroIsEmpty",
     "WITH MEMBER [Measures].[Per Nothing] AS [Measures].[Amount] / 0 SELECT "
     "{[Measures].[Amount], [Measures].[Per Nothing]} ON COLUMNS, [Geography].[Region].Members "
     "ON ROWS FROM [Sales]",
     "SELECT region, 'Amount', SUM(amount) FROM sales GROUP BY region UNION ALL "
     "SELECT region, 'Per Nothing', NULL FROM sales GROUP BY region",
     kAnyOrder, kAnswered},
    {"NamesOfMembersAsTexts",
     "WITH MEMBER [Measures].[City Name] AS [Geography].CurrentMember.Name MEMBER "
     "[Measures].[Country Of] AS [Geography].CurrentMember.Parent.Name SELECT "
     "{[Measures].[City Name], [Measures].[Country Of]} ON COLUMNS, "
     "[Geography].[Country].[Portugal].Children + [Geography].[Country].[Japan].Children ON ROWS "
     "FROM [Sales]",
     "SELECT DISTINCT city, 'City Name', city FROM sales WHERE country IN ('Portugal', 'Japan') "
     "UNION ALL SELECT DISTINCT city, 'Country Of', country FROM sales "
     "WHERE country IN ('Portugal', 'Japan')",
     kAnyOrder, kAnswered},
    {"TextsJoinedWithPlus",
     "WITH MEMBER [Measures].[Label] AS \"Sales of \" + [Geography].CurrentMember.Name SELECT "
     "{[Measures].[Label]} ON COLUMNS, [Geography].[Region].Members ON ROWS FROM [Sales]",
     "SELECT DISTINCT region, 'Label', 'Sales of ' || region FROM sales", kAnyOrder, kAnswered},
    {"FilterByTheParentsName",
     "SELECT [Measures].[Amount] ON COLUMNS, Filter([Geography].[City].Members, "
     "[Geography].CurrentMember.Parent.Name = \"Spain\") ON ROWS FROM [Sales]",
     Cells("city", "country = 'Spain'", {"Amount"}, "city"), kInOrder, kAnswered},

    // Time functions.
    {"ParallelPeriodOfAMonth",
     "SELECT [Measures].[Amount] ON COLUMNS, {ParallelPeriod([Time].[Year], 1, "
     "[Time].[Month].[2024-03]), [Time].[Month].[2024-03]} ON ROWS FROM [Sales]",
     Cells("month", "month IN ('2023-03', '2024-03')", {"Amount"}, "month"), kInOrder, kAnswered},
    {"ParallelPeriodGivesLastYearsMonth",
     "WITH MEMBER [Measures].[Last Year] AS ([Measures].[Amount], ParallelPeriod([Time].[Year], "
     "1, [Time].CurrentMember)) SELECT {[Measures].[Amount], [Measures].[Last Year]} ON COLUMNS, "
     "[Time].[2024].[2024-Q1].Children ON ROWS FROM [Sales]",
     "SELECT month, 'Amount', SUM(amount) FROM sales WHERE quarter = '2024-Q1' GROUP BY month "
     "UNION ALL SELECT m.month, 'Last Year', (SELECT SUM(amount) FROM sales p "
     "WHERE p.month = (m.year - 1) || substr(m.month, 5)) "
     "FROM (SELECT DISTINCT year, month FROM sales WHERE quarter = '2024-Q1') m",
     kAnyOrder, kAnswered},
    {"PeriodsToDateOfAQuarter",
     "SELECT [Measures].[Amount] ON COLUMNS, PeriodsToDate([Time].[Quarter], "
     "[Time].[Month].[2023-05]) ON ROWS FROM [Sales]",
     Cells("month", "month IN ('2023-04', '2023-05')", {"Amount"}, "month"), kInOrder, kAnswered},
    {"YearToDateRunningTotal",
     "WITH MEMBER [Measures].[YTD Amount] AS Sum(PeriodsToDate([Time].[Year], "
     "[Time].CurrentMember), [Measures].[Amount]) SELECT {[Measures].[Amount], "
     "[Measures].[YTD Amount]} ON COLUMNS, Descendants([Time].[2023], [Time].[Month]) ON ROWS "
     "FROM [Sales]",
     // 2023-08 sold nothing: its total to date is July's.
     "WITH m AS (SELECT month, SUM(amount) AS amount FROM sales WHERE year = 2023 "
     "GROUP BY month) SELECT * FROM (SELECT month, 'Amount', amount FROM m UNION ALL "
     "SELECT month, 'YTD Amount', SUM(amount) OVER (ORDER BY month) FROM m) ORDER BY 1",
     kInOrder, kAnswered},
    {"YtdOfAMonth",
     "SELECT [Measures].[Amount] ON COLUMNS, Ytd([Time].[Month].[2022-03]) ON ROWS FROM "
     "[Sales]",
     Cells("month", "month BETWEEN '2022-01' AND '2022-03'", {"Amount"}, "month"), kInOrder,
     kAnswered},
    {"QtdOfAMonth",
     "SELECT [Measures].[Amount] ON COLUMNS, Qtd([Time].[Month].[2024-06]) ON ROWS FROM "
     "[Sales]",
     Cells("month", "month BETWEEN '2024-04' AND '2024-06'", {"Amount"}, "month"), kInOrder,
     kAnswered},
    {"MtdOfAMonthIsTheMonth",
     "SELECT [Measures].[Amount] ON COLUMNS, Mtd([Time].[Month].[2024-06]) ON ROWS FROM "
     "[Sales]",
     Cells("month", "month = '2024-06'", {"Amount"}, "month"), kInOrder, kAnswered},
    {"QuarterToDateOfTheCurrentMonth",
     "WITH MEMBER [Measures].[QTD Amount] AS Sum(Qtd(), [Measures].[Amount]) SELECT "
     "{[Measures].[QTD Amount]} ON COLUMNS, [Time].[2024].[2024-Q1].Children ON ROWS FROM "
     "[Sales]",
     // 2024-02 sold nothing: its total to date is January's.
     "WITH m AS (SELECT month, SUM(amount) AS amount FROM sales WHERE quarter = '2024-Q1' "
     "GROUP BY month) SELECT month, 'QTD Amount', SUM(amount) OVER (ORDER BY month) FROM m "
     "ORDER BY month",
     kInOrder, kAnswered},
    {"OpeningAndClosingPeriods",
     "SELECT [Measures].[Amount] ON COLUMNS, {OpeningPeriod([Time].[Month], [Time].[2023]), "
     "ClosingPeriod([Time].[Month], [Time].[2023]), ClosingPeriod([Time].[Quarter], "
     "[Time].[2024])} ON ROWS FROM [Sales]",
     "SELECT '2023-01', 'Amount', SUM(amount) FROM sales WHERE month = '2023-01' UNION ALL "
     "SELECT '2023-12', 'Amount', SUM(amount) FROM sales WHERE month = '2023-12' UNION ALL "
     "SELECT '2024-Q4', 'Amount', SUM(amount) FROM sales WHERE quarter = '2024-Q4'",
     kInOrder, kAnswered},

    // Ranking, ordering and filtering.
    {"TopCountOfCities",
     "SELECT [Measures].[Amount] ON COLUMNS, TopCount([Geography].[City].Members, 5, "
     "[Measures].[Amount]) ON ROWS FROM [Sales]",
     "SELECT city, 'Amount', SUM(amount) FROM sales GROUP BY city ORDER BY 3 DESC LIMIT 5",
     kInOrder, kAnswered},
    {"TopCountInTheSlicersYear",
     "SELECT [Measures].[Amount] ON COLUMNS, TopCount([Geography].[Country].Members, 3, "
     "[Measures].[Amount]) ON ROWS FROM [Sales] WHERE [Time].[2024]",
     "SELECT country, 'Amount', SUM(amount) FROM sales WHERE year = 2024 GROUP BY country "
     "ORDER BY 3 DESC LIMIT 3",
     kInOrder, kAnswered},
    {"TopCountOfACrossJoin",
     "SELECT [Measures].[Amount] ON COLUMNS, TopCount([Geography].[Country].Members * "
     "[Product].[Category].Members, 4, [Measures].[Amount]) ON ROWS FROM [Sales]",
     "SELECT country, category, 'Amount', SUM(amount) FROM sales GROUP BY 1, 2 "
     "ORDER BY 4 DESC LIMIT 4",
     kInOrder, kAnswered},
    {"BottomCountOfProducts",
     "SELECT [Measures].[Amount] ON COLUMNS, BottomCount([Product].[Product].Members, 3, "
     "[Measures].[Amount]) ON ROWS FROM [Sales]",
     "SELECT product, 'Amount', SUM(amount) FROM sales GROUP BY product ORDER BY 3 LIMIT 3",
     kInOrder, kAnswered},
    {"TopPercentOfCountries",
     "SELECT [Measures].[Amount] ON COLUMNS, TopPercent([Geography].[Country].Members, 50, "
     "[Measures].[Amount]) ON ROWS FROM [Sales]",
     // The largest first, until they hold half of the total.
     "WITH c AS (SELECT country, SUM(amount) AS amount FROM sales GROUP BY country), "
     "r AS (SELECT country, amount, SUM(amount) OVER (ORDER BY amount DESC) - amount AS before "
     "FROM c) SELECT country, 'Amount', amount FROM r "
     "WHERE before < 0.5 * (SELECT SUM(amount) FROM c) ORDER BY amount DESC",
     kInOrder, kAnswered},
    {"TopSumOfProducts",
     "SELECT [Measures].[Amount] ON COLUMNS, TopSum([Product].[Product].Members, 1500000, "
     "[Measures].[Amount]) ON ROWS FROM [Sales]",
     // The largest first, until they reach the sum.
     "WITH p AS (SELECT product, SUM(amount) AS amount FROM sales GROUP BY product), "
     "r AS (SELECT product, amount, SUM(amount) OVER (ORDER BY amount DESC) - amount AS before "
     "FROM p) SELECT product, 'Amount', amount FROM r WHERE before < 1500000 "
     "ORDER BY amount DESC",
     kInOrder, kAnswered},
    {"OrderDescendingAmongSiblings",
     "SELECT [Measures].[Amount] ON COLUMNS, Order([Geography].[Region].[Europe].Children, "
     "[Measures].[Amount], DESC) ON ROWS FROM [Sales]",
     "SELECT country, 'Amount', SUM(amount) FROM sales WHERE region = 'Europe' "
     "GROUP BY country ORDER BY 3 DESC",
     kInOrder, kAnswered},
    {"OrderAscendingKeepsTheHierarchy",
     "SELECT [Measures].[Amount] ON COLUMNS, Order([Geography].[Country].Members, "
     "[Measures].[Amount], ASC) ON ROWS FROM [Sales]",
     // The regions by their own amounts, each region's countries by theirs under it.
     "SELECT country, 'Amount', amount FROM (SELECT country, SUM(amount) AS amount, "
     "SUM(SUM(amount)) OVER (PARTITION BY region) AS region_amount FROM sales "
     "GROUP BY region, country) ORDER BY region_amount, amount",
     kInOrder, kAnswered},
    {"OrderBascBreaksTheHierarchy",
     "SELECT [Measures].[Amount] ON COLUMNS, Order([Geography].[Country].Members, "
     "[Measures].[Amount], BASC) ON ROWS FROM [Sales] WHERE [Time].[2022]",
     "SELECT country, 'Amount', SUM(amount) FROM sales WHERE year = 2022 GROUP BY country "
     "ORDER BY 3",
     kInOrder, kAnswered},
    {"OrderBdescOfTheSellingCities",
     "SELECT [Measures].[Amount] ON COLUMNS, Order(Except([Geography].[City].Members, "
     "{[Geography].[City].[Bilbao], [Geography].[City].[Quebec]}), [Measures].[Amount], BDESC) "
     "ON ROWS FROM [Sales]",
     "SELECT city, 'Amount', SUM(amount) FROM sales WHERE city NOT IN ('Bilbao', 'Quebec') "
     "GROUP BY city ORDER BY 3 DESC",
     kInOrder, kAnswered},
    {"OrderByNameDescending",
     "SELECT [Measures].[Amount] ON COLUMNS, Order([Geography].[Country].Members, "
     "[Geography].CurrentMember.Name, BDESC) ON ROWS FROM [Sales]",
     "SELECT country, 'Amount', SUM(amount) FROM sales GROUP BY country ORDER BY country DESC",
     kInOrder, kAnswered},
    {"FilterByAmount",
     "SELECT [Measures].[Amount] ON COLUMNS, Filter([Geography].[City].Members, "
     "[Measures].[Amount] > 200000) ON ROWS FROM [Sales]",
     "SELECT city, 'Amount', SUM(amount) FROM sales GROUP BY region, country, city "
     "HAVING SUM(amount) > 200000 ORDER BY region, country, city",
     kInOrder, kAnswered},
    {"FilterByTwoMeasures",
     "SELECT {[Measures].[Quantity], [Measures].[Highest Price]} ON COLUMNS, "
     "Filter([Product].[Product].Members, [Measures].[Quantity] > 600 AND "
     "[Measures].[Highest Price] < 100) ON ROWS FROM [Sales]",
     "SELECT product, measure, value FROM (SELECT category, product, 1 AS k, "
     "'Quantity' AS measure, SUM(quantity) AS value FROM sales GROUP BY category, product "
     "HAVING SUM(quantity) > 600 AND MAX(price) < 100 UNION ALL SELECT category, product, 2, "
     "'Highest Price', MAX(price) FROM sales GROUP BY category, product "
     "HAVING SUM(quantity) > 600 AND MAX(price) < 100) ORDER BY category, product, k",
     kInOrder, kAnswered},
    {"FilterKeepsTheEmptyMonths",
     "SELECT {[Measures].[Orders], [Measures].[Amount]} ON COLUMNS, "
     "Filter([Time].[Month].Members, IsEmpty([Measures].[Amount])) ON ROWS FROM [Sales]",
     "SELECT * FROM (SELECT month, 'Orders', NULLIF(COUNT(order_id), 0) FROM sales "
     "GROUP BY month HAVING SUM(amount) IS NULL UNION ALL SELECT month, 'Amount', SUM(amount) "
     "FROM sales GROUP BY month HAVING SUM(amount) IS NULL) ORDER BY 1",
     kInOrder, kAnswered},
    {"NonEmptyInAnotherYear",
     "SELECT [Measures].[Amount] ON COLUMNS, NonEmpty([Geography].[City].Members, "
     "{([Time].[2023], [Measures].[Amount])}) ON ROWS FROM [Sales]",
     // The cities that sold in 2023, with what they sold in all years.
     "SELECT city, 'Amount', SUM(amount) FROM sales GROUP BY region, country, city "
     "HAVING SUM(CASE WHEN year = 2023 THEN amount END) IS NOT NULL "
     "ORDER BY region, country, city",
     kInOrder, kAnswered},
    {"GenerateTheBestCountryOfEachRegion",
     "SELECT [Measures].[Amount] ON COLUMNS, Generate([Geography].[Region].Members, "
     "TopCount([Geography].CurrentMember.Children, 1, [Measures].[Amount])) ON ROWS FROM "
     "[Sales]",
     "SELECT country, 'Amount', amount FROM (SELECT region, country, SUM(amount) AS amount, "
     "ROW_NUMBER() OVER (PARTITION BY region ORDER BY SUM(amount) DESC) AS place FROM sales "
     "GROUP BY region, country) WHERE place = 1 ORDER BY region",
     kInOrder, kAnswered},

    // Values over sets.
    {"SumOverASet",
     "WITH MEMBER [Measures].[Iberia] AS Sum({[Geography].[Country].[Spain], "
     "[Geography].[Country].[Portugal]}, [Measures].[Amount]) SELECT {[Measures].[Iberia]} ON "
     "COLUMNS, [Time].[Year].Members ON ROWS FROM [Sales]",
     "SELECT year, 'Iberia', SUM(amount) FROM sales WHERE country IN ('Spain', 'Portugal') "
     "GROUP BY year",
     kAnyOrder, kAnswered},
    {"CountOfTuplesAndOfTheNonEmptyOnes",
     "WITH MEMBER [Measures].[Months] AS Count(Descendants([Time].CurrentMember, [Time].[Month])) "
     "MEMBER [Measures].[Selling Months] AS Count(Descendants([Time].CurrentMember, "
     "[Time].[Month]) * {[Measures].[Amount]}, EXCLUDEEMPTY) SELECT {[Measures].[Months], "
     "[Measures].[Selling Months]} ON COLUMNS, [Time].[Year].Members ON ROWS FROM [Sales]",
     "SELECT year, 'Months', COUNT(DISTINCT month) FROM sales GROUP BY year UNION ALL "
     "SELECT year, 'Selling Months', COUNT(DISTINCT CASE WHEN amount IS NOT NULL THEN month END) "
     "FROM sales GROUP BY year",
     kAnyOrder, kAnswered},
    {"CountOfTheChildrenThatSold",
     "WITH MEMBER [Measures].[Selling Cities] AS Count(NonEmpty([Geography].CurrentMember."
     "Children, [Measures].[Amount])) SELECT {[Measures].[Selling Cities]} ON COLUMNS, "
     "[Geography].[Country].Members ON ROWS FROM [Sales] WHERE [Time].[2023]",
     "SELECT country, 'Selling Cities', COUNT(DISTINCT CASE WHEN year = 2023 AND amount IS NOT "
     "NULL THEN city END) FROM sales GROUP BY country",
     kAnyOrder, kAnswered},
    {"AverageOfTheMonthsThatSold",
     "WITH MEMBER [Measures].[Monthly Average] AS Avg(Descendants([Time].CurrentMember, "
     "[Time].[Month]), [Measures].[Amount]) SELECT {[Measures].[Monthly Average]} ON COLUMNS, "
     "[Time].[Year].Members ON ROWS FROM [Sales]",
     "SELECT year, 'Monthly Average', SUM(amount) / COUNT(DISTINCT CASE WHEN amount IS NOT NULL "
     "THEN month END) FROM sales GROUP BY year",
     kAnyOrder, kAnswered},
    {"BestAndWorstMonth",
     "WITH MEMBER [Measures].[Best Month] AS Max(Descendants([Time].CurrentMember, "
     "[Time].[Month]), [Measures].[Amount]) MEMBER [Measures].[Worst Month] AS "
     "Min(Descendants([Time].CurrentMember, [Time].[Month]), [Measures].[Amount]) SELECT "
     "{[Measures].[Best Month], [Measures].[Worst Month]} ON COLUMNS, [Time].[Year].Members ON "
     "ROWS FROM [Sales]",
     // Months without sales count for neither.
     "WITH m AS (SELECT year, month, SUM(amount) AS amount FROM sales GROUP BY year, month) "
     "SELECT year, 'Best Month', MAX(amount) FROM m GROUP BY year UNION ALL "
     "SELECT year, 'Worst Month', MIN(amount) FROM m GROUP BY year",
     kAnyOrder, kAnswered},
    {"AggregateAsACalculatedPlace",
     "WITH MEMBER [Geography].[Iberia] AS Aggregate({[Geography].[Country].[Spain], "
     "[Geography].[Country].[Portugal]}) SELECT [Measures].Members ON COLUMNS, "
     "{[Geography].[Iberia]} * [Time].[Year].Members ON ROWS FROM [Sales]",
     Cells("'Iberia', year", "country IN ('Spain', 'Portugal')", kAllMeasures), kAnyOrder,
     kAnswered},
    {"NamedSetOfTheTopProducts",
     "WITH SET [Top5] AS TopCount([Product].[Product].Members, 5, [Measures].[Amount]) SELECT "
     "[Measures].[Amount] ON COLUMNS, [Top5] ON ROWS FROM [Sales]",
     "SELECT product, 'Amount', SUM(amount) FROM sales GROUP BY product ORDER BY 3 DESC LIMIT 5",
     kInOrder, kAnswered},
    {"NamedSetAsTheSlicer",
     "WITH SET [Iberia] AS {[Geography].[Country].[Spain], [Geography].[Country].[Portugal]} "
     "SELECT [Measures].Members ON COLUMNS, [Product].[Category].Members ON ROWS FROM [Sales] "
     "WHERE [Iberia]",
     Cells("category", "country IN ('Spain', 'Portugal')", kAllMeasures), kAnyOrder, kAnswered},

    {"CalculatedMemberAsTheSlicer",
     "WITH MEMBER [Geography].[Iberia] AS Aggregate({[Geography].[Country].[Spain], "
     "[Geography].[Country].[Portugal]}) SELECT [Measures].Members ON COLUMNS, "
     "[Product].[Category].Members ON ROWS FROM [Sales] WHERE [Geography].[Iberia]",
     Cells("category", "country IN ('Spain', 'Portugal')", kAllMeasures), kAnyOrder, kAnswered},
    {"WinterAcrossAYearEndAsTheSlicer",
     "WITH MEMBER [Time].[Winter 2022] AS Aggregate([Time].[Month].[2022-12] : "
     "[Time].[Month].[2023-02]) SELECT [Measures].Members ON COLUMNS, "
     "[Geography].[Region].Members ON ROWS FROM [Sales] WHERE [Time].[Winter 2022]",
     Cells("region", "month BETWEEN '2022-12' AND '2023-02'", kAllMeasures), kAnyOrder, kAnswered},
    {"SumOverARangeOfMonths",
     "WITH MEMBER [Measures].[Winter Quantity] AS Sum({[Time].[Month].[2022-12] : "
     "[Time].[Month].[2023-02]}, [Measures].[Quantity]) SELECT {[Measures].[Winter Quantity]} "
     "ON COLUMNS, [Geography].[Country].Members ON ROWS FROM [Sales]",
     "SELECT country, 'Winter Quantity', SUM(quantity) FROM sales "
     "WHERE month BETWEEN '2022-12' AND '2023-02' GROUP BY country",
     kAnyOrder, kAnswered},

    {"LastPeriodsAcrossAYearEnd",
     "SELECT [Measures].[Amount] ON COLUMNS, LastPeriods(3, [Time].[Month].[2023-02]) ON ROWS "
     "FROM [Sales]",
     Cells("month", "month BETWEEN '2022-12' AND '2023-02'", {"Amount"}, "month"), kInOrder,
     kPending},
    {"RollingThreeMonths",
     "WITH MEMBER [Measures].[Rolling 3] AS Sum(LastPeriods(3, [Time].CurrentMember), "
     "[Measures].[Amount]) SELECT {[Measures].[Amount], [Measures].[Rolling 3]} ON COLUMNS, "
     "[Time].[2023].[2023-Q3].Children ON ROWS FROM [Sales]",
     // Each month and the two before it, 2023-08 (no sales) among them.
     "WITH m AS (SELECT month, SUM(amount) AS amount FROM sales GROUP BY month), "
     "r AS (SELECT month, amount, SUM(amount) OVER (ORDER BY month ROWS 2 PRECEDING) AS rolling "
     "FROM m) SELECT * FROM (SELECT month, 'Amount', amount FROM r UNION ALL "
     "SELECT month, 'Rolling 3', rolling FROM r) WHERE month BETWEEN '2023-07' AND '2023-09' "
     "ORDER BY 1",
     kInOrder, kPending},
    {"RankOfEachCountry",
     "WITH MEMBER [Measures].[Rank] AS Rank([Geography].CurrentMember, "
     "Order([Geography].[Country].Members, [Measures].[Amount], BDESC)) SELECT "
     "{[Measures].[Amount], [Measures].[Rank]} ON COLUMNS, [Geography].[Country].Members ON ROWS "
     "FROM [Sales]",
     "SELECT country, 'Amount', SUM(amount) FROM sales GROUP BY country UNION ALL "
     "SELECT country, 'Rank', RANK() OVER (ORDER BY SUM(amount) DESC) FROM sales "
     "GROUP BY country",
     kAnyOrder, kPending},
    {"CaseSortsCountriesBySize",
     "WITH MEMBER [Measures].[Size] AS CASE WHEN [Measures].[Amount] > 400000 THEN \"Large\" "
     "WHEN [Measures].[Amount] > 200000 THEN \"Medium\" ELSE \"Small\" END SELECT "
     "{[Measures].[Size]} ON COLUMNS, [Geography].[Country].Members ON ROWS FROM [Sales]",
     "SELECT country, 'Size', CASE WHEN SUM(amount) > 400000 THEN 'Large' "
     "WHEN SUM(amount) > 200000 THEN 'Medium' ELSE 'Small' END FROM sales GROUP BY country",
     kAnyOrder, kPending},

    // Subselects.
    {"SubselectOfARegion",
     "SELECT [Measures].[Amount] ON COLUMNS, [Geography].[Country].Members ON ROWS FROM "
     "(SELECT {[Geography].[Region].[Europe]} ON 0 FROM [Sales])",
     Cells("country", "region = 'Europe'", {"Amount"}, "country"), kInOrder, kAnswered},
    {"SubselectOfTwoYears",
     "SELECT [Measures].Members ON COLUMNS, [Product].[Category].Members ON ROWS FROM "
     "(SELECT {[Time].[2023], [Time].[2024]} ON 0 FROM [Sales])",
     Cells("category", "year IN (2023, 2024)", kAllMeasures), kAnyOrder, kAnswered},
};

// The shipped sample [OCWCube]: Time (Calendar: All Time, Year "2024", Quarter "Quarter 2",
// Month "May", derived from each sale's date), Geography (Country, City), Product (Category,
// Product); Quantity (SUM, the first measure), Amount (SUM) and Sales Count (COUNT). The view
// `facts` of its source names each sale's members as the cube does.
const Question kSampleBank[] = {
    {"SampleQuantityByCountryAndYear",
     "SELECT [Time].[Year].Members ON COLUMNS, [Geography].[Country].Members ON ROWS FROM "
     "[OCWCube]",
     "SELECT country, year, SUM(quantity) FROM facts GROUP BY 1, 2 ORDER BY 1, 2", kInOrder,
     kAnswered},
    {"SampleQuartersOfBikes",
     "SELECT [Time].[2024].Children ON COLUMNS, [Product].[Bikes].Children ON ROWS FROM "
     "[OCWCube] WHERE [Measures].[Amount]",
     "SELECT product, quarter, SUM(amount) FROM facts WHERE category = 'Bikes' AND "
     "year = '2024' GROUP BY 1, 2",
     kAnyOrder, kAnswered},
    {"SampleCitiesOfACountry",
     "SELECT [Measures].Members ON COLUMNS, [Geography].[Venezuela].Children ON ROWS FROM "
     "[OCWCube]",
     "SELECT * FROM (SELECT city, 'Quantity', SUM(quantity) FROM facts "
     "WHERE country = 'Venezuela' GROUP BY city UNION ALL SELECT city, 'Amount', SUM(amount) "
     "FROM facts WHERE country = 'Venezuela' GROUP BY city UNION ALL SELECT city, "
     "'Sales Count', COUNT(sale_id) FROM facts WHERE country = 'Venezuela' GROUP BY city) "
     "ORDER BY 1",
     kInOrder, kAnswered},
    {"SampleMonthsInCalendarOrder",
     "SELECT [Measures].[Amount] ON COLUMNS, [Time].[2025].[Quarter 3].Children ON ROWS FROM "
     "[OCWCube]",
     "SELECT month, 'Amount', SUM(amount) FROM facts WHERE year = '2025' AND "
     "quarter = 'Quarter 3' GROUP BY month, month_number ORDER BY month_number",
     kInOrder, kAnswered},
    {"SampleSalesCountOfTwoCountries",
     "SELECT [Measures].[Sales Count] ON COLUMNS, [Product].[Category].Members ON ROWS FROM "
     "[OCWCube] WHERE {[Geography].[Spain], [Geography].[Germany]}",
     "SELECT category, 'Sales Count', COUNT(sale_id) FROM facts "
     "WHERE country IN ('Spain', 'Germany') GROUP BY 1",
     kAnyOrder, kAnswered},
    {"SampleYearToDate",
     "SELECT [Measures].[Quantity] ON COLUMNS, Ytd([Time].[2024].[Quarter 2].[May]) ON ROWS "
     "FROM [OCWCube]",
     "SELECT month, 'Quantity', SUM(quantity) FROM facts WHERE year = '2024' AND "
     "month_number <= 5 GROUP BY month, month_number ORDER BY month_number",
     kInOrder, kAnswered},
    {"SampleTopProducts",
     "SELECT [Measures].[Amount] ON COLUMNS, TopCount([Product].[Product].Members, 3, "
     "[Measures].[Amount]) ON ROWS FROM [OCWCube]",
     "SELECT product, 'Amount', SUM(amount) FROM facts GROUP BY 1 ORDER BY 3 DESC LIMIT 3",
     kInOrder, kAnswered},
    {"SampleQuartersAgainstLastYear",
     "WITH MEMBER [Measures].[Last Year] AS ([Measures].[Amount], ParallelPeriod([Time].[Year], "
     "1)) SELECT {[Measures].[Amount], [Measures].[Last Year]} ON COLUMNS, [Time].[2025].Children "
     "ON ROWS FROM [OCWCube]",
     "SELECT quarter, 'Amount', SUM(amount) FROM facts WHERE year = '2025' GROUP BY 1 "
     "UNION ALL SELECT quarter, 'Last Year', SUM(amount) FROM facts WHERE year = '2024' "
     "GROUP BY 1",
     kAnyOrder, kAnswered},
    {"SampleShareOfEachCategory",
     "WITH MEMBER [Measures].[Share] AS [Measures].[Amount] / ([Measures].[Amount], "
     "[Product].[All Products]) SELECT {[Measures].[Share]} ON COLUMNS, "
     "[Product].[Category].Members ON ROWS FROM [OCWCube] WHERE [Time].[2023]",
     "SELECT category, 'Share', SUM(amount) / (SELECT SUM(amount) FROM facts "
     "WHERE year = '2023') FROM facts WHERE year = '2023' GROUP BY 1",
     kAnyOrder, kAnswered},
};

// Asks `question` of `cube` from the table the engine chooses and from the leaf cells alone,
// and compares both answers with its SQL over `source`. A pending question the engine refuses
// is skipped, once its SQL is seen to run.
void AskAndCompare(const Question& question, const std::string& cube, const std::string& source) {
  std::vector<QueryResult> answers;
  for (const bool leaf_cells_only : {false, true}) {
    SCOPED_TRACE(leaf_cells_only ? "from the leaf cells" : "from the chosen table");
    auto answer = test::Ask(cube, question.mdx, {.leaf_cells_only = leaf_cells_only});
    if (!answer.ok() && question.pending) {
      test::ExpectSqlAnswers(source, question.sql);
      GTEST_SKIP() << "pending: " << answer.error().description;
    }
    ASSERT_TRUE(answer.ok()) << answer.error().description;
    test::ExpectSameCellsAsSql(*answer, source, question.sql, question.ordered);
    // From the leaf cells, or from no table when the answer needs no stored value.
    if (leaf_cells_only && !answer->table.empty()) {
      EXPECT_EQ(answer->table, "cells");
    }
    answers.push_back(*answer);
  }
  EXPECT_EQ(answers[0].columns, answers[1].columns);
  EXPECT_EQ(answers[0].rows, answers[1].rows);
}

// The questions asked of one cube, which `Build` builds once for all of them (in a directory
// of its own) from the source it creates.
template <std::string (*Build)(const std::string& source, const std::string& cube)>
class CubeQuestions : public ::testing::TestWithParam<Question> {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<cubemill::test::TempDir>();
    build_error_ = Build(dir_->File("source.db"), dir_->File("cube.cub"));
  }
  static void TearDownTestSuite() { dir_.reset(); }
  void SetUp() override { ASSERT_EQ(build_error_, "") << "the cube was not built"; }

  static std::string Source() { return dir_->File("source.db"); }
  static std::string Cube() { return dir_->File("cube.cub"); }

 private:
  static inline std::unique_ptr<cubemill::test::TempDir> dir_;
  static inline std::string build_error_;
};

std::string QuestionName(const ::testing::TestParamInfo<Question>& info) { return info.param.name; }

using QuestionBankAnalystTest = CubeQuestions<test::BuildAnalystCube>;
using QuestionBankSampleTest = CubeQuestions<test::BuildShippedSampleCube>;

TEST_P(QuestionBankAnalystTest, AnswersAsSqlOverTheSource) {
  AskAndCompare(GetParam(), Cube(), Source());
}

TEST_P(QuestionBankSampleTest, AnswersAsSqlOverTheSource) {
  AskAndCompare(GetParam(), Cube(), Source());
}

INSTANTIATE_TEST_SUITE_P(QuestionBank, QuestionBankAnalystTest, ::testing::ValuesIn(kAnalystBank),
                         QuestionName);
INSTANTIATE_TEST_SUITE_P(QuestionBank, QuestionBankSampleTest, ::testing::ValuesIn(kSampleBank),
                         QuestionName);

// The analyst cube stores rollups, and the questions of whole years, countries and regions are
// answered from them (the same answers, compared with SQL above, as from the leaf cells).
class QuestionBankRollupTest : public ::testing::Test {
 protected:
  cubemill::test::TempDir dir_;
};

TEST_F(QuestionBankRollupTest, CoarseQuestionsAreAnsweredFromRollups) {
  ASSERT_EQ(test::BuildAnalystCube("source.db", "cube.cub"), "");
  const auto rollups = cubemill::test::QuerySqlite("cube.cub", "SELECT COUNT(*) FROM rollups");
  ASSERT_EQ(rollups.size(), 1U);
  EXPECT_NE(rollups[0][0], "0");
  for (const Question& question : kAnalystBank) {
    if (question.name != "TotalsByYear" && question.name != "CountryByYear" &&
        question.name != "RegionByQuarterOfOneYear" && question.name != "SlicerOfTwoCountries")
      continue;
    const auto answer = test::Ask("cube.cub", question.mdx);
    ASSERT_TRUE(answer.ok()) << question.mdx << ": " << answer.error().description;
    EXPECT_NE(answer->table, "cells") << question.mdx;
  }
}

}  // namespace
}  // namespace cubemill::query
