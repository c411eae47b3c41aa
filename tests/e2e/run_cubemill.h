// Runs the built cubemill the way a scheduler would: console front end, captured output.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace cubemill::test {

struct RunResult {
  int status = -1;
  std::vector<std::string> lines;  // standard output, one entry per line
};

// Runs `cubemill <arguments>` in the current directory without a display (unless `environment`,
// "NAME=value ...", sets one) and returns its exit status and standard output (standard error
// is discarded).
inline RunResult RunCubemill(const std::string& arguments, const std::string& environment = "") {
  const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") +
                              environment + " " + CUBEMILL_BINARY + " " + arguments +
                              " 2>/dev/null";
  RunResult result;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::string output;
  char buffer[4096];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, count);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::size_t start = 0;
  for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1)
    result.lines.push_back(output.substr(start, end - start));
  return result;
}

}  // namespace cubemill::test
