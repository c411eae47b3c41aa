#include "provider/aggregate/value_text.h"

#include <charconv>
#include <cstdint>

namespace cubemill::provider::aggregate {
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

}  // namespace cubemill::provider::aggregate
