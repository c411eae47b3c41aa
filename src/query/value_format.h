// A cell's value as text: in full, and as its measure's FORMAT asks.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/number_locale.h"
#include "provider/cubefile/cube_reader.h"

namespace cubemill::query {

// A cell's full value as text, the same in the table, in CSV and in JSON:
// - an integer in decimal, every digit exact;
// - a real in the fewest digits that read back as the same double: in fixed notation when its
//   magnitude is at least 0.0001 and below 2^53 (9007199254740992), else in scientific
//   notation ("1.8000123456789012e+19", "1e-05"), so that a real never reads as an exact
//   integer it is not;
// - "Infinity", "-Infinity" and "NaN" for a real that is not finite;
// - "" for NULL (no value).
std::string ValueText(const provider::cubefile::CellValue& value);

// `value` shown as the FORMAT text `format` asks. Understood: up to four sections separated by
// ";" (positive; negative; zero; the fourth, for NULL, is not used: NULL shows as ""), each of
// digit placeholders 0 (a digit, 0 when there is none) and # (a digit when there is one), one
// "." for the decimal point, "," between placeholders for thousands separators and right of
// them to divide by 1,000 each, "%" to multiply by 100, E+00/E-00 (e too) for scientific
// notation, and literals: text in double quotes, a character after "\", blanks, currency signs
// and the punctuation $ + - ( ) : / and any other character outside ASCII. The separators are
// always "," and "." whatever the locale. The named formats General Number and General (the
// full value), Currency ($#,##0.00;($#,##0.00)), Fixed (0.00), Standard (#,##0.00), Percent
// (0.00%), Scientific (0.00E+00), Yes/No, True/False and On/Off are understood too, in any
// letter case. The value is rounded half away from zero on its full decimal text (exactly for
// integers; a real has no digits beyond those of ValueText, the places past them show as 0). A
// negative value without a section of its own gets a "-" in front unless it rounds to zero. An
// empty format, an unknown one (letters, a second ".", an unclosed quote...), and a value that is
// not finite show the full value (ValueText).
std::string FormatValue(const provider::cubefile::CellValue& value, std::string_view format);

// Spreadsheets show no more digits of a real than this.
inline constexpr int kShownSignificantDigits = 15;

// `value` of a measure without a FORMAT as a person reads it, its thousands and its decimals
// separated by `separators`:
// - with `decimals`, rounded half away from zero (on its full decimal text, as FormatValue
//   rounds) to exactly that many decimals: 3637.9900000000002 with 2 shows as "3,637.99";
// - without, an integer in full ("1,234,567") and a real rounded to at most 15 significant
//   digits, trailing zeros dropped ("3,637.99", "0.1"), in scientific notation when it rounds to
//   1e15 or more or to less than 1e-5 ("1.8000123456789E+19");
// - a negative value gets a "-" unless it rounds to zero; NULL shows as "", a real that is not
//   finite as ValueText shows it.
std::string DisplayValue(const provider::cubefile::CellValue& value, std::optional<int> decimals,
                         const platform::NumberSeparators& separators = {});

// `value` of a measure as a person reads it: as its FORMAT `format` asks (FormatValue, whose
// separators are always "," and "."), or, for a measure without one, as DisplayValue shows it with
// `decimals` and `separators`.
std::string ReadableValue(const provider::cubefile::CellValue& value, std::string_view format,
                          std::optional<int> decimals,
                          const platform::NumberSeparators& separators = {});

}  // namespace cubemill::query
