// The run log cubemill.log and the path checks a job makes before it builds.
#pragma once

#include <string>

#include "job/cube_job.h"
#include "job/job_context.h"
#include "platform/error.h"

namespace cubemill::settings {

// Returns the run-log path of `job`: its LogDir, "/", "cubemill.log".
std::string RunLogPath(const job::CubeJob& job);

// Returns the run-log line for `text`: `now` as "YYYY-MM-DD HH:mm:SS", ";", the job's
// Parameter, ";", the text unchanged.
std::string RunLogLine(platform::DateTime now, const job::CubeJob& job, const std::string& text);

// Returns `text` with every CR and LF replaced by a blank, so that it makes one run-log line.
std::string OneLine(std::string text);

// Adds `text` to the progress list as it is, then appends its run-log line (with line breaks
// folded into blanks) to the job's run log. When the log cannot be written the job goes on, and
// one warning per log file goes to standard error.
void LogMessage(const job::JobContext& context, const job::CubeJob& job, const std::string& text);

// Logs `error` as four messages: its description, its number, its source and its number again.
void LogError(const job::JobContext& context, const job::CubeJob& job, const Error& error);

// True when `path` names a directory. An empty or missing path gives false.
bool DirExists(const std::string& path);

// True when `path` names an existing file (not a directory). An empty or missing path gives false.
bool FileExists(const std::string& path);

}  // namespace cubemill::settings
