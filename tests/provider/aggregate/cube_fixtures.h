// Hand-made cube schemas and bindings for the engine's build and cube-file tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "provider/cube_schema.h"
#include "provider/row_source.h"

namespace cubemill::provider::test {

inline Level MakeLevel(std::string name, LevelType type = LevelType::kRegular,
                       MemberOrder order = MemberOrder::kByName) {
  Level level;
  level.name = std::move(name);
  level.type = type;
  level.order = order;
  return level;
}

inline Level AllLevel(std::string name) { return MakeLevel(std::move(name), LevelType::kAll); }

// A dimension with one unnamed hierarchy holding `levels`.
inline Dimension MakeDimension(std::string name, std::vector<Level> levels, bool is_time = false) {
  Dimension dimension;
  dimension.name = std::move(name);
  dimension.is_time = is_time;
  dimension.hierarchies.push_back(Hierarchy{"", std::move(levels)});
  return dimension;
}

inline Measure MakeMeasure(std::string name, AggregateFunction function = AggregateFunction::kSum,
                           std::string type = "") {
  Measure measure;
  measure.name = std::move(name);
  measure.function = function;
  measure.type = std::move(type);
  return measure;
}

inline ColumnBinding Bind(ColumnRole role, std::size_t dimension, std::size_t hierarchy,
                          std::size_t level, std::string target) {
  ColumnBinding binding;
  binding.role = role;
  binding.dimension = dimension;
  binding.hierarchy = hierarchy;
  binding.level = level;
  binding.target = std::move(target);
  return binding;
}

inline ColumnBinding LevelColumn(std::size_t d, std::size_t h, std::size_t l, std::string target) {
  return Bind(ColumnRole::kLevel, d, h, l, std::move(target));
}
inline ColumnBinding KeyColumn(std::size_t d, std::size_t h, std::size_t l, std::string target) {
  return Bind(ColumnRole::kLevelKey, d, h, l, std::move(target));
}
inline ColumnBinding NameColumn(std::size_t d, std::size_t h, std::size_t l, std::string target) {
  return Bind(ColumnRole::kLevelName, d, h, l, std::move(target));
}
inline ColumnBinding TimeColumn(std::size_t d, std::size_t h, std::string target) {
  return Bind(ColumnRole::kTime, d, h, 0, std::move(target));
}
inline ColumnBinding SkipColumn() { return Bind(ColumnRole::kSkip, 0, 0, 0, "SKIPONECOLUMN"); }
inline ColumnBinding MeasureColumn(std::size_t m, std::string target) {
  ColumnBinding binding = Bind(ColumnRole::kMeasure, 0, 0, 0, std::move(target));
  binding.measure = m;
  return binding;
}

inline InsertInto MakeInsert(std::string cube, std::vector<ColumnBinding> columns) {
  return InsertInto{std::move(cube), std::move(columns), "SELECT ..."};
}

using Rows = std::vector<std::vector<Value>>;

inline Value Text(const char* text) { return std::string_view(text); }
inline Value Int(std::int64_t value) { return value; }
inline const Value kNull = std::monostate{};

}  // namespace cubemill::provider::test
