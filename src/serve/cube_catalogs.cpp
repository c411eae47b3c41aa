#include "serve/cube_catalogs.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/directory_listing.h"
#include "serve/serve_error.h"

namespace cubemill::serve {

using provider::cubefile::CubeReader;

namespace {

// A file replaced while it is opened is opened again: at once a few times, then a little later,
// until it holds still or for at most this long. A nightly run replaces a cube once; on a busy
// machine one opening may take longer than the pause between a few replacements in a row, and a
// request that waits them out is answered whole instead of failing.
constexpr int kQuickAttempts = 5;
constexpr auto kReplacementPatience = std::chrono::seconds(10);
constexpr auto kRetryPause = std::chrono::milliseconds(20);

// Counts the attempts at opening a file that is being replaced; false once patience is spent.
class Attempts {
 public:
  bool Next() {
    if (++made_ <= kQuickAttempts) return true;
    if (std::chrono::steady_clock::now() >= deadline_) return false;
    std::this_thread::sleep_for(kRetryPause);
    return true;
  }

 private:
  int made_ = 0;
  std::chrono::steady_clock::time_point deadline_ =
      std::chrono::steady_clock::now() + kReplacementPatience;
};

}  // namespace

OpenCube::OpenCube(std::string catalog_name, std::string path, FileVersion version,
                   std::unique_ptr<CubeReader> reader)
    : catalog_name_(std::move(catalog_name)),
      path_(std::move(path)),
      version_(version),
      reader_(std::move(reader)),
      model_(reader_->Catalog()) {}

OpenCube::~OpenCube() = default;

std::size_t OpenCube::MemberNamed(std::string_view unique_name) const {
  std::call_once(names_indexed_, [&] {
    by_unique_name_.reserve(model_.MemberCount());
    for (std::size_t m = 0; m < model_.MemberCount(); ++m)
      by_unique_name_.emplace(model_.UniqueName(m), m);
  });
  const auto found = by_unique_name_.find(std::string(unique_name));
  return found == by_unique_name_.end() ? query::CubeModel::npos : found->second;
}

Result<OpenCube::Lease> OpenCube::Borrow() const {
  {
    const std::lock_guard<std::mutex> lock(idle_mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<CubeReader> reader = std::move(idle_.back());
      idle_.pop_back();
      return Lease(shared_from_this(), std::move(reader));
    }
  }
  // A new reader opens the file by its name, which may meanwhile stand for a newer version: the
  // reader is kept only when the name showed this version before and after it was opened.
  // An opening that failed while the file was replaced may have failed on the mix of the two
  // (the length of one, the pages of the other): that is a replacement too, not a damaged cube.
  if (VersionOf(path_) != version_) return ServeError("the cube file was replaced");
  Result<std::unique_ptr<CubeReader>> reader = CubeReader::Open(path_);
  if (VersionOf(path_) != version_) return ServeError("the cube file was replaced");
  if (!reader) return reader.error();
  return Lease(shared_from_this(), std::move(*reader));
}

void OpenCube::Return(std::unique_ptr<CubeReader> reader) const {
  const std::lock_guard<std::mutex> lock(idle_mutex_);
  idle_.push_back(std::move(reader));
}

Result<CubeCatalogs::List> CubeCatalogs::Folder(const std::string& folder) {
  if (!platform::ListRegularFiles(folder)) return ServeError("cannot read the folder " + folder);
  return List([folder] {
    std::vector<Entry> entries;
    const auto files = platform::ListRegularFiles(folder);
    if (!files) return entries;
    constexpr std::string_view kExtension = ".cub";
    for (const platform::FileEntry& file : *files) {
      const std::string_view name = file.name;
      if (name.size() <= kExtension.size() || !name.ends_with(kExtension)) continue;
      std::vector<std::string> path{folder.empty() ? file.name : folder + "/" + file.name};
      entries.push_back({std::string(name.substr(0, name.size() - kExtension.size())),
                         [path]() -> Result<std::vector<std::string>> { return path; }});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
  });
}

std::vector<std::string> CubeCatalogs::Names() const {
  std::vector<std::string> names;
  for (const Entry& entry : list_()) names.push_back(entry.name);
  return names;
}

Result<std::shared_ptr<const OpenCube>> CubeCatalogs::Open(std::string_view name) {
  Locate locate;
  for (Entry& entry : list_()) {
    if (entry.name == name) locate = std::move(entry.locate);
  }
  if (!locate) return ServeError("unknown catalog " + std::string(name));
  Result<std::vector<std::string>> paths = locate();
  if (!paths) return paths.error();
  if (paths->empty()) return ServeError("catalog " + std::string(name) + " has no cube yet");
  // The first file that opens as a cube serves: a newer one that does not is passed over.
  std::optional<Error> first_failure;
  for (const std::string& path : *paths) {
    Result<std::shared_ptr<const OpenCube>> cube = OpenFile(name, path);
    if (cube) return cube;
    if (!first_failure) first_failure = cube.error();
  }
  return *first_failure;
}

Result<std::shared_ptr<const OpenCube>> CubeCatalogs::OpenFile(std::string_view name,
                                                               const std::string& path) {
  // A file replaced between the look at its version and the opening is opened again, also when
  // the opening failed: it may have failed on the mix of the two files.
  for (Attempts attempts; attempts.Next();) {
    const std::optional<FileVersion> version = VersionOf(path);
    if (!version) return ServeError("the cube of catalog " + std::string(name) + " is missing");
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      const auto found = open_.find(std::string(name));
      if (found != open_.end() && found->second->Path() == path &&
          found->second->Version() == *version)
        return found->second;
    }
    Result<std::unique_ptr<CubeReader>> reader = CubeReader::Open(path);
    if (VersionOf(path) != version) continue;
    if (!reader) return reader.error();
    auto cube =
        std::make_shared<const OpenCube>(std::string(name), path, *version, std::move(*reader));
    const std::lock_guard<std::mutex> lock(mutex_);
    open_[std::string(name)] = cube;
    return std::shared_ptr<const OpenCube>(cube);
  }
  return ServeError("the cube of catalog " + std::string(name) + " keeps being replaced");
}

Result<OpenCube::Lease> CubeCatalogs::Borrow(std::string_view name) {
  // A version replaced between the opening and the borrowing is opened again.
  for (Attempts attempts; attempts.Next();) {
    Result<std::shared_ptr<const OpenCube>> cube = Open(name);
    if (!cube) return cube.error();
    Result<OpenCube::Lease> lease = (*cube)->Borrow();
    if (lease || VersionOf((*cube)->Path()) == (*cube)->Version()) return lease;
  }
  return ServeError("the cube of catalog " + std::string(name) + " keeps being replaced");
}

}  // namespace cubemill::serve
