#include "provider/connection/cube_check.h"

#include "platform/file_system.h"
#include "provider/aggregate/cube_builder.h"
#include "provider/connection/connection.h"
#include "provider/connection/incremental_refresh.h"
#include "provider/connection/prepare_build.h"
#include "provider/cubefile/base_cube.h"
#include "provider/engine_error.h"

namespace cubemill::provider::connection {
namespace {

const char* KindName(ColumnHint kind) {
  switch (kind) {
    case ColumnHint::kInteger:
      return "integer";
    case ColumnHint::kReal:
      return "number";
    case ColumnHint::kText:
      return "text";
    case ColumnHint::kDateTime:
      return "date";
    default:
      return "any";
  }
}

// True when a column the driver reports as `column` can feed a target that wants `wanted`.
bool Suits(ColumnHint column, ColumnHint wanted) {
  if (column == ColumnHint::kAny || wanted == ColumnHint::kAny || column == wanted) return true;
  if (wanted == ColumnHint::kText) return true;  // any value has a caption
  const bool numeric = column == ColumnHint::kInteger || column == ColumnHint::kReal;
  if (wanted == ColumnHint::kInteger || wanted == ColumnHint::kReal) return numeric;
  return false;  // a date wanted, a number or text given
}

}  // namespace

std::optional<Error> CheckCubeBuild(std::string_view connection_string,
                                    const std::function<void(const std::string&)>& say,
                                    const SelectDescriber& describe) {
  auto prepared = PrepareBuild(connection_string, false, say);
  if (!prepared) return prepared.error();
  const std::string& odbc = prepared->odbc;
  const InsertInto& insert = prepared->insert;
  auto columns = describe ? describe(odbc, insert.select)
                          : source::DescribeOdbcSelect(odbc, insert.select, say);
  if (!columns) return columns.error();
  say("Source: connected, SELECT prepared: " + std::to_string(columns->size()) + " columns");
  if (columns->size() != insert.columns.size()) {
    return EngineError("INSERT INTO names " + std::to_string(insert.columns.size()) +
                           " targets, but its SELECT returns " + std::to_string(columns->size()) +
                           " columns",
                       kStatementErrorNumber);
  }
  const std::vector<ColumnHint> wanted = aggregate::CubeBuilder(prepared->schema, insert).Hints();
  for (std::size_t i = 0; i < columns->size() && i < wanted.size(); ++i) {
    const source::SourceColumn& column = (*columns)[i];
    if (Suits(column.kind, wanted[i])) continue;
    say("Warning: column " + std::to_string(i + 1) + " \"" + column.name + "\" is reported as " +
        KindName(column.kind) + ", its target wants " + KindName(wanted[i]) +
        "; values that do not convert will fail the build");
  }
  return std::nullopt;
}

std::optional<std::string> RefreshCheckLine(const std::string& refresh,
                                            const std::vector<std::string>& bases) {
  const std::optional<RefreshSetting> setting = ParseRefresh(refresh.empty() ? "FULL" : refresh);
  if (!setting) return std::nullopt;
  if (setting->column.empty()) return std::string("Refresh: full");
  if (!setting->incremental) return "Refresh: full, recording the watermark of " + setting->column;
  const std::string* column = &setting->column;
  const std::string line = "Refresh: incremental by " + *column;
  for (const std::string& path : bases) {
    if (!platform::FileExists(path)) continue;
    auto base = cubefile::ReadBaseCube(path);
    if (!base)
      return line + ", base " + path + " cannot be read (" + base.error().description +
             "): the next run builds in full";
    if (base->refresh_column != *column)
      return line + ", base " + path + " was built without it: the next run builds in full";
    return line + ", base " + path + ", watermark " + WatermarkText(base->watermark);
  }
  return line + ", no cube yet: the next run builds in full";
}

}  // namespace cubemill::provider::connection
