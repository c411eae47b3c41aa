// A small VBScript lexer for checking generated script text: where its string literals are, and
// whether the text lexes at all.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cubemill::fuzz {

// Where the string literals of a script text are, or what stopped the lexer.
struct LexedScript {
  std::string problem;  // "" when the text lexes
  // [begin, end) of each literal, its quotes included, in order.
  std::vector<std::pair<std::size_t, std::size_t>> literals;

  // True when [pos, pos + length) lies between the quotes of one literal.
  bool InsideLiteral(std::size_t pos, std::size_t length) const;
};

// Lexes `text` as VBScript, as far as literals and lines go. Lines end at CR LF, CR or LF. A
// string literal runs from a double quote to the next lone one ("" inside stands for a quote)
// and must close before its line ends. A ' outside a literal starts a comment up to the line end.
// A "_" standing alone (a blank or the line start before it) continues the line and must be the
// last thing on its line but blanks, and a line must follow it.
LexedScript LexVbScript(std::string_view text);

}  // namespace cubemill::fuzz
