// Splits ODBC connection strings ("key=value;key={value};...") the way the driver manager reads
// them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cubemill::provider::odbc_text {

// The blanks around keys, values and braces of a connection string: space and tab only, the
// ones the driver manager skips. A CR or LF there is part of the key or value, so a string must
// not be read with the wider platform::kBlanks, or a key would match here that the driver never
// sees.
inline constexpr std::string_view kOdbcBlanks = " \t";

// True when `c` is one of kOdbcBlanks.
inline bool IsOdbcBlank(char c) { return c == ' ' || c == '\t'; }

// One piece of a connection string. The views point into the string that was split.
struct OdbcPair {
  std::string_view text;   // the piece as written, without the ";" that ends it
  std::string_view key;    // the text before its first "=", as written; all of it without "="
  std::string_view value;  // the text after the first "=", as written (blanks and braces kept)
  bool has_equals = false;
};

// Splits `odbc` at every ";" that does not stand inside a value in braces. A value in braces
// (blanks before the "{" allowed) runs to its closing "}", where "}}" stands for "}", and may
// hold ";"; a brace that is never closed runs to the end. Quote characters have no meaning of
// their own. Pieces made only of blanks are left out.
std::vector<OdbcPair> SplitOdbcPairs(std::string_view odbc);

// Returns `key` in lower case without kOdbcBlanks: the form in which keys are compared.
std::string OdbcKeyName(std::string_view key);

// Returns a value as it reads: without kOdbcBlanks around it and, when it is in braces, without
// them and with "}}" read as "}".
std::string OdbcValueText(std::string_view value);

// Returns `value` the way a connection string must write it: in braces (with "}" doubled) when it
// holds ";", "{" or "}" or starts or ends with one of kOdbcBlanks, unchanged otherwise.
std::string QuoteOdbcValue(std::string_view value);

}  // namespace cubemill::provider::odbc_text
