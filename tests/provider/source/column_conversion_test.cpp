#include "provider/source/column_conversion.h"

#include <gtest/gtest.h>

#include <string>

namespace cubemill::provider::source {
namespace {

using namespace std::string_view_literals;

TEST(ColumnConversionTest, ReadsTextAsTheColumnKindAsks) {
  const struct {
    const char* text;
    ColumnKind kind;
    Value expected;
  } cases[] = {
      {"42", ColumnKind::kInteger, std::int64_t{42}},
      {" -7 ", ColumnKind::kInteger, std::int64_t{-7}},
      {"+5", ColumnKind::kInteger, std::int64_t{5}},
      {"9223372036854775807", ColumnKind::kInteger, std::int64_t{9223372036854775807}},
      {"12.0", ColumnKind::kInteger, std::int64_t{12}},
      {"1e3", ColumnKind::kInteger, std::int64_t{1000}},
      {"12.5", ColumnKind::kInteger, 12.5},
      {"9223372036854775808", ColumnKind::kInteger, 9223372036854775808.0},
      {"n/a", ColumnKind::kInteger, "n/a"sv},
      {"", ColumnKind::kInteger, ""sv},
      {"+-1", ColumnKind::kInteger, "+-1"sv},
      {"12abc", ColumnKind::kInteger, "12abc"sv},
      {"0x10", ColumnKind::kInteger, "0x10"sv},
      {"2.5", ColumnKind::kReal, 2.5},
      {"-.5", ColumnKind::kReal, -0.5},
      {"3", ColumnKind::kReal, 3.0},
      {"1e400", ColumnKind::kReal, "1e400"sv},
      {"nan", ColumnKind::kReal, "nan"sv},
      {"inf", ColumnKind::kReal, "inf"sv},
      {"1,5", ColumnKind::kReal, "1,5"sv},
      {"2024-03-05", ColumnKind::kDateTime, Date{2024, 3, 5}},
      {"2024-02-29", ColumnKind::kDateTime, Date{2024, 2, 29}},
      {"2024-03-05 07:08:09", ColumnKind::kDateTime, Timestamp{{2024, 3, 5}, 7, 8, 9}},
      {"2024-03-05T07:08:09.250", ColumnKind::kDateTime, Timestamp{{2024, 3, 5}, 7, 8, 9}},
      {"2024-03-05 07:08", ColumnKind::kDateTime, Timestamp{{2024, 3, 5}, 7, 8, 0}},
      {"2023-02-29", ColumnKind::kDateTime, "2023-02-29"sv},
      {"2024-13-01", ColumnKind::kDateTime, "2024-13-01"sv},
      {"2024-03-05 24:00:00", ColumnKind::kDateTime, "2024-03-05 24:00:00"sv},
      {"2024-03-05 07:08:09.", ColumnKind::kDateTime, "2024-03-05 07:08:09."sv},
      {"05.03.2024", ColumnKind::kDateTime, "05.03.2024"sv},
      {"2024-3-5", ColumnKind::kDateTime, "2024-3-5"sv},
      {"42", ColumnKind::kText, "42"sv},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextToValue(c.text, c.kind), c.expected) << c.text;
  }
}

TEST(ColumnConversionTest, DeliversUnreadableTextAsAViewOfTheInput) {
  const std::string text = "not a number";
  const Value value = TextToValue(text, ColumnKind::kReal);
  ASSERT_TRUE(std::holds_alternative<std::string_view>(value));
  EXPECT_EQ(std::get<std::string_view>(value).data(), text.data());
}

}  // namespace
}  // namespace cubemill::provider::source
