// Splits connection strings into "key=value" pieces: ODBC's ("key=value;key={value};...") the
// way the driver manager reads them, and with the same splitter the engine's own, whose values
// are quoted instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/ascii_text.h"

namespace cubemill::provider::odbc_text {

// The blanks around keys, values and braces of an ODBC connection string: space and tab only,
// the ones the driver manager skips. A CR or LF there is part of the key or value, so a string
// must not be read with the wider platform::kBlanks, or a key would match here that the driver
// never sees.
inline constexpr std::string_view kOdbcBlanks = " \t";

// True when `c` is one of kOdbcBlanks.
inline bool IsOdbcBlank(char c) { return c == ' ' || c == '\t'; }

// Returns `text` without kOdbcBlanks at its start and end.
inline std::string_view TrimOdbcBlanks(std::string_view text) {
  return platform::TrimBlanks(text, kOdbcBlanks);
}

// How a connection string quotes a value that holds ";": the characters that open a quoted
// value, the one that closes each (doubled inside, it stands for itself), and the blanks that
// may stand between the "=" and the opening character.
struct PairSyntax {
  std::string_view openers;
  std::string_view closers;  // closers[i] closes openers[i]
  std::string_view blanks;
};

// ODBC's syntax: a value in braces, "}}" standing for "}". Quote characters have no meaning.
inline constexpr PairSyntax kOdbcPairSyntax{"{", "}", kOdbcBlanks};

// One piece of a connection string. The views point into the string that was split.
struct ConnectionPair {
  std::string_view text;   // the piece as written, without the ";" that ends it
  std::string_view key;    // the text before its first "=", as written; all of it without "="
  std::string_view value;  // the text after the first "=", as written (blanks and quotes kept)
  bool has_equals = false;
};

// Splits `text` at every ";" that does not stand inside a quoted value of `syntax`. A quoted
// value (syntax.blanks before its opener allowed) runs to its closer and may hold ";"; one that
// is never closed runs to the end. Pieces made only of syntax.blanks are left out.
std::vector<ConnectionPair> SplitPairs(std::string_view text, const PairSyntax& syntax);

// Splits an ODBC connection string as the driver manager does: SplitPairs with kOdbcPairSyntax.
std::vector<ConnectionPair> SplitOdbcPairs(std::string_view odbc);

// Returns `key` in lower case without kOdbcBlanks: the form in which keys are compared.
std::string OdbcKeyName(std::string_view key);

// Returns a value as it reads: without kOdbcBlanks around it and, when it is in braces, without
// them and with "}}" read as "}".
std::string OdbcValueText(std::string_view value);

// Returns `value` the way a connection string must write it: in braces (with "}" doubled) when it
// holds ";", "{" or "}" or starts or ends with one of kOdbcBlanks, unchanged otherwise.
std::string QuoteOdbcValue(std::string_view value);

}  // namespace cubemill::provider::odbc_text
