#include "provider/source/column_conversion.h"

#include <cstdint>

#include "platform/ascii_text.h"
#include "provider/values/value_parsing.h"

namespace cubemill::provider::source {

Value TextToValue(std::string_view text, ColumnKind kind) {
  switch (kind) {
    case ColumnKind::kText:
      break;
    case ColumnKind::kInteger:
    case ColumnKind::kReal:
      if (const auto number = values::ParseNumber(text)) {
        if (const auto* integer = std::get_if<std::int64_t>(&*number)) {
          if (kind == ColumnKind::kInteger) return *integer;
          // "-0" (PostgreSQL's text of a negative zero) is an integer to the parser, and zero
          // has no sign there: the real keeps the one the text shows.
          if (*integer == 0 && platform::TrimBlanks(text).starts_with('-')) return -0.0;
          return static_cast<double>(*integer);
        }
        const double real = std::get<double>(*number);
        std::int64_t integer = 0;
        if (kind == ColumnKind::kInteger && values::AsExactInteger(real, integer)) return integer;
        return real;
      }
      break;
    case ColumnKind::kDateTime:
      if (const auto moment = values::ParseDateTime(text)) {
        if (const auto* date = std::get_if<Date>(&*moment)) return *date;
        return std::get<Timestamp>(*moment);
      }
      break;
  }
  return text;
}

void ConvertRow(std::span<Value> row, const std::vector<ColumnKind>& kinds) {
  for (std::size_t c = 0; c < row.size(); ++c) {
    if (kinds[c] == ColumnKind::kText) continue;
    if (const auto* text = std::get_if<std::string_view>(&row[c]))
      row[c] = TextToValue(*text, kinds[c]);
  }
}

}  // namespace cubemill::provider::source
