// Writes the VBScript that repeats a job's cube build without Cubemill.
#pragma once

#include <string>

#include "common/cube_job.h"
#include "platform/clock.h"

namespace cubemill::vbs {

// Writes the whole script to the job's VbsFile (Windows-1252, CR LF), dating its header with
// `clock`. Returns true at once, writing nothing, when VbsFile is empty. Otherwise the script is
// put together in memory and replaces the file in one step; the result is the logical AND of the
// nine section writers and of that write. A job that holds none of an OQY file's values (its OQY
// file could not be read) writes nothing and gives false. On any failure an earlier script stays
// byte for byte as it was and, when `failure` is given, it receives a one-line reason.
bool ConvertToVbs(const CubeJob& job, const platform::Clock& clock, std::string* failure = nullptr);

}  // namespace cubemill::vbs
