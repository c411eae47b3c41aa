// The catalogs a server offers: each a name and the cube file it stands for now, opened once per
// version of the file and lent to one request at a time, so that a cube a nightly run replaces is
// picked up without a restart and no answer mixes two versions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/error.h"
#include "platform/file_system.h"
#include "provider/cubefile/cube_reader.h"
#include "query/binder/cube_model.h"

namespace cubemill::serve {

using platform::FileVersion;
using platform::VersionOf;

// One version of a catalog's cube file: its catalog and the index of its names, which every
// request on this version shares, and the readers that requests borrow.
class OpenCube : public std::enable_shared_from_this<OpenCube> {
 public:
  OpenCube(std::string catalog_name, std::string path, FileVersion version,
           std::unique_ptr<provider::cubefile::CubeReader> reader);
  ~OpenCube();
  OpenCube(const OpenCube&) = delete;
  OpenCube& operator=(const OpenCube&) = delete;

  const std::string& CatalogName() const { return catalog_name_; }
  const std::string& Path() const { return path_; }
  const FileVersion& Version() const { return version_; }
  const provider::cubefile::CubeCatalog& Catalog() const { return reader_->Catalog(); }
  const query::CubeModel& Model() const { return model_; }
  // The member whose unique name (as the query engine writes it) is `unique_name`; npos for none.
  std::size_t MemberNamed(std::string_view unique_name) const;

  // A reader of this very version for one request, returned when the lease ends. Fails when the
  // file cannot be opened, or is no longer this version (the caller asks the catalogs again).
  class Lease;
  Result<Lease> Borrow() const;

 private:
  void Return(std::unique_ptr<provider::cubefile::CubeReader> reader) const;

  std::string catalog_name_, path_;
  FileVersion version_;
  std::unique_ptr<provider::cubefile::CubeReader> reader_;  // the catalog's owner
  query::CubeModel model_;
  mutable std::once_flag names_indexed_;
  mutable std::unordered_map<std::string, std::size_t> by_unique_name_;
  mutable std::mutex idle_mutex_;
  mutable std::vector<std::unique_ptr<provider::cubefile::CubeReader>> idle_;
};

class OpenCube::Lease {
 public:
  Lease(std::shared_ptr<const OpenCube> cube,
        std::unique_ptr<provider::cubefile::CubeReader> reader)
      : cube_(std::move(cube)), reader_(std::move(reader)) {}
  Lease(Lease&&) noexcept = default;
  Lease& operator=(Lease&&) noexcept = default;
  ~Lease() {
    if (reader_ != nullptr) cube_->Return(std::move(reader_));
  }
  const OpenCube& Cube() const { return *cube_; }
  const provider::cubefile::CubeReader& Reader() const { return *reader_; }

 private:
  std::shared_ptr<const OpenCube> cube_;
  std::unique_ptr<provider::cubefile::CubeReader> reader_;
};

// Where the catalogs come from.
class CubeCatalogs {
 public:
  // The cube files a catalog may stand for now, the first that opens as a cube serving it; or
  // why there is none.
  using Locate = std::function<Result<std::vector<std::string>>()>;
  struct Entry {
    std::string name;
    Locate locate;
  };
  // Lists the catalogs (called for every request that lists or names one).
  using List = std::function<std::vector<Entry>()>;

  explicit CubeCatalogs(List list) : list_(std::move(list)) {}

  // Every *.cub file of `folder`, each a catalog named after the file without ".cub". Listed
  // anew on each call, so that a cube added later is served; a file being written (another name
  // until it is complete) is not listed. Fails when the folder cannot be read.
  static Result<List> Folder(const std::string& folder);

  // The catalogs' names, in order.
  std::vector<std::string> Names() const;
  // The catalog `name` (compared exactly) at its file's current version: opened the first time,
  // and again whenever the file was replaced or changed. Requests that hold an earlier version
  // keep it until they end. Fails for an unknown name or a file that cannot be read as a cube.
  Result<std::shared_ptr<const OpenCube>> Open(std::string_view name);
  // A reader of catalog `name` at its current version, for one request.
  Result<OpenCube::Lease> Borrow(std::string_view name);

 private:
  // The cube at `path` at its current version, opened when the cached one is older.
  Result<std::shared_ptr<const OpenCube>> OpenFile(std::string_view name, const std::string& path);

  List list_;
  std::mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<const OpenCube>> open_;
};

}  // namespace cubemill::serve
