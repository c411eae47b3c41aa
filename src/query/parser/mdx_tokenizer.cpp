#include <charconv>
#include <string>
#include <utility>

#include "common/quoted_text.h"
#include "platform/ascii_text.h"
#include "query/parser/parser.h"

namespace cubemill::query::parser {

namespace {

// The largest number a query may write, in either sign, and the most digits after its point.
constexpr long long kMaxMdxNumber = 999'999'999'999'999'999;
constexpr std::size_t kMaxMdxDecimals = 18;

// Reads the number token `token` (digits, with decimals or without) into its value: the one
// place where a query's numbers are read, the same in every locale. A whole part beyond
// kMaxMdxNumber or more than kMaxMdxDecimals decimals is the token's error.
void ReadNumber(Token& token) {
  const std::string& digits = token.text;
  const std::size_t point = digits.find('.');
  long long value = 0;
  for (char c : digits.substr(0, point)) {
    if (value > (kMaxMdxNumber - (c - '0')) / 10) {
      token.number_error = "the number " + Shortened(digits) + " is too large";
      return;
    }
    value = value * 10 + (c - '0');
  }
  token.number.whole = point == std::string::npos;
  token.number.real = static_cast<double>(value);
  if (token.number.whole) {
    token.number.integer = value;
    return;
  }
  if (digits.size() - point - 1 > kMaxMdxDecimals) {
    token.number_error = "the number " + Shortened(digits) + " has more than " +
                         std::to_string(kMaxMdxDecimals) + " decimals";
    return;
  }
  std::from_chars(digits.data(), digits.data() + digits.size(), token.number.real);
}

}  // namespace

void Fail(std::string what, std::size_t position) { throw ParseFailure{std::move(what), position}; }

void FailTooDeep(std::size_t position) {
  Fail("the query nests deeper than " + std::to_string(kMaxMdxNesting) + " levels", position);
}

// `text` cut to its first kMaxQuoted characters (UTF-8), "..." marking the cut.
std::string Shortened(const std::string& text) {
  constexpr std::size_t kMaxQuoted = 40;
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
    if (++characters > kMaxQuoted) return text.substr(0, at) + "...";
  }
  return text;
}

bool Is(const Token& token, const char* word) {
  if (token.kind != Token::Kind::kWord) return false;
  std::size_t i = 0;
  for (; word[i] != '\0'; ++i) {
    if (i >= token.text.size() || platform::UpperAscii(token.text[i]) != word[i]) return false;
  }
  return i == token.text.size();
}

// Reads the word, number or symbol at `at` into `token` (its position set); returns where it
// ends. Fails on a character that starts no token.
std::size_t ReadPlain(std::string_view text, std::size_t at, Token& token) {
  const char c = text[at];
  const char following = at + 1 < text.size() ? text[at + 1] : '\0';
  if (platform::IsAsciiLetter(c) || c == '_') {
    token.kind = Token::Kind::kWord;
    std::size_t end = at;
    while (end < text.size() && (platform::IsAsciiLetterOrDigit(text[end]) || text[end] == '_'))
      ++end;
    token.text = std::string(text.substr(at, end - at));
    at = end;
  } else if (platform::IsAsciiDigit(c)) {
    // Digits, with decimals after a "." followed by a digit ("1.Name" is 1 and .Name).
    token.kind = Token::Kind::kNumber;
    std::size_t end = at;
    while (end < text.size() && platform::IsAsciiDigit(text[end])) ++end;
    if (end + 1 < text.size() && text[end] == '.' && platform::IsAsciiDigit(text[end + 1])) {
      ++end;
      while (end < text.size() && platform::IsAsciiDigit(text[end])) ++end;
    }
    token.text = std::string(text.substr(at, end - at));
    ReadNumber(token);
    at = end;
  } else if ((c == '<' && (following == '=' || following == '>')) ||
             (c == '>' && following == '=')) {
    token.kind = Token::Kind::kSymbol;
    token.text = std::string(text.substr(at, 2));
    at += 2;
  } else if (std::string_view("{}(),.*&;:+-/=<>").find(c) != std::string_view::npos) {
    token.kind = Token::Kind::kSymbol;
    token.text = std::string(1, c);
    ++at;
  } else {
    std::size_t length = 1;
    while (at + length < text.size() &&
           (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
      ++length;
    Fail("unexpected character \"" + std::string(text.substr(at, length)) + "\"", token.position);
  }
  return at;
}

std::vector<Token> Tokenize(std::string_view text, const std::vector<std::size_t>* positions) {
  std::vector<Token> tokens;
  std::size_t characters = 0;  // characters before `counted`
  std::size_t counted = 0;     // bytes counted into `characters`
  const auto position_of = [&](std::size_t at) {
    if (positions != nullptr) return (*positions)[at];
    for (; counted < at; ++counted) {
      if ((static_cast<unsigned char>(text[counted]) & 0xC0) != 0x80) ++characters;
    }
    return characters + 1;
  };
  std::size_t at = 0;
  while (at < text.size()) {
    const char c = text[at];
    if (platform::IsAsciiSpace(c)) {
      ++at;
      continue;
    }
    // Comments: "--" and "//" run to the end of the line, "/*" to the next "*/". Inside a
    // bracketed name or a string they are part of it, as those are read whole below.
    const char following = at + 1 < text.size() ? text[at + 1] : '\0';
    if ((c == '-' && following == '-') || (c == '/' && following == '/')) {
      while (at < text.size() && text[at] != '\n') ++at;
      continue;
    }
    if (c == '/' && following == '*') {
      const std::size_t end = text.find("*/", at + 2);
      if (end == std::string_view::npos) Fail("unclosed /* comment", position_of(at));
      at = end + 2;
      continue;
    }
    Token token;
    token.position = position_of(at);
    if (c == '[') {
      token.kind = Token::Kind::kBracketed;
      QuotedText quoted = ScanQuoted(text, at, ']');
      if (!quoted.closed) Fail("unclosed [", token.position);
      const std::size_t inner = text.substr(0, quoted.end).find('[', at + 1);
      if (inner != std::string_view::npos) token.inner_bracket = position_of(inner);
      token.text = std::move(quoted.value);
      at = quoted.end;
    } else if (c == '\'' || c == '"') {
      // A string in either quote; the quote doubled stands for itself.
      token.kind = Token::Kind::kString;
      token.offset = at;
      QuotedText quoted = ScanQuoted(text, at, c);
      if (!quoted.closed) Fail("unclosed string", token.position);
      token.text = std::move(quoted.value);
      token.length = quoted.end - at;
      at = quoted.end;
    } else {
      at = ReadPlain(text, at, token);
    }
    tokens.push_back(std::move(token));
  }
  Token end;
  end.position = position_of(text.size());
  tokens.push_back(end);
  return tokens;
}

std::optional<std::string> RunawayBracket(const std::vector<Token>& tokens, std::size_t position) {
  for (const Token& token : tokens) {
    if (token.position > position) break;
    if (token.kind == Token::Kind::kBracketed && token.inner_bracket != 0)
      return "unclosed [ at " + std::to_string(token.position) +
             " (the name runs on past the [ at " + std::to_string(token.inner_bracket) + ")";
  }
  return std::nullopt;
}

}  // namespace cubemill::query::parser
