// A cube file opened for the browser, or a message that says plainly why it cannot be.
#pragma once

#include <memory>
#include <string>

#include "browse/pivot.h"
#include "common/error.h"

namespace cubemill::ui {

// An open cube: the reader (used by one thread at a time: the query runner's, once opened) and
// the model over its catalog (read by both threads; nothing changes it).
struct BrowseCube {
  std::string path;
  std::unique_ptr<provider::cubefile::CubeReader> reader;
  std::unique_ptr<query::CubeModel> model;
};

// Whether `path` names the temporary file a cube is written to (".<name>.tmp-XXXXXX"); then
// `target` gets the cube file's name.
bool IsCubeTemporaryFile(const std::string& path, std::string& target);

// Opens the cube file at `path`. Fails with a message for a person: the file is missing, is the
// temporary file of a cube being written, is no Cubemill cube, is of a newer format, or cannot
// be read (the reader's words).
Result<std::shared_ptr<const BrowseCube>> OpenBrowseCube(const std::string& path);

}  // namespace cubemill::ui
