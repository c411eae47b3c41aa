#include "provider/source/column_conversion.h"

#include <charconv>
#include <cmath>

#include "platform/ascii_text.h"

namespace cubemill::provider::source {
namespace {

// Drops one leading "+" (which from_chars does not accept); "+-1" and "++1" become empty.
std::string_view WithoutPlusSign(std::string_view text) {
  if (text.empty() || text.front() != '+') return text;
  text.remove_prefix(1);
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) return {};
  return text;
}

// Reads exactly `count` digits at `pos` into `out`.
bool ReadDigits(std::string_view text, std::size_t pos, std::size_t count, unsigned& out) {
  if (pos + count > text.size()) return false;
  out = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return true;
}

// 2^63 as a double: the first value that no longer fits an int64.
constexpr double kInt64Limit = 9223372036854775808.0;

}  // namespace

std::optional<std::int64_t> ParseInteger(std::string_view text) {
  text = WithoutPlusSign(platform::TrimBlanks(text));
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> ParseReal(std::string_view text) {
  text = WithoutPlusSign(platform::TrimBlanks(text));
  if (text.empty()) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::variant<Date, Timestamp>> ParseDateTime(std::string_view text) {
  text = platform::TrimBlanks(text);
  unsigned year = 0;
  Date date;
  if (text.size() < 10 || !ReadDigits(text, 0, 4, year) || text[4] != '-' ||
      !ReadDigits(text, 5, 2, date.month) || text[7] != '-' || !ReadDigits(text, 8, 2, date.day)) {
    return std::nullopt;
  }
  date.year = static_cast<int>(year);
  if (!IsValidDate(date)) return std::nullopt;
  if (text.size() == 10) return date;

  Timestamp stamp{date};
  if ((text[10] != ' ' && text[10] != 'T') || !ReadDigits(text, 11, 2, stamp.hour) ||
      text.size() < 16 || text[13] != ':' || !ReadDigits(text, 14, 2, stamp.minute)) {
    return std::nullopt;
  }
  std::size_t pos = 16;
  if (pos < text.size()) {
    if (text[pos] != ':' || !ReadDigits(text, pos + 1, 2, stamp.second)) return std::nullopt;
    pos += 3;
    if (pos < text.size()) {
      if (text[pos] != '.' || pos + 1 == text.size()) return std::nullopt;
      for (++pos; pos < text.size(); ++pos) {
        if (text[pos] < '0' || text[pos] > '9') return std::nullopt;
      }
    }
  }
  if (stamp.hour > 23 || stamp.minute > 59 || stamp.second > 59) return std::nullopt;
  return stamp;
}

Value TextToValue(std::string_view text, ColumnKind kind) {
  switch (kind) {
    case ColumnKind::kText:
      break;
    case ColumnKind::kInteger: {
      if (const auto integer = ParseInteger(text)) return *integer;
      if (const auto real = ParseReal(text)) {
        if (std::trunc(*real) == *real && *real >= -kInt64Limit && *real < kInt64Limit) {
          return static_cast<std::int64_t>(*real);
        }
        return *real;
      }
      break;
    }
    case ColumnKind::kReal:
      if (const auto real = ParseReal(text)) return *real;
      break;
    case ColumnKind::kDateTime:
      if (const auto moment = ParseDateTime(text)) {
        if (const auto* date = std::get_if<Date>(&*moment)) return *date;
        return std::get<Timestamp>(*moment);
      }
      break;
  }
  return text;
}

}  // namespace cubemill::provider::source
