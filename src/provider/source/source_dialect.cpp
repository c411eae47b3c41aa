#include "provider/source/source_dialect.h"

#include <array>

#include "platform/ascii_text.h"

namespace cubemill::provider::source {
namespace {

// Every kind the engine knows apart from the generic one, asked in this order.
const std::array<const SourceDialect*, 2>& KnownDialects() {
  static const std::array<const SourceDialect*, 2> dialects = {&SqliteDialect(),
                                                               &PostgresDialect()};
  return dialects;
}

}  // namespace

std::string_view WithoutClosingSemicolons(std::string_view select) {
  select = platform::TrimBlanks(select);
  while (!select.empty() && select.back() == ';') {
    select = platform::TrimBlanks(select.substr(0, select.size() - 1));
  }
  return select;
}

const SourceDialect& DialectOfDriver(std::string_view driver) {
  for (const SourceDialect* dialect : KnownDialects()) {
    if (dialect->is_driver(driver)) return *dialect;
  }
  return GenericDialect();
}

const SourceDialect& DialectOfDbms(std::string_view dbms) {
  for (const SourceDialect* dialect : KnownDialects()) {
    if (dialect->is_dbms(dbms)) return *dialect;
  }
  return GenericDialect();
}

}  // namespace cubemill::provider::source
