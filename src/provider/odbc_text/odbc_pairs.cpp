#include "provider/odbc_text/odbc_pairs.h"

#include <cctype>

#include "platform/ascii_text.h"

namespace cubemill::provider::odbc_text {
namespace {

std::string_view Trim(std::string_view text) { return platform::TrimBlanks(text, kOdbcBlanks); }

// Returns the position of the "}" that closes the brace at `open`, or the end of `text`.
std::size_t ClosingBrace(std::string_view text, std::size_t open) {
  std::size_t i = open + 1;
  while (i < text.size()) {
    if (text[i] == '}') {
      if (i + 1 < text.size() && text[i + 1] == '}') {
        i += 2;
        continue;
      }
      return i;
    }
    ++i;
  }
  return text.size();
}

}  // namespace

std::vector<OdbcPair> SplitOdbcPairs(std::string_view odbc) {
  std::vector<OdbcPair> pairs;
  std::size_t pos = 0;
  while (pos < odbc.size()) {
    const std::size_t start = pos;
    const std::size_t equals = odbc.find('=', pos);
    std::size_t end = odbc.find(';', pos);
    if (equals != std::string_view::npos && equals < end) {
      std::size_t value = equals + 1;
      while (value < odbc.size() && IsOdbcBlank(odbc[value])) ++value;
      if (value < odbc.size() && odbc[value] == '{')
        end = odbc.find(';', ClosingBrace(odbc, value));
    }
    if (end == std::string_view::npos) end = odbc.size();
    const std::string_view text = odbc.substr(start, end - start);
    if (!Trim(text).empty()) {
      OdbcPair pair;
      pair.text = text;
      const std::size_t eq = text.find('=');
      pair.has_equals = eq != std::string_view::npos;
      pair.key = text.substr(0, eq);
      if (pair.has_equals) pair.value = text.substr(eq + 1);
      pairs.push_back(pair);
    }
    pos = end + 1;
  }
  return pairs;
}

std::string OdbcKeyName(std::string_view key) {
  std::string result;
  for (char c : key) {
    if (!IsOdbcBlank(c)) result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return result;
}

std::string OdbcValueText(std::string_view value) {
  value = Trim(value);
  if (value.size() < 2 || value.front() != '{' || value.back() != '}') return std::string(value);
  std::string unquoted;
  for (std::size_t i = 1; i + 1 < value.size(); ++i) {
    unquoted += value[i];
    if (value[i] == '}' && value[i + 1] == '}') ++i;
  }
  return unquoted;
}

std::string QuoteOdbcValue(std::string_view value) {
  const bool plain =
      value.find_first_of(";{}") == std::string_view::npos && Trim(value).size() == value.size();
  if (plain) return std::string(value);
  std::string quoted = "{";
  for (char c : value) {
    quoted += c;
    if (c == '}') quoted += '}';
  }
  return quoted + "}";
}

}  // namespace cubemill::provider::odbc_text
