#include "provider/aggregate/value_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "platform/ascii_text.h"

namespace cubemill::provider {
namespace {

void AppendDigits(unsigned value, int width, std::string& out) {
  char buffer[16];
  int length = 0;
  do {
    buffer[length++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && length < 16);
  for (int i = length; i < width; ++i) out.push_back('0');
  while (length > 0) out.push_back(buffer[--length]);
}

// Reads exactly `count` digits at `pos`; false when any is missing.
bool ReadDigits(std::string_view text, std::size_t& pos, int count, unsigned& value) {
  value = 0;
  for (int i = 0; i < count; ++i, ++pos) {
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return false;
    value = value * 10 + static_cast<unsigned>(text[pos] - '0');
  }
  return true;
}

}  // namespace

void AppendDateText(const Date& date, std::string& out) {
  int year = date.year;
  if (year < 0) {
    out.push_back('-');
    year = -year;
  }
  AppendDigits(static_cast<unsigned>(year), 4, out);
  out.push_back('-');
  AppendDigits(date.month, 2, out);
  out.push_back('-');
  AppendDigits(date.day, 2, out);
}

void AppendTimestampText(const Timestamp& timestamp, std::string& out) {
  AppendDateText(timestamp.date, out);
  out.push_back(' ');
  AppendDigits(timestamp.hour, 2, out);
  out.push_back(':');
  AppendDigits(timestamp.minute, 2, out);
  out.push_back(':');
  AppendDigits(timestamp.second, 2, out);
}

void AppendValueText(const Value& value, std::string& out) {
  char buffer[32];
  switch (value.index()) {
    case 0:
      return;
    case 1: {
      auto result = std::to_chars(buffer, buffer + sizeof buffer, std::get<std::int64_t>(value));
      out.append(buffer, result.ptr);
      return;
    }
    case 2: {
      auto result = std::to_chars(buffer, buffer + sizeof buffer, std::get<double>(value));
      out.append(buffer, result.ptr);
      return;
    }
    case 3:
      out.append(std::get<std::string_view>(value));
      return;
    case 4:
      AppendDateText(std::get<Date>(value), out);
      return;
    default:
      AppendTimestampText(std::get<Timestamp>(value), out);
      return;
  }
}

std::string ValueText(const Value& value) {
  std::string text;
  AppendValueText(value, text);
  return text;
}

std::optional<Number> ParseNumberText(std::string_view text) {
  text = platform::TrimBlanks(text, " \t");
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  const char* end = text.data() + text.size();
  std::int64_t integer = 0;
  auto int_result = std::from_chars(text.data(), end, integer);
  if (int_result.ec == std::errc() && int_result.ptr == end) return Number{integer};
  double real = 0;
  auto real_result = std::from_chars(text.data(), end, real);
  if (real_result.ec == std::errc() && real_result.ptr == end && std::isfinite(real)) {
    return Number{real};
  }
  return std::nullopt;
}

std::optional<Timestamp> ParseDateTimeText(std::string_view text) {
  text = platform::TrimBlanks(text, " \t");
  Timestamp result;
  std::size_t pos = 0;
  unsigned year = 0;
  if (!ReadDigits(text, pos, 4, year)) return std::nullopt;
  result.date.year = static_cast<int>(year);
  if (pos >= text.size() || text[pos++] != '-') return std::nullopt;
  if (!ReadDigits(text, pos, 2, result.date.month)) return std::nullopt;
  if (pos >= text.size() || text[pos++] != '-') return std::nullopt;
  if (!ReadDigits(text, pos, 2, result.date.day)) return std::nullopt;
  if (!IsValidDate(result.date)) return std::nullopt;
  if (pos == text.size()) return result;
  if (text[pos] != 'T' && text[pos] != ' ') return std::nullopt;
  ++pos;
  if (!ReadDigits(text, pos, 2, result.hour)) return std::nullopt;
  if (pos >= text.size() || text[pos++] != ':') return std::nullopt;
  if (!ReadDigits(text, pos, 2, result.minute)) return std::nullopt;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    if (!ReadDigits(text, pos, 2, result.second)) return std::nullopt;
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      std::size_t digits_start = pos;
      while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
      if (pos == digits_start) return std::nullopt;
    }
  }
  if (pos != text.size()) return std::nullopt;
  if (result.hour > 23 || result.minute > 59 || result.second > 59) return std::nullopt;
  return result;
}

}  // namespace cubemill::provider
