// The shipped sample laid out in the current directory as the quick start lays it out, for the
// tests that build the sample cube with the real program.
#pragma once

#include <filesystem>

#include "support/sqlite_fixture.h"
#include "support/test_support.h"

namespace cubemill::test {

// Lays out the sample: OQY-Dateien/ with the sample's OQY file, data/sales.db made from the
// sample's SQL, and run/, which becomes the current directory.
inline void LayOutSample() {
  namespace fs = std::filesystem;
  const fs::path sample = fs::path(CUBEMILL_SOURCE_DIR) / "sample";
  fs::create_directories("OQY-Dateien/rel01");
  fs::create_directories("OQY-Dateien/log");
  fs::create_directories("data");
  fs::create_directories("run");
  fs::copy_file(sample / "OQY-Dateien/rel01/Output_Detail.oqy",
                "OQY-Dateien/rel01/Output_Detail.oqy");
  RunSqlite("data/sales.db", ReadBytes((sample / "make_sample_db.sql").string()));
  fs::current_path("run");
}

}  // namespace cubemill::test
