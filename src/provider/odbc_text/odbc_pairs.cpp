#include "provider/odbc_text/odbc_pairs.h"

#include <cctype>

#include "common/quoted_text.h"

namespace cubemill::provider::odbc_text {

std::vector<ConnectionPair> SplitPairs(std::string_view text, const PairSyntax& syntax) {
  std::vector<ConnectionPair> pairs;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const std::size_t equals = text.find('=', pos);
    std::size_t end = text.find(';', pos);
    if (equals != std::string_view::npos && equals < end) {
      const std::size_t value = text.find_first_not_of(syntax.blanks, equals + 1);
      const std::size_t opener = value == std::string_view::npos ? std::string_view::npos
                                                                 : syntax.openers.find(text[value]);
      if (opener != std::string_view::npos) {
        // The ";" that ends the pair comes after the closing character (not doubled).
        end = text.find(';', ScanQuoted(text, value, syntax.closers[opener]).end);
      }
    }
    if (end == std::string_view::npos) end = text.size();
    const std::string_view piece = text.substr(start, end - start);
    if (!platform::TrimBlanks(piece, syntax.blanks).empty()) {
      ConnectionPair pair;
      pair.text = piece;
      const std::size_t eq = piece.find('=');
      pair.has_equals = eq != std::string_view::npos;
      pair.key = piece.substr(0, eq);
      if (pair.has_equals) pair.value = piece.substr(eq + 1);
      pairs.push_back(pair);
    }
    pos = end + 1;
  }
  return pairs;
}

std::vector<ConnectionPair> SplitOdbcPairs(std::string_view odbc) {
  return SplitPairs(odbc, kOdbcPairSyntax);
}

std::string OdbcKeyName(std::string_view key) {
  std::string result;
  for (char c : key) {
    if (!IsOdbcBlank(c)) result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return result;
}

std::string OdbcValueText(std::string_view value) {
  value = TrimOdbcBlanks(value);
  if (value.size() < 2 || value.front() != '{' || value.back() != '}') return std::string(value);
  std::string unquoted;
  for (std::size_t i = 1; i + 1 < value.size(); ++i) {
    unquoted += value[i];
    if (value[i] == '}' && value[i + 1] == '}') ++i;
  }
  return unquoted;
}

std::string QuoteOdbcValue(std::string_view value) {
  const bool plain = value.find_first_of(";{}") == std::string_view::npos &&
                     TrimOdbcBlanks(value).size() == value.size();
  if (plain) return std::string(value);
  std::string quoted = "{";
  for (char c : value) {
    quoted += c;
    if (c == '}') quoted += '}';
  }
  return quoted + "}";
}

}  // namespace cubemill::provider::odbc_text
