#include "settings/date_format.h"

#include <array>
#include <string>

#include "platform/ascii_text.h"

namespace cubemill::settings {
namespace {

enum class Token {
  kYear4,
  kYear2,
  kMonthOrMinute2,
  kMonthOrMinute1,
  kDay2,
  kDay1,
  kHour2,
  kHour1,
  kSecond2,
  kSecond1,
  kLiteral
};

struct TokenText {
  const char* text;
  Token token;
};

// Longest first, so "YYYY" wins over "YY" and "MM" over "M".
constexpr std::array<TokenText, 10> kTokens = {{{"YYYY", Token::kYear4},
                                                {"YY", Token::kYear2},
                                                {"MM", Token::kMonthOrMinute2},
                                                {"M", Token::kMonthOrMinute1},
                                                {"DD", Token::kDay2},
                                                {"D", Token::kDay1},
                                                {"HH", Token::kHour2},
                                                {"H", Token::kHour1},
                                                {"SS", Token::kSecond2},
                                                {"S", Token::kSecond1}}};

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
    Token token = Token::kLiteral;
    std::size_t length = 1;
    for (const auto& candidate : kTokens) {
      if (MatchesAt(pattern, pos, candidate.text)) {
        token = candidate.token;
        length = std::char_traits<char>::length(candidate.text);
        break;
      }
    }
    switch (token) {
      case Token::kYear4:
        out += Digits(year, 4);
        break;
      case Token::kYear2:
        out += Digits(year % 100, 2);
        break;
      case Token::kMonthOrMinute2:
        out += Digits(after_hour ? minute : month, 2);
        break;
      case Token::kMonthOrMinute1:
        out += Digits(after_hour ? minute : month, 1);
        break;
      case Token::kDay2:
        out += Digits(day, 2);
        break;
      case Token::kDay1:
        out += Digits(day, 1);
        break;
      case Token::kHour2:
        out += Digits(hour, 2);
        break;
      case Token::kHour1:
        out += Digits(hour, 1);
        break;
      case Token::kSecond2:
        out += Digits(second, 2);
        break;
      case Token::kSecond1:
        out += Digits(second, 1);
        break;
      case Token::kLiteral:
        out += pattern[pos];
        break;
    }
    if (token != Token::kLiteral) after_hour = token == Token::kHour2 || token == Token::kHour1;
    pos += length;
  }
  return out;
}

}  // namespace cubemill::settings
