#include "settings/date_format.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "platform/ascii_text.h"

namespace cubemill::settings {
namespace {

// The part of a date-time value a token shows.
enum class Field { kYear, kShortYear, kMonth, kDay, kHour, kMinute, kSecond };
constexpr std::size_t kFieldCount = 7;

struct Token {
  const char* text;
  Field field;  // kMonth stands for "month or minute", decided by the token before it
  int width;    // digits at least (2 for a doubled letter)
};

// Longest first, so "YYYY" wins over "YY" and "MM" over "M".
constexpr std::array<Token, 10> kTokens = {{{"YYYY", Field::kYear, 4},
                                            {"YY", Field::kShortYear, 2},
                                            {"MM", Field::kMonth, 2},
                                            {"M", Field::kMonth, 1},
                                            {"DD", Field::kDay, 2},
                                            {"D", Field::kDay, 1},
                                            {"HH", Field::kHour, 2},
                                            {"H", Field::kHour, 1},
                                            {"SS", Field::kSecond, 2},
                                            {"S", Field::kSecond, 1}}};

// One token or one copied character of a pattern.
struct Piece {
  bool is_token = false;
  Field field = Field::kYear;
  int width = 0;
  char literal = 0;
};

bool MatchesAt(std::string_view pattern, std::size_t pos, std::string_view token) {
  if (pos + token.size() > pattern.size()) return false;
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (platform::UpperAscii(pattern[pos + i]) != token[i]) return false;
  }
  return true;
}

// The pattern as FormatDateTime reads it: each token with the field it shows (an M token shows
// the minute when the nearest preceding token is an hour token, the month otherwise).
std::vector<Piece> Pieces(std::string_view pattern) {
  std::vector<Piece> pieces;
  bool after_hour = false;
  for (std::size_t pos = 0; pos < pattern.size();) {
    const Token* token = nullptr;
    for (const Token& candidate : kTokens) {
      if (MatchesAt(pattern, pos, candidate.text)) {
        token = &candidate;
        break;
      }
    }
    if (token == nullptr) {
      pieces.push_back(Piece{.literal = pattern[pos++]});
      continue;
    }
    Field field = token->field;
    if (field == Field::kMonth && after_hour) field = Field::kMinute;
    pieces.push_back(Piece{.is_token = true, .field = field, .width = token->width});
    after_hour = field == Field::kHour;
    pos += std::char_traits<char>::length(token->text);
  }
  return pieces;
}

std::string Digits(long value, int width) {
  std::string text = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
  return value < 0 ? "-" + text : text;
}

// The values a stamp shows, by field; -1 where the pattern does not show the field.
using FieldValues = std::array<int, kFieldCount>;

int& At(FieldValues& values, Field field) { return values[static_cast<std::size_t>(field)]; }
int At(const FieldValues& values, Field field) { return values[static_cast<std::size_t>(field)]; }

bool InRange(Field field, int value) {
  switch (field) {
    case Field::kYear:
    case Field::kShortYear:
      return true;
    case Field::kMonth:
      return value >= 1 && value <= 12;
    case Field::kDay:
      return value >= 1 && value <= 31;
    case Field::kHour:
      return value <= 23;
    case Field::kMinute:
    case Field::kSecond:
      return value <= 59;
  }
  return false;
}

// The year a reading stands for (a two-digit year in 2000 to 2099), or -1.
int YearOf(const FieldValues& values) {
  if (At(values, Field::kYear) >= 0) return At(values, Field::kYear);
  if (At(values, Field::kShortYear) >= 0) return 2000 + At(values, Field::kShortYear);
  return -1;
}

// The checks across fields: a short year that agrees with the year, a day that its month has.
bool Consistent(const FieldValues& values) {
  const int year = At(values, Field::kYear);
  const int short_year = At(values, Field::kShortYear);
  if (year >= 0 && short_year >= 0 && year % 100 != short_year) return false;
  const int month = At(values, Field::kMonth);
  const int day = At(values, Field::kDay);
  if (month < 0 || day < 0) return true;
  using namespace std::chrono;
  // Without a year, February has its 29th (a leap year could have made it).
  const int leap_year = 2000;
  const year_month_day date{std::chrono::year(YearOf(values) >= 0 ? YearOf(values) : leap_year),
                            std::chrono::month(static_cast<unsigned>(month)),
                            std::chrono::day(static_cast<unsigned>(day))};
  return date.ok();
}

// Reads a text against the pieces of a pattern, trying both widths of each single-letter token,
// and keeps up to two different readings (two mean the text is ambiguous). The work stays small
// however long the pattern: a field shown again must repeat its first value, so only the first
// token of each of the five variable-width fields branches.
class StampReader {
 public:
  StampReader(const std::vector<Piece>& pieces, std::string_view text)
      : pieces_(pieces), text_(text) {}

