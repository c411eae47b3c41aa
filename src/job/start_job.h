// The two ways a job is set up: from the command line (a section of cubemill.ini) or by hand
// (the four inputs of the window's "File" tab).
#pragma once

#include <string>

#include "common/cube_job.h"
#include "job/job_context.h"

namespace cubemill::job {

// Exit status of a command-line job that ended cleanly, of one that did not, and of one that did
// not build because another run was writing its cube file (EX_TEMPFAIL: try again later).
inline constexpr int kExitClean = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitBusy = 75;

// Makes sure the settings file exists; with a non-empty `parameter` runs the job of that section
// and returns its exit status (kExitClean, kExitFailed or kExitBusy); without one reports
// "No Parameter has been found" and returns 0.
int StartFromCommandLine(const JobContext& context, const std::string& parameter);

// Returns the job of section `parameter` of the settings file in the current directory: its OQY
// file, script, time-stamp pattern, global section, where its build aggregates, its rollups,
// how many stamped cubes it keeps and the global section's log directory ("" for whatever is
// missing).
CubeJob JobFromSettings(const std::string& parameter);
// The same from the settings file at `settings_path`.
CubeJob JobFromSettings(const std::string& parameter, const std::string& settings_path);

// Sets up and runs a manual job from the window's inputs, taken as they stand (the build
// aggregates where the engine decides by default). Returns true when it ended cleanly (as
// RunJob).
bool StartManualJob(const JobContext& context, const std::string& oqy_file,
                    const std::string& log_dir, bool convert_to_vbs,
                    const std::string& cub_timestamp);

}  // namespace cubemill::job
