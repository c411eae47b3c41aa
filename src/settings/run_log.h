// The run log cubemill.log (its path and lines) and the path checks a job makes before it builds.
#pragma once

#include <string>

#include "common/cube_job.h"
#include "platform/clock.h"

namespace cubemill::settings {

// Returns the run-log path of `job`: its LogDir, "/", "cubemill.log".
std::string RunLogPath(const CubeJob& job);

// Returns the run-log line for `text`: `now` as "YYYY-MM-DD HH:mm:SS", ";", the job's
// Parameter, ";", the text unchanged.
std::string RunLogLine(platform::DateTime now, const CubeJob& job, const std::string& text);

// Returns `text` with every CR and LF replaced by a blank, so that it makes one run-log line.
std::string OneLine(std::string text);

// Appends the run-log line of `text` (line breaks folded into blanks, dated `now`) to the job's
// run log. When the log cannot be written nothing else happens, except one warning per log file
// on standard error.
void AppendToRunLog(platform::DateTime now, const CubeJob& job, const std::string& text);

// True when `path` names a directory. An empty or missing path gives false.
bool DirExists(const std::string& path);

// True when `path` names an existing file (not a directory). An empty or missing path gives false.
bool FileExists(const std::string& path);

}  // namespace cubemill::settings
