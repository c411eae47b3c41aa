// Splits CREATE CUBE and INSERT INTO statements into tokens, each with its place in the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cubemill::provider::ddl {

enum class TokenKind {
  kWord,         // bare identifier or keyword: a letter or "_" followed by letters, digits, _ $ #
  kBracketName,  // [any text], "]]" standing for "]"
  kQuotedName,   // "any text", "" standing for "
  kString,       // 'any text', '' standing for '
  kNumber,       // digits, optionally with a fraction or trailing letters (0x1F)
  kPunct,        // one of ( ) , . ;
  kEnd,          // the end of the statement
  kError,        // text that forms no token; `text` says why
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  // The value: a name without its brackets or quotes and with escapes undone, a string's
  // contents, the punctuation character, or for kError the description of the fault.
  std::string text;
  std::size_t position = 0;  // 1-based offset of the token's first character
  std::size_t length = 0;    // number of characters the token covers in the statement
  bool operator==(const Token&) const = default;
};

// Reads the tokens of one statement on demand, so a caller can stop before text that follows
// other rules (the SELECT of INSERT INTO).
class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : text_(text) {}

  // Returns the next token; after the last one, kEnd at the end of the text. A quote or bracket
  // that is never closed, or a character that starts no token, gives a kError token (and every
  // later call gives it again).
  Token Next();

 private:
  Token ReadDelimited(char close, TokenKind kind, const char* what);
  Token Fail(std::size_t start, std::string description);

  std::string_view text_;
  std::size_t offset_ = 0;
  bool failed_ = false;
  Token failure_;
};

// Returns every token of `text` in order, ending with the kEnd token or the first kError token.
std::vector<Token> Tokenize(std::string_view text);

// True for tokens that can stand for a name: bare words (keywords included), bracketed and
// double-quoted names.
bool IsName(const Token& token);

// True when `token` is the bare word `keyword` in any letter case; bracketed or quoted names
// are never keywords.
bool IsKeyword(const Token& token, std::string_view keyword);

// True when `token` is the punctuation character `c`.
bool IsPunct(const Token& token, char c);

}  // namespace cubemill::provider::ddl
