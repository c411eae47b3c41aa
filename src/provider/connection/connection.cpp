#include "provider/connection/connection.h"

#include "provider/values/value_parsing.h"

namespace cubemill::provider::connection {

std::optional<std::uint64_t> ParseRollupBudget(std::string_view text) {
  return values::ParseUnsignedDecimal(text, " \t");
}

}  // namespace cubemill::provider::connection
