// One MDX function as the catalog holds it: how it is written, the arguments it takes, what it
// gives, how it is computed, and its line in the documentation. Adding a function is adding one
// of these to the table of its group (functions/*.cpp).
#pragma once

#include <cstddef>
#include <vector>

#include "query/execution/context.h"

namespace cubemill::query::functions {

// How a query writes the function: Name(arguments), or after what it applies to and a ".":
// [Time].[2024].Children, [Time].CurrentMember.Lag(1).
enum class Syntax { kCall, kDotted };

// What the function gives.
enum class Returns {
  kSet,     // tuples
  kMember,  // one member, or the null member
  kLevel,   // a level; where a set is wanted, its members
  kValue,   // a number, a string or a truth value
};

struct Function {
  const char* name;  // as written in the documentation: "TopCount"
  Syntax syntax = Syntax::kCall;
  // The arguments, one letter each; for a dotted function, those in parentheses after it:
  //   S a set, M a member, E a level: an expression that is no number, string or flag;
  //   L a level or a whole-number distance; N a whole number; D a number, decimals allowed;
  //   V a value: any expression but a flag; F a flag word of `flags`.
  const char* required = "";
  const char* optional = "";
  bool repeats = false;  // the last required letter may come any number of times more
  // An optional argument may be left out between commas (DrilldownLevel(set, , 1)), and a flag
  // word may stand last in place of the optional arguments before it.
  bool gaps = false;
  // Its one argument, a string constant, is read as the MDX expression the string holds when
  // the query is read (StrToSet("{[Geography].[Spain]}")), so that its names are bound with the
  // query's; any other argument fails.
  bool reads_string = false;
  std::vector<const char*> flags = {};
  Returns returns = Returns::kSet;
  // Whether the result depends on the cell it is computed for (its current members) or on
  // stored values: such a function makes the query one with a calculation step, and is
  // computed again in every cell.
  bool per_cell = false;
  const char* summary = "";  // one line for the documentation

  // How it is computed, by `returns`: one of set, member, level and value. `count`, when
  // given, says how many tuples the set has without building it, so that a set beyond the
  // limit fails before it is made; without it the set is built to be counted.
  TupleList (*set)(Context&, const MdxExpression&) = nullptr;
  std::size_t (*count)(Context&, const MdxExpression&) = nullptr;
  MemberValue (*member)(Context&, const MdxExpression&) = nullptr;
  std::size_t (*level)(Context&, const MdxExpression&) = nullptr;  // npos: the null member's
  Value (*value)(Context&, const MdxExpression&) = nullptr;
};

}  // namespace cubemill::query::functions
