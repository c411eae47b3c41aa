#include "provider/connection/incremental_refresh.h"

#include <utility>
#include <variant>

#include "platform/file_system.h"
#include "provider/aggregate/member_key.h"
#include "provider/aggregate/value_text.h"
#include "provider/engine_error.h"

namespace cubemill::provider::connection {
namespace {

// What the source says of the column over the SELECT's rows.
struct ColumnFacts {
  std::int64_t rows = 0;
  std::int64_t nulls = 0;
  aggregate::MemberKey highest;
  std::int64_t at_or_below = 0;  // rows at or below the base's watermark
};

std::int64_t CountOf(const Value& value) {
  if (const auto* integer = std::get_if<std::int64_t>(&value)) return *integer;
  if (const auto* real = std::get_if<double>(&value)) return static_cast<std::int64_t>(*real);
  return 0;
}

Result<ColumnFacts> AskSource(const PreparedBuild& prepared, const std::string& column,
                              const aggregate::MemberKey* watermark,
                              const SourceOpener& open_source) {
  const std::string q = "q." + column;
  std::string select = "SELECT COUNT(*), COUNT(" + q + "), MAX(" + q + ")";
  if (watermark != nullptr)
    select += ", SUM(CASE WHEN " + q + " <= " + SqlLiteral(*watermark) + " THEN 1 ELSE 0 END)";
  std::string inner = prepared.insert.select;
  while (!inner.empty() && (inner.back() == ';' || inner.back() == ' ' || inner.back() == '\n'))
    inner.pop_back();
  select += " FROM (" + inner + ") AS q";
  std::vector<ColumnHint> hints{ColumnHint::kInteger, ColumnHint::kInteger, ColumnHint::kAny};
  if (watermark != nullptr) hints.push_back(ColumnHint::kInteger);
  auto opened = open_source(prepared.odbc, select, hints);
  auto refused = [&column](const Error& error) {
    Error said = error;
    said.description = "REFRESH=INCREMENTAL=" + column +
                       ": the source could not count the rows by that column: " + error.description;
    return said;
  };
  if (!opened) return refused(opened.error());
  std::vector<Value> row;
  auto more = (*opened)->NextRow(row);
  if (!more) return refused(more.error());
  ColumnFacts facts;
  if (*more && row.size() >= hints.size()) {
    facts.rows = CountOf(row[0]);
    facts.nulls = facts.rows - CountOf(row[1]);
    facts.highest = aggregate::MakeKey(row[2]);
    if (watermark != nullptr) facts.at_or_below = CountOf(row[3]);
  }
  return facts;
}

// Why `base` cannot take the new rows, or "" when it can.
std::string WhyNotBase(const cubefile::BaseCube& base, const PreparedBuild& prepared,
                       const std::string& column) {
  if (base.create_cube != prepared.properties.create_cube ||
      base.insert_into != prepared.properties.insert_into)
    return "the base cube was built from other statements";
  if (base.refresh_column != column)
    return base.refresh_column.empty()
               ? "the base cube was built without a refresh column"
               : "the base cube was built with the refresh column " + base.refresh_column;
  if (std::holds_alternative<std::monostate>(base.watermark))
    return "the base cube read no value of " + column;
  return "";
}

}  // namespace

std::string FilteredSelect(const std::string& select, const std::string& where) {
  std::string inner = select;
  while (!inner.empty() && (inner.back() == ';' || inner.back() == ' ' || inner.back() == '\n' ||
                            inner.back() == '\r' || inner.back() == '\t'))
    inner.pop_back();
  return "SELECT * FROM (" + inner + ") AS q WHERE " + where;
}

std::string SqlLiteral(const aggregate::MemberKey& value) {
  switch (value.index()) {
    case 0:
      return "NULL";
    case 1:
      return std::to_string(std::get<std::int64_t>(value));
    case 2:
      return aggregate::ValueText(Value(std::get<double>(value)));
    default: {
      std::string literal = "'";
      for (char c : std::get<std::string>(value)) {
        literal += c;
        if (c == '\'') literal += c;
      }
      return literal + "'";
    }
  }
}

std::string WatermarkText(const aggregate::MemberKey& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return SqlLiteral(value);
}

Result<RefreshPlan> PlanRefresh(const PreparedBuild& prepared, const std::string& column,
                                const std::vector<std::string>& bases,
                                const SourceOpener& open_source, const StageTimed& timed) {
  RefreshPlan plan;
  StageClock clock(timed);
  const std::string q = "q." + column;
  std::optional<cubefile::BaseCube> base;
  plan.why_full = "no earlier cube";
  for (const std::string& path : bases) {
    if (!platform::FileExists(path)) continue;
    auto read = cubefile::ReadBaseCube(path);
    if (read) {
      base = std::move(*read);
      plan.why_full = WhyNotBase(*base, prepared, column);
      break;
    }
    plan.why_full = "the base cube cannot be read: " + read.error().description;
  }
  const bool usable = base && plan.why_full.empty();
  clock.Lap("base");
  auto facts = AskSource(prepared, column, usable ? &base->watermark : nullptr, open_source);
  clock.Lap("plan");
  if (!facts) return facts.error();
  plan.watermark = facts->highest;
  if (usable) {
    const std::int64_t had = base->seed.source_rows;
    const std::string mark = WatermarkText(base->watermark);
    if (facts->nulls > 0) {
      plan.why_full = "the column " + column + " is NULL in " + std::to_string(facts->nulls) +
                      (facts->nulls == 1 ? " row" : " rows");
    } else if (facts->at_or_below > had) {
      const std::int64_t late = facts->at_or_below - had;
      plan.why_full = std::to_string(late) + (late == 1 ? " row" : " rows") +
                      " at or below the watermark " + mark + (late == 1 ? " is" : " are") +
                      " not in the base cube";
    } else if (facts->at_or_below < had) {
      const std::int64_t gone = had - facts->at_or_below;
      plan.why_full = std::to_string(gone) + (gone == 1 ? " row" : " rows") + " of the base cube " +
                      (gone == 1 ? "is" : "are") +
                      " no longer in the source at or below the watermark " + mark;
    }
  }
  if (!usable || !plan.why_full.empty()) {
    if (!std::holds_alternative<std::monostate>(plan.watermark)) {
      plan.select = FilteredSelect(prepared.insert.select, q + " <= " + SqlLiteral(plan.watermark) +
                                                               " OR " + q + " IS NULL");
    } else {
      plan.select = prepared.insert.select;
    }
    return plan;
  }
  plan.new_rows = facts->rows - facts->at_or_below;
  // The rows at or below the base's watermark are its own, so the highest value is at least that
  // (compared by the source, which alone knows the column's type: a driver may hand it over as
  // text).
  plan.select =
      FilteredSelect(prepared.insert.select, q + " > " + SqlLiteral(base->watermark) + " AND " + q +
                                                 " <= " + SqlLiteral(plan.watermark));
  plan.base = std::move(base);
  return plan;
}

}  // namespace cubemill::provider::connection
