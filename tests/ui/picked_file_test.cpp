#include "ui/picked_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace cubemill::ui {
namespace {

TEST(PickedFileTest, GivesTheFolderOfThePickedFile) {
  const struct {
    const char* file_name;
    const char* file_title;
    std::optional<std::string> folder;
  } cases[] = {
      {R"(C:\Cubes\Sales.oqy)", "Sales.oqy", R"(C:\Cubes)"},
      {R"(C:\Sales.oqy)", "Sales.oqy", "C:"},  // the drive alone, without a backslash
      {R"(\\server\share\Cubes\Sales.oqy)", "Sales.oqy", R"(\\server\share\Cubes)"},
      {"/home/anna/Cubes/Sales.oqy", "Sales.oqy", "/home/anna/Cubes"},
      {"/Sales.oqy", "Sales.oqy", ""},  // the root: an empty log directory means the root
      {"/home/anna/Würfel/Umsätze.oqy", "Umsätze.oqy", "/home/anna/Würfel"},
      {"Sales.oqy", "Sales.oqy", std::nullopt},  // no separator: length -1
      {"a.oqy", "longer.oqy", std::nullopt},
      {"", "", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderOfPickedFile(c.file_name, c.file_title), c.folder) << c.file_name;
  }
}

}  // namespace
}  // namespace cubemill::ui
