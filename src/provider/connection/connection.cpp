#include "provider/connection/connection.h"

#include "platform/ascii_text.h"
#include "provider/values/value_parsing.h"

namespace cubemill::provider::connection {

std::optional<std::uint64_t> ParseRollupBudget(std::string_view text) {
  return values::ParseUnsignedDecimal(text, " \t");
}

std::optional<std::string> ParseRefresh(std::string_view text) {
  const std::string_view value = platform::TrimBlanks(text);
  if (platform::EqualsIgnoringCase(value, "FULL")) return std::string();
  const std::size_t equals = value.find('=');
  if (equals == std::string_view::npos ||
      !platform::EqualsIgnoringCase(platform::TrimBlanks(value.substr(0, equals)), "INCREMENTAL"))
    return std::nullopt;
  const std::string_view column = platform::TrimBlanks(value.substr(equals + 1));
  if (column.empty()) return std::nullopt;
  return std::string(column);
}

}  // namespace cubemill::provider::connection
