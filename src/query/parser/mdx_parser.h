// Parses the MDX cubemill-query answers (keywords and function names without regard to case):
//   query   := [WITH formula+] SELECT [axis (',' axis)*] FROM from [WHERE expr]
//              [CELL PROPERTIES name (',' name)*] [';']
//   formula := MEMBER name AS value (',' property '=' value)* | SET name AS value
//   axis    := [NON EMPTY] expr [DIMENSION PROPERTIES name (',' name)*] ON axis-name
//   from    := cube-name | '(' SELECT axis (',' axis)* FROM from [WHERE expr] ')'
// Formulas follow one another with no separator. A formula's value is an expression, or, when
// a string is all of it (AS 'Sum(...)'), the expression that string holds, its positions those
// of the query. A member keeps SOLVE_ORDER (a whole number) and FORMAT_STRING (a string); it
// reads VISIBLE, NON_EMPTY_BEHAVIOR, CAPTION, LANGUAGE, FORE_COLOR, BACK_COLOR, FONT_NAME,
// FONT_SIZE, FONT_FLAGS and SCOPE_ISOLATION and drops them; any other property, or one given
// twice, fails. Of a property's name (MEMBER_CAPTION, [Geography].[Country].[MEMBER_KEY]) the last
// part is kept. A subselect goes in MdxQuery::subselect, and its cube is the query's cube too. An
// axis is named COLUMNS, 0 or AXIS(0), ROWS, 1 or AXIS(1), and PAGES, 2 or AXIS(2), which needs
// the other two; a higher axis number fails.
//
// Expressions, the loosest operators first; each binary one is a kBinary, left to right:
//   expr     := and ((OR | XOR) and)*
//   and      := not (AND not)*
//   not      := NOT not | compare
//   compare  := additive [('=' | '<>' | '<' | '>' | '<=' | '>=') additive]   (no chains)
//   additive := multiply (('+' | '-') multiply)*
//   multiply := unary (('*' | '/') unary)*
//   unary    := '-' unary | range
//   range    := term [':' term]
//   term     := primary ('.' function)*
//   primary  := number | string | '{' [expr (',' expr)*] '}' | '(' expr (',' expr)* ')'
//             | function '(' [argument (',' argument)*] ')' | name
// A name is a unique name: [Geography].&[7].[Valencia], words or bracketed parts. The functions
// are those of the catalog (functions/catalog.h): called by name, CrossJoin(a, b), or written
// after a ".", [Time].[2024].Children and .Lag(n); a bracketed [Name] stays a name part. Each
// call is checked for the number and the kinds of its arguments ("Head needs a set at 12",
// "Head needs a whole number at 18"); an unknown one fails ("unknown function Foo at 8").
// A flag argument (ALL, SELF_AND_AFTER, DESC...) is a flag only
// where the function takes one.
// A number is digits with decimals or without ("12", "0.25"), "-" right before it for a negative
// one; a whole one is kept without its leading zeros, one with decimals as written. A string is
// in '...' or "...", its quote doubled inside for the quote itself. The words that begin or
// part clauses (SELECT, ON, FROM, WHERE, NON, EMPTY, COLUMNS, ROWS, WITH, MEMBER, SET, AS,
// DIMENSION, PROPERTIES, CELL) and the operators AND, OR, XOR and NOT are no bare name parts:
// a member so named is written in brackets.
// Comments run from "--" or "//" to the end of the line, or from "/*" to "*/"; within a
// bracketed name or a string these are plain characters.
#pragma once

#include <cstddef>
#include <string_view>

#include "common/error.h"
#include "query/parser/mdx_query.h"

namespace cubemill::query {

// The source every query error names.
inline constexpr char kQuerySource[] = "MDX";

// The most levels a query's expressions may nest: a name, a number or a string is one level,
// and each {...}, (...), function, operator, ":" and "."-function adds one over its highest
// operand; a subselect adds one to every expression inside it. The bound keeps the parser's
// recursion, and every walk over the tree after it, far from the stack's end.
inline constexpr std::size_t kMaxMdxNesting = 200;

// The longest query text, in bytes.
inline constexpr std::size_t kMaxMdxLength = 1 << 20;

// Returns the query, or an error naming what was wrong and the 1-based character offset where
// it was found ("expected ON, found \"FROM\" at 28"). Keywords are matched without regard to
// case. A query nested deeper than kMaxMdxNesting fails ("the query nests deeper than 200
// levels at 412", the place where the level too many opens), as does one longer than
// kMaxMdxLength. A "[" never closed is named where it stands ("unclosed [ at 19"), also when a
// later "]" closed it as a name that swallowed part of the query. A "/*" never closed fails
// where it stands ("unclosed /* comment at 30"), as does a string never closed ("unclosed
// string at 12"). A number longer than 18 digits before its point or after it fails.
Result<MdxQuery> ParseMdx(std::string_view text);

// Whether `text` starts with the word DRILLTHROUGH (comments aside): a statement for
// ParseDrillthrough, which ParseMdx refuses.
bool IsDrillthrough(std::string_view text);

// Reads DRILLTHROUGH [MAXROWS n] SELECT ... [RETURN name (, name)*] [;]: the SELECT as ParseMdx
// reads one (without CELL PROPERTIES), MAXROWS a whole number of 0 or more, each RETURN name a
// unique name. Fails as ParseMdx does.
Result<MdxDrillthrough> ParseDrillthrough(std::string_view text);

}  // namespace cubemill::query
