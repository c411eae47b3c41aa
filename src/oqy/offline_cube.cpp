#include "oqy/offline_cube.h"

#include "settings/run_log.h"

namespace cubemill::oqy {

std::string CubeConnectionString(const job::CubeJob& job) {
  return "LOCATION=" + job.CubeFile + "; " + "SOURCE_DSN=\"" + job.SourceDsn + "\"; " +
         "CreateCube=" + job.CreateCubeStmt + " " + "InsertInto=" + job.InsertIntoStmt + " " +
         job.SelectStmt + " ";
}

bool BuildOfflineCube(const job::JobContext& context, const job::CubeJob& job) {
  std::optional<Error> error;
  if (auto connection = context.new_connection()) {
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
  return false;
}

}  // namespace cubemill::oqy
