// cubemill-query on sums of prices in cents: the table and --formatted show each total as its
// decimal total with two decimals and the locale's separators; --csv and --json keep the full
// value, the shortest text that reads back as the same double (which, the sums being correctly
// rounded, is the decimal total), in every locale.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "query_program_run.h"
#include "support/prices_cube.h"
#include "support/sqlite_fixture.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill {
namespace {

using test::RunQuery;

const char kByFamily[] =
    "SELECT [Measures].[Store Sales] ON COLUMNS, [Product].[Family].Members ON ROWS FROM [Sales]";

// Sets LC_ALL for the programs the test runs, and restores it.
class LocaleForPrograms {
 public:
  explicit LocaleForPrograms(const char* name) {
    if (const char* before = std::getenv("LC_ALL")) saved_ = before;
    ::setenv("LC_ALL", name, 1);
  }
  ~LocaleForPrograms() {
    if (saved_)
      ::setenv("LC_ALL", saved_->c_str(), 1);
    else
      ::unsetenv("LC_ALL");
  }

 private:
  std::optional<std::string> saved_;
};

class QueryNumbersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prices_ = test::BuildPricesCube(dir_.path(), 35);
    ASSERT_EQ(prices_.error, "");
  }
  test::TempDir dir_;
  test::PricesCube prices_;
};

// The value of the CSV field after `name` on its line, checked to be a full value: no grouping,
// and the shortest text of its double.
void ExpectFullValue(const std::string& csv, const std::string& name, std::int64_t cents) {
  const auto line = csv.find(name + ",");
  ASSERT_NE(line, std::string::npos) << name;
  const auto start = line + name.size() + 1;
  const std::string text = csv.substr(start, csv.find("\r\n", start) - start);
  double value = 0;
  const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
  ASSERT_EQ(read.ptr, text.data() + text.size()) << text;
  char shortest[32];
  const auto written = std::to_chars(shortest, shortest + sizeof shortest, value);
  EXPECT_EQ(text, std::string(shortest, written.ptr));
  // The sum is correctly rounded: the real of its decimal total, "3637.99", whatever the order of
  // the rows.
  const std::string total = test::CentsText(cents, "", ".");
  double decimal_total = 0;
  std::from_chars(total.data(), total.data() + total.size(), decimal_total);
  EXPECT_EQ(value, decimal_total) << text << " for " << total;
}

TEST_F(QueryNumbersTest, ShowsTheDecimalTotalsToAPersonAndTheFullValuesToAProgram) {
  const LocaleForPrograms locale("C");
  EXPECT_EQ(test::QuerySqlite(prices_.cube, "SELECT decimals FROM measures ORDER BY id"),
            (test::Rows{{"2"}, {"0"}}));
  const auto table = RunQuery({prices_.cube, kByFamily});
  ASSERT_EQ(table.status, 0) << table.errors;
  const auto csv = RunQuery({"--csv", prices_.cube, kByFamily});
  const auto formatted = RunQuery({"--csv", "--formatted", prices_.cube, kByFamily});
  const auto json = RunQuery({"--json", "--formatted", prices_.cube, kByFamily});
  for (const auto& [family, cents] : prices_.family_cents) {
    const std::string shown = test::CentsText(cents);
    // Right-aligned in the table; quoted in CSV, which its commas would split.
    EXPECT_NE(table.output.find(" " + shown + "\n"), std::string::npos) << table.output;
    EXPECT_NE(formatted.output.find(family + ",\"" + shown + "\"\r\n"), std::string::npos)
        << formatted.output;
    EXPECT_NE(json.output.find("\"" + shown + "\""), std::string::npos) << json.output;
    ExpectFullValue(csv.output, family, cents);
  }
  EXPECT_EQ(csv.output.find('"'), std::string::npos) << csv.output;
}

TEST_F(QueryNumbersTest, SeparatesAsTheLocaleDoesWhereAPersonReads) {
  std::string c_csv, c_json;
  {
    const LocaleForPrograms locale("C");
    c_csv = RunQuery({"--csv", prices_.cube, kByFamily}).output;
    c_json = RunQuery({"--json", prices_.cube, kByFamily}).output;
  }
  const LocaleForPrograms locale("de_DE.UTF-8");
  const auto table = RunQuery({prices_.cube, kByFamily});
  ASSERT_EQ(table.status, 0) << table.errors;
  const std::int64_t drink = prices_.family_cents.at("Drink");
  if (table.output.find(test::CentsText(drink)) != std::string::npos)
    GTEST_SKIP() << "the locale de_DE.UTF-8 is not generated here (localedef, locale-gen)";
  EXPECT_NE(table.output.find(" " + test::CentsText(drink, ".", ",") + "\n"), std::string::npos)
      << table.output;
  const auto formatted = RunQuery({"--csv", "--formatted", prices_.cube, kByFamily});
  EXPECT_NE(formatted.output.find("Drink,\"" + test::CentsText(drink, ".", ",") + "\"\r\n"),
            std::string::npos)
      << formatted.output;
  // What a program reads is the same in every locale.
  EXPECT_EQ(RunQuery({"--csv", prices_.cube, kByFamily}).output, c_csv);
  EXPECT_EQ(RunQuery({"--json", prices_.cube, kByFamily}).output, c_json);
}

// A cube written before the decimals were recorded shows each total with 15 significant digits
// at most: the same figures where the totals have fewer.
TEST_F(QueryNumbersTest, ShowsFifteenDigitsOfACubeThatDoesNotSayItsDecimals) {
  const LocaleForPrograms locale("C");
  test::RunSqlite(prices_.cube,
                  "ALTER TABLE measures DROP COLUMN decimals; PRAGMA user_version = 2");
  const auto table =
      RunQuery({prices_.cube, "SELECT [Measures].[Store Sales] ON COLUMNS FROM [Sales]"});
  ASSERT_EQ(table.status, 0) << table.errors;
  std::string shown = test::CentsText(prices_.total_cents);
  while (shown.back() == '0') shown.pop_back();
  if (shown.back() == '.') shown.pop_back();
  EXPECT_EQ(table.output,
            "Store Sales\n" +
                std::string(std::max<std::size_t>(11, shown.size()) - shown.size(), ' ') + shown +
                "\n");
}

}  // namespace
}  // namespace cubemill
