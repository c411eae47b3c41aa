// The answer's printed forms: each value in full the same way in CSV and JSON (exact integers,
// reals that read back as the same double and never pass for exact integers, one spelling for
// the values that are not finite), and in the table as a person reads it: as a measure's FORMAT
// asks, else with its decimals or 15 significant digits, thousands grouped.
#include "query/result_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace cubemill::query {
namespace {

using provider::cubefile::CellValue;

CellValue Integer(std::int64_t value) { return {CellValue::Kind::kInteger, value, 0}; }
CellValue Real(double value) { return {CellValue::Kind::kReal, 0, value}; }
const CellValue kNull{};

constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(ValueTextTest, PrintsIntegersExactlyAndRealsInTheirShortestForm) {
  const struct {
    CellValue value;
    const char* expected;
  } cases[] = {
      {Integer(0), "0"},
      {Integer(-42), "-42"},
      {Integer(std::numeric_limits<std::int64_t>::max()), "9223372036854775807"},
      {Integer(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
      {Real(586139.5700000001), "586139.5700000001"},
      {Real(0.1 + 0.2), "0.30000000000000004"},
      {Real(1234), "1234"},
      {Real(-0.5), "-0.5"},
      {Real(0.0001), "0.0001"},
      {Real(0.00001), "1e-05"},
      {Real(0), "0"},
      // Below 2^53 every integer is a double: fixed notation is exact there.
      {Real(9007199254740991.0), "9007199254740991"},
      // From 2^53 on, scientific notation: no integer-looking text that is not exact.
      {Real(9007199254740992.0), "9.007199254740992e+15"},
      {Real(18000123456789012349.0), "1.8000123456789012e+19"},
      {Real(1.8e19), "1.8e+19"},
      {Real(-1.8e19), "-1.8e+19"},
      {Real(kInfinity), "Infinity"},
      {Real(-kInfinity), "-Infinity"},
      {Real(std::nan("")), "NaN"},
      {kNull, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ValueText(c.value), c.expected) << c.expected;
    if (c.value.kind == CellValue::Kind::kReal && std::isfinite(c.value.real)) {
      EXPECT_EQ(std::stod(ValueText(c.value)), c.value.real) << c.expected;
    }
  }
}

TEST(FormatValueTest, ShowsTheCommonNumberFormats) {
  const struct {
    const char* format;
    CellValue value;
    const char* expected;
  } cases[] = {
      // Decimals, rounded half away from zero on the value's full text.
      {"0.00", Real(586139.5700000001), "586139.57"},
      {"0.00", Integer(5), "5.00"},
      {"0.00", Real(2.675), "2.68"},
      {"0.00", Real(-2.675), "-2.68"},
      {"0.00", Real(0.995), "1.00"},
      {"0.00", Real(-0.001), "0.00"},
      {"0", Real(0.5), "1"},
      {"0", Real(2.5), "3"},
      {"0", Real(-0.5), "-1"},
      {"0", Real(9.5), "10"},
      {"0.0#", Real(1.5), "1.5"},
      {"0.0#", Real(1.567), "1.57"},
      {"0.0#", Integer(1), "1.0"},
      {"#.#", Real(0.25), ".3"},
      {"#.#", Integer(5), "5."},
      {"00000", Integer(42), "00042"},
      // Thousands, exact for every integer.
      {"#,##0", Integer(1234567), "1,234,567"},
      {"#,##0", Integer(999), "999"},
      {"#,##0", Integer(0), "0"},
      {"#,##0", Integer(-1234), "-1,234"},
      {"#,##0", Integer(std::numeric_limits<std::int64_t>::max()), "9,223,372,036,854,775,807"},
      {"#,##0", Integer(std::numeric_limits<std::int64_t>::min()), "-9,223,372,036,854,775,808"},
      {"#,##0.00", Real(1234567.891), "1,234,567.89"},
      {"#,##0,", Integer(1234567), "1,235"},
      {"0.0,,", Integer(1234567), "1.2"},
      // Percent.
      {"0%", Real(0.256), "26%"},
      {"0.00%", Real(0.12345), "12.35%"},
      {"0%", Integer(1), "100%"},
      // Literals around the number.
      {"$#,##0.00", Real(1234.5), "$1,234.50"},
      {"$#,##0.00", Real(-1234.5), "-$1,234.50"},
      {"#,##0.00 €", Real(1234.5), "1,234.50 €"},
      {"\"EUR \"0.00", Integer(5), "EUR 5.00"},
      {"0\\h", Integer(5), "5h"},
      // Sections: positive; negative; zero.
      {"#,##0;(#,##0)", Integer(-1234), "(1,234)"},
      {"#,##0;(#,##0)", Integer(1234), "1,234"},
      {"#,##0.00;(#,##0.00);\"zero\"", Integer(0), "zero"},
      {"#,##0.00;(#,##0.00);\"zero\"", Real(-0.5), "(0.50)"},
      {"0;;\"none\"", Integer(-3), "-3"},
      // Scientific.
      {"0.00E+00", Real(12345), "1.23E+04"},
      {"0.00E+00", Real(0.000123), "1.23E-04"},
      {"0.00E+00", Real(9.996), "1.00E+01"},
      {"0.00E+00", Integer(0), "0.00E+00"},
      {"0.0e-0", Integer(1234), "1.2e3"},
      // Named formats, in any letter case.
      {"Standard", Real(1234.5), "1,234.50"},
      {"Currency", Real(-1234.5), "($1,234.50)"},
      {"currency", Real(1234.5), "$1,234.50"},
      {"Percent", Real(0.5), "50.00%"},
      {"Fixed", Integer(3), "3.00"},
      {"Scientific", Integer(1234), "1.23E+03"},
      {"Yes/No", Integer(0), "No"},
      {"yes/no", Real(2), "Yes"},
      {"True/False", Integer(1), "True"},
      {"On/Off", Integer(0), "Off"},
      {"General Number", Real(586139.5700000001), "586139.5700000001"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatValue(c.value, c.format), c.expected) << c.format << " " << ValueText(c.value);
}

TEST(FormatValueTest, ShowsTheFullValueForNoFormatAnUnknownOneOrAValueNotFinite) {
  const char* const unknown[] = {"",   "dd.mm.yyyy", "0.0.0", "\"open", "@",  "0;0;0;0;0",
                                 ";0", "0\\",        "0?",    "hh:mm",  "*0", "_0"};
  for (const char* format : unknown) {
    EXPECT_EQ(FormatValue(Real(586139.5700000001), format), "586139.5700000001") << format;
    EXPECT_EQ(FormatValue(Integer(-7), format), "-7") << format;
  }
  for (const char* format : {"0.00", "#,##0", "Currency", ""}) {
    EXPECT_EQ(FormatValue(Real(kInfinity), format), "Infinity") << format;
    EXPECT_EQ(FormatValue(Real(-kInfinity), format), "-Infinity") << format;
    EXPECT_EQ(FormatValue(Real(std::nan("")), format), "NaN") << format;
    EXPECT_EQ(FormatValue(kNull, format), "") << format;
  }
}

// A measure without a FORMAT, as a person reads it: its decimals where the cube says them, else
// at most 15 significant digits, thousands grouped.
TEST(DisplayValueTest, ShowsTheMeasuresDecimalsOrFifteenDigits) {
  const struct {
    CellValue value;
    std::optional<int> decimals;
    const char* expected;
  } cases[] = {
      // A sum of prices whose last bits are not the decimal total's.
      {Real(3637.9900000000002), 2, "3,637.99"},
      {Real(3637.9900000000002), std::nullopt, "3,637.99"},
      {Real(3884.5299999999997), std::nullopt, "3,884.53"},
      {Real(36128.28999999999), std::nullopt, "36,128.29"},
      {Real(0.1 + 0.2), std::nullopt, "0.3"},
      {Real(1234), std::nullopt, "1,234"},
      {Real(1234), 2, "1,234.00"},
      {Real(-1234567.125), 2, "-1,234,567.13"},  // half away from zero
      {Real(0.125), 2, "0.13"},
      {Real(-0.004), 2, "0.00"},  // rounds to zero: no sign
      {Real(999.996), 2, "1,000.00"},
      {Real(586139.5700000001), 0, "586,140"},
      {Real(123456.123456789), std::nullopt, "123,456.123456789"},
      {Real(1.0 / 3), std::nullopt, "0.333333333333333"},
      {Real(0.00001), std::nullopt, "0.00001"},
      {Real(0.000001234), std::nullopt, "1.234E-06"},
      {Real(999999999999999.0), std::nullopt, "999,999,999,999,999"},
      {Real(1e15), std::nullopt, "1E+15"},
      {Real(18000123456789012349.0), std::nullopt, "1.8000123456789E+19"},
      {Real(0), std::nullopt, "0"},
      {Real(-0.0), 2, "0.00"},
      {Integer(1234567), std::nullopt, "1,234,567"},
      {Integer(std::numeric_limits<std::int64_t>::min()), std::nullopt,
       "-9,223,372,036,854,775,808"},
      {Integer(42), 3, "42.000"},
      {Integer(-5), 0, "-5"},
      {Real(kInfinity), 2, "Infinity"},
      {Real(std::nan("")), std::nullopt, "NaN"},
      {kNull, 2, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DisplayValue(c.value, c.decimals), c.expected)
        << ValueText(c.value) << " with " << c.decimals.value_or(-1) << " decimals";
  }
}

TEST(DisplayValueTest, SeparatesWithTheSeparatorsGiven) {
  const platform::NumberSeparators german{".", ","};
  EXPECT_EQ(DisplayValue(Real(3637.9900000000002), 2, german), "3.637,99");
  EXPECT_EQ(DisplayValue(Real(-1234567.5), std::nullopt, german), "-1.234.567,5");
  EXPECT_EQ(DisplayValue(Real(1.8e19), std::nullopt, german), "1,8E+19");
  const platform::NumberSeparators french{"\xE2\x80\xAF", ","};
  EXPECT_EQ(DisplayValue(Integer(1234567), 1, french),
            "1\xE2\x80\xAF"
            "234\xE2\x80\xAF"
            "567,0");
  // A FORMAT shows as it asks, with "," and "." whatever the separators.
  EXPECT_EQ(ReadableValue(Real(1234.5), "#,##0.00", 0, german), "1,234.50");
  EXPECT_EQ(ReadableValue(Real(1234.5), "", 0, german), "1.235");
}

// Two measures: [0] Amount '0.00' on the first column, [1] Quantity '#,##0' on the second; the
// third column names no measure and takes the row's ([1]).
QueryResult Answer() {
  QueryResult result;
  result.columns = {{"Amount"}, {"Quantity"}, {"Total"}};
  result.rows = {{"Spain"}, {"Venezuela"}};
  result.column_measure = {0, 1, QueryResult::npos};
  result.row_measure = {1, 1};
  result.cells = {{Real(18000123456789012349.0), Integer(1234567), Real(1.8e19)},
                  {Real(586139.5700000001), kNull, Real(-kInfinity)}};
  return result;
}

const MeasureFormats kFormats = {{"0.00", std::nullopt}, {"#,##0", std::nullopt}};

TEST(ResultFormatTest, PrintsEachValueTheSameWayInEveryForm) {
  const QueryResult result = Answer();
  EXPECT_EQ(FormatCsv(result),
            ",Amount,Quantity,Total\r\n"
            "Spain,1.8000123456789012e+19,1234567,1.8e+19\r\n"
            "Venezuela,586139.5700000001,,-Infinity\r\n");
  EXPECT_EQ(FormatJson(result),
            "{\"columns\": [[\"Amount\"], [\"Quantity\"], [\"Total\"]], \"rows\": [[\"Spain\"], "
            "[\"Venezuela\"]], \"cells\": [[1.8000123456789012e+19, 1234567, 1.8e+19], "
            "[586139.5700000001, null, \"-Infinity\"]]}\n");
  // Without formats the table shows at most 15 significant digits, thousands grouped,
  // right-aligned below left-aligned names.
  EXPECT_EQ(FormatText(result),
            "           Amount               Quantity   Total\n"
            "Spain      1.8000123456789E+19  1,234,567    1.8E+19\n"
            "Venezuela           586,139.57             -Infinity\n");
}

TEST(ResultFormatTest, ShowsEachCellAsItsMeasuresFormatAsks) {
  const QueryResult result = Answer();
  EXPECT_EQ(FormatText(result, kFormats),
            "           Amount                   Quantity   Total\n"
            "Spain      18000123456789012000.00  1,234,567  18,000,000,000,000,000,000\n"
            "Venezuela                586139.57                              -Infinity\n");
  EXPECT_EQ(FormatCsv(result, kFormats),
            ",Amount,Quantity,Total\r\n"
            "Spain,18000123456789012000.00,\"1,234,567\",\"18,000,000,000,000,000,000\"\r\n"
            "Venezuela,586139.57,,-Infinity\r\n");
  EXPECT_EQ(FormatJson(result, kFormats),
            "{\"columns\": [[\"Amount\"], [\"Quantity\"], [\"Total\"]], \"rows\": [[\"Spain\"], "
            "[\"Venezuela\"]], \"cells\": [[1.8000123456789012e+19, 1234567, 1.8e+19], "
            "[586139.5700000001, null, \"-Infinity\"]], \"formatted\": "
            "[[\"18000123456789012000.00\", \"1,234,567\", \"18,000,000,000,000,000,000\"], "
            "[\"586139.57\", null, \"-Infinity\"]]}\n");
  // A measure without a format, or past the formats given, shows at most 15 significant digits,
  // or its decimals.
  EXPECT_EQ(FormatCsv(result, {{"", std::nullopt}, {"", std::nullopt}}), FormatCsv(result, {}));
  EXPECT_EQ(FormatCsv(result, {{"", 1}, {"", 2}}),
            ",Amount,Quantity,Total\r\n"
            "Spain,\"18,000,123,456,789,012,000.0\",\"1,234,567.00\",\"18,000,000,000,000,000,000."
            "00\"\r\n"
            "Venezuela,\"586,139.6\",,-Infinity\r\n");
}

TEST(ResultFormatTest, TakesTheFormatsFromTheCatalog) {
  provider::cubefile::CubeCatalog catalog;
  catalog.measures = {{1, "Amount", "SUM", "0.00", std::nullopt}, {2, "Count", "COUNT", "", 0}};
  EXPECT_EQ(FormatsOf(catalog), (MeasureFormats{{"0.00", std::nullopt}, {"", 0}}));
}

}  // namespace
}  // namespace cubemill::query
