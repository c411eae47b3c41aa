// Runs the built cubemill the way a scheduler would: console front end, captured output.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace cubemill::test {

struct RunResult {
  int status = -1;
  std::vector<std::string> lines;   // standard output, one entry per line
  std::vector<std::string> errors;  // standard error, one entry per line
};

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// Runs `cubemill <arguments>` in the current directory without a display (unless `environment`,
// "NAME=value ...", sets one) and returns its exit status, standard output and standard error.
// `program` is the command that runs cubemill (another user's, say).
inline RunResult RunCubemill(const std::string& arguments, const std::string& environment = "",
                             const std::string& program = CUBEMILL_BINARY) {
  char error_file[] = "/tmp/cubemill-stderr-XXXXXX";  // outside the directory under test
  const int descriptor = ::mkstemp(error_file);
  if (descriptor >= 0) ::close(descriptor);
  const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") +
                              environment + " " + program + " " + arguments + " 2>" + error_file;
  RunResult result;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe != nullptr) {
    std::string output;
    char buffer[4096];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, count);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.lines = SplitLines(output);
  }
  if (std::FILE* errors = std::fopen(error_file, "rb")) {
    std::string text;
    char buffer[4096];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, errors)) > 0) text.append(buffer, count);
    std::fclose(errors);
    result.errors = SplitLines(text);
  }
  std::remove(error_file);
  return result;
}

}  // namespace cubemill::test
