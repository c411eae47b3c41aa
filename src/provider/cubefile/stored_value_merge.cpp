#include "provider/cubefile/stored_value_merge.h"

#include "platform/ascii_text.h"
#include "provider/aggregate/measure_merge.h"

namespace cubemill::provider::cubefile {
namespace {

aggregate::CellValue ToAggregate(const CellValue& value) {
  aggregate::CellValue converted;
  switch (value.kind) {
    case CellValue::Kind::kNull:
      break;
    case CellValue::Kind::kInteger:
      converted.state = aggregate::CellState::kInteger;
      converted.integer = value.integer;
      break;
    case CellValue::Kind::kReal:
      converted.state = aggregate::CellState::kReal;
      converted.real = value.real;
      converted.rest = value.rest;
      break;
  }
  return converted;
}

CellValue FromAggregate(const aggregate::CellValue& value) {
  switch (value.state) {
    case aggregate::CellState::kInteger:
      return {CellValue::Kind::kInteger, value.integer, 0};
    case aggregate::CellState::kReal:
      return {CellValue::Kind::kReal, 0, value.real, value.rest};
    case aggregate::CellState::kNull:
      break;
  }
  return {};
}

}  // namespace

std::optional<AggregateFunction> FunctionOfMeasure(const StoredMeasure& measure) {
  for (const Keyword<AggregateFunction>& keyword : kAggregateFunctionKeywords) {
    if (platform::EqualsIgnoringCase(measure.function, keyword.text)) return keyword.value;
  }
  return std::nullopt;
}

bool MergeStoredValue(CellValue& total, const CellValue& value, AggregateFunction function) {
  aggregate::CellValue merged = ToAggregate(total);
  const bool exact = aggregate::MergeValue(merged, ToAggregate(value), function);
  total = FromAggregate(merged);
  return exact;
}

}  // namespace cubemill::provider::cubefile
