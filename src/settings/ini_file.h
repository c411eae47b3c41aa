// The settings file cubemill.ini in the current directory: reading values, appending lines and
// writing the default content when the file is missing.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/progress_list.h"

namespace cubemill::settings {

// At most this many characters of a value are delivered.
inline constexpr std::size_t kMaxIniValueLength = 255;

// Returns the path of the settings file: the current directory, "/", "cubemill.ini".
std::string SettingsPath();

// Says what keeps the settings file at `file` from being read ("cannot read the settings file
// <file>: Permission denied", "...: saved as UTF-16 ..."), or nothing when it reads (a missing
// file is no problem here: its values are all "").
std::optional<std::string> SettingsFileProblem(const std::string& file);

// Returns the value of `key` in `section` of the settings file at `file`, or "" when the file,
// the section or the key is missing. Names match without regard to letter case and blanks around
// names and values are ignored; the first matching section and key win. At most 255 characters
// are returned.
std::string ReadIniValue(std::string_view section, std::string_view key, const std::string& file);

// Returns the names of the sections of the settings file at `file` that hold the key `key`
// (blanks around names removed), in file order; a name appears once. Empty when the file is
// missing or unreadable.
std::vector<std::string> ReadIniSectionsWithKey(std::string_view key, const std::string& file);

// Appends `text` as one line to the settings file in the current directory; failures are ignored.
void WriteIniLine(std::string_view text);

// Writes the 14 default lines when no settings file exists in the current directory, after
// adding "erstelle INI Datei" to `list`. Does nothing when the file exists.
void EnsureIniFile(ProgressList& list);

}  // namespace cubemill::settings
