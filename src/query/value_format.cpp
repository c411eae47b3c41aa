#include "query/value_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/ascii_text.h"

namespace cubemill::query {

namespace {

using provider::cubefile::CellValue;

// The most decimals DisplayValue shows, however many are asked for.
constexpr int kMaxShownDecimals = 30;

// A value's magnitude in decimal: digits (no leading zeros; "" for zero) times 10^(point -
// digits.size()), so that `point` digits stand before the decimal point.
struct Decimal {
  std::string digits;
  int point = 0;
};

Decimal DecimalOf(const CellValue& value) {
  Decimal decimal;
  if (value.kind == CellValue::Kind::kInteger) {
    // The magnitude in unsigned arithmetic: INT64_MIN has no positive counterpart.
    const std::uint64_t magnitude = value.integer < 0
                                        ? 0 - static_cast<std::uint64_t>(value.integer)
                                        : static_cast<std::uint64_t>(value.integer);
    if (magnitude != 0) decimal.digits = std::to_string(magnitude);
    decimal.point = static_cast<int>(decimal.digits.size());
    return decimal;
  }
  if (value.real == 0) return decimal;
  // The shortest digits that read back as the same double: "d.ddde+XX".
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value.real),
                                 std::chars_format::scientific);
  const std::string text(buffer, end.ptr);
  const std::size_t e = text.find('e');
  for (std::size_t i = 0; i < e; ++i)
    if (text[i] != '.') decimal.digits += text[i];
  while (!decimal.digits.empty() && decimal.digits.back() == '0') decimal.digits.pop_back();
  decimal.point = std::stoi(text.substr(e + 1)) + 1;
  return decimal;
}

bool IsNegative(const CellValue& value) {
  return value.kind == CellValue::Kind::kInteger ? value.integer < 0 : std::signbit(value.real);
}

// `decimal` rounded half away from zero to `decimals` digits after the point (negative: to tens,
// hundreds...). The result may gain a digit in front (9.99 -> 10.0).
Decimal Rounded(Decimal decimal, int decimals) {
  const int keep = decimal.point + decimals;
  if (keep >= static_cast<int>(decimal.digits.size())) return decimal;
  if (keep < 0) return {};
  const bool up = decimal.digits[static_cast<std::size_t>(keep)] >= '5';
  decimal.digits.resize(static_cast<std::size_t>(keep));
  if (up) {
    std::size_t i = decimal.digits.size();
    while (i > 0 && decimal.digits[i - 1] == '9') decimal.digits[--i] = '0';
    if (i == 0) {
      decimal.digits.insert(decimal.digits.begin(), '1');
      ++decimal.point;
    } else {
      ++decimal.digits[i - 1];
    }
  }
  while (!decimal.digits.empty() && decimal.digits.back() == '0') decimal.digits.pop_back();
  if (decimal.digits.empty()) decimal.point = 0;
  return decimal;
}

// The digit of `decimal` that stands `place` places left of the point (place 0: the units;
// negative: after the point).
char DigitAt(const Decimal& decimal, int place) {
  const int index = decimal.point - 1 - place;
  if (index < 0 || index >= static_cast<int>(decimal.digits.size())) return '0';
  return decimal.digits[static_cast<std::size_t>(index)];
}

// One section of a FORMAT text, read into what it shows.
struct Section {
  struct Item {
    enum class Kind { kLiteral, kInteger, kPoint, kFraction, kExponent };
    Kind kind = Kind::kLiteral;
    std::string text;      // a literal's text
    char placeholder = 0;  // '0' or '#'
  };
  std::vector<Item> items;
  int integer_placeholders = 0;
  int integer_zeros_from = -1;  // the first integer placeholder that is '0', counted from the right
  int fraction_placeholders = 0;
  int fraction_required = 0;  // fraction digits shown even when 0
  bool grouping = false;
  int scale = 0;  // powers of ten the value is multiplied by: 2 per %, -3 per scaling ","
  bool scientific = false;
  bool exponent_plus = false;
  int exponent_digits = 0;
};

