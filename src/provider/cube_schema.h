// The structure of a cube as CREATE CUBE declares it, and how INSERT INTO feeds it from the
// columns of its SELECT.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cubemill::provider {

enum class LevelType {
  kRegular,  // no TYPE: members come from a column
  kAll,      // the one top member
  kYear,
  kQuarter,
  kMonth,
  kWeek,
  kDay,
  kDayOfWeek,
  kDate,
  kHour,
  kMinute,
  kSecond,
};

enum class MemberOrder { kByName, kByKey };

struct Level {
  std::string name;
  LevelType type = LevelType::kRegular;
  MemberOrder order = MemberOrder::kByName;
  bool unique_key = false;   // OPTIONS(UNIQUE) or UNIQUE_KEY: keys unique across the level
  bool unique_name = false;  // OPTIONS(UNIQUE_NAME): names unique across the level
  bool operator==(const Level&) const = default;
};

struct Hierarchy {
  std::string name;           // "" for the one unnamed hierarchy of a dimension without HIERARCHY
  std::vector<Level> levels;  // top-down; an ALL level, if any, comes first
  bool operator==(const Hierarchy&) const = default;
};

struct Dimension {
  std::string name;
  bool is_time = false;                // TYPE TIME
  bool named_hierarchies = false;      // declared with HIERARCHY elements
  std::vector<Hierarchy> hierarchies;  // at least one
  bool operator==(const Dimension&) const = default;
};

enum class AggregateFunction { kSum, kCount, kMin, kMax };

struct Measure {
  std::string name;
  AggregateFunction function = AggregateFunction::kSum;
  std::string format;  // FORMAT string, kept for display only ("" when none)
  std::string type;    // TYPE as written, e.g. "DBTYPE_I4" ("" when none)
  bool operator==(const Measure&) const = default;
};

struct CubeSchema {
  std::string name;
  std::vector<Dimension> dimensions;
  std::vector<Measure> measures;
  bool operator==(const CubeSchema&) const = default;
};

// What one SELECT column feeds.
enum class ColumnRole {
  kSkip,       // SKIPONECOLUMN: read and discarded
  kLevel,      // a level target: the value is the member's key and name
  kLevelKey,   // <level>.KEY
  kLevelName,  // <level>.NAME
  kTime,       // a TIME dimension or hierarchy target: one date feeds every typed level
  kMeasure,    // a measure target
};

// `hierarchy` of a kTime binding that feeds every hierarchy of its dimension.
inline constexpr std::size_t kAllHierarchies = static_cast<std::size_t>(-1);

struct ColumnBinding {
  ColumnRole role = ColumnRole::kSkip;
  std::size_t dimension = 0;  // kLevel, kLevelKey, kLevelName, kTime
  std::size_t hierarchy = 0;  // kLevel, kLevelKey, kLevelName; kTime (or kAllHierarchies)
  std::size_t level = 0;      // kLevel, kLevelKey, kLevelName
  std::size_t measure = 0;    // kMeasure
  std::string target;         // the target as written in the statement, for messages
  bool operator==(const ColumnBinding&) const = default;
};

// A parsed INSERT INTO statement: one binding per SELECT column, in order, and the SELECT text
// to send to the source unchanged.
struct InsertInto {
  std::string cube_name;
  std::vector<ColumnBinding> columns;
  std::string select;
  bool operator==(const InsertInto&) const = default;
};

}  // namespace cubemill::provider
