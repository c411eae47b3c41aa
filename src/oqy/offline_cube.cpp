#include "oqy/offline_cube.h"

#include "oqy/oqy_reader.h"
#include "platform/ascii_text.h"
#include "settings/run_log.h"

namespace cubemill::oqy {
namespace {

// After a failed build, names a cause in the OQY file that the engine's error hides: without a
// connection line the provider is empty ("Provider cannot be found"), and without a CreateCube=
// value the INSERT INTO is read as the CREATE CUBE statement (so "INSERTINTO is missing").
void LogCause(const job::JobContext& context, const job::CubeJob& job) {
  if (platform::TrimBlanks(job.Provider).empty() && !HasConnectionLine(job)) {
    settings::LogMessage(context, job,
                         "OQY File has no Connection= line (or is empty): " + job.OqyFile);
  } else if (platform::TrimBlanks(job.CreateCubeStmt).empty()) {
    settings::LogMessage(
        context, job,
        "Connection line has no CreateCube= value: the CREATE CUBE statement is missing");
  }
}

}  // namespace

std::string CubeConnectionString(const job::CubeJob& job) {
  return "LOCATION=" + job.CubeFile + "; " + "SOURCE_DSN=\"" + job.SourceDsn + "\"; " +
         "CreateCube=" + job.CreateCubeStmt + " " + "InsertInto=" + job.InsertIntoStmt + " " +
         job.SelectStmt + " ";
}

bool BuildOfflineCube(const job::JobContext& context, const job::CubeJob& job) {
  std::optional<Error> error;
  if (auto connection = context.new_connection()) {
    connection->SetInfoMessage(
        [&context, &job](const std::string& line) { settings::LogMessage(context, job, line); });
    error = connection->SetConnectionString(CubeConnectionString(job));
    if (!error) error = connection->SetProvider(job.Provider);
    if (!error) error = connection->Open("", "", "", -1);
    if (!error) error = connection->Close();
  } else {
    error = Error{"The connection object could not be created.", -2147221005,
                  provider::kConnectionSource};
  }
  if (!error) return true;
  settings::LogError(context, job, *error);
  LogCause(context, job);
  return false;
}

}  // namespace cubemill::oqy
