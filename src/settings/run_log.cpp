#include "settings/run_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_system.h"
#include "platform/text_file.h"
#include "settings/date_format.h"

namespace cubemill::settings {

std::string RunLogPath(const CubeJob& job) { return job.LogDir + "/cubemill.log"; }

std::string RunLogLine(platform::DateTime now, const CubeJob& job, const std::string& text) {
  return FormatDateTime(now, "YYYY-MM-DD HH:mm:SS") + ";" + job.Parameter + ";" + text;
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

void AppendToRunLog(platform::DateTime now, const CubeJob& job, const std::string& text) {
  const std::string path = RunLogPath(job);
  if (platform::AppendLine(path, RunLogLine(now, job, OneLine(text)))) return;
  // The job goes on without the log; say so once per log file, not once per line.
  static std::string warned_path;
  if (warned_path == path) return;
  warned_path = path;
  std::fprintf(stderr, "cubemill: warning: cannot write the run log %s: %s\n", path.c_str(),
               std::strerror(errno));
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
