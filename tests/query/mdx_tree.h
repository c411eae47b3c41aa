// Expected parse trees as the parser tests write them: calls of the catalog's functions by name,
// and numbers with their values.
#pragma once

#include <charconv>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "query/functions/catalog.h"
#include "query/parser/mdx_query.h"

namespace cubemill::query::test {

// The catalog's function `name` (any letter case): one called by name, else one written after
// a ".".
inline const functions::Function* FunctionNamed(const std::string& name) {
  const functions::Function* function = functions::Find(name, functions::Syntax::kCall);
  return function != nullptr ? function : functions::Find(name, functions::Syntax::kDotted);
}

inline MdxExpression Call(const std::string& name, std::size_t position,
                          std::vector<MdxExpression> operands) {
  return {MdxExpression::Kind::kCall, position, {}, std::move(operands), FunctionNamed(name)};
}

// A dotted function applied to `operand`, where it starts.
inline MdxExpression Apply(const std::string& name, MdxExpression operand) {
  const std::size_t position = operand.position;
  return Call(name, position, {std::move(operand)});
}

// The value of the number written `text` ("-3", "0.25").
inline MdxNumber NumberValue(const std::string& text) {
  MdxNumber number;
  number.whole = text.find('.') == std::string::npos;
  if (number.whole) {
    number.integer = std::stoll(text);
    number.real = static_cast<double>(number.integer);
  } else {
    std::from_chars(text.data() + (text[0] == '-' ? 1 : 0), text.data() + text.size(), number.real);
    if (text[0] == '-') number.real = -number.real;
  }
  return number;
}

// A node's kind as the tests name it: a call's function ("TopCount"), else "name", "number"...
inline std::string ShapeOf(const MdxExpression& e) {
  using Kind = MdxExpression::Kind;
  switch (e.kind) {
    case Kind::kCall:
      return e.function->name;
    case Kind::kName:
      return "name";
    case Kind::kSet:
      return "set";
    case Kind::kTuple:
      return "tuple";
    case Kind::kRange:
      return "range";
    case Kind::kString:
      return "string";
    case Kind::kUnary:
      return "unary";
    case Kind::kBinary:
      return "binary";
    case Kind::kNumber:
      return "number";
    case Kind::kFlag:
      return "flag";
  }
  return "";
}

}  // namespace cubemill::query::test
