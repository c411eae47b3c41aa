// Reading a member of a zip file (a workbook) back, as `unzip -p` prints it.
#pragma once

#include <cstdio>
#include <string>

namespace cubemill::test {

// The member `member` of the zip file `zip`, as `unzip -p` prints it; "" when it cannot be read.
inline std::string Unzip(const std::string& zip, const std::string& member) {
  const std::string command = "unzip -p '" + zip + "' " + member;
  std::string output;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      output.append(buffer, n);
    ::pclose(pipe);
  }
  return output;
}

}  // namespace cubemill::test
