// Describes the result columns of a SELECT without running it: what a check of a job needs
// before a build would read any rows.
#pragma once

#include <string>
#include <vector>

#include "common/error.h"
#include "provider/row_source.h"

namespace cubemill::provider::source {

struct SourceColumn {
  std::string name;
  ColumnHint kind = ColumnHint::kAny;  // what the driver reports: kAny when it cannot tell
  bool operator==(const SourceColumn&) const = default;
};

// Connects with `connection` as a build does (ConnectForStreaming: a missing SQLite file is an
// error, not created; a locked one said in `info` before the driver waits for it), prepares
// `select` (it is not run) and returns its result columns. Fails, numbered kSourceErrorNumber,
// with the step, the SQLSTATE and the driver's message.
Result<std::vector<SourceColumn>> DescribeOdbcSelect(const std::string& connection,
                                                     const std::string& select,
                                                     const InfoMessage& info = {});

}  // namespace cubemill::provider::source