bool IsPlaceholder(char c) { return c == '0' || c == '#'; }

// Reads one section, or nothing when it holds something this formatter does not understand.
std::optional<Section> ReadSection(std::string_view text) {
  Section section;
  const auto literal = [&](std::string piece) {
    if (!section.items.empty() && section.items.back().kind == Section::Item::Kind::kLiteral)
      section.items.back().text += piece;
    else
      section.items.push_back({Section::Item::Kind::kLiteral, std::move(piece), 0});
  };
  bool point = false;
  int pending_commas = 0;  // "," after a placeholder, not yet followed by another
  const auto settle_commas = [&] {
    section.scale -= 3 * pending_commas;
    pending_commas = 0;
  };
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (IsPlaceholder(c)) {
      if (section.scientific) {
        if (c == '0') ++section.exponent_digits;
        continue;
      }
      if (point) {
        if (pending_commas > 0) return std::nullopt;  // "," between the fraction's digits
        ++section.fraction_placeholders;
        if (c == '0') section.fraction_required = section.fraction_placeholders;
        section.items.push_back({Section::Item::Kind::kFraction, "", c});
      } else {
        if (pending_commas > 0) section.grouping = true;
        pending_commas = 0;
        ++section.integer_placeholders;
        section.items.push_back({Section::Item::Kind::kInteger, "", c});
      }
    } else if (c == '.' && !point && !section.scientific) {
      settle_commas();
      point = true;
      section.items.push_back({Section::Item::Kind::kPoint, "", 0});
    } else if (c == ',' && section.integer_placeholders + section.fraction_placeholders > 0 &&
               !section.scientific) {
      ++pending_commas;
    } else if ((c == 'E' || c == 'e') && at + 1 < text.size() &&
               (text[at + 1] == '+' || text[at + 1] == '-') && !section.scientific &&
               section.integer_placeholders + section.fraction_placeholders > 0) {
      settle_commas();
      section.scientific = true;
      section.exponent_plus = text[++at] == '+';
      section.items.push_back({Section::Item::Kind::kExponent, std::string(1, c), 0});
    } else if (c == '"') {
      const std::size_t close = text.find('"', at + 1);
      if (close == std::string_view::npos) return std::nullopt;
      literal(std::string(text.substr(at + 1, close - at - 1)));
      at = close;
    } else if (c == '\\') {
      if (++at >= text.size()) return std::nullopt;
      literal(std::string(1, text[at]));
    } else if (c == '%') {
      section.scale += 2;
      literal("%");
    } else if (static_cast<unsigned char>(c) >= 0x80 ||
               std::string_view(" $+-():/'").find(c) != std::string_view::npos) {
      literal(std::string(1, c));
    } else {
      return std::nullopt;  // letters (dates, times, text), a second ".", @ ? * _ ...
    }
  }
  settle_commas();
  const int from_right = [&] {
    int index = 0;
    for (const auto& item : section.items) {
      if (item.kind != Section::Item::Kind::kInteger) continue;
      if (item.placeholder == '0') return section.integer_placeholders - 1 - index;
      ++index;
    }
    return -1;
  }();
  section.integer_zeros_from = from_right;
  if (section.scientific && section.exponent_digits == 0) section.exponent_digits = 1;
  return section;
}

// The integer digits of `decimal` as the section's integer placeholders show them, with the
// thousands separators: placeholder `index` (from the left) gets its own digit, the leftmost
// all the digits beyond.
std::string IntegerDigits(const Decimal& decimal, const Section& section, int index) {
  const int count = section.integer_placeholders;
  const int place = count - 1 - index;
  const int digits = std::max(decimal.point, section.integer_zeros_from + 1);
  std::string out;
  const int top = index == 0 ? std::max(digits - 1, place) : place;
  for (int p = top; p >= place; --p) {
    if (p >= digits) continue;  // a # with no digit to show
    out += DigitAt(decimal, p);
    if (section.grouping && p > 0 && p % 3 == 0) out += ',';
  }
  return out;
}

