#include "query/parser/mdx_parser.h"

#include <algorithm>
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "common/quoted_text.h"
#include "platform/ascii_text.h"
#include "query/binder/cube_model.h"
#include "query/parser/parser.h"

namespace cubemill::query {

std::string NameText(const std::vector<NamePart>& parts) {
  std::string text;
  for (const NamePart& part : parts) {
    if (!text.empty()) text += '.';
    if (part.is_key) text += '&';
    text += Bracketed(part.text);
  }
  return text;
}

namespace parser {

// query := [WITH formula+] select [CELL PROPERTIES name (',' name)*] [';']
MdxQuery Parser::Query() {
  if (Is(Peek(), "DRILLTHROUGH"))
    Fail(
        "DRILLTHROUGH asks for the rows under a cell, which a query of cells does not answer: "
        "use the drillthrough entry point",
        Peek().position);
  MdxQuery query;
  if (Is(Peek(), "WITH")) {
    Next();
    Formulas(query);
  }
  Expect("SELECT");
  Select(query);
  if (Is(Peek(), "CELL")) {
    Next();
    Expect("PROPERTIES");
    query.cell_properties = NameList("a cell property");
  }
  if (IsSymbol(Peek(), ';')) Next();
  if (Peek().kind != Token::Kind::kEnd)
    Fail("expected the end of the query, found " + Describe(Peek()), Peek().position);
  return query;
}

// drillthrough := DRILLTHROUGH [MAXROWS n] SELECT select [RETURN name (',' name)*] [';']
MdxDrillthrough Parser::Drillthrough() {
  MdxDrillthrough drillthrough;
  Expect("DRILLTHROUGH");
  if (Is(Peek(), "MAXROWS")) {
    Next();
    if (!StartsNumber()) Fail("MAXROWS needs a whole number", Peek().position);
    const Token& at = Peek();
    const MdxExpression number = Number();
    if (!number.number.whole || number.number.integer < 0)
      Fail("MAXROWS needs a whole number of 0 or more", at.position);
    drillthrough.max_rows = number.number.integer;
  }
  Expect("SELECT");
  Select(drillthrough.select);
  if (Is(Peek(), "RETURN")) {
    Next();
    do {
      if (!drillthrough.returns.empty()) Next();
      drillthrough.returns.push_back(NameParts("a level or a measure to return"));
    } while (IsSymbol(Peek(), ','));
  }
  if (IsSymbol(Peek(), ';')) Next();
  if (Peek().kind != Token::Kind::kEnd)
    Fail("expected the end of the statement, found " + Describe(Peek()), Peek().position);
  return drillthrough;
}

const Token& Parser::Next() {
  const Token& token = tokens_[next_];
  if (token.kind != Token::Kind::kEnd) ++next_;
  return token;
}

bool Parser::IsSymbol(const Token& token, std::string_view symbol) {
  return token.kind == Token::Kind::kSymbol && token.text == symbol;
}

bool Parser::IsSymbol(const Token& token, char symbol) {
  return IsSymbol(token, std::string_view(&symbol, 1));
}

bool Parser::IsKeyword(const Token& token) {
  return std::any_of(std::begin(kKeywords), std::end(kKeywords),
                     [&](const char* word) { return Is(token, word); });
}

std::string Parser::Describe(const Token& token) const {
  switch (token.kind) {
    case Token::Kind::kEnd:
      return end_;
    case Token::Kind::kBracketed:
      return Bracketed(Shortened(token.text));
    case Token::Kind::kString:
      return "'" + Shortened(token.text) + "'";
    default:
      return "\"" + Shortened(token.text) + "\"";
  }
}

void Parser::Expect(const char* word) {
  const Token& token = Next();
  if (!Is(token, word))
    Fail(std::string("expected ") + word + ", found " + Describe(token), token.position);
}

void Parser::ExpectSymbol(char symbol) {
  const Token& token = Next();
  if (!IsSymbol(token, symbol))
    Fail(std::string("expected \"") + symbol + "\", found " + Describe(token), token.position);
}

// Expects the symbol that closes `open` (a "{" or a "(").
void Parser::ExpectClosing(char symbol, const Token& open) {
  const Token& token = Next();
  if (!IsSymbol(token, symbol))
    Fail(std::string("expected \"") + symbol + "\" to close the \"" + open.text + "\" at " +
             std::to_string(open.position) + ", found " + Describe(token),
         token.position);
}

// select := SELECT [axis (',' axis)*] FROM from [WHERE expression], SELECT read already. Without
// an axis the columns are one empty tuple, "()": the answer is the one cell of the WHERE clause.
void Parser::Select(MdxQuery& query) {
  if (Is(Peek(), "FROM"))
    query.columns.set = {MdxExpression::Kind::kTuple, Peek().position, {}, {}};
  else
    Axes(query);
  Expect("FROM");
  From(query);
  if (Is(Peek(), "WHERE")) {
    Next();
    std::size_t height = 0;
    query.where = Expression(height);
  }
}

// axis := [NON EMPTY] expression [DIMENSION PROPERTIES name (',' name)*] ON axis-name
void Parser::Axes(MdxQuery& query) {
  bool have_columns = false;
  std::size_t rows_position = 0, pages_position = 0;
  for (;;) {
    MdxAxis axis;
    if (Is(Peek(), "NON")) {
      Next();
      Expect("EMPTY");
      axis.non_empty = true;
    }
    std::size_t height = 0;
    axis.set = Expression(height);
    if (Is(Peek(), "DIMENSION")) {
      Next();
      Expect("PROPERTIES");
      axis.properties = NameList("a dimension property");
    }
    const Token& on = Peek();
    if (!Is(on, "ON")) Fail("expected ON, found " + Describe(on), on.position);
    Next();
    const Token& name = Next();
    const std::string number = AxisNumber(name);
    const bool columns = Is(name, "COLUMNS") || number == "0";
    const bool rows = Is(name, "ROWS") || number == "1";
    const bool pages = Is(name, "PAGES") || number == "2";
    if (!columns && !rows && !pages) {
      if (!number.empty())
        Fail("only COLUMNS, ROWS and PAGES, AXIS(0) to AXIS(2), are answered: found AXIS(" +
                 Shortened(number) + ")",
             name.position);
      Fail("expected COLUMNS, ROWS, PAGES or AXIS(n), found " + Describe(name), name.position);
    }
    if (columns) {
      if (have_columns) Fail("the COLUMNS axis is given twice", name.position);
      query.columns = std::move(axis);
      have_columns = true;
    } else if (rows) {
      if (query.rows) Fail("the ROWS axis is given twice", name.position);
      query.rows = std::move(axis);
      rows_position = name.position;
    } else {
      if (query.pages) Fail("the PAGES axis is given twice", name.position);
      query.pages = std::move(axis);
      pages_position = name.position;
    }
    if (!IsSymbol(Peek(), ',')) break;
    Next();
  }
  if (query.pages && (!have_columns || !query.rows))
    Fail("a query with PAGES needs COLUMNS and ROWS axes", pages_position);
  if (!have_columns) Fail("a query with ROWS needs a COLUMNS axis", rows_position);
}

// from := cube-name | '(' SELECT select ')'. A subselect counts as a level of nesting, and
// the query's cube is the one its subselects read.
void Parser::From(MdxQuery& query) {
  const Token& open = Peek();
  if (IsSymbol(open, '(')) {
    Next();
    const Nesting nesting(depth_, open.position);
    MdxQuery subselect;
    Expect("SELECT");
    Select(subselect);
    ExpectClosing(')', open);
    query.cube = subselect.cube;
    query.cube_position = subselect.cube_position;
    query.subselect.push_back(std::move(subselect));
    return;
  }
  const Token& cube = Next();
  if (cube.kind != Token::Kind::kBracketed && cube.kind != Token::Kind::kWord)
    Fail("expected the cube's name, found " + Describe(cube), cube.position);
  query.cube = cube.text;
  query.cube_position = cube.position;
}

// The number of an axis named `name` as "0" or AXIS(0) (reading the AXIS form's "(0)"), with
// leading zeros dropped; "" for any other name.
std::string Parser::AxisNumber(const Token& name) {
  const Token* number = &name;
  if (Is(name, "AXIS")) {
    const Token& open = Peek();
    ExpectSymbol('(');
    number = &Next();
    if (number->kind != Token::Kind::kNumber || number->text.find('.') != std::string::npos)
      Fail("expected an axis number, found " + Describe(*number), number->position);
    ExpectClosing(')', open);
  }
  if (number->kind != Token::Kind::kNumber || number->text.find('.') != std::string::npos)
    return "";
  const std::size_t first = number->text.find_first_not_of('0');
  return first == std::string::npos ? "0" : number->text.substr(first);
}

// name (',' name)*, each name's last part kept: [Geography].[Country].[Key] gives Key.
std::vector<NamePart> Parser::NameList(const char* what) {
  std::vector<NamePart> names;
  for (;;) {
    names.push_back(NameParts(what).back());
    if (!IsSymbol(Peek(), ',')) return names;
    Next();
  }
}

// part ('.' part)*, every part a name (no function).
std::vector<NamePart> Parser::NameParts(const char* what) {
  std::vector<NamePart> parts{PlainPart(what)};
  while (IsSymbol(Peek(), '.')) {
    Next();
    parts.push_back(PlainPart(what));
  }
  return parts;
}

// A [bracketed] name or a word that is no keyword.
NamePart Parser::PlainPart(const char* what) {
  const Token& token = Next();
  if (token.kind != Token::Kind::kBracketed &&
      (token.kind != Token::Kind::kWord || IsKeyword(token)))
    Fail(std::string("expected ") + what + ", found " + Describe(token), token.position);
  return {token.text, false, token.position};
}

}  // namespace parser

using parser::ParseFailure;
using parser::Parser;
using parser::RunawayBracket;
using parser::Token;
using parser::Tokenize;

Result<MdxQuery> ParseMdx(std::string_view text) {
  if (text.size() > kMaxMdxLength)
    return Error{"the query is longer than " + std::to_string(kMaxMdxLength) + " bytes", 1,
                 kQuerySource};
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(text);
    return Parser(text, tokens, "the end of the query").Query();
  } catch (const ParseFailure& failure) {
    if (failure.complete) return Error{failure.what, 1, kQuerySource};
    return Error{RunawayBracket(tokens, failure.position)
                     .value_or(failure.what + " at " + std::to_string(failure.position)),
                 1, kQuerySource};
  }
}

bool IsDrillthrough(std::string_view text) {
  try {
    if (text.size() > kMaxMdxLength) return false;
    const std::vector<Token> tokens = Tokenize(text);
    return parser::Is(tokens.front(), "DRILLTHROUGH");
  } catch (const ParseFailure&) {
    return false;
  }
}

Result<MdxDrillthrough> ParseDrillthrough(std::string_view text) {
  if (text.size() > kMaxMdxLength)
    return Error{"the statement is longer than " + std::to_string(kMaxMdxLength) + " bytes", 1,
                 kQuerySource};
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(text);
    return Parser(text, tokens, "the end of the statement").Drillthrough();
  } catch (const ParseFailure& failure) {
    if (failure.complete) return Error{failure.what, 1, kQuerySource};
    return Error{RunawayBracket(tokens, failure.position)
                     .value_or(failure.what + " at " + std::to_string(failure.position)),
                 1, kQuerySource};
  }
}

}  // namespace cubemill::query
