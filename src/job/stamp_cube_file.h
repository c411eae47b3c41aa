// Moves a built cube file to a name that carries the date and time of the run.
#pragma once

#include <optional>
#include <string>

#include "common/cube_job.h"
#include "job/job_context.h"

namespace cubemill::job {

// Returns `cube_file` with "_" and `stamp` inserted before the last "." of its file name (the
// text after its last "/" or "\"), or nothing when the file name holds no ".".
std::optional<std::string> StampedName(const std::string& cube_file, const std::string& stamp);

// With a non-empty CubTimestamp: logs "Cube Target: " and the stamped name, puts the cube file
// there in one step (replacing a file of that name only once the new one is complete), logs
// "Delete Cube: " and the cube file, and removes the unstamped name. Returns true when done or
// when there was nothing to do; on the first failure logs the error's description, number,
// source ("CopyFile" or "DeleteFile") and number again and returns false; a failure before the
// stamped file is in place leaves the cube file and any earlier stamped file as they were.
bool StampCubeFile(const JobContext& context, const CubeJob& job);

}  // namespace cubemill::job
