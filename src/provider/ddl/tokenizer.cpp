#include "provider/ddl/tokenizer.h"

#include <cstdio>

#include "common/quoted_text.h"
#include "platform/ascii_text.h"

namespace cubemill::provider::ddl {
namespace {

// Characters of context shown before the end of a statement that ends inside quotes.
constexpr std::size_t kContextLength = 30;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Bytes above 127 are parts of non-ASCII letters in names.
bool IsHighByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// NUL to US and DEL.
bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

bool StartsWord(char c) { return IsAsciiLetter(c) || c == '_' || IsHighByte(c); }

bool ContinuesWord(char c) { return StartsWord(c) || IsDigit(c) || c == '$' || c == '#'; }

}  // namespace

Token Tokenizer::Fail(std::size_t start, std::string description) {
  failed_ = true;
  failure_ = Token{TokenKind::kError, std::move(description), start + 1, text_.size() - start};
  return failure_;
}

Token Tokenizer::ReadDelimited(char close, TokenKind kind, const char* what) {
  const std::size_t start = offset_;
  QuotedText quoted = ScanQuoted(text_, start, close);
  if (kind != TokenKind::kString) {
    // Caught here, before the source is read, rather than when the cube file is written.
    for (std::size_t i = start + 1; i < quoted.end; ++i) {
      if (!IsControl(text_[i])) continue;
      char code[8];
      std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(text_[i]));
      return Fail(start, std::string(what) + " starting at position " + std::to_string(start + 1) +
                             " holds the control character " + code + " at position " +
                             std::to_string(i + 1) + ": names may not hold control characters");
    }
  }
  if (quoted.closed) {
    offset_ = quoted.end;
    return Token{kind, std::move(quoted.value), start + 1, offset_ - start};
  }
  // The text ends inside the quotes: show where, since the usual cause is a statement that was
  // cut short at a ";" standing inside them.
  std::string_view tail = text_;
  const std::size_t context_start = tail.size() > kContextLength ? tail.size() - kContextLength : 0;
  std::string context(tail.substr(context_start));
  if (context_start > 0) context = "..." + context;
  return Fail(start, std::string("unterminated ") + what + " starting at position " +
                         std::to_string(start + 1) + ": the statement ends inside it, after \"" +
                         context + "\" (was it cut short at a \";\" inside the quotes?)");
}

Token Tokenizer::Next() {
  if (failed_) return failure_;
  while (offset_ < text_.size() && platform::IsBlank(text_[offset_])) ++offset_;
  if (offset_ >= text_.size()) return Token{TokenKind::kEnd, "", text_.size() + 1, 0};

  const std::size_t start = offset_;
  const char c = text_[start];
  if (c == '[') return ReadDelimited(']', TokenKind::kBracketName, "bracketed name");
  if (c == '"') return ReadDelimited('"', TokenKind::kQuotedName, "quoted name");
  if (c == '\'') return ReadDelimited('\'', TokenKind::kString, "string");
  if (c == '(' || c == ')' || c == ',' || c == '.' || c == ';') {
    ++offset_;
    return Token{TokenKind::kPunct, std::string(1, c), start + 1, 1};
  }
  if (StartsWord(c) || IsDigit(c)) {
    const TokenKind kind = IsDigit(c) ? TokenKind::kNumber : TokenKind::kWord;
    while (offset_ < text_.size()) {
      const char d = text_[offset_];
      // A fraction belongs to a number when a digit follows the point.
      if (kind == TokenKind::kNumber && d == '.' && offset_ + 1 < text_.size() &&
          IsDigit(text_[offset_ + 1])) {
        offset_ += 2;
        continue;
      }
      if (!ContinuesWord(d)) break;
      ++offset_;
    }
    return Token{kind, std::string(text_.substr(start, offset_ - start)), start + 1,
                 offset_ - start};
  }
  return Fail(start, std::string("unexpected character \"") + c + "\" at position " +
                         std::to_string(start + 1));
}

std::vector<Token> Tokenize(std::string_view text) {
  Tokenizer tokenizer(text);
  std::vector<Token> tokens;
  while (true) {
    tokens.push_back(tokenizer.Next());
    const TokenKind kind = tokens.back().kind;
    if (kind == TokenKind::kEnd || kind == TokenKind::kError) return tokens;
  }
}

bool IsName(const Token& token) {
  return token.kind == TokenKind::kWord || token.kind == TokenKind::kBracketName ||
         token.kind == TokenKind::kQuotedName;
}

bool IsKeyword(const Token& token, std::string_view keyword) {
  return token.kind == TokenKind::kWord && platform::EqualsIgnoringCase(token.text, keyword);
}

bool IsPunct(const Token& token, char c) {
  return token.kind == TokenKind::kPunct && token.text.size() == 1 && token.text[0] == c;
}

}  // namespace cubemill::provider::ddl
