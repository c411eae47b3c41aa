// What the OQY file picker makes of the file the user chose.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cubemill::ui {

// Returns the folder of a picked file without a trailing separator: the first
// len(file_name) - len(file_title) - 1 characters of `file_name`, where `file_title` is the file's
// name without its folder ("C:\Cubes\Sales.oqy", "Sales.oqy" -> "C:\Cubes"; a file at the root
// gives the drive alone, "C:", or "" for "/Sales.oqy"). Returns nothing when that length is
// negative; the log directory is then left as it was.
std::optional<std::string> FolderOfPickedFile(std::string_view file_name,
                                              std::string_view file_title);

}  // namespace cubemill::ui
