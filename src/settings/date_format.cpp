#include "settings/date_format.h"

#include <array>
#include <string>

#include "platform/ascii_text.h"

namespace cubemill::settings {
namespace {

// The part of a date-time value a token shows.
enum class Field { kYear, kShortYear, kMonthOrMinute, kDay, kHour, kSecond };

struct Token {
  const char* text;
  Field field;
  int width;  // digits at least (2 for a doubled letter)
};

// Longest first, so "YYYY" wins over "YY" and "MM" over "M".
constexpr std::array<Token, 10> kTokens = {{{"YYYY", Field::kYear, 4},
                                            {"YY", Field::kShortYear, 2},
                                            {"MM", Field::kMonthOrMinute, 2},
                                            {"M", Field::kMonthOrMinute, 1},
                                            {"DD", Field::kDay, 2},
                                            {"D", Field::kDay, 1},
                                            {"HH", Field::kHour, 2},
                                            {"H", Field::kHour, 1},
                                            {"SS", Field::kSecond, 2},
                                            {"S", Field::kSecond, 1}}};

bool MatchesAt(std::string_view pattern, std::size_t pos, std::string_view token) {
  if (pos + token.size() > pattern.size()) return false;
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (platform::UpperAscii(pattern[pos + i]) != token[i]) return false;
  }
  return true;
}

std::string Digits(long value, int width) {
  std::string text = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
  return value < 0 ? "-" + text : text;
}

}  // namespace

std::string FormatDateTime(platform::DateTime value, std::string_view pattern) {
  using namespace std::chrono;
  const local_days day_start = floor<days>(value);
  const year_month_day date{day_start};
  const hh_mm_ss<seconds> time{value - day_start};
  const long year = static_cast<int>(date.year());
  const long month = static_cast<unsigned>(date.month());
  const long day = static_cast<unsigned>(date.day());
  const long hour = time.hours().count();
  const long minute = time.minutes().count();
  const long second = time.seconds().count();

  std::string out;
  bool after_hour = false;  // the nearest preceding date or time token is an hour token
  for (std::size_t pos = 0; pos < pattern.size();) {
    const Token* token = nullptr;
    for (const Token& candidate : kTokens) {
      if (MatchesAt(pattern, pos, candidate.text)) {
        token = &candidate;
        break;
      }
    }
    if (token == nullptr) {
      out += pattern[pos++];
      continue;
    }
    long shown = 0;
    switch (token->field) {
      case Field::kYear:
        shown = year;
        break;
      case Field::kShortYear:
        shown = year % 100;
        break;
      case Field::kMonthOrMinute:
        shown = after_hour ? minute : month;
        break;
      case Field::kDay:
        shown = day;
        break;
      case Field::kHour:
        shown = hour;
        break;
      case Field::kSecond:
        shown = second;
        break;
    }
    out += Digits(shown, token->width);
    after_hour = token->field == Field::kHour;
    pos += std::char_traits<char>::length(token->text);
  }
  return out;
}

}  // namespace cubemill::settings
