#include "provider/values/value_parsing.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "platform/ascii_text.h"

namespace cubemill::provider::values {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads exactly `count` digits at `pos` into `value` and moves `pos` past them; false when any
// is missing.
bool ReadDigits(std::string_view text, std::size_t& pos, int count, unsigned& value) {
  value = 0;
  for (int i = 0; i < count; ++i, ++pos) {
    if (pos >= text.size() || !IsDigit(text[pos])) return false;
    value = value * 10 + static_cast<unsigned>(text[pos] - '0');
  }
  return true;
}

// True when `text[pos]` is `c`, and then moves `pos` past it.
bool Take(std::string_view text, std::size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

std::optional<Number> ParseNumber(std::string_view text) {
  text = platform::TrimBlanks(text);
  // One sign, then a digit or a decimal point: from_chars itself would read "inf" and "nan",
  // and takes a "-" but no "+".
  std::string_view magnitude = text;
  if (!magnitude.empty() && (magnitude.front() == '+' || magnitude.front() == '-')) {
    magnitude.remove_prefix(1);
  }
  if (magnitude.empty() || !(IsDigit(magnitude.front()) || magnitude.front() == '.')) {
    return std::nullopt;
  }
  if (text.front() == '+') text = magnitude;
  const char* end = text.data() + text.size();
  std::int64_t integer = 0;
  const auto integer_read = std::from_chars(text.data(), end, integer);
  if (integer_read.ec == std::errc() && integer_read.ptr == end) return Number{integer};
  double real = 0;
  const auto real_read = std::from_chars(text.data(), end, real);
  if (real_read.ec != std::errc() || real_read.ptr != end || !std::isfinite(real)) {
    return std::nullopt;
  }
  return Number{real};
}

std::optional<std::uint64_t> ParseUnsignedDecimal(std::string_view text, std::string_view blanks) {
  text = platform::TrimBlanks(text, blanks);
  // from_chars alone would take a "-" and stop early at anything that is not a digit.
  if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit)) return std::nullopt;
  std::uint64_t value = 0;
  const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
  if (read.ec != std::errc()) return std::nullopt;  // out of range
  return value;
}

std::optional<DateTime> ParseDateTime(std::string_view text) {
  text = platform::TrimBlanks(text);
  std::size_t pos = 0;
  unsigned year = 0;
  Date date;
  if (!ReadDigits(text, pos, 4, year) || !Take(text, pos, '-') ||
      !ReadDigits(text, pos, 2, date.month) || !Take(text, pos, '-') ||
      !ReadDigits(text, pos, 2, date.day)) {
    return std::nullopt;
  }
  date.year = static_cast<int>(year);
  if (!IsValidDate(date)) return std::nullopt;
  if (pos == text.size()) return date;

  Timestamp stamp{date};
  if (!Take(text, pos, ' ') && !Take(text, pos, 'T')) return std::nullopt;
  if (!ReadDigits(text, pos, 2, stamp.hour) || !Take(text, pos, ':') ||
      !ReadDigits(text, pos, 2, stamp.minute)) {
    return std::nullopt;
  }
  if (Take(text, pos, ':')) {
    if (!ReadDigits(text, pos, 2, stamp.second)) return std::nullopt;
    if (Take(text, pos, '.')) {
      const std::size_t fraction = pos;
      while (pos < text.size() && IsDigit(text[pos])) ++pos;
      if (pos == fraction) return std::nullopt;
    }
  }
  if (pos != text.size()) return std::nullopt;
  if (stamp.hour > 23 || stamp.minute > 59 || stamp.second > 59) return std::nullopt;
  return stamp;
}

}  // namespace cubemill::provider::values
