// Puts single items into the job's script file, one open-write-close cycle per item.
#pragma once

#include <string_view>

#include "job/cube_job.h"

namespace cubemill::vbs {

// Creates the job's VbsFile, or empties it when it exists, and writes `text` and CR LF to it
// in Windows-1252. Every failure (bad path, missing directory, locked file) is ignored.
void StartVbsFile(const job::CubeJob& job, std::string_view text);

// Appends `text` unchanged and CR LF to the job's VbsFile, creating it when missing. Every
// failure is ignored.
void AppendVbsLine(const job::CubeJob& job, std::string_view text);

}  // namespace cubemill::vbs
