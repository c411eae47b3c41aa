// The run sequence of a job: checks, summary, build, stamping, VBS conversion, duration, close.
#pragma once

#include "common/cube_job.h"
#include "job/job_context.h"

namespace cubemill::job {

// Runs `job` to its end. With `close_when_done` the front end is unloaded 15 seconds after the
// closing separator. Returns true when the job ended cleanly: the list was not turned red and
// the stamping did not fail.
bool RunJob(const JobContext& context, CubeJob& job, bool close_when_done);

// Reads the OQY file, extracts its values and builds the cube; true when the cube was built,
// false after one failure message.
bool CreateCubeFromOqy(const JobContext& context, CubeJob& job);

// Blocks for `seconds` through the context's sleeper.
void WaitSeconds(const JobContext& context, int seconds);

// The end of a command-line job: move the cube picture down, wait 15 seconds, unload.
void CloseAfterDelay(const JobContext& context);

}  // namespace cubemill::job