// `value` (its magnitude) shown by `section`; sets `zero` when every digit shown is 0.
std::string Render(const CellValue& value, const Section& section, bool& zero) {
  Decimal decimal = DecimalOf(value);
  if (!decimal.digits.empty()) decimal.point += section.scale;
  int exponent = 0;
  if (section.scientific) {
    const int leading = std::max(1, section.integer_placeholders);
    if (!decimal.digits.empty()) {
      exponent = decimal.point - leading;
      decimal.point = leading;
      decimal = Rounded(decimal, section.fraction_placeholders);
      if (decimal.point > leading) {  // 9.99E+00 rounded up to 10.0: one more power of ten
        ++exponent;
        decimal.point = leading;
      }
    }
  } else {
    decimal = Rounded(decimal, section.fraction_placeholders);
  }
  zero = decimal.digits.empty();
  // The fraction's digits, the optional trailing zeros dropped.
  std::string fraction;
  for (int i = 0; i < section.fraction_placeholders; ++i) fraction += DigitAt(decimal, -1 - i);
  while (static_cast<int>(fraction.size()) > section.fraction_required && !fraction.empty() &&
         fraction.back() == '0')
    fraction.pop_back();
  std::string out;
  int integer_index = 0;
  int fraction_index = 0;
  for (const Section::Item& item : section.items) {
    switch (item.kind) {
      case Section::Item::Kind::kLiteral:
        out += item.text;
        break;
      case Section::Item::Kind::kInteger:
        out += IntegerDigits(decimal, section, integer_index++);
        break;
      case Section::Item::Kind::kPoint:
        out += '.';
        break;
      case Section::Item::Kind::kFraction:
        if (fraction_index < static_cast<int>(fraction.size()))
          out += fraction[static_cast<std::size_t>(fraction_index)];
        ++fraction_index;
        break;
      case Section::Item::Kind::kExponent: {
        std::string digits = std::to_string(exponent < 0 ? -exponent : exponent);
        if (static_cast<int>(digits.size()) < section.exponent_digits)
          digits.insert(0, static_cast<std::size_t>(section.exponent_digits) - digits.size(), '0');
        out += item.text + (exponent < 0 ? "-" : section.exponent_plus ? "+" : "") + digits;
        break;
      }
    }
  }
  return out;
}

// The FORMAT text a named format stands for, or `format` itself.
std::string_view Named(std::string_view format) {
  static constexpr std::pair<std::string_view, std::string_view> kNamed[] = {
      {"Currency", "$#,##0.00;($#,##0.00)"},
      {"Fixed", "0.00"},
      {"Standard", "#,##0.00"},
      {"Percent", "0.00%"},
      {"Scientific", "0.00E+00"},
  };
  for (const auto& [name, text] : kNamed)
    if (platform::EqualsIgnoringCase(format, name)) return text;
  return format;
}

// Splits `format` at the ";" outside quotes and not after "\".
std::vector<std::string_view> Sections(std::string_view format) {
  std::vector<std::string_view> sections;
  std::size_t start = 0;
  bool quoted = false;
  for (std::size_t at = 0; at < format.size(); ++at) {
    if (format[at] == '"') {
      quoted = !quoted;
    } else if (format[at] == '\\' && !quoted) {
      ++at;
    } else if (format[at] == ';' && !quoted) {
      sections.push_back(format.substr(start, at - start));
      start = at + 1;
    }
  }
  sections.push_back(format.substr(std::min(start, format.size())));
  return sections;
}

}  // namespace

