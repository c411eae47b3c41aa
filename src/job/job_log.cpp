#include "job/job_log.h"

#include "settings/run_log.h"

namespace cubemill::job {

void LogMessage(const JobContext& context, const CubeJob& job, const std::string& text) {
  context.list.AddLine(text);
  settings::AppendToRunLog(context.clock.Now(), job, text);
}

void LogError(const JobContext& context, const CubeJob& job, const Error& error) {
  if (context.report_error) context.report_error(error.description);
  const std::string number = std::to_string(error.number);
  LogMessage(context, job, error.description);
  LogMessage(context, job, number);
  LogMessage(context, job, error.source);
  LogMessage(context, job, number);
}

}  // namespace cubemill::job
