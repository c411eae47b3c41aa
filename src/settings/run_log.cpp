#include "settings/run_log.h"

#include "platform/file_system.h"
#include "platform/text_file.h"
#include "settings/date_format.h"

namespace cubemill::settings {

std::string RunLogPath(const job::CubeJob& job) { return job.LogDir + "/cubemill.log"; }

std::string RunLogLine(platform::DateTime now, const job::CubeJob& job, const std::string& text) {
  return FormatDateTime(now, "YYYY-MM-DD HH:mm:SS") + ";" + job.Parameter + ";" + text;
}

void LogMessage(const job::JobContext& context, const job::CubeJob& job, const std::string& text) {
  context.list.AddLine(text);
  platform::AppendLine(RunLogPath(job), RunLogLine(context.clock.Now(), job, text));
}

void LogError(const job::JobContext& context, const job::CubeJob& job, const Error& error) {
  const std::string number = std::to_string(error.number);
  LogMessage(context, job, error.description);
  LogMessage(context, job, number);
  LogMessage(context, job, error.source);
  LogMessage(context, job, number);
}

bool DirExists(const std::string& path) {
  auto attributes = platform::FileAttributes(path);
  return attributes &&
         (*attributes & (platform::kAttributeDirectory | platform::kAttributeVolumeLabel)) != 0;
}

bool FileExists(const std::string& path) {
  auto attributes = platform::FileAttributes(path);
  return attributes &&
         (*attributes & ~(platform::kAttributeDirectory | platform::kAttributeVolumeLabel)) != 0;
}

}  // namespace cubemill::settings
