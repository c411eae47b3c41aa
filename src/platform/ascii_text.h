// ASCII letter case and blanks of names and values: upper-casing, comparing, the one blank test,
// trimming; and names as JSON strings.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

namespace cubemill::platform {

// Returns `c` in upper case when it is an ASCII letter, unchanged otherwise (bytes of UTF-8
// characters included).
inline char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Returns `text` with its ASCII letters in upper case; every byte keeps its position.
inline std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = UpperAscii(c);
  return upper;
}

// ASCII classes, the same in every locale (the C library's depend on the process's locale).
inline bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsAsciiLetterOrDigit(char c) { return IsAsciiLetter(c) || IsAsciiDigit(c); }
// Space, tab, LF, vertical tab, form feed and CR: the white space of the C locale.
inline bool IsAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// True when `a` and `b` are equal without regard to ASCII letter case.
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return UpperAscii(x) == UpperAscii(y);
         });
}

// The blanks of the project's texts (statements, settings, connection strings, source values):
// space, tab, CR, LF and form feed. A place that must read fewer names its own set and says why.
inline constexpr std::string_view kBlanks = " \t\r\n\f";

// True when `c` is one of kBlanks.
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

// Returns `text` without the characters of `blanks` at its start and end.
inline std::string_view TrimBlanks(std::string_view text, std::string_view blanks = kBlanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return text.substr(text.size());
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Returns `text` as a JSON string literal: quotes, backslashes and control characters escaped,
// every other byte (UTF-8 included) as it is.
inline std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      json += escaped;
    } else {
      json += c;
    }
  }
  return json + "\"";
}

}  // namespace cubemill::platform
