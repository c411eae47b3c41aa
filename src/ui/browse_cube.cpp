#include "ui/browse_cube.h"

#include <filesystem>
#include <string_view>
#include <system_error>

namespace cubemill::ui {
namespace {

constexpr char kSource[] = "Browse";

// The reader's message without the path it starts with.
std::string WithoutPath(const std::string& reason, const std::string& path) {
  const std::string prefix = path + ": ";
  return reason.compare(0, prefix.size(), prefix) == 0 ? reason.substr(prefix.size()) : reason;
}

}  // namespace

bool IsCubeTemporaryFile(const std::string& path, std::string& target) {
  // The name PendingFile gives the file it writes before renaming it over the cube:
  // ".<target>.tmp-" and six letters or digits.
  constexpr std::string_view kMarker = ".tmp-";
  constexpr std::size_t kSuffix = 6;
  const std::string name = std::filesystem::path(path).filename().string();
  if (name.size() < 2 + kMarker.size() + kSuffix || name[0] != '.') return false;
  const std::size_t marker = name.size() - kSuffix - kMarker.size();
  if (name.compare(marker, kMarker.size(), kMarker) != 0) return false;
  for (std::size_t i = name.size() - kSuffix; i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  target = name.substr(1, marker - 1);
  return true;
}

Result<std::shared_ptr<const BrowseCube>> OpenBrowseCube(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found)
    return Error{"There is no file " + path + ".", 0, kSource};
  if (status.type() == std::filesystem::file_type::directory)
    return Error{path + " is a folder, not a cube file.", 0, kSource};
  std::string target;
  if (IsCubeTemporaryFile(path, target)) {
    return Error{path +
                     " is the temporary file of a cube being written (by a job that is running, "
                     "or one that was stopped). Open " +
                     target + " once the job has finished.",
                 0, kSource};
  }
  auto reader = provider::cubefile::CubeReader::Open(path);
  if (!reader) {
    const std::string& reason = reader.error().description;
    if (reason.find("not a cube file") != std::string::npos ||
        reason.find("file is not a database") != std::string::npos) {
      // "not a cube file (no table cube)": the reason in the parentheses.
      std::string detail = WithoutPath(reason, path);
      const std::string kNotACube = "not a cube file (";
      if (detail.compare(0, kNotACube.size(), kNotACube) == 0 && detail.back() == ')')
        detail = detail.substr(kNotACube.size(), detail.size() - kNotACube.size() - 1);
      return Error{path + " is not a Cubemill cube file (" + detail + ").", 0, kSource};
    }
    if (reason.find("is newer than this program reads") != std::string::npos)
      return Error{path + " was written by a newer Cubemill: " + WithoutPath(reason, path), 0,
                   kSource};
    return Error{"Cannot open " + path + ": " + reason, 0, kSource};
  }
  auto cube = std::make_shared<BrowseCube>();
  cube->path = path;
  cube->reader = std::move(*reader);
  cube->model = std::make_unique<query::CubeModel>(cube->reader->Catalog());
  return std::shared_ptr<const BrowseCube>(std::move(cube));
}

}  // namespace cubemill::ui
