#include "job/stamp_cube_file.h"

#include "job/job_log.h"
#include "platform/durable_file.h"
#include "platform/file_system.h"
#include "settings/date_format.h"

namespace cubemill::job {

std::optional<std::string> StampedName(const std::string& cube_file, const std::string& stamp) {
  // Only the file name can hold the extension: a "." in a directory ("..\cubes\cube") cannot.
  const std::size_t name = cube_file.find_last_of("/\\");
  const std::size_t dot = cube_file.rfind('.');
  if (dot == std::string::npos || (name != std::string::npos && dot < name)) return std::nullopt;
  return cube_file.substr(0, dot) + "_" + stamp + cube_file.substr(dot);
}

bool StampCubeFile(const JobContext& context, const CubeJob& job) {
  if (job.CubTimestamp.empty()) return true;
  const std::string stamp = settings::FormatDateTime(context.clock.Now(), job.CubTimestamp);
  const auto target = StampedName(job.CubeFile, stamp);
  if (!target) {
    LogError(
        context, job,
        Error{"The cube file name has no extension to put the time stamp before: " + job.CubeFile,
              52, "StampCubeFile"});
    return false;
  }
  LogMessage(context, job, "Cube Target: " + *target);
  // The stamped cube appears complete or not at all, and an earlier cube of that name stays as it
  // was until then: the cube is renamed over it (or, on another file system, copied beside it
  // and renamed). Only then does the unstamped name go.
  if (auto error = platform::PlaceFileAs(job.CubeFile, *target)) {
    LogError(context, job, *error);
    return false;
  }
  LogMessage(context, job, "Delete Cube: " + job.CubeFile);
  if (!platform::IsRegularFile(job.CubeFile)) return true;  // renamed: nothing left to delete
  if (auto error = platform::DeleteFile(job.CubeFile)) {
    LogError(context, job, *error);
    return false;
  }
  return true;
}

}  // namespace cubemill::job
