// The WITH clause: calculated members and named sets, their values in quotes or not, and the
// properties a calculated member declares.
#include <algorithm>
#include <climits>
#include <iterator>
#include <string>
#include <utility>

#include "platform/ascii_text.h"
#include "query/parser/parser.h"

namespace cubemill::query::parser {

namespace {

// The properties of a calculated member that are read and not used.
constexpr const char* kIgnoredProperties[] = {
    "VISIBLE",    "NON_EMPTY_BEHAVIOR", "CAPTION",   "LANGUAGE",   "FORE_COLOR",
    "BACK_COLOR", "FONT_NAME",          "FONT_SIZE", "FONT_FLAGS", "SCOPE_ISOLATION",
};

}  // namespace

// A whole quoted formula: one expression and the end.
MdxExpression Parser::Formula() {
  std::size_t height = 0;
  MdxExpression expression = Expression(height);
  if (Peek().kind != Token::Kind::kEnd)
    Fail(std::string("expected ") + end_ + ", found " + Describe(Peek()), Peek().position);
  return expression;
}

// formula := MEMBER name AS value (',' property '=' value)* | SET name AS value, where a
// value is an expression or its text in quotes.
void Parser::Formulas(MdxQuery& query) {
  do {
    const Token& word = Next();
    MdxFormula formula;
    formula.position = word.position;
    if (Is(word, "MEMBER")) {
      formula.kind = MdxFormula::Kind::kMember;
      formula.name = NameParts("the member's name");
    } else if (Is(word, "SET")) {
      formula.kind = MdxFormula::Kind::kSet;
      formula.name.push_back(PlainPart("the set's name"));
    } else {
      Fail("expected MEMBER or SET, found " + Describe(word), word.position);
    }
    Expect("AS");
    formula.expression = FormulaValue();
    if (formula.kind == MdxFormula::Kind::kMember) MemberProperties(formula);
    query.formulas.push_back(std::move(formula));
  } while (Is(Peek(), "MEMBER") || Is(Peek(), "SET"));
}

// A string that is all of the formula's value is the formula's text (AS 'Sum(...)'); a
// string within an expression is a string.
MdxExpression Parser::FormulaValue() {
  const Token& after = PeekSecond();
  if (Peek().kind == Token::Kind::kString &&
      (IsSymbol(after, ',') || Is(after, "MEMBER") || Is(after, "SET") || Is(after, "SELECT") ||
       after.kind == Token::Kind::kEnd))
    return Quoted(Next());
  std::size_t height = 0;
  return Expression(height);
}

// The expression in the string `quoted`, read with the positions its characters have in the
// query: a doubled quote is one character of the formula and two of the query.
MdxExpression Parser::Quoted(const Token& quoted) {
  const char quote = text_[quoted.offset];
  const std::size_t closing = quoted.offset + quoted.length - 1;
  std::vector<std::size_t> positions;
  positions.reserve(quoted.text.size() + 1);
  std::size_t characters = 1;  // the opening quote
  for (std::size_t at = quoted.offset + 1; at < closing; ++at) {
    positions.push_back(quoted.position + characters);
    if (text_[at] == quote) {
      ++at;
      ++characters;
    }
    if ((static_cast<unsigned char>(text_[at]) & 0xC0) != 0x80) ++characters;
  }
  positions.push_back(quoted.position + characters);
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(quoted.text, &positions);
    return Parser(quoted.text, tokens, "the end of the quoted formula").Formula();
  } catch (const ParseFailure& failure) {
    if (failure.complete) throw;
    if (auto runaway = RunawayBracket(tokens, failure.position))
      throw ParseFailure{*runaway, failure.position, true};
    throw;
  }
}

// SOLVE_ORDER = n and FORMAT_STRING = 'text' are kept; the others are read and dropped.
void Parser::MemberProperties(MdxFormula& formula) {
  std::vector<std::string> given;
  while (IsSymbol(Peek(), ',')) {
    Next();
    const Token& property = Next();
    if (property.kind != Token::Kind::kWord)
      Fail("expected a property of the member, found " + Describe(property), property.position);
    const std::string name = platform::UpperAscii(property.text);
    const bool ignored = std::any_of(std::begin(kIgnoredProperties), std::end(kIgnoredProperties),
                                     [&](const char* word) { return name == word; });
    if (!ignored && name != "SOLVE_ORDER" && name != "FORMAT_STRING")
      Fail("unknown property " + Shortened(property.text), property.position);
    if (std::find(given.begin(), given.end(), name) != given.end())
      Fail("the property " + Shortened(property.text) + " is given twice", property.position);
    given.push_back(name);
    ExpectSymbol('=');
    const Token& value = Peek();
    if (name == "SOLVE_ORDER") {
      if (!StartsNumber()) Fail("SOLVE_ORDER needs a whole number", value.position);
      const MdxExpression number = Number();
      if (!number.number.whole) Fail("SOLVE_ORDER needs a whole number", value.position);
      const long long order = number.number.integer;
      if (order < INT_MIN || order > INT_MAX)
        Fail("SOLVE_ORDER " + number.parts.front().text + " is out of range", value.position);
      formula.solve_order = static_cast<int>(order);
    } else if (name == "FORMAT_STRING") {
      if (value.kind != Token::Kind::kString) Fail("FORMAT_STRING needs a string", value.position);
      formula.format_string = Next().text;
    } else {
      std::size_t height = 0;
      Expression(height);
    }
  }
}

}  // namespace cubemill::query::parser
