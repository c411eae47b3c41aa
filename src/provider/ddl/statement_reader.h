// A cursor over the tokens of one statement, with the error messages both statement parsers
// share.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/error.h"
#include "provider/ddl/tokenizer.h"

namespace cubemill::provider::ddl {

class StatementReader {
 public:
  // Reads `text`; `label` ("CREATE CUBE", "INSERT INTO") starts every error message.
  StatementReader(std::string_view text, std::string label);

  // The current token (kEnd at the end of the statement).
  const Token& Peek() const { return current_; }
  // Returns the current token and moves to the next one.
  Token Take();
  // Moves past the current token if it is the bare word `keyword` (any letter case).
  bool TakeKeyword(std::string_view keyword);
  // Moves past the current token if it is the punctuation character `c`.
  bool TakePunct(char c);
  // Returns the current token if it can stand for a name, else the error "expected <what>".
  Result<Token> TakeName(std::string_view what);

  // The statement's text that `token` covers, as written (brackets and quotes included).
  std::string_view Source(const Token& token) const;
  // The statement text from `position` (1-based) to its end.
  std::string_view Rest(std::size_t position) const;

  // An engine statement error "<label>: <description>".
  Error Fail(const std::string& description) const;
  // The error "expected <what> at position N, found "X"" for the current token; if the current
  // token is a tokenizer error, that error instead.
  Error Expected(std::string_view what) const;
  // The error "<construct> is not supported, at position N".
  Error Unsupported(std::string_view construct, std::size_t position) const;

 private:
  std::string_view text_;
  std::string label_;
  Tokenizer tokenizer_;
  Token current_;
};

}  // namespace cubemill::provider::ddl
