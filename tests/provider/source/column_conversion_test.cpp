#include "provider/source/column_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace cubemill::provider::source {
namespace {

using namespace std::string_view_literals;

// How each text reads is provider/values' table; these cases are what the column's kind adds.
TEST(ColumnConversionTest, ReadsTextAsTheColumnKindAsks) {
  const struct {
    const char* text;
    ColumnKind kind;
    Value expected;
  } cases[] = {
      {"42", ColumnKind::kInteger, std::int64_t{42}},
      {"12.0", ColumnKind::kInteger, std::int64_t{12}},
      {"1e3", ColumnKind::kInteger, std::int64_t{1000}},
      {"12.5", ColumnKind::kInteger, 12.5},
      {"9223372036854775808", ColumnKind::kInteger, 9223372036854775808.0},
      {"n/a", ColumnKind::kInteger, "n/a"sv},
      {"", ColumnKind::kInteger, ""sv},
      {"2024-03-05", ColumnKind::kInteger, "2024-03-05"sv},
      {"2.5", ColumnKind::kReal, 2.5},
      {"3", ColumnKind::kReal, 3.0},
      {"nan", ColumnKind::kReal, "nan"sv},
      {"2024-03-05", ColumnKind::kDateTime, Date{2024, 3, 5}},
      {"2024-03-05 07:08:09", ColumnKind::kDateTime, Timestamp{{2024, 3, 5}, 7, 8, 9}},
      {"2023-02-29", ColumnKind::kDateTime, "2023-02-29"sv},
      {"42", ColumnKind::kDateTime, "42"sv},
      {"42", ColumnKind::kText, "42"sv},
      {" 2024-03-05 ", ColumnKind::kText, " 2024-03-05 "sv},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextToValue(c.text, c.kind), c.expected) << c.text;
  }
}

TEST(ColumnConversionTest, ARealKeepsTheSignOfZero) {
  // PostgreSQL writes a negative zero "-0", which reads as the integer 0.
  for (const char* text : {"-0", " -0 ", "-0.0", "-0e5"}) {
    const Value value = TextToValue(text, ColumnKind::kReal);
    ASSERT_TRUE(std::holds_alternative<double>(value)) << text;
    EXPECT_TRUE(std::signbit(std::get<double>(value))) << text;
  }
  for (const char* text : {"0", "+0", "0.0"}) {
    const Value value = TextToValue(text, ColumnKind::kReal);
    ASSERT_TRUE(std::holds_alternative<double>(value)) << text;
    EXPECT_FALSE(std::signbit(std::get<double>(value))) << text;
  }
  EXPECT_EQ(TextToValue("-0", ColumnKind::kInteger), Value(std::int64_t{0}));
}

TEST(ColumnConversionTest, DeliversUnreadableTextAsAViewOfTheInput) {
  const std::string text = "not a number";
  const Value value = TextToValue(text, ColumnKind::kReal);
  ASSERT_TRUE(std::holds_alternative<std::string_view>(value));
  EXPECT_EQ(std::get<std::string_view>(value).data(), text.data());
}

}  // namespace
}  // namespace cubemill::provider::source
