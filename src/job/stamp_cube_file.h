// Copies a built cube file to a name that carries the date and time of the run.
#pragma once

#include <optional>
#include <string>

#include "job/cube_job.h"
#include "job/job_context.h"

namespace cubemill::job {

// Returns `cube_file` with "_" and `stamp` inserted before its last "." (searched over the whole
// path), or nothing when it holds no ".".
std::optional<std::string> StampedName(const std::string& cube_file, const std::string& stamp);

// With a non-empty CubTimestamp: logs "Cube Target: " and the stamped name, copies the cube file
// there (replacing a file of that name), logs "Delete Cube: " and the cube file, deletes it.
// Returns true when done or when there was nothing to do; on the first failure logs the error's
// description, number, source and number again and returns false, leaving the cube file.
bool StampCubeFile(const JobContext& context, const CubeJob& job);

}  // namespace cubemill::job
