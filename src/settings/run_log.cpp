#include "settings/run_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_system.h"
#include "platform/text_file.h"
#include "settings/date_format.h"

namespace cubemill::settings {

std::string RunLogPath(const job::CubeJob& job) { return job.LogDir + "/cubemill.log"; }

std::string RunLogLine(platform::DateTime now, const job::CubeJob& job, const std::string& text) {
  return FormatDateTime(now, "YYYY-MM-DD HH:mm:SS") + ";" + job.Parameter + ";" + text;
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

void LogMessage(const job::JobContext& context, const job::CubeJob& job, const std::string& text) {
  context.list.AddLine(text);
  const std::string path = RunLogPath(job);
  if (platform::AppendLine(path, RunLogLine(context.clock.Now(), job, OneLine(text)))) return;
  // The list and the job go on without the log; say so once per log file, not once per line.
  static std::string warned_path;
  if (warned_path == path) return;
  warned_path = path;
  std::fprintf(stderr, "cubemill: warning: cannot write the run log %s: %s\n", path.c_str(),
               std::strerror(errno));
}

void LogError(const job::JobContext& context, const job::CubeJob& job, const Error& error) {
  if (context.report_error) context.report_error(error.description);
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
