// Python's math.fsum as the oracle of correctly rounded sums: the real nearest to the exact sum
// of each list of reals.
#pragma once

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"

namespace cubemill::test {

// The correctly rounded sum of each of `lists`, computed by python3's math.fsum. The reals go to
// it in the shortest text that reads back as the same real, and come back the same way (repr).
inline std::vector<double> PythonFsum(const std::vector<std::vector<double>>& lists) {
  std::string text;
  char buffer[32];
  for (const std::vector<double>& list : lists) {
    for (double value : list) {
      const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
      text.append(buffer, end).push_back(' ');
    }
    text.push_back('\n');
  }
  char input[] = "/tmp/cubemill-fsum-XXXXXX";
  const int descriptor = ::mkstemp(input);
  if (descriptor < 0) throw std::runtime_error("cannot make a temporary file");
  ::close(descriptor);
  WriteBytes(input, text);
  const std::string command =
      "python3 -c 'import math, sys\n"
      "for line in sys.stdin: print(repr(math.fsum(float(x) for x in line.split())))' < " +
      std::string(input);
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    std::remove(input);
    throw std::runtime_error("cannot run python3");
  }
  std::vector<double> sums;
  char line[64];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    double sum = 0;
    std::string_view read(line);
    while (!read.empty() && (read.back() == '\n' || read.back() == '\r')) read.remove_suffix(1);
    std::from_chars(read.data(), read.data() + read.size(), sum);
    sums.push_back(sum);
  }
  const int status = ::pclose(pipe);
  std::remove(input);
  if (status != 0 || sums.size() != lists.size())
    throw std::runtime_error("python3 did not sum every list (is python3 installed?)");
  return sums;
}

}  // namespace cubemill::test
