#include "provider/connection/connection.h"

#include "platform/ascii_text.h"
#include "provider/values/value_parsing.h"

namespace cubemill::provider::connection {

std::optional<std::uint64_t> ParseRollupBudget(std::string_view text) {
  return values::ParseUnsignedDecimal(text, " \t");
}

std::optional<RefreshSetting> ParseRefresh(std::string_view text) {
  const std::string_view value = platform::TrimBlanks(text);
  if (platform::EqualsIgnoringCase(value, "FULL")) return RefreshSetting{};
  const std::size_t equals = value.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string_view mode = platform::TrimBlanks(value.substr(0, equals));
  const std::string_view column = platform::TrimBlanks(value.substr(equals + 1));
  const bool incremental = platform::EqualsIgnoringCase(mode, "INCREMENTAL");
  if (column.empty() || (!incremental && !platform::EqualsIgnoringCase(mode, "FULL")))
    return std::nullopt;
  return RefreshSetting{std::string(column), incremental};
}

}  // namespace cubemill::provider::connection
