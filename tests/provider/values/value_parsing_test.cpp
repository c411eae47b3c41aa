#include "provider/values/value_parsing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

namespace cubemill::provider::values {
namespace {

std::optional<Number> Integer(std::int64_t value) { return Number{value}; }
std::optional<Number> Real(double value) { return Number{value}; }
std::optional<DateTime> Day(int year, unsigned month, unsigned day) {
  return DateTime{Date{year, month, day}};
}
std::optional<DateTime> Moment(Date date, unsigned hour, unsigned minute, unsigned second) {
  return DateTime{Timestamp{date, hour, minute, second}};
}
constexpr std::nullopt_t kNone = std::nullopt;
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// Every text is read by both parsers: the number and the date it gives, or kNone.
TEST(ValueParsingTest, ReadsNumbersAndDatesByOneSetOfRules) {
  const struct {
    const char* text;
    std::optional<Number> number;
    std::optional<DateTime> date;
  } cases[] = {
      // Integers and signs: one optional sign.
      {"42", Integer(42), kNone},
      {"-7", Integer(-7), kNone},
      {"+5", Integer(5), kNone},
      {"007", Integer(7), kNone},
      {"20240305", Integer(20240305), kNone},
      {"+-1", kNone, kNone},
      {"-+1", kNone, kNone},
      {"--1", kNone, kNone},
      {"++1", kNone, kNone},
      {"-", kNone, kNone},
      {"+", kNone, kNone},
      // Blanks around (platform::IsBlank: space, tab, CR, LF, form feed); none inside.
      {" -7 ", Integer(-7), kNone},
      {" 12 ", Integer(12), kNone},
      {"12\n", Integer(12), kNone},
      {"\t12\r\n", Integer(12), kNone},
      {"\f12\f", Integer(12), kNone},
      {"\v12", kNone, kNone},
      {"1 2", kNone, kNone},
      {"- 1", kNone, kNone},
      {"", kNone, kNone},
      {"  ", kNone, kNone},
      // Fractions and exponents give reals.
      {"12.0", Real(12.0), kNone},
      {"12.5", Real(12.5), kNone},
      {"2.5", Real(2.5), kNone},
      {"-.5", Real(-0.5), kNone},
      {"5.", Real(5.0), kNone},
      {"1e3", Real(1000.0), kNone},
      {"+1.5e2", Real(150.0), kNone},
      {"2.5E-2", Real(0.025), kNone},
      {"1e+3", Real(1000.0), kNone},
      {"1e", kNone, kNone},
      {"e3", kNone, kNone},
      {".", kNone, kNone},
      {"1.5.2", kNone, kNone},
      // 64 bits, then a real; beyond a double, nothing.
      {"9223372036854775807", Integer(kMax), kNone},
      {"-9223372036854775808", Integer(kMin), kNone},
      {"9223372036854775808", Real(9223372036854775808.0), kNone},
      {"99999999999999999999", Real(1e20), kNone},
      {"1e400", kNone, kNone},
      {"-1e400", kNone, kNone},
      {"1e-400", kNone, kNone},
      // Not numbers: NaN and infinity text, other notations.
      {"nan", kNone, kNone},
      {"NaN", kNone, kNone},
      {"-nan", kNone, kNone},
      {"inf", kNone, kNone},
      {"+inf", kNone, kNone},
      {"-Inf", kNone, kNone},
      {"infinity", kNone, kNone},
      {"INFINITY", kNone, kNone},
      {"n/a", kNone, kNone},
      {"1,5", kNone, kNone},
      {"0x10", kNone, kNone},
      {"12abc", kNone, kNone},
      // Dates: the day must exist, years 1 to 9999.
      {"2024-03-05", kNone, Day(2024, 3, 5)},
      {"2024-02-29", kNone, Day(2024, 2, 29)},
      {"2000-02-29", kNone, Day(2000, 2, 29)},
      {"0001-01-01", kNone, Day(1, 1, 1)},
      {"9999-12-31", kNone, Day(9999, 12, 31)},
      {"1997-01-02", kNone, Day(1997, 1, 2)},
      {"2023-02-29", kNone, kNone},
      {"1900-02-29", kNone, kNone},
      {"2024-04-31", kNone, kNone},
      {"2024-13-01", kNone, kNone},
      {"1997-13-01", kNone, kNone},
      {"2024-00-10", kNone, kNone},
      {"2024-01-00", kNone, kNone},
      {"0000-01-01", kNone, kNone},
      {"10000-01-01", kNone, kNone},
      {"-2024-03-05", kNone, kNone},
      {"2024-3-5", kNone, kNone},
      {"1997-1-2", kNone, kNone},
      {"05.03.2024", kNone, kNone},
      {"02.01.1997", kNone, kNone},
      {"1997-01-02x", kNone, kNone},
      {" 2024-03-05 ", kNone, Day(2024, 3, 5)},
      {"2024-03-05\r\n", kNone, Day(2024, 3, 5)},
      // Times: a blank or "T", HH:MM, then :SS, then a fraction of a second that is dropped.
      {"2024-03-05 07:08:09", kNone, Moment({2024, 3, 5}, 7, 8, 9)},
      {"2024-03-05T07:08:09.250", kNone, Moment({2024, 3, 5}, 7, 8, 9)},
      {"2000-02-29T13:14:15.250", kNone, Moment({2000, 2, 29}, 13, 14, 15)},
      {"2024-03-05 07:08:09.999999999", kNone, Moment({2024, 3, 5}, 7, 8, 9)},
      {"2024-03-05 07:08", kNone, Moment({2024, 3, 5}, 7, 8, 0)},
      {"1997-01-02 03:04", kNone, Moment({1997, 1, 2}, 3, 4, 0)},
      {"2024-03-05 23:59:59", kNone, Moment({2024, 3, 5}, 23, 59, 59)},
      {" 2024-03-05 00:00 ", kNone, Moment({2024, 3, 5}, 0, 0, 0)},
      {"2024-03-05 24:00:00", kNone, kNone},
      {"1997-01-02 24:00", kNone, kNone},
      {"2024-03-05 23:60", kNone, kNone},
      {"2024-03-05 23:59:60", kNone, kNone},
      {"2024-03-05 07:08:09.", kNone, kNone},
      {"2024-03-05 07:08.5", kNone, kNone},
      {"2024-03-05 07", kNone, kNone},
      {"2024-03-05 7:08", kNone, kNone},
      {"2024-03-05T", kNone, kNone},
      {"2024-03-05  07:08", kNone, kNone},
      {"2024-03-05t07:08", kNone, kNone},
      {"2024-03-05 07:08:09Z", kNone, kNone},
      {"2024-03-05 07:08:09+01:00", kNone, kNone},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseNumber(c.text), c.number) << '"' << c.text << '"';
    EXPECT_EQ(ParseDateTime(c.text), c.date) << '"' << c.text << '"';
  }
}

TEST(ValueParsingTest, TakesRealsHoldingA64BitIntegerAsThatInteger) {
  const struct {
    double real;
    std::optional<std::int64_t> integer;
  } cases[] = {
      {3.0, 3},
      {-0.0, 0},
      {-9223372036854775808.0, kMin},
      {9.21e18, std::int64_t{9210000000000000000}},
      {9223372036854775808.0, std::nullopt},
      {2.5, std::nullopt},
      {std::numeric_limits<double>::infinity(), std::nullopt},
      {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
  };
  for (const auto& c : cases) {
    std::int64_t integer = 42;
    EXPECT_EQ(AsExactInteger(c.real, integer), c.integer.has_value()) << c.real;
    EXPECT_EQ(integer, c.integer.value_or(42)) << c.real;
  }
}

TEST(ValueParsingTest, ReadsUnsignedDecimalsWithTheBlanksItIsGiven) {
  constexpr std::uint64_t kMaxUnsigned = std::numeric_limits<std::uint64_t>::max();
  const struct {
    const char* text;
    const char* blanks;
    std::optional<std::uint64_t> value;
  } cases[] = {
      {"0", "", 0},
      {"007", "", 7},
      {"18446744073709551615", "", kMaxUnsigned},
      {"18446744073709551616", "", std::nullopt},  // one past 64 bits
      {"99999999999999999999999", "", std::nullopt},
      {"", "", std::nullopt},
      {"", " ", std::nullopt},
      {" \t ", " \t", std::nullopt},
      {" 12", "", std::nullopt},  // blanks only where the caller allows them
      {"12 ", "", std::nullopt},
      {" \t12\t ", " \t", 12},
      {"\n12", " \t", std::nullopt},
      {"1 2", " ", std::nullopt},
      {"+1", "", std::nullopt},
      {"-1", "", std::nullopt},
      {"-0", "", std::nullopt},
      {"1.0", "", std::nullopt},
      {"1e3", "", std::nullopt},
      {"0x10", "", std::nullopt},
      {"\xd9\xa3", "", std::nullopt},  // a digit of another script
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseUnsignedDecimal(c.text, c.blanks), c.value) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace cubemill::provider::values
