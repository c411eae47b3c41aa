// The built cubemill-query on the shipped sample cube: the README's example questions in text,
// CSV and JSON, its exit statuses, and errors that say where the query went wrong.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "e2e/run_cubemill.h"
#include "query_program_run.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

namespace fs = std::filesystem;

using test::BuildSampleCube;
using test::QueryRun;
using test::RunQuery;

class QueryProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { cube_ = BuildSampleCube(); }
  test::TempDir dir_;
  std::string cube_;
};

// The example questions of the README, and their answers as the README shows them.
struct Example {
  const char* mdx;
  const char* text;
  const char* csv;
  const char* json;
};

const Example kExamples[] = {
    {"SELECT [Time].[Year].Members ON COLUMNS, [Geography].[Country].Members ON ROWS FROM "
     "[OCWCube] WHERE [Measures].[Sales Count]",
     "           2023  2024  2025\n"
     "Argentina   207   193   200\n"
     "Germany     199   207   194\n"
     "Spain       316   308   319\n"
     "Venezuela   279   293   285\n"
     "",
     ",2023,2024,2025\r\n"
     "Argentina,207,193,200\r\n"
     "Germany,199,207,194\r\n"
     "Spain,316,308,319\r\n"
     "Venezuela,279,293,285\r\n"
     "",
     "{\"columns\": [[\"2023\"], [\"2024\"], [\"2025\"]], \"rows\": [[\"Argentina\"], "
     "[\"Germany\"], [\"Spain\"], [\"Venezuela\"]], \"column_unique_names\": "
     "[[\"[Time].[Calendar].[Year].[2023]\"], [\"[Time].[Calendar].[Year].[2024]\"], "
     "[\"[Time].[Calendar].[Year].[2025]\"]], \"row_unique_names\": "
     "[[\"[Geography].[Country].[Argentina]\"], [\"[Geography].[Country].[Germany]\"], "
     "[\"[Geography].[Country].[Spain]\"], [\"[Geography].[Country].[Venezuela]\"]], \"cells\": "
     "[[207, 193, 200], [199, 207, 194], "
     "[316, 308, 319], [279, 293, 285]]}\n"
     ""},
    {"SELECT {[Measures].[Quantity], [Measures].[Sales Count]} ON COLUMNS, "
     "[Geography].[Spain].Children ON ROWS FROM [OCWCube]",
     "          Quantity  Sales Count\n"
     "Cordoba      1,027          343\n"
     "Madrid         943          342\n"
     "Valencia       688          258\n"
     "",
     ",Quantity,Sales Count\r\n"
     "Cordoba,1027,343\r\n"
     "Madrid,943,342\r\n"
     "Valencia,688,258\r\n"
     "",
     "{\"columns\": [[\"Quantity\"], [\"Sales Count\"]], \"rows\": [[\"Cordoba\"], [\"Madrid\"], "
     "[\"Valencia\"]], \"column_unique_names\": [[\"[Measures].[Quantity]\"], [\"[Measures].[Sales "
     "Count]\"]], \"row_unique_names\": [[\"[Geography].[Country].[Spain].[Cordoba]\"], "
     "[\"[Geography].[Country].[Spain].[Madrid]\"], "
     "[\"[Geography].[Country].[Spain].[Valencia]\"]], \"cells\": [[1027, 343], [943, 342], [688, "
     "258]]}\n"
     ""},
    {"SELECT [Time].[2024].Children ON COLUMNS, [Product].[Bikes].Children ON ROWS FROM [OCWCube] "
     "WHERE ([Measures].[Quantity], [Geography].[Germany])",
     "               Quarter 1  Quarter 2  Quarter 3  Quarter 4\n"
     "City Bike             21         19         40\n"
     "Mountain Bike         10          4         16          8\n"
     "Road Bike             20         35         15         16\n"
     "",
     ",Quarter 1,Quarter 2,Quarter 3,Quarter 4\r\n"
     "City Bike,21,19,40,\r\n"
     "Mountain Bike,10,4,16,8\r\n"
     "Road Bike,20,35,15,16\r\n"
     "",
     "{\"columns\": [[\"Quarter 1\"], [\"Quarter 2\"], [\"Quarter 3\"], [\"Quarter 4\"]], "
     "\"rows\": [[\"City Bike\"], [\"Mountain Bike\"], [\"Road Bike\"]], \"column_unique_names\": "
     "[[\"[Time].[Calendar].[Year].[2024].[Quarter 1]\"], "
     "[\"[Time].[Calendar].[Year].[2024].[Quarter 2]\"], "
     "[\"[Time].[Calendar].[Year].[2024].[Quarter 3]\"], "
     "[\"[Time].[Calendar].[Year].[2024].[Quarter 4]\"]], \"row_unique_names\": "
     "[[\"[Product].[Category].[Bikes].[City Bike]\"], [\"[Product].[Category].[Bikes].[Mountain "
     "Bike]\"], [\"[Product].[Category].[Bikes].[Road Bike]\"]], \"cells\": [[21, 19, 40, "
     "null], [10, 4, 16, 8], [20, 35, 15, 16]]}\n"
     ""},
    {"SELECT [Measures].[Quantity] ON COLUMNS, NON EMPTY CrossJoin([Geography].[Spain].Children, "
     "[Product].[Category].Members) ON ROWS FROM [OCWCube] WHERE [Time].[2025].[Quarter "
     "4].[December]",
     "                       Quantity\n"
     "Cordoba   Accessories         8\n"
     "Cordoba   Bikes               6\n"
     "Cordoba   Clothing           13\n"
     "Madrid    Accessories        11\n"
     "Madrid    Bikes              17\n"
     "Madrid    Clothing            2\n"
     "Valencia  Accessories         3\n"
     "Valencia  Bikes              17\n"
     "",
     ",,Quantity\r\n"
     "Cordoba,Accessories,8\r\n"
     "Cordoba,Bikes,6\r\n"
     "Cordoba,Clothing,13\r\n"
     "Madrid,Accessories,11\r\n"
     "Madrid,Bikes,17\r\n"
     "Madrid,Clothing,2\r\n"
     "Valencia,Accessories,3\r\n"
     "Valencia,Bikes,17\r\n"
     "",
     "{\"columns\": [[\"Quantity\"]], \"rows\": [[\"Cordoba\", \"Accessories\"], [\"Cordoba\", "
     "\"Bikes\"], [\"Cordoba\", \"Clothing\"], [\"Madrid\", \"Accessories\"], [\"Madrid\", "
     "\"Bikes\"], [\"Madrid\", \"Clothing\"], [\"Valencia\", \"Accessories\"], [\"Valencia\", "
     "\"Bikes\"]], \"column_unique_names\": [[\"[Measures].[Quantity]\"]], \"row_unique_names\": "
     "[[\"[Geography].[Country].[Spain].[Cordoba]\", \"[Product].[Category].[Accessories]\"], "
     "[\"[Geography].[Country].[Spain].[Cordoba]\", \"[Product].[Category].[Bikes]\"], "
     "[\"[Geography].[Country].[Spain].[Cordoba]\", \"[Product].[Category].[Clothing]\"], "
     "[\"[Geography].[Country].[Spain].[Madrid]\", \"[Product].[Category].[Accessories]\"], "
     "[\"[Geography].[Country].[Spain].[Madrid]\", \"[Product].[Category].[Bikes]\"], "
     "[\"[Geography].[Country].[Spain].[Madrid]\", \"[Product].[Category].[Clothing]\"], "
     "[\"[Geography].[Country].[Spain].[Valencia]\", \"[Product].[Category].[Accessories]\"], "
     "[\"[Geography].[Country].[Spain].[Valencia]\", \"[Product].[Category].[Bikes]\"]], "
     "\"cells\": [[8], [6], [13], [11], [17], [2], [3], [17]]}\n"
     ""},
};

