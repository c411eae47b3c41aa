// Writes the VBScript that repeats a job's cube build without Cubemill.
#pragma once

#include "job/cube_job.h"
#include "platform/clock.h"

namespace cubemill::vbs {

// Writes the whole script to the job's VbsFile (Windows-1252, CR LF), dating its header with
// `clock`. Returns true at once, writing nothing, when VbsFile is empty; otherwise the logical
// AND of the nine section writers. Write failures are ignored.
bool ConvertToVbs(const job::CubeJob& job, const platform::Clock& clock);

}  // namespace cubemill::vbs
