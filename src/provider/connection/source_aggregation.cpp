#include "provider/connection/source_aggregation.h"

#include <array>

#include "platform/ascii_text.h"

namespace cubemill::provider::connection {

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

std::string GroupedSelect(const InsertInto& insert, const CubeSchema& schema) {
  std::string_view select = platform::TrimBlanks(insert.select);
  while (!select.empty() && select.back() == ';') {
    select = platform::TrimBlanks(select.substr(0, select.size() - 1));
  }
  std::string names;
  std::string columns;
  std::string groups;
  for (std::size_t c = 0; c < insert.columns.size(); ++c) {
    const std::string name = "c" + std::to_string(c + 1);
    names += (c == 0 ? "" : ", ") + name;
    const ColumnBinding& binding = insert.columns[c];
    std::string column;
    switch (binding.role) {
      case ColumnRole::kSkip:
        column = "NULL";
        break;
      case ColumnRole::kMeasure:
        column = std::string(KeywordOf(kAggregateFunctionKeywords,
                                       schema.measures.at(binding.measure).function)) +
                 "(" + name + ")";
        break;
      case ColumnRole::kLevel:
      case ColumnRole::kLevelKey:
      case ColumnRole::kLevelName:
      case ColumnRole::kTime:
        column = name;
        groups += (groups.empty() ? "" : ", ") + name;
        break;
    }
    columns += column + ", ";
  }
  // The SELECT on lines of its own: a comment at its end must not swallow the parenthesis.
  std::string sql = "WITH q(" + names + ") AS (\n" + std::string(select) + "\n) SELECT " + columns +
                    "COUNT(*) FROM q";
  if (!groups.empty()) sql += " GROUP BY " + groups;
  return sql;
}

}  // namespace cubemill::provider::connection
