// The run log cubemill.log (its path and lines) and the path checks a job makes before it builds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/cube_job.h"
#include "platform/clock.h"

namespace cubemill::settings {

// Returns the run-log path of `job`: its LogDir, "/", "cubemill.log"; "cubemill.log" (in the
// current directory) when LogDir is empty.
std::string RunLogPath(const CubeJob& job);

// Returns the run-log line for `text`: `now` as "YYYY-MM-DD HH:mm:SS", ";", the job's
// Parameter as JobField gives it, ";", the text folded into one line (OneLine). No input makes
// more than one line, and only the text can add ";"-separated fields.
std::string RunLogLine(platform::DateTime now, const CubeJob& job, const std::string& text);

// Returns `text` with every control character (line breaks and tabs included) replaced by a
// blank, a CR LF pair by one blank, so that it makes one line.
std::string OneLine(std::string_view text);

// Returns the job name as the run log's second field: one line (OneLine), each ";" written as
// ",", so that the field count of a line does not depend on the job's name.
std::string JobField(std::string_view parameter);

// Appends the run-log line of `text` (line breaks folded into blanks, dated `now`) to the job's
// run log. When the log cannot be written nothing else happens, except one warning per log file
// on standard error.
void AppendToRunLog(platform::DateTime now, const CubeJob& job, const std::string& text);

// Says why the job's run log cannot be written by this process (no log directory given, the
// directory missing or not writable, the log file not writable), or nothing when it can.
std::optional<std::string> RunLogProblem(const CubeJob& job);

}  // namespace cubemill::settings
