#include "vbscript_lexer.h"

namespace cubemill::fuzz {
namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool LexedScript::InsideLiteral(std::size_t pos, std::size_t length) const {
  for (const auto& [begin, end] : literals) {
    if (pos > begin && pos + length < end) return true;
  }
  return false;
}

LexedScript LexVbScript(std::string_view text) {
  LexedScript lexed;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char c = text[pos];
    if (c == '"') {
      const std::size_t begin = pos++;
      for (;;) {
        if (pos >= text.size() || IsLineEnd(text[pos])) {
          lexed.problem = "string literal at " + std::to_string(begin) + " not closed on its line";
          return lexed;
        }
        if (text[pos] == '"') {
          if (pos + 1 < text.size() && text[pos + 1] == '"') {
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        ++pos;
      }
      lexed.literals.emplace_back(begin, pos);
      continue;
    }
    if (c == '\'') {  // a comment: skip to the line end
      while (pos < text.size() && !IsLineEnd(text[pos])) ++pos;
      continue;
    }
    if (c == '_' && (pos == 0 || IsBlank(text[pos - 1]) || IsLineEnd(text[pos - 1])) &&
        (pos + 1 == text.size() || IsBlank(text[pos + 1]) || IsLineEnd(text[pos + 1]))) {
      std::size_t next = pos + 1;
      while (next < text.size() && IsBlank(text[next])) ++next;
      if (next == text.size()) {
        lexed.problem = "line continuation at " + std::to_string(pos) + " ends the text";
        return lexed;
      }
      if (!IsLineEnd(text[next])) {
        lexed.problem = "line continuation at " + std::to_string(pos) + " followed by more text";
        return lexed;
      }
      pos = next;
      continue;
    }
    ++pos;
  }
  return lexed;
}

}  // namespace cubemill::fuzz
