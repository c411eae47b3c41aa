// Which rows a build with a refresh column reads: all of them up to the highest value of the
// column (a full build), or those past the watermark of a base cube built from the same
// statements, whose members and cells the new rows are then merged into (incremental).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "provider/aggregate/built_cube.h"
#include "provider/connection/prepare_build.h"
#include "provider/connection/stage_times.h"
#include "provider/cubefile/base_cube.h"
#include "provider/row_source.h"

namespace cubemill::provider::connection {

struct RefreshPlan {
  // The SELECT the build reads in place of the INSERT INTO's own.
  std::string select;
  // The base cube whose members and cells the rows merge into; nothing for a full build.
  std::optional<cubefile::BaseCube> base;
  // The highest value of the column that the rows read reach: the new cube's watermark.
  aggregate::MemberKey watermark;
  // For a full build, why it is one; for an incremental build, the rows expected past the base.
  std::string why_full;
  std::int64_t new_rows = 0;
};

// Plans the build of `prepared` with the refresh column `column`: reads the first of `bases`
// that reads as a cube file (cubefile::ReadBaseCube), and asks the source, in one statement over
// the SELECT, how many rows it has, how many of them have the column NULL, its highest value and
// how many rows are at or below the base's watermark. The build is incremental when the base was
// built from the same statements with the same column, the column holds no NULL and the rows at
// or below the watermark are exactly the rows the base read; it then reads the rows past the
// watermark up to the highest value. A full build reads the rows up to that value (and those with
// the column NULL). Fails when the source cannot answer (a column the SELECT lacks, say).
// `timed` is told the time of reading the base ("base") and of asking the source ("plan").
Result<RefreshPlan> PlanRefresh(const PreparedBuild& prepared, const std::string& column,
                                const std::vector<std::string>& bases,
                                const SourceOpener& open_source, const StageTimed& timed = {});

// `select` (a closing ";" dropped) read through `SELECT * FROM (<select>) AS q WHERE <where>`,
// where `where` names the column as q.<column>.
std::string FilteredSelect(const std::string& select, const std::string& where);

// `value` as a SQL literal: a number as its shortest exact text, text in single quotes with each
// quote doubled; NULL for none.
std::string SqlLiteral(const aggregate::MemberKey& value);

// `value` as a message shows it: text as it is, numbers as SqlLiteral writes them.
std::string WatermarkText(const aggregate::MemberKey& value);

}  // namespace cubemill::provider::connection