TEST_F(QueryProgramTest, AnswersTheReadmeQuestionsInEveryFormat) {
  for (const Example& example : kExamples) {
    SCOPED_TRACE(example.mdx);
    const QueryRun text = RunQuery({cube_, example.mdx});
    EXPECT_EQ(text.status, 0) << text.errors;
    EXPECT_EQ(text.output, example.text);
    const QueryRun csv = RunQuery({"--csv", cube_, example.mdx});
    EXPECT_EQ(csv.status, 0) << csv.errors;
    EXPECT_EQ(csv.output, example.csv);
    const QueryRun json = RunQuery({cube_, "--json", example.mdx});
    EXPECT_EQ(json.status, 0) << json.errors;
    EXPECT_EQ(json.output, example.json);
    EXPECT_EQ(text.errors + csv.errors + json.errors, "");
  }
}

// Reals come out as the source's sums (to the last bits that another order of adding changes).
TEST_F(QueryProgramTest, AnswersAsTheSourceDoes) {
  const QueryRun csv = RunQuery({"--csv", cube_,
                                 "SELECT [Geography].[Country].Members ON ROWS, "
                                 "[Measures].[Amount] ON COLUMNS FROM [OCWCube] "
                                 "WHERE [Time].[2024]"});
  ASSERT_EQ(csv.status, 0) << csv.errors;
  const auto source = test::QuerySqlite(
      "../data/sales.db",
      "SELECT c.country, SUM(s.amount) FROM sales s JOIN cities c ON c.city_id = s.city_id "
      "WHERE s.sale_date LIKE '2024-%' GROUP BY 1 ORDER BY 1");
  const auto lines = test::SplitLines(csv.output);
  ASSERT_EQ(lines.size(), source.size() + 1) << csv.output;
  EXPECT_EQ(lines[0], ",Amount\r");
  for (std::size_t r = 0; r < source.size(); ++r) {
    const std::string& line = lines[r + 1];
    const auto comma = line.find(',');
    ASSERT_NE(comma, std::string::npos) << line;
    EXPECT_EQ(line.substr(0, comma), source[r][0]);
    EXPECT_NEAR(std::stod(line.substr(comma + 1)), std::stod(source[r][1]), 1e-6) << line;
  }
}

