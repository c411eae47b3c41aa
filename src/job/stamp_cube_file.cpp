#include "job/stamp_cube_file.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "job/job_log.h"
#include "platform/ascii_text.h"
#include "platform/directory_listing.h"
#include "platform/durable_file.h"
#include "platform/file_system.h"
#include "platform/text_file.h"
#include "settings/date_format.h"

namespace cubemill::job {

std::optional<std::string> StampedName(const std::string& cube_file, const std::string& stamp) {
  // Only the file name can hold the extension: a "." in a directory ("..\cubes\cube") cannot.
  const std::size_t name = cube_file.find_last_of("/\\");
  const std::size_t dot = cube_file.rfind('.');
  if (dot == std::string::npos || (name != std::string::npos && dot < name)) return std::nullopt;
  return cube_file.substr(0, dot) + "_" + stamp + cube_file.substr(dot);
}

std::optional<std::string> StampProblem(const std::string& cube_file, const std::string& stamp,
                                        std::string* target) {
  if (platform::DirExists(cube_file)) return "the cube file " + cube_file + " is a folder";
  if (stamp.find_first_of("/\\") != std::string::npos) {
    return "the time stamp \"" + stamp +
           "\" holds a folder separator; the stamped cube must stay in the cube's folder";
  }
  const auto name = StampedName(cube_file, stamp);
  if (!name) {
    return "The cube file name has no extension to put the time stamp before: " + cube_file;
  }
  const std::size_t folder_end = name->find_last_of("/\\");
  const std::size_t length = name->size() - (folder_end == std::string::npos ? 0 : folder_end + 1);
  if (length > 255) {
    return "the stamped file name is " + std::to_string(length) +
           " bytes long; a file name holds at most 255";
  }
  if (auto kind = platform::NotARegularFile(*name))
    return "the stamped cube " + *name + ": " + *kind;
  if (target != nullptr) *target = *name;
  return std::nullopt;
}

bool StampCubeFile(const JobContext& context, const CubeJob& job, std::string* stamped) {
  if (job.CubTimestamp.empty()) return true;
  const std::string stamp = settings::FormatDateTime(context.clock.Now(), job.CubTimestamp);
  std::string target;
  if (auto problem = StampProblem(job.CubeFile, stamp, &target)) {
    LogError(context, job, Error{*problem, 52, "StampCubeFile"});
    return false;
  }
  LogMessage(context, job, "Cube Target: " + target);
  // The stamped cube appears complete or not at all, and an earlier cube of that name stays as it
  // was until then: the cube is renamed over it (or, on another file system, copied beside it
  // and renamed). Only then does the unstamped name go.
  if (auto error = platform::PlaceFileAs(job.CubeFile, target)) {
    LogError(context, job, *error);
    return false;
  }
  if (stamped != nullptr) *stamped = target;
  LogMessage(context, job, "Delete Cube: " + job.CubeFile);
  if (!platform::IsRegularFile(job.CubeFile)) return true;  // renamed: nothing left to delete
  if (auto error = platform::DeleteFile(job.CubeFile)) {
    LogError(context, job, *error);
    return false;
  }
  return true;
}

std::optional<int> ParseKeep(std::string_view text) {
  text = platform::TrimBlanks(text);
  if (text.empty()) return std::nullopt;
  long long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return std::nullopt;
  }
  if (value < 1) return std::nullopt;
  return static_cast<int>(value);
}

std::vector<std::string> StampedCubesNewestFirst(const CubeJob& job) {
  std::vector<std::string> paths;
  if (job.CubTimestamp.empty()) return paths;
  // The cube's directory as the job writes it (the log shows the paths so), and the parts of
  // its name that every stamped name of the series shares.
  const std::size_t slash = job.CubeFile.find_last_of("/\\");
  const std::string directory = slash == std::string::npos ? "" : job.CubeFile.substr(0, slash + 1);
  const std::string name = job.CubeFile.substr(directory.size());
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return paths;
  const std::string prefix = name.substr(0, dot) + "_";
  const std::string extension = name.substr(dot);

  const auto files = platform::ListRegularFiles(directory);
  if (!files) return paths;
  struct StampedCube {
    std::string name;
    std::optional<platform::DateTime> time;  // what its stamp shows, when it shows a time
    std::int64_t modified = 0;
  };
  std::vector<StampedCube> series;
  for (const platform::FileEntry& file : *files) {
    // A backslash would be read as a directory once the path is opened: never that file.
    if (file.name.find('\\') != std::string::npos ||
        file.name.size() < prefix.size() + extension.size() || !file.name.starts_with(prefix) ||
        !file.name.ends_with(extension)) {
      continue;
    }
    const std::string_view stamp = std::string_view(file.name).substr(
        prefix.size(), file.name.size() - prefix.size() - extension.size());
    if (const auto reading = settings::ReadDateTimeStamp(stamp, job.CubTimestamp)) {
      series.push_back(StampedCube{file.name, reading->time, file.modified});
    }
  }
  // Newest first: by the stamps' times when every stamp shows one, else as the files were last
  // written; the name decides between equals.
  const bool by_stamp = std::all_of(series.begin(), series.end(),
                                    [](const StampedCube& cube) { return cube.time.has_value(); });
  std::sort(series.begin(), series.end(), [by_stamp](const StampedCube& a, const StampedCube& b) {
    if (by_stamp && *a.time != *b.time) return *a.time > *b.time;
    if (!by_stamp && a.modified != b.modified) return a.modified > b.modified;
    return a.name > b.name;
  });
  for (const StampedCube& cube : series) paths.push_back(directory + cube.name);
  return paths;
}

void DeleteOldStampedCubes(const JobContext& context, const CubeJob& job,
                           const std::string& stamped) {
  const std::optional<int> keep = ParseKeep(job.Keep);
  if (!keep || job.CubTimestamp.empty()) return;
  const std::vector<std::string> series = StampedCubesNewestFirst(job);
  for (std::size_t i = static_cast<std::size_t>(*keep); i < series.size(); ++i) {
    const std::string& path = series[i];
    if (path == stamped) continue;
    LogMessage(context, job, "Delete Old Cube: " + path);
    if (auto error = platform::DeleteFile(path)) LogError(context, job, *error);
  }
}

std::vector<std::string> JobCubesNewestFirst(const CubeJob& job) {
  // The job may write its paths with backslashes; files are opened by their native names.
  std::vector<std::string> paths = job.CubTimestamp.empty() ? std::vector<std::string>{job.CubeFile}
                                                            : StampedCubesNewestFirst(job);
  for (std::string& path : paths) path = platform::NativePath(path);
  return paths;
}

}  // namespace cubemill::job
