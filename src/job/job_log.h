// A job's messages: each goes to the progress list and, as one line, to the job's run log.
#pragma once

#include <string>

#include "common/cube_job.h"
#include "common/error.h"
#include "job/job_context.h"

namespace cubemill::job {

// Adds `text` to the progress list as it is, then appends its run-log line (line breaks folded
// into blanks) to the job's run log. When the log cannot be written the job goes on, and one
// warning per log file goes to standard error.
void LogMessage(const JobContext& context, const CubeJob& job, const std::string& text);

// Logs `error` as four messages: its description, its number, its source and its number again,
// and tells the context's report_error the description.
void LogError(const JobContext& context, const CubeJob& job, const Error& error);

}  // namespace cubemill::job
