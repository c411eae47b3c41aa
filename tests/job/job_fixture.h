// A job run in a temporary directory with a recording list, a fixed clock, no real pauses and
// fake connections, laid out like the default settings file expects.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "job/job_context.h"
#include "support/fake_connection.h"
#include "support/test_support.h"

namespace cubemill::job {

class JobFixture : public ::testing::Test {
 protected:
  JobFixture() {
    std::filesystem::create_directories("OQY-Dateien/rel01");
    std::filesystem::create_directories("OQY-Dateien/log");
    std::filesystem::create_directories("run");
    std::filesystem::current_path("run");
  }

  // Writes an OQY file whose connection line names the cube file `cube`.
  void WriteOqy(const std::string& path, const std::string& cube) {
    test::WriteBytes(
        platform::NativePath(path),
        "QueryType=OLEDB\r\nConnection=Provider=MSOLAP;Initial Catalog=Sales;"
        "Data Source=" +
            cube +
            ";CreateCube=CREATE CUBE [OCWCube] ( DIMENSION "
            "[Region], LEVEL [Region] );InsertInto=INSERT INTO OCWCube([Region].[Region]) "
            "SELECT region FROM orders;Source_DSN=\"DSN=Sales\";\r\n");
  }

  std::vector<std::string> LogLines() {
    auto lines = platform::ReadTextLines("../OQY-Dateien/log/cubemill.log");
    return lines ? *lines : std::vector<std::string>{};
  }

  test::TempDir dir;
  test::RecordingList list;
  test::FixedClock clock{platform::MakeDateTime(2024, 3, 7, 9, 5, 2)};
  test::NoSleep sleeper;
  test::FakeConnectionLog connections;
  JobContext context{list, clock, sleeper, test::FakeConnections(connections)};
};

}  // namespace cubemill::job
