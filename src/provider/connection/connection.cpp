#include "provider/connection/connection.h"

#include "platform/ascii_text.h"
#include "provider/values/value_parsing.h"

namespace cubemill::provider::connection {

std::optional<std::uint64_t> ParseRollupBudget(std::string_view text) {
  return values::ParseUnsignedDecimal(text, " \t");
}

namespace {

// True for a column name the refresh may write into SQL as it stands: a plain name (letters,
// digits, "_", "$" and any byte past ASCII, not starting with a digit) or one in double quotes
// whose inner quotes are doubled. Anything else (blanks, operators, ";") would change the
// statements the refresh wraps around the SELECT.
bool IsColumnName(std::string_view name) {
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
    const std::string_view inner = name.substr(1, name.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
      if (inner[i] != '"') continue;
      if (i + 1 >= inner.size() || inner[i + 1] != '"') return false;
      ++i;
    }
    return !inner.empty();
  }
  if (name.empty() || (name.front() >= '0' && name.front() <= '9')) return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '$' || byte >= 0x80;
    if (!plain) return false;
  }
  return true;
}

}  // namespace

std::optional<RefreshSetting> ParseRefresh(std::string_view text) {
  const std::string_view value = platform::TrimBlanks(text);
  if (platform::EqualsIgnoringCase(value, "FULL")) return RefreshSetting{};
  const std::size_t equals = value.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::string_view mode = platform::TrimBlanks(value.substr(0, equals));
  const std::string_view column = platform::TrimBlanks(value.substr(equals + 1));
  const bool incremental = platform::EqualsIgnoringCase(mode, "INCREMENTAL");
  if (!IsColumnName(column) || (!incremental && !platform::EqualsIgnoringCase(mode, "FULL")))
    return std::nullopt;
  return RefreshSetting{std::string(column), incremental};
}

}  // namespace cubemill::provider::connection
