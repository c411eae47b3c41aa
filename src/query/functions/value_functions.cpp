// Functions that compute a value: conditions, empty values, and aggregates over a set.
#include <algorithm>
#include <string>
#include <vector>

#include "provider/cubefile/stored_value_merge.h"
#include "query/execution/evaluation.h"
#include "query/functions/catalog.h"
#include "query/query_failure.h"

namespace cubemill::query::functions {

namespace {

using provider::cubefile::CellValue;

// The value of `e`'s second operand (else of the cell) at each tuple of its set.
std::vector<Value> ValuesOver(Context& cx, const MdxExpression& e, const TupleList& set) {
  return cx.Eval().ValuesOver(set, e.operands.size() > 1 ? &e.operands[1] : nullptr, cx.At());
}

// Sum, Avg, Min and Max over the set's values; empty values are passed over, and no value at
// all gives an empty one.
Value Summary(Context& cx, const MdxExpression& e) {
  const std::string name = e.function->name;
  const bool adds = name == "Sum" || name == "Avg";
  const TupleList set = cx.Eval().SetAt(e.operands.front(), cx.At(), name.c_str());
  Value total;
  CellValue sum;  // Sum and Avg add by the stored measures' rule: exactly, rounded once
  std::size_t count = 0;
  for (const Value& value : ValuesOver(cx, e, set)) {
    if (value.Empty()) continue;
    if (value.type == Value::Type::kString)
      throw QueryFailure(name + " needs numbers, found a string", e.position);
    ++count;
    const Value number = value.AsNumber();
    if (adds) {
      provider::cubefile::MergeStoredValue(sum, ToCell(number), provider::AggregateFunction::kSum);
      continue;
    }
    if (total.Empty()) {
      total = number;
      continue;
    }
    const int order = Compare(value, total, e.position);
    if ((name == "Min" && order < 0) || (name == "Max" && order > 0)) total = value;
  }
  if (name == "Sum") return FromCell(sum);
  if (name == "Avg" && count > 0)
    return Value::Real(FromCell(sum).Number() / static_cast<double>(count));
  return total;
}

Value Count(Context& cx, const MdxExpression& e) {
  const TupleList set = cx.Eval().SetAt(e.operands.front(), cx.At(), "Count");
  const bool exclude_empty =
      e.operands.size() > 1 && e.operands[1].parts.front().text == "EXCLUDEEMPTY";
  if (!exclude_empty) return Value::Integer(static_cast<std::int64_t>(set.count));
  std::int64_t count = 0;
  for (const Value& value : cx.Eval().ValuesOver(set, nullptr, cx.At()))
    if (!value.Empty()) ++count;
  return Value::Integer(count);
}

// Aggregate(set [, value]): the cell's measure over the set by its own function. A stored
// measure over a set of the cube's members counts the rows under any of its tuples once, as a
// set in WHERE does; otherwise the values at the tuples merge by the measure's function
// (adding for a calculated measure).
Value Aggregate(Context& cx, const MdxExpression& e) {
  Evaluation& ev = cx.Eval();
  const TupleList set = ev.SetAt(e.operands.front(), cx.At(), "Aggregate");
  const std::size_t measure = cx.At().back();
  if (set.count == 0) return {};
  const std::size_t members = cx.Model().MemberCount();
  const bool stored_members =
      std::none_of(set.shape.begin(), set.shape.end(),
                   [](std::size_t h) { return h == kMeasuresHierarchy; }) &&
      std::none_of(set.items.begin(), set.items.end(), [&](std::size_t m) { return m >= members; });
  if (e.operands.size() == 1 && measure < ev.MeasureCount() && stored_members) {
    if (set.count == 1) return ev.CellAt(ev.With(cx.At(), set, 0));
    Coord there = cx.At();
    const std::uint32_t slot = ev.SlotOf(set);
    for (std::size_t h : set.shape) ev.Put(there, h, slot);
    for (std::size_t h : set.shape) there[h] = slot;
    return ev.CellAt(there);
  }
  const auto function =
      measure < ev.MeasureCount() ? ev.MergeOf(measure) : provider::AggregateFunction::kSum;
  CellValue total;
  for (const Value& value : ValuesOver(cx, e, set)) {
    if (value.type == Value::Type::kString)
      throw QueryFailure("Aggregate needs numbers, found a string", e.position);
    const CellValue cell = ToCell(value.AsNumber());
    if (total.kind == CellValue::Kind::kNull)
      total = cell;
    else
      provider::cubefile::MergeStoredValue(total, cell, function);
  }
  return FromCell(total);
}

Value CoalesceEmpty(Context& cx, const MdxExpression& e) {
  for (const MdxExpression& operand : e.operands) {
    Value value = cx.ValueOf(operand);
    if (!value.Empty()) return value;
  }
  return {};
}

const Function kValues[] = {
    {.name = "IIf",
     .required = "VVV",
     .returns = Returns::kValue,
     .summary = "the second value where the condition holds, else the third",
     .value =
         [](Context& cx, const MdxExpression& e) {
           return Truth(cx.ValueOf(e.operands[0]), e.operands[0].position)
                      ? cx.ValueOf(e.operands[1])
                      : cx.ValueOf(e.operands[2]);
         }},
    {.name = "CoalesceEmpty",
     .required = "VV",
     .repeats = true,
     .returns = Returns::kValue,
     .summary = "the first of the values that is not empty",
     .value = CoalesceEmpty},
    {.name = "IsEmpty",
     .required = "V",
     .returns = Returns::kValue,
     .summary = "whether the value is empty",
     .value =
         [](Context& cx, const MdxExpression& e) {
           return Value::Bool(cx.ValueOf(e.operands.front()).Empty());
         }},
    {.name = "Sum",
     .required = "S",
     .optional = "V",
     .returns = Returns::kValue,
     .summary = "the sum of the values over the set",
     .value = Summary},
    {.name = "Avg",
     .required = "S",
     .optional = "V",
     .returns = Returns::kValue,
     .summary = "the average of the values over the set that are not empty",
     .value = Summary},
    {.name = "Min",
     .required = "S",
     .optional = "V",
     .returns = Returns::kValue,
     .summary = "the least of the values over the set",
     .value = Summary},
    {.name = "Max",
     .required = "S",
     .optional = "V",
     .returns = Returns::kValue,
     .summary = "the greatest of the values over the set",
     .value = Summary},
    {.name = "Count",
     .required = "S",
     .optional = "F",
     .flags = {"EXCLUDEEMPTY", "INCLUDEEMPTY"},
     .returns = Returns::kValue,
     .summary = "how many tuples the set has (with a value, with EXCLUDEEMPTY)",
     .value = Count},
    {.name = "Aggregate",
     .required = "S",
     .optional = "V",
     .returns = Returns::kValue,
     .summary = "the measure over the set by its own function",
     .value = Aggregate},
};

}  // namespace

std::span<const Function> ValueFunctions() { return kValues; }

}  // namespace cubemill::query::functions
