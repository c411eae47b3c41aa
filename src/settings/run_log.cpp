#include "settings/run_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/ascii_text.h"
#include "platform/file_system.h"
#include "platform/text_file.h"
#include "settings/date_format.h"

namespace cubemill::settings {

std::string RunLogPath(const CubeJob& job) {
  // An empty log directory is the current one: a job never writes outside the folders it names
  // (the bare "/cubemill.log" would land in the file system's root).
  if (platform::TrimBlanks(job.LogDir).empty()) return "cubemill.log";
  return job.LogDir + "/cubemill.log";
}

std::string RunLogLine(platform::DateTime now, const CubeJob& job, const std::string& text) {
  return FormatDateTime(now, "YYYY-MM-DD HH:mm:SS") + ";" + JobField(job.Parameter) + ";" +
         OneLine(text);
}

std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;  // CR LF: one blank
    line += c < 0x20 || c == 0x7f ? ' ' : text[i];
  }
  return line;
}

std::string JobField(std::string_view parameter) {
  std::string field = OneLine(parameter);
  for (char& c : field) {
    if (c == ';') c = ',';
  }
  return field;
}

void AppendToRunLog(platform::DateTime now, const CubeJob& job, const std::string& text) {
  const std::string path = RunLogPath(job);
  if (path == "cubemill.log") {
    static bool told = false;
    if (!told) {
      told = true;
      std::fprintf(stderr,
                   "cubemill: warning: job %s names no log directory (LOGDIR); the run log goes "
                   "to cubemill.log in the current directory\n",
                   JobField(job.Parameter).c_str());
    }
  }
  if (platform::AppendLine(path, RunLogLine(now, job, text))) return;
  const std::string reason = platform::NotARegularFile(path).value_or(std::strerror(errno));
  // The job goes on without the log; say so once per log file, not once per line.
  static std::string warned_path;
  if (warned_path == path) return;
  warned_path = path;
  std::fprintf(stderr, "cubemill: warning: cannot write the run log %s: %s\n", path.c_str(),
               reason.c_str());
}

std::optional<std::string> RunLogProblem(const CubeJob& job) {
  if (platform::TrimBlanks(job.LogDir).empty()) {
    return "no log directory given (LOGDIR in the section " + job.GlobalSection + ")";
  }
  if (!platform::DirExists(job.LogDir)) {
    return platform::FileExists(job.LogDir) ? "a file, not a folder" : "missing";
  }
  const std::string path = RunLogPath(job);
  if (auto error = platform::CheckDirectoryWritableFor(path)) return error->description;
  if (auto kind = platform::NotARegularFile(path)) return path + ": " + *kind;
  const auto attributes = platform::FileAttributes(path);
  if (attributes && (*attributes & platform::kAttributeReadOnly) != 0) {
    return path + " is not writable";
  }
  return std::nullopt;
}

}  // namespace cubemill::settings
