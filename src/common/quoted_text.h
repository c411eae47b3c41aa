// The one reading of a value between quotes whose closing character, doubled, stands for itself:
// "a ""b""" is a "b", [x]]y] is x]y, 'it''s' is it's. CREATE CUBE and INSERT INTO names and
// strings, the engine's connection string, ODBC values in braces, MDX names and strings and the
// OQY connection line all quote this way. Beside it, the one writing of a name in brackets.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cubemill {

struct QuotedText {
  std::string value;  // the text between the quotes, each doubled closing character halved
  std::size_t end;    // the position just past the closing character; the text's size if none
  bool closed;        // false when the text ends inside the quotes
};

// Reads the quoted value whose opening character stands at `open` in `text` and that ends at the
// first `close` not doubled. An unclosed value keeps what follows the opening character.
inline QuotedText ScanQuoted(std::string_view text, std::size_t open, char close) {
  QuotedText quoted{"", text.size(), false};
  std::size_t i = open + 1;
  while (i < text.size()) {
    const std::size_t next = text.find(close, i);
    if (next == std::string_view::npos) break;
    quoted.value.append(text, i, next - i);
    if (next + 1 < text.size() && text[next + 1] == close) {
      quoted.value += close;
      i = next + 2;
      continue;
    }
    quoted.end = next + 1;
    quoted.closed = true;
    return quoted;
  }
  if (i < text.size()) quoted.value.append(text, i);
  return quoted;
}

// Returns `name` as statements, queries and messages write the name of a cube, dimension,
// hierarchy, level, member or measure: in brackets, with "]" doubled ([Sales Region], [a]]b]).
// ScanQuoted(Bracketed(name), 0, ']').value is `name` again.
inline std::string Bracketed(std::string_view name) {
  std::string bracketed = "[";
  for (char c : name) {
    bracketed += c;
    if (c == ']') bracketed += ']';
  }
  return bracketed + "]";
}

// Returns the unique name of the measure called `name`: [Measures].[Amount].
inline std::string MeasureUniqueName(std::string_view name) {
  return "[Measures]." + Bracketed(name);
}

}  // namespace cubemill
