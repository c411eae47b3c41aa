#include "oqy/offline_cube.h"

#include "oqy/oqy_reader.h"
#include "platform/ascii_text.h"
#include "platform/file_system.h"
#include "platform/text_file.h"
#include "provider/connection/connection_string.h"

namespace cubemill::oqy {

provider::connection::EngineProperties CubeProperties(const CubeJob& job) {
  provider::connection::EngineProperties properties;
  properties.location = platform::TrimBlanks(job.CubeFile);
  properties.source_dsn = job.SourceDsn;
  const std::string load = job.InsertIntoStmt + " " + job.SelectStmt;
  const std::size_t end = job.CreateCubeStmt.find(';');
  if (end != std::string::npos) {
    properties.create_cube =
        platform::TrimBlanks(std::string_view(job.CreateCubeStmt).substr(0, end));
    properties.insert_into = platform::TrimBlanks(load);
  } else {
    // Without its closing ";" (no CreateCube= value in the line) the statement runs on into the
    // INSERT INTO, as the line itself does, and the engine reports the INSERT INTO missing;
    // CauseInOqy names the cause in the OQY file.
    properties.create_cube = platform::TrimBlanks(job.CreateCubeStmt + " InsertInto=" + load);
  }
  return properties;
}

std::string CubeConnectionString(const CubeJob& job) {
  return provider::connection::WriteEngineProperties(CubeProperties(job));
}

std::optional<Error> BuildOfflineCube(const ConnectionFactory& new_connection, const CubeJob& job,
                                      const std::function<void(const std::string&)>& on_info) {
  auto connection = new_connection ? new_connection() : nullptr;
  if (!connection) {
    return Error{provider::connection::kConnectionNotCreatedText,
                 provider::connection::kConnectionNotCreatedNumber,
                 provider::connection::kConnectionSource};
  }
  connection->SetInfoMessage(on_info);
  std::optional<Error> error = connection->SetConnectionString(CubeConnectionString(job));
  if (!error) error = connection->SetProvider(job.Provider);
  // Only a job that names where to aggregate sets the property: without it the connection is
  // asked exactly what it always was, and the engine keeps its default.
  if (!error && !platform::TrimBlanks(job.Aggregate).empty()) {
    error = connection->SetProperty(provider::connection::kAggregateProperty, job.Aggregate);
  }
  if (!error && !platform::TrimBlanks(job.Rollups).empty()) {
    error = connection->SetProperty(provider::connection::kRollupsProperty, job.Rollups);
  }
  if (!error && !platform::TrimBlanks(job.Refresh).empty()) {
    error = connection->SetProperty(provider::connection::kRefreshProperty, job.Refresh);
    if (!error && !job.RefreshBases.empty()) {
      error = connection->SetProperty(provider::connection::kRefreshBaseProperty, job.RefreshBases);
    }
  }
  if (!error) error = connection->Open("", "", "", -1);
  if (!error) error = connection->Close();
  return error;
}

std::string CauseInOqy(const CubeJob& job) {
  if (platform::TrimBlanks(job.Provider).empty() && platform::IsRegularFile(job.OqyFile)) {
    if (auto problem = platform::TextFileProblem(job.OqyFile)) {
      return "cannot read the OQY file " + job.OqyFile + ": " + *problem;
    }
  }
  if (platform::TrimBlanks(job.Provider).empty() && !HasConnectionLine(job)) {
    return "OQY File has no Connection= line (or is empty): " + job.OqyFile;
  }
  if (platform::TrimBlanks(job.CreateCubeStmt).empty()) {
    return "Connection line has no CreateCube= value: the CREATE CUBE statement is missing";
  }
  return "";
}

}  // namespace cubemill::oqy
