// Builds a job's offline cube by opening a connection whose connection string carries the cube
// file, the source and the two statements.
#pragma once

#include <string>

#include "job/cube_job.h"
#include "job/job_context.h"

namespace cubemill::oqy {

// Returns the connection string for `job`: LOCATION, SOURCE_DSN (in double quotes), CreateCube
// and InsertInto, the SELECT, and a closing blank, joined exactly as the provider expects them.
std::string CubeConnectionString(const job::CubeJob& job);

// Opens and closes a new connection with the job's connection string and provider, logging the
// connection's info messages (a busy source). Returns true when both succeeded (the cube file was
// written); on failure logs the error's description, number, source and number again, then a
// line naming the cause when the OQY file lacks a Connection= line or a CreateCube= value, and
// returns false.
bool BuildOfflineCube(const job::JobContext& context, const job::CubeJob& job);

}  // namespace cubemill::oqy
