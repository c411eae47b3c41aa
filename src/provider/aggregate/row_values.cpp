#include "provider/aggregate/row_values.h"

#include <cmath>
#include <string>

#include "provider/aggregate/value_text.h"
#include "provider/engine_error.h"
#include "provider/values/value_parsing.h"

namespace cubemill::provider::aggregate {
namespace {

Error ValueError(const ColumnPlan& plan, std::int64_t row_number, std::size_t column,
                 const Value& value, const char* what) {
  return EngineError("row " + std::to_string(row_number) + ", column " +
                         std::to_string(column + 1) + " \"" + plan.targets[column] + "\": \"" +
                         ValueText(value) + "\" is not " + what,
                     kDataErrorNumber);
}

// A count: a whole number of at least 0, given as a number or as text.
std::optional<std::int64_t> ReadCount(const Value& value) {
  std::optional<values::Number> number;
  if (const auto* integer = std::get_if<std::int64_t>(&value)) number = *integer;
  if (const auto* real = std::get_if<double>(&value)) number = *real;
  if (const auto* text = std::get_if<std::string_view>(&value)) number = values::ParseNumber(*text);
  if (!number) return std::nullopt;
  std::int64_t count = -1;
  if (const auto* integer = std::get_if<std::int64_t>(&*number)) {
    count = *integer;
  } else if (!values::AsExactInteger(std::get<double>(*number), count)) {
    return std::nullopt;
  }
  if (count < 0) return std::nullopt;
  return count;
}

}  // namespace

std::optional<std::int64_t> ReadGroupRows(const Value& value) {
  const std::optional<std::int64_t> count = ReadCount(value);
  if (!count || *count == 0) return std::nullopt;
  return count;
}

std::optional<Error> ReadTimes(const ColumnPlan& plan, const std::vector<Value>& row,
                               std::int64_t row_number, std::vector<TimeSlot>& slots) {
  for (std::size_t s = 0; s < plan.time_columns.size(); ++s) {
    const std::size_t column = plan.time_columns[s];
    const Value& value = row[column];
    TimeSlot& slot = slots[s];
    slot.is_null = false;
    switch (value.index()) {
      case 0:
        slot.is_null = true;
        break;
      case 3: {
        const auto parsed = values::ParseDateTime(std::get<std::string_view>(value));
        if (!parsed) return ValueError(plan, row_number, column, value, "a date");
        slot.is_timestamp = std::holds_alternative<Timestamp>(*parsed);
        slot.moment = slot.is_timestamp ? std::get<Timestamp>(*parsed)
                                        : Timestamp{std::get<Date>(*parsed), 0, 0, 0};
        break;
      }
      case 4:
        slot.moment = Timestamp{std::get<Date>(value), 0, 0, 0};
        slot.is_timestamp = false;
        if (!IsValidDate(slot.moment.date)) {
          return ValueError(plan, row_number, column, value, "a date");
        }
        break;
      case 5:
        slot.moment = std::get<Timestamp>(value);
        slot.is_timestamp = true;
        if (!IsValidDate(slot.moment.date)) {
          return ValueError(plan, row_number, column, value, "a date");
        }
        break;
      default:
        return ValueError(plan, row_number, column, value, "a date");
    }
  }
  return std::nullopt;
}

std::optional<Error> ReadMeasures(const ColumnPlan& plan, const std::vector<Value>& row,
                                  std::int64_t row_number, std::vector<Input>& inputs) {
  for (std::size_t m = 0; m < plan.measures.size(); ++m) {
    const MeasurePlan& measure = plan.measures[m];
    const auto column = static_cast<std::size_t>(measure.column);
    const Value& value = row[column];
    Input& input = inputs[m];
    if (value.index() == 0) {
      input.kind = InputKind::kNull;
      continue;
    }
    if (measure.function == AggregateFunction::kCount) {
      if (!plan.counts_given) {
        input.kind = InputKind::kPresent;
        continue;
      }
      const std::optional<std::int64_t> count = ReadCount(value);
      if (!count) return ValueError(plan, row_number, column, value, "a count");
      input.kind = *count == 0 ? InputKind::kNull : InputKind::kInteger;
      input.integer = *count;
      continue;
    }
    switch (value.index()) {
      case 1:
        input.kind = InputKind::kInteger;
        input.integer = std::get<std::int64_t>(value);
        break;
      case 2:
        input.kind = InputKind::kReal;
        input.real = std::get<double>(value);
        break;
      case 3: {
        const auto number = values::ParseNumber(std::get<std::string_view>(value));
        if (!number) return ValueError(plan, row_number, column, value, "a number");
        if (const auto* integer = std::get_if<std::int64_t>(&*number)) {
          input.kind = InputKind::kInteger;
          input.integer = *integer;
        } else {
          input.kind = InputKind::kReal;
          input.real = std::get<double>(*number);
        }
        break;
      }
      default:
        return ValueError(plan, row_number, column, value, "a number");
    }
    if (input.kind == InputKind::kReal && !std::isfinite(input.real)) {
      return ValueError(plan, row_number, column, value, "a finite number");
    }
    if (measure.number_class == NumberClass::kReal && input.kind == InputKind::kInteger) {
      input.kind = InputKind::kReal;
      input.real = static_cast<double>(input.integer);
    } else if (measure.number_class == NumberClass::kInteger && input.kind == InputKind::kReal &&
               values::AsExactInteger(input.real, input.integer)) {
      input.kind = InputKind::kInteger;
    }
  }
  return std::nullopt;
}

}  // namespace cubemill::provider::aggregate