  // The distinct readings found, at most two.
  std::vector<FieldValues> Readings() {
    FieldValues none;
    none.fill(-1);
    Read(0, 0, none);
    return readings_;
  }

 private:
  void Read(std::size_t piece_index, std::size_t pos, const FieldValues& values) {
    if (readings_.size() >= 2) return;
    if (piece_index == pieces_.size()) {
      if (pos == text_.size() && Consistent(values) &&
          std::find(readings_.begin(), readings_.end(), values) == readings_.end()) {
        readings_.push_back(values);
      }
      return;
    }
    const Piece& piece = pieces_[piece_index];
    if (!piece.is_token) {
      if (pos < text_.size() && text_[pos] == piece.literal) Read(piece_index + 1, pos + 1, values);
      return;
    }
    // A single letter shows one or two digits, any other token its width.
    const int widths[] = {piece.width, 2};
    const int width_count = piece.width == 1 ? 2 : 1;
    for (int w = 0; w < width_count; ++w) {
      const std::size_t width = static_cast<std::size_t>(widths[w]);
      if (pos + width > text_.size()) continue;
      const std::string_view digits = text_.substr(pos, width);
      if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        continue;
      if (piece.width == 1 && width == 2 && digits[0] == '0') continue;  // "7", never "07"
      int value = 0;
      for (const char digit : digits) value = value * 10 + (digit - '0');
      if (!InRange(piece.field, value)) continue;
      const int shown = At(values, piece.field);
      if (shown >= 0 && shown != value) continue;
      FieldValues next = values;
      At(next, piece.field) = value;
      Read(piece_index + 1, pos + width, next);
    }
  }

  const std::vector<Piece>& pieces_;
  std::string_view text_;
  std::vector<FieldValues> readings_;
};

// The reading's date and time when the pattern shows the year and each field below it down to
// its finest one, so that ordering by it orders the stamps by time.
std::optional<platform::DateTime> TimeOf(const FieldValues& values) {
  const int year = YearOf(values);
  if (year < 0) return std::nullopt;
  const Field finer[] = {Field::kMonth, Field::kDay, Field::kHour, Field::kMinute, Field::kSecond};
  bool gap = false;
  for (const Field field : finer) {
    if (At(values, field) < 0) {
      gap = true;
    } else if (gap) {
      return std::nullopt;
    }
  }
  auto part = [&values](Field field, int start) {
    return At(values, field) >= 0 ? At(values, field) : start;
  };
  return platform::MakeDateTime(year, static_cast<unsigned>(part(Field::kMonth, 1)),
                                static_cast<unsigned>(part(Field::kDay, 1)), part(Field::kHour, 0),
                                part(Field::kMinute, 0), part(Field::kSecond, 0));
}

}  // namespace

std::string FormatDateTime(platform::DateTime value, std::string_view pattern) {
  using namespace std::chrono;
  const local_days day_start = floor<days>(value);
  const year_month_day date{day_start};
  const hh_mm_ss<seconds> time{value - day_start};
  FieldValues shown{};
  const long year = static_cast<int>(date.year());
  At(shown, Field::kYear) = static_cast<int>(year);
  At(shown, Field::kShortYear) = static_cast<int>(year % 100);
  At(shown, Field::kMonth) = static_cast<int>(static_cast<unsigned>(date.month()));
  At(shown, Field::kDay) = static_cast<int>(static_cast<unsigned>(date.day()));
  At(shown, Field::kHour) = static_cast<int>(time.hours().count());
  At(shown, Field::kMinute) = static_cast<int>(time.minutes().count());
  At(shown, Field::kSecond) = static_cast<int>(time.seconds().count());

  std::string out;
  for (const Piece& piece : Pieces(pattern)) {
    if (piece.is_token) {
      out += Digits(At(shown, piece.field), piece.width);
    } else {
      out += piece.literal;
    }
  }
  return out;
}

std::optional<DateTimeStamp> ReadDateTimeStamp(std::string_view text, std::string_view pattern) {
  const std::vector<Piece> pieces = Pieces(pattern);
  const std::vector<FieldValues> readings = StampReader(pieces, text).Readings();
  if (readings.empty()) return std::nullopt;
  DateTimeStamp stamp;
  if (readings.size() == 1) stamp.time = TimeOf(readings.front());
  return stamp;
}

}  // namespace cubemill::settings