TEST_F(QueryProgramTest, ExitsWithOneForABadQueryAndTwoForBadUsage) {
  const QueryRun unknown =
      RunQuery({cube_, "SELECT [Geography].[Spian] ON COLUMNS FROM [OCWCube]"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.output, "");
  EXPECT_EQ(unknown.errors,
            "cubemill-query: unknown level or member [Geography].[Spian] (no level [Spian] in "
            "[Geography]; its levels: All Geography, Country, City; no member [Spian] in its "
            "level Country) at 8\n");
  const QueryRun syntax = RunQuery({cube_, "SELECT [Geography].[Spain] FROM [OCWCube]"});
  EXPECT_EQ(syntax.status, 1);
  EXPECT_EQ(syntax.errors, "cubemill-query: expected ON, found \"FROM\" at 28\n");
  const QueryRun missing = RunQuery({"no-such.cub", "SELECT [A] ON COLUMNS FROM [B]"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.errors.find("no-such.cub"), std::string::npos) << missing.errors;
  EXPECT_FALSE(fs::exists("no-such.cub"));  // reading never creates a file
  // Something other than a regular file is refused without waiting on it.
  ASSERT_EQ(::mkfifo("fifo.cub", 0666), 0);
  fs::create_directory("folder.cub");
  for (const char* path : {"fifo.cub", "folder.cub"}) {
    const QueryRun run = RunQuery({path, "SELECT [A] ON COLUMNS FROM [B]"});
    EXPECT_EQ(run.status, 1) << path;  // 124: it waited
    EXPECT_NE(run.errors.find(std::string(path) + ": it is a"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("not a regular file"), std::string::npos) << run.errors;
  }

  for (const std::vector<std::string>& usage : std::vector<std::vector<std::string>>{
           {}, {cube_}, {"--xml", cube_, "SELECT"}, {"a", "b", "c"}}) {
    const QueryRun run = RunQuery(usage);
    EXPECT_EQ(run.status, 2) << testing::PrintToString(usage);
    EXPECT_EQ(run.output, "");
    EXPECT_NE(run.errors.find("Usage: cubemill-query"), std::string::npos) << run.errors;
  }
  const QueryRun help = RunQuery({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.output.starts_with("Usage: cubemill-query [OPTION]... CUBE MDX\n"));
  const QueryRun version = RunQuery({"-V"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.output.starts_with("cubemill-query ")) << version.output;
}

TEST_F(QueryProgramTest, RefusesCsvAndJsonTogether) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"--csv", "--json", cube_, "SELECT [Time].[Year].Members ON COLUMNS FROM [OCWCube]"},
           {"--json", cube_, "--csv", "SELECT [Time].[Year].Members ON COLUMNS FROM [OCWCube]"}}) {
    const QueryRun run = RunQuery(arguments);
    EXPECT_EQ(run.status, 2) << testing::PrintToString(arguments);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, "cubemill-query: --csv and --json cannot be used together: choose one\n");
  }
}

