// The MDX parser's parts, shared by its files: the tokens (mdx_tokenizer.cpp), the clauses
// (mdx_parser.cpp) and the expressions (mdx_expressions.cpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "query/functions/function.h"
#include "query/parser/mdx_parser.h"

namespace cubemill::query::parser {

struct Token {
  enum class Kind { kWord, kBracketed, kSymbol, kNumber, kString, kEnd };
  Kind kind = Kind::kEnd;
  std::string text;          // a string's text has its quotes taken off and doubled ones halved
  std::size_t position = 0;  // 1-based character offset
  // A bracketed name that holds a "[" of its own: where that "[" is, else 0. Such a name most
  // likely ran on from a "[" that was never closed.
  std::size_t inner_bracket = 0;
  // A string's bytes in the text, both quotes included: a quoted formula is read again from
  // them, so that the positions inside it are those of the query.
  std::size_t offset = 0;
  std::size_t length = 0;
  // A number's value, its sign aside; or why it cannot be read (too large, too many decimals),
  // which fails the query where the parser reads the number.
  MdxNumber number;
  std::string number_error;
};

// A query error at a character offset; caught at the parser's boundary.
struct ParseFailure {
  std::string what;
  std::size_t position = 0;
  bool complete = false;  // `what` names its place itself: the whole message
};

[[noreturn]] void Fail(std::string what, std::size_t position);
[[noreturn]] void FailTooDeep(std::size_t position);

// `text` cut to its first 40 characters (UTF-8), "..." marking the cut.
std::string Shortened(const std::string& text);

// Whether `token` is the word `word` (in capitals), in any letter case.
bool Is(const Token& token, const char* word);

// The tokens of `text`. Positions are counted from the text's start, or, for the text of a
// quoted formula, looked up in `positions` (one for each byte and one for the end).
std::vector<Token> Tokenize(std::string_view text,
                            const std::vector<std::size_t>* positions = nullptr);

// The error for a failure at `position` when a bracketed name before it holds a "[" of its
// own: that name most likely began at a "[" that was never closed and swallowed the query up to
// the next "]", so that "[" is what to fix, not the place where the query stopped making sense.
std::optional<std::string> RunawayBracket(const std::vector<Token>& tokens, std::size_t position);

// The words that begin or part the query's clauses and the operators that are words: never a
// bare name part (a member so named is written in brackets).
inline constexpr const char* kKeywords[] = {
    "SELECT", "ON", "FROM", "WHERE", "NON", "EMPTY", "COLUMNS",   "ROWS",       "WITH", "MEMBER",
    "SET",    "AS", "AND",  "OR",    "XOR", "NOT",   "DIMENSION", "PROPERTIES", "CELL",
};

class Parser {
 public:
  // Reads `tokens`, taken from `text`; `end` names the end of the tokens in messages.
  Parser(std::string_view text, const std::vector<Token>& tokens, const char* end)
      : text_(text), tokens_(tokens), end_(end) {}

  MdxQuery Query();
  MdxDrillthrough Drillthrough();

  MdxExpression Formula();

 private:
  const Token& Peek() const { return tokens_[next_]; }
  // The token after Peek(); the end again at the end.
  const Token& PeekSecond() const { return tokens_[std::min(next_ + 1, tokens_.size() - 1)]; }
  const Token& Next();
  static bool IsSymbol(const Token& token, std::string_view symbol);
  static bool IsSymbol(const Token& token, char symbol);
  static bool IsKeyword(const Token& token);
  std::string Describe(const Token& token) const;
  void Expect(const char* word);
  void ExpectSymbol(char symbol);
  void ExpectClosing(char symbol, const Token& open);

  void Formulas(MdxQuery& query);

  MdxExpression FormulaValue();

  MdxExpression Quoted(const Token& quoted);

  void MemberProperties(MdxFormula& formula);

  void Select(MdxQuery& query);

  void Axes(MdxQuery& query);

  void From(MdxQuery& query);

  std::string AxisNumber(const Token& name);

  std::vector<NamePart> NameList(const char* what);

  std::vector<NamePart> NameParts(const char* what);

  NamePart PlainPart(const char* what);

  std::size_t Raise(std::size_t height, std::size_t position) const;

  // Counts a level that is read by recursion (a bracket, a function's parentheses, a prefix
  // operator, a subselect) while its operands are read; the recursion stops at kMaxMdxNesting,
  // so that no query runs the stack out.
  class Nesting {
   public:
    Nesting(std::size_t& depth, std::size_t position) : count_(depth) {
      // The operands are at least one level high.
      if (++count_ + 1 > kMaxMdxNesting) {
        --count_;
        FailTooDeep(position);
      }
    }
    ~Nesting() { --count_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

   private:
    std::size_t& count_;
  };

  // Each of the expression's readers sets `height` to the height of the expression it returns:
  // 1 for a name, a number or a string, one more than its highest operand for the others. A
  // run of binary operators is read in a loop, so that its length costs no stack.

  MdxExpression Binary(MdxExpression left, std::size_t& height,
                       MdxExpression (Parser::*operand)(std::size_t&));

  MdxExpression Expression(std::size_t& height);

  MdxExpression Conjunction(std::size_t& height);

  MdxExpression Negation(std::size_t& height);

  MdxExpression Prefix(const char* text, std::size_t& height,
                       MdxExpression (Parser::*operand)(std::size_t&));

  static bool IsComparison(const Token& token);

  MdxExpression Comparison(std::size_t& height);

  MdxExpression Additive(std::size_t& height);

  MdxExpression Multiplicative(std::size_t& height);

  MdxExpression Signed(std::size_t& height);

  MdxExpression Range(std::size_t& height);

  MdxExpression Term(std::size_t& height);

  bool StartsNumber() const;

  MdxExpression Number();

  MdxExpression Call(const functions::Function& function, std::size_t& height);

  // Fails at the first argument of `call` from `first` on that is not of the kind `function`
  // takes there, or at the call when it has too few or too many.
  static void CheckArguments(const functions::Function& function, const MdxExpression& call,
                             std::size_t first);
  // The arguments in parentheses of a call: appended to `call`'s operands.
  std::size_t Arguments(const functions::Function& function, MdxExpression& call);

  MdxExpression Primary(std::size_t& height);

  MdxExpression Name();

  // Whether `token` is a word that names a function written after a ".".
  static bool IsFunction(const Token& token);

  NamePart Part();

  std::string_view text_;
  const std::vector<Token>& tokens_;
  const char* end_;
  std::size_t next_ = 0;
  std::size_t depth_ = 0;  // the levels read by recursion around the expression being read
};

}  // namespace cubemill::query::parser
