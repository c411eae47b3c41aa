// The catalogs of the jobs of a settings file: each job a catalog of its name, served from the
// job's newest good cube.
#pragma once

#include <string>

#include "common/error.h"
#include "serve/cube_catalogs.h"

namespace cubemill::serve {

// Each section of the settings file `config` that names an OQY file is a catalog of the section's
// name; its cube is the job's cube file, or, where the job stamps its cubes, its stamped cubes
// newest first (the first that opens serving). The settings and the OQY file are read again for
// each request, so that a changed job is served as it stands. Fails when `config` cannot be read
// or names no job.
Result<CubeCatalogs::List> JobCatalogs(const std::string& config);

}  // namespace cubemill::serve
