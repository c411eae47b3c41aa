// A value an expression computes: empty, a number, a string or a truth value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "provider/cubefile/cube_reader.h"

namespace cubemill::query {

struct Value {
  enum class Type { kEmpty, kInteger, kReal, kString, kBool };
  Type type = Type::kEmpty;
  std::int64_t integer = 0;
  double real = 0;
  std::string text;
  bool truth = false;
  // A stored real sum's rest (CellValue::rest), kept so that Sum and Aggregate over cells add
  // exactly; 0 for every value a calculation makes.
  double rest = 0;

  bool Empty() const { return type == Type::kEmpty; }
  bool IsNumber() const {
    return type == Type::kInteger || type == Type::kReal || type == Type::kBool;
  }
  // The value as a double: a truth value as 1 or 0, empty and a string as 0.
  double Number() const;
  // A truth value as the integer 1 or 0; any other value as it is.
  Value AsNumber() const { return type == Type::kBool ? Integer(truth ? 1 : 0) : *this; }

  static Value Integer(std::int64_t n) { return {Type::kInteger, n, 0, {}, false}; }
  static Value Real(double x) { return {Type::kReal, 0, x, {}, false}; }
  static Value String(std::string s) { return {Type::kString, 0, 0, std::move(s), false}; }
  static Value Bool(bool b) { return {Type::kBool, 0, 0, {}, b}; }
};

Value FromCell(const provider::cubefile::CellValue& cell);
provider::cubefile::CellValue ToCell(const Value& value);

// Whether `value` holds as a condition: empty is false, a number is true unless 0; a string
// fails (QueryFailure at `position`).
bool Truth(const Value& value, std::size_t position);

// Orders two values: numbers by size (empty as 0), strings by their bytes (empty as ""); a
// string against a number fails (QueryFailure at `position`). -1, 0 or 1.
int Compare(const Value& a, const Value& b, std::size_t position);

}  // namespace cubemill::query
