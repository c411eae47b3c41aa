// The separators of figures written for a person to read, as the user's locale sets them.
#pragma once

#include <string>

namespace cubemill::platform {

// What stands between the thousands of a figure and before its decimals, in UTF-8.
struct NumberSeparators {
  std::string thousands = ",";
  std::string decimal = ".";
  bool operator==(const NumberSeparators&) const = default;
};

// The separators of the numeric locale the environment names (LC_ALL, else LC_NUMERIC, else
// LANG; on Windows the user's locale), read without changing the locale of the process, so that
// numbers are parsed and written for machines as before. A locale that defines no thousands
// separator (C and POSIX define none) gets "," (or "." where its decimal separator is ","), so
// that figures are grouped in a default environment too; a locale that cannot be loaded gives
// "," and ".".
NumberSeparators LocaleNumberSeparators();

// The separators of the locale named `name` for LC_NUMERIC ("de_DE.UTF-8"; "" for the one the
// environment names), with the same fallbacks; nothing but "," and "." on Windows but for "".
NumberSeparators NumberSeparatorsOf(const std::string& name);

}  // namespace cubemill::platform
