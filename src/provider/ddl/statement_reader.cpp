#include "provider/ddl/statement_reader.h"

#include <utility>

#include "provider/engine_error.h"

namespace cubemill::provider::ddl {
namespace {

// Longest piece of a token quoted in a message.
constexpr std::size_t kMaxQuotedLength = 40;

}  // namespace

StatementReader::StatementReader(std::string_view text, std::string label)
    : text_(text), label_(std::move(label)), tokenizer_(text) {
  current_ = tokenizer_.Next();
}

Token StatementReader::Take() {
  Token taken = current_;
  if (current_.kind != TokenKind::kEnd && current_.kind != TokenKind::kError)
    current_ = tokenizer_.Next();
  return taken;
}

bool StatementReader::TakeKeyword(std::string_view keyword) {
  if (!IsKeyword(current_, keyword)) return false;
  Take();
  return true;
}

bool StatementReader::TakePunct(char c) {
  if (!IsPunct(current_, c)) return false;
  Take();
  return true;
}

Result<Token> StatementReader::TakeName(std::string_view what) {
  if (!IsName(current_)) return Expected(what);
  return Take();
}

std::string_view StatementReader::Source(const Token& token) const {
  if (token.position == 0 || token.position > text_.size()) return {};
  return text_.substr(token.position - 1, token.length);
}

std::string_view StatementReader::Rest(std::size_t position) const {
  if (position == 0 || position > text_.size()) return {};
  return text_.substr(position - 1);
}

Error StatementReader::Fail(const std::string& description) const {
  return EngineError(label_ + ": " + description, kStatementErrorNumber);
}

Error StatementReader::Expected(std::string_view what) const {
  if (current_.kind == TokenKind::kError) return Fail(current_.text);
  std::string found;
  if (current_.kind == TokenKind::kEnd) {
    found = "the end of the statement";
  } else {
    std::string source(Source(current_));
    if (source.size() > kMaxQuotedLength) source = source.substr(0, kMaxQuotedLength) + "...";
    found = "\"" + source + "\"";
  }
  return Fail("expected " + std::string(what) + " at position " +
              std::to_string(current_.position) + ", found " + found);
}

Error StatementReader::Unsupported(std::string_view construct, std::size_t position) const {
  return Fail(std::string(construct) + " is not supported, at position " +
              std::to_string(position));
}

}  // namespace cubemill::provider::ddl
