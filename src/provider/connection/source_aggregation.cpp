#include "provider/connection/source_aggregation.h"

#include <algorithm>
#include <array>

#include "platform/ascii_text.h"
#include "provider/aggregate/measure_accumulator.h"

namespace cubemill::provider::connection {
namespace {

using source::WithoutClosingSemicolons;

// "c1, c2, ..., cN": the names the statements give the SELECT's columns.
std::string ColumnNames(std::size_t count) {
  std::string names;
  for (std::size_t c = 0; c < count; ++c) names += (c == 0 ? "c" : ", c") + std::to_string(c + 1);
  return names;
}

// True for a column the source groups by: one that feeds a level or a TIME dimension.
bool IsGrouped(ColumnRole role) {
  return role != ColumnRole::kSkip && role != ColumnRole::kMeasure;
}

// Estimated groups of a grouped statement from its survey (see GroupAtSource); nothing where the
// source gave no estimate.
std::optional<double> PlannedGroups(const SourceFacts& facts) {
  if (facts.rows.empty() || !facts.rows.front()) return std::nullopt;
  const double rows = *facts.rows.front();
  double groups = 1;
  for (std::size_t i = 1; i < facts.rows.size(); ++i) {
    if (!facts.rows[i]) return std::nullopt;
    groups = std::min(rows, groups * std::max(1.0, *facts.rows[i]));
  }
  return groups;
}

// The date_trunc unit that keeps every member a TIME column makes ("month", "quarter", "year"),
// or "" when some level it feeds needs the day or finer (or is not a calendar level).
std::string_view TimeTruncation(const CubeSchema& schema, const ColumnBinding& binding) {
  const Dimension& dimension = schema.dimensions.at(binding.dimension);
  int finest = 0;  // 0: no calendar level yet, 1: year, 2: quarter, 3: month
  for (std::size_t h = 0; h < dimension.hierarchies.size(); ++h) {
    if (binding.hierarchy != kAllHierarchies && binding.hierarchy != h) continue;
    for (const Level& level : dimension.hierarchies[h].levels) {
      switch (level.type) {
        case LevelType::kAll:
          break;
        case LevelType::kYear:
          finest = std::max(finest, 1);
          break;
        case LevelType::kQuarter:
          finest = std::max(finest, 2);
          break;
        case LevelType::kMonth:
          finest = std::max(finest, 3);
          break;
        default:
          return "";
      }
    }
  }
  static constexpr std::array<std::string_view, 4> kUnits = {"", "year", "quarter", "month"};
  return kUnits[static_cast<std::size_t>(finest)];
}

}  // namespace

std::optional<Aggregation> ParseAggregation(std::string_view text) {
  const std::string_view value = platform::TrimBlanks(text);
  if (platform::EqualsIgnoringCase(value, "AUTO")) return Aggregation::kAuto;
  if (platform::EqualsIgnoringCase(value, "CLIENT")) return Aggregation::kClient;
  if (platform::EqualsIgnoringCase(value, "SOURCE")) return Aggregation::kSource;
  return std::nullopt;
}

bool IsServerDbms(std::string_view dbms) {
  // The names the file drivers report: SQLite's, the desktop database and spreadsheet drivers
  // and the text-file drivers. They run a GROUP BY on one thread of the reading process, no
  // faster than the engine aggregates what they hand over.
  static constexpr std::array<std::string_view, 9> kFileEngines = {
      "SQLITE", "ACCESS", "EXCEL", "TEXT", "CSV", "DBASE", "FOXPRO", "PARADOX", "MS JET"};
  const std::string name = platform::UpperAscii(platform::TrimBlanks(dbms));
  if (name.empty()) return false;
  for (std::string_view engine : kFileEngines) {
    if (name.find(engine) != std::string::npos) return false;
  }
  return true;
}

std::vector<std::string> SurveyStatements(const InsertInto& insert) {
  std::vector<std::string> statements{std::string(WithoutClosingSemicolons(insert.select))};
  const std::string with = "WITH q(" + ColumnNames(insert.columns.size()) + ") AS (\n" +
                           statements.front() + "\n) SELECT DISTINCT ";
  for (std::size_t c = 0; c < insert.columns.size(); ++c) {
    if (IsGrouped(insert.columns[c].role))
      statements.push_back(with + "c" + std::to_string(c + 1) + " FROM q");
  }
  return statements;
}

bool GroupAtSource(const SourceFacts& facts) {
  if (!IsServerDbms(facts.dbms)) return false;
  const std::optional<double> groups = PlannedGroups(facts);
  return !groups || *groups * kMinRowsPerGroup <= *facts.rows.front();
}

bool ReadGroupsWhole(const SourceFacts& facts) {
  const std::optional<double> groups = PlannedGroups(facts);
  return !source::DialectOfDbms(facts.dbms).read_whole_option.pair.empty() && groups &&
         *groups <= kMaxGroupsReadWhole;
}

std::string GroupedSelect(const InsertInto& insert, const CubeSchema& schema,
                          const source::SourceDialect& dialect, PeriodGrouping periods,
                          const std::vector<SourceSum>& sums) {
  // `columns` and `groups` group q as the SELECT gives its values; `merged` and `regroups` group
  // those groups again by calendar period where a TIME column is truncated.
  std::string columns;
  std::string groups;
  std::string inner;  // `columns` without the skipped ones, the aggregates named as q's columns
  std::string merged;
  std::string merged_once;  // `columns` with the periods in place of the dates
  std::string regroups;
  bool truncated = false;
  auto append = [](std::string& list, const std::string& item) {
    list += (list.empty() ? "" : ", ") + item;
  };
  for (std::size_t c = 0; c < insert.columns.size(); ++c) {
    const std::string name = "c" + std::to_string(c + 1);
    const ColumnBinding& binding = insert.columns[c];
    if (binding.role == ColumnRole::kSkip) {
      append(columns, "NULL");
      append(merged_once, "NULL");
      append(merged, "NULL");
    } else if (binding.role == ColumnRole::kMeasure) {
      const Measure& measure = schema.measures.at(binding.measure);
      // A column of doubles, or a real measure over a column the survey did not find exact.
      const bool exactly = dialect.exact_real_sum != nullptr &&
                           measure.function == AggregateFunction::kSum &&
                           ((c < sums.size() && sums[c] == SourceSum::kReal) ||
                            (aggregate::ClassOfType(measure.type) == NumberClass::kReal &&
                             (c >= sums.size() || sums[c] != SourceSum::kPrecise)));
      const std::string aggregate =
          std::string(KeywordOf(kAggregateFunctionKeywords, measure.function)) + "(" +
          (exactly ? dialect.exact_real_sum(name) : name) + ")";
      append(columns, aggregate);
      append(merged_once, aggregate);
      append(inner, aggregate + " AS " + name);
      // Counts are added, the other functions merge as they aggregate.
      append(merged, std::string(measure.function == AggregateFunction::kCount
                                     ? "SUM"
                                     : KeywordOf(kAggregateFunctionKeywords, measure.function)) +
                         "(" + name + ")");
    } else {
      append(columns, name);
      append(inner, name);
      append(groups, name);
      const std::string_view unit = dialect.date_truncated && binding.role == ColumnRole::kTime
                                        ? TimeTruncation(schema, binding)
                                        : "";
      truncated = truncated || !unit.empty();
      const std::string value = unit.empty() ? name : dialect.date_truncated(name, unit);
      append(merged_once, value);
      append(merged, value);
      append(regroups, value);
    }
  }
  // The SELECT on lines of its own: a comment at its end must not swallow the parenthesis.
  std::string sql = "WITH q(" + ColumnNames(insert.columns.size()) + ") AS (\n" +
                    std::string(WithoutClosingSemicolons(insert.select)) + "\n)";
  if (truncated && periods == PeriodGrouping::kPeriodsOnly) {
    columns = merged_once;
    groups = regroups;
    truncated = false;
  }
  if (!truncated) {
    sql += " SELECT " + columns + ", COUNT(*) FROM q";
    if (!groups.empty()) sql += " GROUP BY " + groups;
    return sql;
  }
  // Grouped by the SELECT's own values first, so that a GROUP BY holding a partitioned table's
  // key (a date) is still run partition by partition, on the shards of a coordinator; then by
  // period, which leaves one group a month (quarter, year) to hand over. g names its columns
  // as q does, c0 being its rows.
  sql += ", g AS (SELECT " + inner + ", COUNT(*) AS c0 FROM q GROUP BY " + groups + ") SELECT " +
         merged + ", SUM(c0) FROM g GROUP BY " + regroups;
  return sql;
}

std::vector<std::string> PeriodGroupingStatements(const InsertInto& insert,
                                                  const CubeSchema& schema,
                                                  const std::vector<SourceSum>& sums) {
  std::vector<std::string> statements;
  for (PeriodGrouping periods : {PeriodGrouping::kAfterDates, PeriodGrouping::kPeriodsOnly})
    statements.push_back(GroupedSelect(insert, schema, source::PostgresDialect(), periods, sums));
  if (statements[0] == statements[1]) statements.clear();
  return statements;
}

PeriodGrouping ChoosePeriodGrouping(const SourceFacts& facts) {
  if (facts.costs.size() != 2 || !facts.costs[0] || !facts.costs[1])
    return PeriodGrouping::kAfterDates;
  return *facts.costs[0] * kAfterDatesCheaper <= *facts.costs[1] ? PeriodGrouping::kAfterDates
                                                                 : PeriodGrouping::kPeriodsOnly;
}

}  // namespace cubemill::provider::connection
