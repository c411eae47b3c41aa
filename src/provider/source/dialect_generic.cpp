// Any source the engine has no dialect for: the connection string as the user wrote it, plain
// SQL that PostgreSQL, SQLite, SQL Server, MySQL and Trino accept, the driver's text of a real.
#include "provider/source/source_dialect.h"

namespace cubemill::provider::source {
namespace {

bool IsNever(std::string_view) { return false; }

}  // namespace

const SourceDialect& GenericDialect() {
  static const SourceDialect dialect{
      .name = "generic",
      .is_driver = IsNever,
      .is_dbms = IsNever,
      .streaming_options = {},
      .other_options = {},
      .read_whole_option = {},
      .before_connect = nullptr,
      .connect_failure = nullptr,
      .surveyed_without_connecting = false,
      .ask_planner = nullptr,
      .exact_real_sum = nullptr,
      .date_truncated = nullptr,
      .select_with_exact_reals = nullptr,
  };
  return dialect;
}

}  // namespace cubemill::provider::source
