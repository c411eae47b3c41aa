// The structure of a cube as CREATE CUBE declares it, how INSERT INTO feeds it from the columns
// of its SELECT, and the one table of keywords of each of its enums.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cubemill::provider {

// One keyword for one value of an enum. Each enum below has one table of them, which the
// statement parser, the cube-file writer and the builder all read, so a keyword is spelled once.
template <typename Enum>
struct Keyword {
  Enum value;
  std::string_view text;  // upper case; statements match it in any letter case
};

// Returns the keyword of `value` in `table`, or "" when the table has none.
template <typename Enum, std::size_t N>
constexpr std::string_view KeywordOf(const Keyword<Enum> (&table)[N], Enum value) {
  for (const Keyword<Enum>& keyword : table) {
    if (keyword.value == value) return keyword.text;
  }
  return {};
}

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

// A level's TYPE. The cube file names kRegular REGULAR; CREATE CUBE has no such word (a level
// without TYPE is regular).
inline constexpr Keyword<LevelType> kLevelTypeKeywords[] = {
    {LevelType::kRegular, "REGULAR"}, {LevelType::kAll, "ALL"},
    {LevelType::kYear, "YEAR"},       {LevelType::kQuarter, "QUARTER"},
    {LevelType::kMonth, "MONTH"},     {LevelType::kWeek, "WEEK"},
    {LevelType::kDay, "DAY"},         {LevelType::kDayOfWeek, "DAYOFWEEK"},
    {LevelType::kDate, "DATE"},       {LevelType::kHour, "HOUR"},
    {LevelType::kMinute, "MINUTE"},   {LevelType::kSecond, "SECOND"},
};

enum class MemberOrder { kByName, kByKey };

// A level's order: the OPTIONS keyword of CREATE CUBE, and the word the cube file's
// member_order column holds.
struct MemberOrderKeyword {
  MemberOrder value;
  std::string_view option;
  std::string_view file_word;
};
inline constexpr MemberOrderKeyword kMemberOrderKeywords[] = {
    {MemberOrder::kByName, "SORTBYNAME", "NAME"},
    {MemberOrder::kByKey, "SORTBYKEY", "KEY"},
};

// Returns the entry of kMemberOrderKeywords for `order`.
constexpr const MemberOrderKeyword& MemberOrderKeywordOf(MemberOrder order) {
  for (const MemberOrderKeyword& keyword : kMemberOrderKeywords) {
    if (keyword.value == order) return keyword;
  }
  return kMemberOrderKeywords[0];
}

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

// A measure's FUNCTION, as CREATE CUBE and the cube file write it.
inline constexpr Keyword<AggregateFunction> kAggregateFunctionKeywords[] = {
    {AggregateFunction::kSum, "SUM"},
    {AggregateFunction::kCount, "COUNT"},
    {AggregateFunction::kMin, "MIN"},
    {AggregateFunction::kMax, "MAX"},
};

// What a measure's TYPE asks of its values: integers, reals, or whatever comes.
enum class NumberClass { kAny, kInteger, kReal };

// The TYPE keywords of a measure, each with what it asks of the values (DBTYPE_DATE: nothing).
inline constexpr Keyword<NumberClass> kMeasureTypeKeywords[] = {
    {NumberClass::kInteger, "DBTYPE_I1"},   {NumberClass::kInteger, "DBTYPE_I2"},
    {NumberClass::kInteger, "DBTYPE_I4"},   {NumberClass::kInteger, "DBTYPE_I8"},
    {NumberClass::kInteger, "DBTYPE_UI1"},  {NumberClass::kInteger, "DBTYPE_UI2"},
    {NumberClass::kInteger, "DBTYPE_UI4"},  {NumberClass::kInteger, "DBTYPE_UI8"},
    {NumberClass::kReal, "DBTYPE_R4"},      {NumberClass::kReal, "DBTYPE_R8"},
    {NumberClass::kReal, "DBTYPE_CY"},      {NumberClass::kReal, "DBTYPE_DECIMAL"},
    {NumberClass::kReal, "DBTYPE_NUMERIC"}, {NumberClass::kAny, "DBTYPE_DATE"},
};

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
