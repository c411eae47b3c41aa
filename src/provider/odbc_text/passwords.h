// Keeps the passwords of ODBC connection strings out of what is shown and what is stored.
#pragma once

#include <string>
#include <string_view>

namespace cubemill::provider::odbc_text {

// What a masked password value is shown as.
inline constexpr std::string_view kPasswordMask = "***";

// True for the keys that carry a password: PWD, PASSWORD and SOURCE_PWD, in any letter case,
// blanks ignored.
bool IsPasswordKey(std::string_view key);

// True when `text` holds PWD, PASSWORD or SOURCE_PWD (any letter case) as a whole word followed,
// after blanks, by "=": text that some reader of it could take for a password pair.
bool MayHoldPassword(std::string_view text);

// A connection string made fit to be shown or stored.
struct CleanConnection {
  std::string text;
  // True when a password could not be taken out safely (a password key stands inside another
  // value, where another reader might find it): `text` then keeps only the first DSN, DRIVER or
  // FILEDSN pair, or is "" when there is none or that pair holds a password key itself.
  bool shortened = false;
  bool operator==(const CleanConnection&) const = default;
};

// Returns `odbc` (read as SplitOdbcPairs reads it) with the value of every password pair shown as
// kPasswordMask, the other pairs as written. A string without password pairs is returned
// unchanged; one where MayHoldPassword finds a password key outside them is shortened.
CleanConnection MaskPasswords(std::string_view odbc);

// Returns `odbc` without its password pairs, the other pairs as written (and a closing ";" kept).
// A string without password pairs is returned unchanged; one where MayHoldPassword finds a
// password key outside them is shortened.
CleanConnection RemovePasswords(std::string_view odbc);

}  // namespace cubemill::provider::odbc_text
