// Runs the cubemill-query program for its tests, on the sample cube the quick start builds.
#pragma once

#include <string>
#include <vector>

namespace cubemill::test {

struct QueryRun {
  int status = -1;
  std::string output;
  std::string errors;
};

// Runs cubemill-query with `arguments` (each passed as one word), standard input read from
// `input`.
QueryRun RunQuery(const std::vector<std::string>& arguments, const std::string& input = "");

// Builds the sample cube as the quick start does and returns its path (the stamped name).
std::string BuildSampleCube();

}  // namespace cubemill::test
