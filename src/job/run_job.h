// The run sequence of a job: checks, summary, build, stamping, VBS conversion, duration, close.
#pragma once

#include "common/cube_job.h"
#include "job/job_context.h"
#include "platform/file_lock.h"

namespace cubemill::job {

// How a job ended: cleanly, after a failure, or without building because another run was
// writing its cube file.
enum class JobOutcome { kClean, kFailed, kBusy };

// The lock that keeps other runs off a job's cube file from before its build until the job ends.
struct CubeFileLock {
  platform::FileLock lock;  // held while this run may write the cube file
  bool busy = false;        // another run holds it: this one must not build
};

// Runs `job` to its end. With `close_when_done` the front end is unloaded 15 seconds after the
// closing separator. Returns kClean when the list was not turned red and the stamping did not
// fail; kBusy when another run was writing the cube file, so that this one built, stamped and
// wrote nothing; kFailed otherwise.
JobOutcome RunJobWithOutcome(const JobContext& context, CubeJob& job, bool close_when_done);

// As RunJobWithOutcome; returns true when the job ended cleanly.
bool RunJob(const JobContext& context, CubeJob& job, bool close_when_done);

// Reads the OQY file, extracts its values, checks the job's KEEP value, takes the cube file's
// lock into `cube_lock` (kept there until the caller lets it go) and builds the cube; true when
// the cube was built, false after one failure message or, with `cube_lock.busy` set, after one
// line naming the run that holds the lock. A lock file that cannot be made (a missing or
// read-only directory) does not stop the build, which reports that problem itself.
bool CreateCubeFromOqy(const JobContext& context, CubeJob& job, CubeFileLock& cube_lock);

// Blocks for `seconds` through the context's sleeper.
void WaitSeconds(const JobContext& context, int seconds);

// The end of a command-line job: move the cube picture down, wait 15 seconds, unload.
void CloseAfterDelay(const JobContext& context);

}  // namespace cubemill::job
