#include "job/job_log.h"

#include <gtest/gtest.h>

#include "job/job_fixture.h"

namespace cubemill::job {
namespace {

using JobLogTest = JobFixture;

TEST_F(JobLogTest, ShowsEachMessageAndLogsItAsOneLine) {
  CubeJob job;
  job.Parameter = "Test";
  job.LogDir = "..\\OQY-Dateien\\log";
  std::vector<std::string> reported;
  context.report_error = [&reported](const std::string& what) { reported.push_back(what); };
  LogMessage(context, job, "first\nsecond");
  LogError(context, job, Error{"no such table: orders", -2147467259, "Cubemill Cube Engine"});
  EXPECT_EQ(list.lines,
            (std::vector<std::string>{"first\nsecond", "no such table: orders", "-2147467259",
                                      "Cubemill Cube Engine", "-2147467259"}));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"2024-03-07 09:05:02;Test;first second",
                                                  "2024-03-07 09:05:02;Test;no such table: orders",
                                                  "2024-03-07 09:05:02;Test;-2147467259",
                                                  "2024-03-07 09:05:02;Test;Cubemill Cube Engine",
                                                  "2024-03-07 09:05:02;Test;-2147467259"}));
  EXPECT_EQ(reported, std::vector<std::string>{"no such table: orders"});
}

}  // namespace
}  // namespace cubemill::job
