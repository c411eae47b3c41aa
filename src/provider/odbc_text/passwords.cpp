#include "provider/odbc_text/passwords.h"

#include <vector>

#include "platform/ascii_text.h"
#include "provider/odbc_text/odbc_pairs.h"

namespace cubemill::provider::odbc_text {
namespace {

constexpr std::string_view kPasswordKeys[] = {"PWD", "PASSWORD", "SOURCE_PWD"};

bool IsWordCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The first DSN, DRIVER or FILEDSN pair, as "KEY=value" without blanks around either; "" when
// there is none or when it could hold a password itself.
std::string ShortForm(const std::vector<ConnectionPair>& pairs) {
  for (const ConnectionPair& pair : pairs) {
    const std::string name = OdbcKeyName(pair.key);
    if (name != "dsn" && name != "driver" && name != "filedsn") continue;
    std::string kept =
        std::string(TrimOdbcBlanks(pair.key)) + "=" + std::string(TrimOdbcBlanks(pair.value));
    return MayHoldPassword(kept) ? "" : kept;
  }
  return "";
}

CleanConnection Clean(std::string_view odbc, bool mask) {
  const std::vector<ConnectionPair> pairs = SplitOdbcPairs(odbc);
  bool found = false;
  bool first = true;
  std::string text;
  for (const ConnectionPair& pair : pairs) {
    std::string piece(pair.text);
    if (IsPasswordKey(pair.key)) {
      found = true;
      if (!mask) continue;
      if (pair.has_equals) piece = std::string(pair.key) + "=" + std::string(kPasswordMask);
    } else if (MayHoldPassword(pair.text)) {
      // A password key inside another value (in braces, or after a brace that is never closed)
      // is read differently by different drivers: keep nothing but the driver or data source.
      return CleanConnection{ShortForm(pairs), true};
    }
    if (!first) text += ';';
    text += piece;
    first = false;
  }
  if (!found) return CleanConnection{std::string(odbc), false};
  const std::string_view trimmed = TrimOdbcBlanks(odbc);
  if (!first && !trimmed.empty() && trimmed.back() == ';') text += ';';
  return CleanConnection{text, false};
}

}  // namespace

bool IsPasswordKey(std::string_view key) {
  const std::string name = OdbcKeyName(key);
  for (std::string_view password_key : kPasswordKeys) {
    if (platform::EqualsIgnoringCase(name, password_key)) return true;
  }
  return false;
}

bool MayHoldPassword(std::string_view text) {
  const std::string upper = platform::UpperAscii(text);
  for (std::string_view key : kPasswordKeys) {
    for (std::size_t at = upper.find(key); at != std::string::npos; at = upper.find(key, at + 1)) {
      if (at > 0 && IsWordCharacter(upper[at - 1])) continue;
      std::size_t after = at + key.size();
      while (after < upper.size() && IsOdbcBlank(upper[after])) ++after;
      if (after < upper.size() && upper[after] == '=') return true;
    }
  }
  return false;
}

CleanConnection MaskPasswords(std::string_view odbc) { return Clean(odbc, true); }

CleanConnection RemovePasswords(std::string_view odbc) { return Clean(odbc, false); }

}  // namespace cubemill::provider::odbc_text
