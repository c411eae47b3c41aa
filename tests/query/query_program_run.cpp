#include "query_program_run.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "e2e/run_cubemill.h"
#include "e2e/sample_layout.h"
#include "support/test_support.h"

namespace cubemill::test {

namespace {

std::string ShellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

QueryRun RunQuery(const std::vector<std::string>& arguments, const std::string& input) {
  WriteBytes("query-input.txt", input);
  // A program that hangs fails the test with status 124 instead of holding it up.
  std::string command = std::string("timeout -k 5 120 ") + CUBEMILL_QUERY_BINARY;
  for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
  command += " <query-input.txt 2>query-errors.txt";
  QueryRun run;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    run.output.append(buffer, count);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.errors = ReadBytes("query-errors.txt");
  std::filesystem::remove("query-errors.txt");
  std::filesystem::remove("query-input.txt");
  return run;
}

std::string BuildSampleCube() {
  LayOutSample();
  const auto run = RunCubemill("--no-wait Test");
  EXPECT_EQ(run.status, 0) << testing::PrintToString(run.lines);
  for (const auto& entry : std::filesystem::directory_iterator("../OQY-Dateien/rel01"))
    if (entry.path().extension() == ".cub") return entry.path().string();
  ADD_FAILURE() << "no cube was built";
  return "";
}

}  // namespace cubemill::test