std::string ValueText(const CellValue& value) {
  switch (value.kind) {
    case CellValue::Kind::kNull:
      return "";
    case CellValue::Kind::kInteger:
      return std::to_string(value.integer);
    case CellValue::Kind::kReal:
      break;
  }
  if (std::isnan(value.real)) return "NaN";
  if (std::isinf(value.real)) return value.real < 0 ? "-Infinity" : "Infinity";
  // Fixed notation only where every integer is a double, so that what looks exact is.
  constexpr double kExactIntegers = 9007199254740992.0;  // 2^53
  const double magnitude = std::fabs(value.real);
  const bool fixed = magnitude == 0 || (magnitude >= 1e-4 && magnitude < kExactIntegers);
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value.real,
                                 fixed ? std::chars_format::fixed : std::chars_format::scientific);
  return std::string(buffer, end.ptr);
}

std::string FormatValue(const CellValue& value, std::string_view format) {
  if (value.kind == CellValue::Kind::kNull) return "";
  const bool finite = value.kind == CellValue::Kind::kInteger || std::isfinite(value.real);
  if (!finite || format.empty()) return ValueText(value);
  const bool is_zero =
      value.kind == CellValue::Kind::kInteger ? value.integer == 0 : value.real == 0;
  for (const auto& [name, yes, no] :
       {std::tuple{"Yes/No", "Yes", "No"}, std::tuple{"True/False", "True", "False"},
        std::tuple{"On/Off", "On", "Off"}})
    if (platform::EqualsIgnoringCase(format, name)) return is_zero ? no : yes;
  if (platform::EqualsIgnoringCase(format, "General Number") ||
      platform::EqualsIgnoringCase(format, "General"))
    return ValueText(value);

  const std::vector<std::string_view> texts = Sections(Named(format));
  if (texts.size() > 4 || texts[0].empty()) return ValueText(value);
  std::vector<Section> sections;
  for (const std::string_view text : texts) {
    auto section = ReadSection(text);
    if (!section) return ValueText(value);
    sections.push_back(std::move(*section));
  }
  const bool negative = IsNegative(value) && !is_zero;
  bool zero = false;
  if (is_zero && texts.size() >= 3 && !texts[2].empty()) return Render(value, sections[2], zero);
  if (negative && texts.size() >= 2 && !texts[1].empty()) return Render(value, sections[1], zero);
  const std::string shown = Render(value, sections[0], zero);
  return negative && !zero ? "-" + shown : shown;
}

std::string DisplayValue(const CellValue& value, std::optional<int> decimals,
                         const platform::NumberSeparators& separators) {
  if (value.kind == CellValue::Kind::kNull) return "";
  if (value.kind == CellValue::Kind::kReal && !std::isfinite(value.real)) return ValueText(value);
  // The figure as a FORMAT with "," and "." shows it, its separators then swapped for the
  // locale's: "," and "." stand for nothing else in the formats made here.
  std::string format = "#,##0";
  int fraction = 0;
  if (decimals) {
    fraction = std::clamp(*decimals, 0, kMaxShownDecimals);
  } else if (value.kind == CellValue::Kind::kReal) {
    const Decimal full = DecimalOf(value);
    const Decimal shown = Rounded(full, kShownSignificantDigits - full.point);
    const int digits = static_cast<int>(shown.digits.size());
    if (!shown.digits.empty() && (shown.point > kShownSignificantDigits || shown.point < -4)) {
      // One digit before the point, the others after it (no point for one digit alone).
      format = digits > 1 ? "0." + std::string(static_cast<std::size_t>(digits - 1), '0') : "0";
      format += "E+00";
    } else {
      fraction = std::max(0, digits - shown.point);
    }
  }
  if (fraction > 0) format += "." + std::string(static_cast<std::size_t>(fraction), '0');
  const std::string text = FormatValue(value, format);
  std::string shown;
  shown.reserve(text.size() + 8);
  for (const char c : text) {
    if (c == ',')
      shown += separators.thousands;
    else if (c == '.')
      shown += separators.decimal;
    else
      shown += c;
  }
  return shown;
}

std::string ReadableValue(const CellValue& value, std::string_view format,
                          std::optional<int> decimals,
                          const platform::NumberSeparators& separators) {
  return format.empty() ? DisplayValue(value, decimals, separators) : FormatValue(value, format);
}

}  // namespace cubemill::query