// A query nested far deeper than the parser allows fails with exit 1 and names where, instead of
// running the stack out.
TEST_F(QueryProgramTest, RefusesAQueryNestedTooDeep) {
  std::string mdx = "SELECT ";
  for (int i = 0; i < 15000; ++i) mdx += "{";
  mdx += "[Measures].[Quantity]";
  for (int i = 0; i < 15000; ++i) mdx += "}";
  mdx += " ON COLUMNS FROM [OCWCube]";
  const QueryRun run = RunQuery({cube_, mdx});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(run.errors, "cubemill-query: the query nests deeper than 200 levels at 207\n");
}

// Splits a CSV line without quoted fields, or with only quoted ones that hold no quote.
std::vector<std::string> CsvFields(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// The sample's Amount carries FORMAT '0.00': the table shows it so, CSV and JSON give the full
// value and add the formatted one with --formatted.
TEST_F(QueryProgramTest, ShowsTheMeasuresFormatInTheTableAndOnRequest) {
  const std::string mdx =
      "SELECT {[Measures].[Amount], [Measures].[Quantity]} ON COLUMNS, "
      "[Geography].[Country].Members ON ROWS FROM [OCWCube] WHERE [Time].[2024]";
  const QueryRun full = RunQuery({"--csv", cube_, mdx});
  const QueryRun formatted = RunQuery({"--csv", "--formatted", cube_, mdx});
  const QueryRun table = RunQuery({cube_, mdx});
  const QueryRun table_too = RunQuery({"--formatted", cube_, mdx});
  ASSERT_EQ(full.status, 0) << full.errors;
  ASSERT_EQ(formatted.status, 0) << formatted.errors;
  ASSERT_EQ(table.status, 0) << table.errors;
  EXPECT_EQ(table_too.output, table.output);
  const auto full_lines = test::SplitLines(full.output);
  const auto formatted_lines = test::SplitLines(formatted.output);
  ASSERT_EQ(full_lines.size(), 5u) << full.output;
  ASSERT_EQ(formatted_lines.size(), full_lines.size()) << formatted.output;
  EXPECT_EQ(formatted_lines[0], full_lines[0]);
  bool some_amount_had_more_digits = false;
  for (std::size_t r = 1; r < full_lines.size(); ++r) {
    const auto value = CsvFields(full_lines[r]);
    const auto shown = CsvFields(formatted_lines[r]);
    ASSERT_EQ(value.size(), 3u) << full_lines[r];
    ASSERT_EQ(shown.size(), 3u) << formatted_lines[r];
    EXPECT_EQ(shown[0], value[0]);
    // Amount: two decimals, the full value rounded; Quantity (no FORMAT) as it is.
    const std::size_t point = shown[1].find('.');
    ASSERT_NE(point, std::string::npos) << shown[1];
    EXPECT_EQ(shown[1].size() - point, 3u) << shown[1];
    EXPECT_NEAR(std::stod(shown[1]), std::stod(value[1]), 0.005 + 1e-9) << value[1];
    some_amount_had_more_digits = some_amount_had_more_digits || value[1] != shown[1];
    EXPECT_EQ(shown[2], value[2]);
    // The table shows the same texts.
    EXPECT_NE(table.output.find(value[0] + std::string(2, ' ')), std::string::npos);
    EXPECT_NE(table.output.find(" " + shown[1] + " "), std::string::npos) << table.output;
  }
  EXPECT_TRUE(some_amount_had_more_digits) << full.output;

  const QueryRun json = RunQuery({"--json", cube_, mdx});
  const QueryRun json_formatted = RunQuery({"--json", "--formatted", cube_, mdx});
  ASSERT_EQ(json.status, 0) << json.errors;
  ASSERT_EQ(json_formatted.status, 0) << json_formatted.errors;
  EXPECT_EQ(json.output.find("\"formatted\""), std::string::npos);
  // The same document with "formatted" after "cells".
  ASSERT_TRUE(json.output.ends_with("]]}\n")) << json.output;
  const std::string head = json.output.substr(0, json.output.size() - 2);
  EXPECT_TRUE(json_formatted.output.starts_with(head + ", \"formatted\": [[\""))
      << json_formatted.output;
  const std::string first_amount = CsvFields(formatted_lines[1])[1];
  EXPECT_NE(json_formatted.output.find("[[\"" + first_amount + "\", \""), std::string::npos)
      << json_formatted.output;
}

}  // namespace
}  // namespace cubemill
