#include "ui/picked_file.h"

namespace cubemill::ui {

std::optional<std::string> FolderOfPickedFile(std::string_view file_name,
                                              std::string_view file_title) {
  // Both lengths are in bytes of UTF-8; the title is the tail of the name, so the difference is
  // the same as in characters and never splits a character.
  if (file_title.size() + 1 > file_name.size()) return std::nullopt;
  return std::string(file_name.substr(0, file_name.size() - file_title.size() - 1));
}

}  // namespace cubemill::ui
