// Checks a command-line job up to its build without building: what `cubemill --check JOB` does.
#pragma once

#include <string>

#include "job/job_context.h"

namespace cubemill::job {

// Goes through the job `parameter` of the settings file as a run would, up to the point where
// the build would read rows: the settings file and the job's section, the OQY file, the log
// directory, the script's directory, the AGGREGATE value when the section has one (CLIENT,
// SOURCE or AUTO in any letter case), the connection line and both statements, the source (it
// connects and prepares the SELECT) and the cube's directory. Reports each finding as a list
// line and ends with "Check OK" or "Check failed: " and the first failure. Writes no cube,
// script, settings file or log line. Returns kExitClean or kExitFailed.
int CheckFromCommandLine(const JobContext& context, const std::string& parameter);

}  // namespace cubemill::job
