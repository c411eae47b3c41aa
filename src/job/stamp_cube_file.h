// Moves a built cube file to a name that carries the date and time of the run, and keeps the
// series of stamped cubes to the job's KEEP count.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cube_job.h"
#include "job/job_context.h"

namespace cubemill::job {

// Returns `cube_file` with "_" and `stamp` inserted before the last "." of its file name (the
// text after its last "/" or "\"), or nothing when the file name holds no ".".
std::optional<std::string> StampedName(const std::string& cube_file, const std::string& stamp);

// Why the cube file `cube_file` cannot be stamped with `stamp` (the formatted CUB_TS), or
// nothing; `target` gets the stamped name when it can. The run and the check both ask this:
// a name without an extension, a stamp holding a folder separator (the stamped cube stays in the
// cube's folder: "YYYY/MM/DD" or "/../x" would move it elsewhere), a stamped file name longer
// than a file system takes (255 bytes), a cube path that is a folder.
std::optional<std::string> StampProblem(const std::string& cube_file, const std::string& stamp,
                                        std::string* target = nullptr);

// With a non-empty CubTimestamp: logs "Cube Target: " and the stamped name, puts the cube file
// there in one step (replacing a file of that name only once the new one is complete), logs
// "Delete Cube: " and the cube file, and removes the unstamped name. Returns true when done or
// when there was nothing to do; on the first failure logs the error's description, number,
// source ("CopyFile" or "DeleteFile") and number again and returns false; a failure before the
// stamped file is in place leaves the cube file and any earlier stamped file as they were. When
// the stamped file is in place and `stamped` is given, it receives the stamped name.
bool StampCubeFile(const JobContext& context, const CubeJob& job, std::string* stamped = nullptr);

// What a KEEP value must be, as a failed job or a check says it.
inline constexpr const char* kKeepValueText = "KEEP must be a whole number of 1 or more";

// Reads a KEEP value: decimal digits for a number of 1 or more, blanks around them ignored.
// Returns nothing for anything else (0, a sign, a fraction, a number past int, no digits).
std::optional<int> ParseKeep(std::string_view text);

// The job's stamped cubes (regular files in the cube's directory named as the job's stamp makes
// them), newest first: by the time the stamps show when the pattern shows it (year down to its
// finest field), else by modification time, then by name. Empty without CUB_TS.
std::vector<std::string> StampedCubesNewestFirst(const CubeJob& job);

// The job's cubes, newest first, by their native names: its cube file, or when the job stamps its
// cubes (CUB_TS) the stamped ones (StampedCubesNewestFirst). The newest that opens is the job's
// newest good cube: the catalog a server serves, and the base of an incremental refresh.
std::vector<std::string> JobCubesNewestFirst(const CubeJob& job);

// With a valid KEEP count N: after `stamped` (the cube just stamped) is in place, deletes the
// job's older stamped cubes beyond the N newest, logging "Delete Old Cube: " and each path. Only
// regular files in the cube's directory named as the job's stamp makes them count (the cube's
// name, "_", a text the CUB_TS pattern can give, the cube's extension); `stamped` itself is never
// deleted. Newest by the time the stamps show when the pattern shows it (year down to its finest
// field), else by modification time, then by name. A deletion that fails is logged with the
// error's four lines and the others go on: the cube is built and stamped, and the next run tries
// again. Without KEEP, or with an invalid one, nothing happens.
void DeleteOldStampedCubes(const JobContext& context, const CubeJob& job,
                           const std::string& stamped);

}  // namespace cubemill::job
