// The values of expressions: numbers and strings, operators, and cells pointed at.
#include <cstdint>
#include <string>
#include <vector>

#include "query/execution/evaluation.h"
#include "query/functions/function.h"
#include "query/query_failure.h"

namespace cubemill::query {

namespace {

using Kind = MdxExpression::Kind;
using provider::cubefile::CellValue;

bool IsSetOperator(const MdxExpression& e) {
  if (e.kind != Kind::kBinary) return false;
  const std::string& op = e.parts.front().text;
  return op == "+" || op == "-" || op == "*";
}

}  // namespace

double Value::Number() const {
  switch (type) {
    case Type::kInteger:
      return static_cast<double>(integer);
    case Type::kReal:
      return real;
    case Type::kBool:
      return truth ? 1 : 0;
    default:
      return 0;
  }
}

Value FromCell(const CellValue& cell) {
  switch (cell.kind) {
    case CellValue::Kind::kInteger:
      return Value::Integer(cell.integer);
    case CellValue::Kind::kReal: {
      Value value = Value::Real(cell.real);
      value.rest = cell.rest;
      return value;
    }
    case CellValue::Kind::kNull:
      break;
  }
  return {};
}

CellValue ToCell(const Value& value) {
  switch (value.type) {
    case Value::Type::kInteger:
      return {CellValue::Kind::kInteger, value.integer, 0};
    case Value::Type::kReal:
      return {CellValue::Kind::kReal, 0, value.real, value.rest};
    default:
      return {};
  }
}

bool Truth(const Value& value, std::size_t position) {
  switch (value.type) {
    case Value::Type::kEmpty:
      return false;
    case Value::Type::kString:
      throw QueryFailure("a string where a condition is needed", position);
    case Value::Type::kBool:
      return value.truth;
    default:
      return value.Number() != 0;
  }
}

int Compare(const Value& a, const Value& b, std::size_t position) {
  const bool text = a.type == Value::Type::kString || b.type == Value::Type::kString;
  if (text) {
    if ((!a.Empty() && a.type != Value::Type::kString) ||
        (!b.Empty() && b.type != Value::Type::kString))
      throw QueryFailure("a string compared with a number", position);
    return a.text < b.text ? -1 : a.text == b.text ? 0 : 1;
  }
  if (a.type == Value::Type::kInteger && b.type == Value::Type::kInteger)
    return a.integer < b.integer ? -1 : a.integer == b.integer ? 0 : 1;
  const double x = a.Number(), y = b.Number();
  return x < y ? -1 : x > y ? 1 : 0;
}

Value Evaluation::ValueAt(const MdxExpression& e, const Coord& at) {
  const Deeper deeper(*this, e.position);
  switch (e.kind) {
    case Kind::kNumber:
      return e.number.whole ? Value::Integer(e.number.integer) : Value::Real(e.number.real);
    case Kind::kString:
      return Value::String(e.parts.front().text);
    case Kind::kTuple:
      if (e.operands.size() == 1) return ValueAt(e.operands.front(), at);
      break;
    case Kind::kUnary:
      return Unary(e, at);
    case Kind::kBinary:
      if (!IsSetOperator(e) || !IsSetValued(e)) return Binary(e, at);
      break;
    case Kind::kCall:
      if (e.function->returns == functions::Returns::kValue) {
        Context context(*this, at);
        return e.function->value(context, e);
      }
      break;
    default:
      break;
  }
  // A member, a tuple or a name: the value of the cell it points at from here.
  const TupleList tuple = SetAt(e, at, "a value");
  if (tuple.count == 0) return {};
  if (tuple.count > 1) {
    throw QueryFailure("a set of " + Grouped(tuple.count) + " tuples where a value is needed",
                       e.position);
  }
  return CellAt(With(at, tuple, 0));
}

// Whether a "+", "-" or "*" stands between sets rather than values: sets are in braces, are
// functions of sets or levels, or are names of levels or named sets. Members and tuples are
// values there, as an analyst writes [Measures].[Amount] * 2 or [A] - [B].
bool Evaluation::IsSetValued(const MdxExpression& e) const {
  switch (e.kind) {
    case Kind::kSet:
    case Kind::kRange:
      return true;
    case Kind::kCall:
      return e.function->returns == functions::Returns::kSet ||
             e.function->returns == functions::Returns::kLevel;
    case Kind::kBinary:
      return IsSetOperator(e) &&
             (IsSetValued(e.operands.front()) || IsSetValued(e.operands.back()));
    case Kind::kName: {
      const NameBinding& name = bound_.NameOf(e);
      return name.kind == NameBinding::Kind::kNamedSet ||
             (name.kind == NameBinding::Kind::kCube && name.ref.kind == NameRef::Kind::kLevel);
    }
    default:
      return false;
  }
}

Value Evaluation::Unary(const MdxExpression& e, const Coord& at) {
  const Value value = ValueAt(e.operands.front(), at);
  if (e.parts.front().text == "NOT") return Value::Bool(!Truth(value, e.position));
  if (value.Empty()) return {};
  if (value.type == Value::Type::kString)
    throw QueryFailure("\"-\" needs a number, found a string", e.position);
  if (value.type == Value::Type::kInteger && value.integer != INT64_MIN)
    return Value::Integer(-value.integer);
  return Value::Real(-value.Number());
}

Value Evaluation::Binary(const MdxExpression& e, const Coord& at) {
  const std::string& op = e.parts.front().text;
  if (op == "AND" || op == "OR") {
    const bool left = Truth(ValueAt(e.operands[0], at), e.operands[0].position);
    if (op == "AND" && !left) return Value::Bool(false);
    if (op == "OR" && left) return Value::Bool(true);
    return Value::Bool(Truth(ValueAt(e.operands[1], at), e.operands[1].position));
  }
  const Value a = ValueAt(e.operands[0], at);
  const Value b = ValueAt(e.operands[1], at);
  if (op == "XOR") return Value::Bool(Truth(a, e.position) != Truth(b, e.position));
  if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=") {
    const int order = Compare(a, b, e.position);
    if (op == "=") return Value::Bool(order == 0);
    if (op == "<>") return Value::Bool(order != 0);
    if (op == "<") return Value::Bool(order < 0);
    if (op == ">") return Value::Bool(order > 0);
    if (op == "<=") return Value::Bool(order <= 0);
    return Value::Bool(order >= 0);
  }
  if (a.type == Value::Type::kString || b.type == Value::Type::kString) {
    if (op == "+" && a.type != Value::Type::kEmpty && b.type != Value::Type::kEmpty &&
        a.type == b.type)
      return Value::String(a.text + b.text);
    if (op == "+" && (a.Empty() || b.Empty())) return a.Empty() ? b : a;
    throw QueryFailure("\"" + op + "\" needs two numbers" + (op == "+" ? " or two strings" : ""),
                       e.position);
  }
  // Two empty operands give an empty cell; one empty operand counts as 0 (January's change
  // against an empty December is January's value). A division by zero gives an empty cell: a
  // ratio over nothing is unknown, not 0 and not infinite.
  if (a.Empty() && b.Empty()) return {};
  const Value x = a.Empty() ? Value::Integer(0) : a;
  const Value y = b.Empty() ? Value::Integer(0) : b;
  if (op == "/") {
    if (y.Number() == 0) return {};
    return Value::Real(x.Number() / y.Number());
  }
  if (x.type == Value::Type::kInteger && y.type == Value::Type::kInteger) {
    std::int64_t out = 0;
    const bool overflow = op == "+"   ? __builtin_add_overflow(x.integer, y.integer, &out)
                          : op == "-" ? __builtin_sub_overflow(x.integer, y.integer, &out)
                                      : __builtin_mul_overflow(x.integer, y.integer, &out);
    if (!overflow) return Value::Integer(out);
  }
  const double p = x.Number(), q = y.Number();
  return Value::Real(op == "+" ? p + q : op == "-" ? p - q : p * q);
}

std::vector<Value> Evaluation::ValuesOver(const TupleList& set, const MdxExpression* value,
                                          const Coord& at) {
  std::vector<Value> values;
  values.reserve(set.count);
  for (std::size_t t = 0; t < set.count; ++t) {
    const Coord there = With(at, set, t);
    values.push_back(value != nullptr ? ValueAt(*value, there) : CellAt(there));
  }
  return values;
}

}  // namespace cubemill::query
