#include "job/check_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "job/job_fixture.h"
#include "job/start_job.h"
#include "platform/file_system.h"
#include "settings/date_format.h"

namespace cubemill::job {
namespace {

using Lines = std::vector<std::string>;

// Jobs whose OQY file is missing, so that a check ends before it reaches the source.
class CheckJobTest : public JobFixture {
 protected:
  CheckJobTest() {
    context.report_error = [this](const std::string& what) { reported.push_back(what); };
  }

  // Writes a settings file whose job [Nightly] has `aggregate_line` as its last line.
  void WriteSettings(const std::string& aggregate_line) {
    test::WriteBytes("cubemill.ini",
                     "[GLOBAL]\r\nLOGDIR=..\\OQY-Dateien\\log\r\n[Nightly]\r\n"
                     "OQY=missing.oqy\r\nGLOBAL=GLOBAL\r\n" +
                         aggregate_line + "\r\n");
  }

  Lines Expected(const std::vector<std::string>& aggregate_lines, const std::string& failure) {
    Lines lines{"Settings file " + platform::JoinPath(dir.File("run"), "cubemill.ini") + ": OK",
                "Job [Nightly]: OK", "Log directory ..\\OQY-Dateien\\log: OK",
                "Script: not selected"};
    lines.insert(lines.end(), aggregate_lines.begin(), aggregate_lines.end());
    lines.push_back("OQY file missing.oqy: missing");
    lines.push_back("Check failed: " + failure);
    return lines;
  }

  std::vector<std::string> reported;
};

TEST_F(CheckJobTest, SaysNothingOfAggregationWithoutTheKey) {
  for (const char* line : {"", "AGGREGATE=", "AGGREGATE=   "}) {
    WriteSettings(line);
    list.lines.clear();
    EXPECT_EQ(CheckFromCommandLine(context, "Nightly"), kExitFailed);
    EXPECT_EQ(list.lines, Expected({}, "OQY file missing.oqy: missing")) << line;
  }
}

TEST_F(CheckJobTest, AcceptsTheThreeChoicesInAnyCase) {
  for (const char* value : {"CLIENT", "source", "Auto", " sOuRcE ", "\"SOURCE\""}) {
    WriteSettings(std::string("aggregate=") + value);
    list.lines.clear();
    reported.clear();
    EXPECT_EQ(CheckFromCommandLine(context, "Nightly"), kExitFailed);  // the missing OQY file
    const std::string shown = JobFromSettings("Nightly").Aggregate;    // as the reader gives it
    EXPECT_EQ(list.lines,
              Expected({"Aggregation " + shown + ": OK"}, "OQY file missing.oqy: missing"))
        << value;
    EXPECT_EQ(reported, Lines{"OQY file missing.oqy: missing"}) << value;
  }
}

TEST_F(CheckJobTest, ReportsAnyOtherValueAsTheFirstProblem) {
  for (const char* value : {"grouped", "SERVER", "CLIENT SIDE", "SOURCE,CLIENT", "AUTO;", "0"}) {
    WriteSettings(std::string("AGGREGATE=") + value);
    list.lines.clear();
    list.red = false;
    reported.clear();
    const std::string failure =
        std::string("Aggregation ") + value + ": AGGREGATE must be CLIENT, SOURCE or AUTO";
    EXPECT_EQ(CheckFromCommandLine(context, "Nightly"), kExitFailed) << value;
    EXPECT_EQ(list.lines, Expected({failure}, failure)) << value;
    EXPECT_TRUE(list.red) << value;
    EXPECT_EQ(reported, Lines{failure}) << value;
  }
  EXPECT_TRUE(connections.calls.empty());
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(CheckJobTest, ChecksTheRollupsBudget) {
  WriteSettings("ROLLUPS= 250 ");
  list.lines.clear();
  EXPECT_EQ(CheckFromCommandLine(context, "Nightly"), kExitFailed);  // the missing OQY file
  EXPECT_EQ(list.lines, Expected({"Rollups 250: OK"}, "OQY file missing.oqy: missing"));
  for (const char* value : {"-1", "1.5", "all", "18446744073709551616"}) {
    WriteSettings(std::string("rollups=") + value);
    list.lines.clear();
    reported.clear();
    const std::string failure =
        std::string("Rollups ") + value + ": ROLLUPS must be a whole number of rows, 0 or more";
    EXPECT_EQ(CheckFromCommandLine(context, "Nightly"), kExitFailed) << value;
    EXPECT_EQ(list.lines, Expected({failure}, failure)) << value;
    EXPECT_EQ(reported, Lines{failure}) << value;
  }
}

TEST_F(CheckJobTest, ChecksTheKeepCount) {
  test::WriteBytes("cubemill.ini",
                   "[GLOBAL]\r\nLOGDIR=..\\OQY-Dateien\\log\r\n[Nightly]\r\n"
                   "OQY=missing.oqy\r\nGLOBAL=GLOBAL\r\nCUB_TS=YYYY-MM-DD\r\nKEEP= 7 \r\n");
  EXPECT_EQ(CheckFromCommandLine(context, "Nightly"), kExitFailed);  // the missing OQY file
  EXPECT_EQ(list.lines, Expected({"Keep 7: OK"}, "OQY file missing.oqy: missing"));
  // Without a time stamp there is no series to keep.
  WriteSettings("KEEP=7");
  list.lines.clear();
  EXPECT_EQ(CheckFromCommandLine(context, "Nightly"), kExitFailed);
  EXPECT_EQ(list.lines,
            Expected({"Keep 7: OK", "Keep: no effect without CUB_TS (the cube is not stamped)"},
                     "OQY file missing.oqy: missing"));
  for (const char* value : {"0", "-2", "2.5", "all", "99999999999"}) {
    WriteSettings(std::string("KEEP=") + value);
    list.lines.clear();
    reported.clear();
    const std::string failure =
        std::string("Keep ") + value + ": KEEP must be a whole number of 1 or more";
    EXPECT_EQ(CheckFromCommandLine(context, "Nightly"), kExitFailed) << value;
    EXPECT_EQ(list.lines, Expected({failure}, failure)) << value;
    EXPECT_EQ(reported, Lines{failure}) << value;
  }
}

// The stamped name is made as the run makes it, and refused where the run would fail: a folder
// separator in the stamp (which would move the cube out of its folder), a name past 255 bytes, a
// cube name without an extension, a cube path that is a folder.
TEST_F(CheckJobTest, ChecksTheStampedNameAsTheRunMakesIt) {
  std::filesystem::create_directories("../OQY-Dateien/rel01/folder.cub");
  const std::string long_stamp(250, 'Y');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"sales.cub", "YYYY/MM/DD"}, {"sales.cub", "/../../../escaped-YYYY"},
      {"sales.cub", long_stamp},   {"sales", "YYYY"},
      {"folder.cub", "YYYY"},
  };
  for (const auto& [cube, stamp] : cases) {
    WriteSettings("CUB_TS=" + stamp);
    WriteOqy("missing.oqy", "..\\OQY-Dateien\\rel01\\" + cube);
    list.lines.clear();
    EXPECT_EQ(CheckFromCommandLine(context, "Nightly"), kExitFailed) << stamp;
    const auto line = std::find_if(list.lines.begin(), list.lines.end(), [](const std::string& l) {
      return l.starts_with("Stamped cube ");
    });
    ASSERT_NE(line, list.lines.end()) << stamp;
    EXPECT_EQ(line->find(": OK"), std::string::npos) << *line;
  }
  // A good stamp is said with the name the run would give the cube now.
  WriteSettings("CUB_TS=YYYY-MM-DD");
  WriteOqy("missing.oqy", "..\\OQY-Dateien\\rel01\\sales.cub");
  list.lines.clear();
  CheckFromCommandLine(context, "Nightly");
  const std::string stamped = "Stamped cube ..\\OQY-Dateien\\rel01\\sales_" +
                              settings::FormatDateTime(clock.Now(), "YYYY-MM-DD") + ".cub: OK";
  EXPECT_NE(std::find(list.lines.begin(), list.lines.end(), stamped), list.lines.end()) << stamped;
}

// A settings file or an OQY file that the run cannot read is named as the cause, as the run names
// it, not taken as read and followed by a consequence (no such section, no Connection= line).
TEST_F(CheckJobTest, NamesAnUnreadableSettingsOrOqyFileAsTheCause) {
  const std::string utf16("\xff\xfe[\0N\0]\0", 8);
  const std::string utf16_problem =
      "saved as UTF-16 (or holds NUL bytes); save it as UTF-8 or "
      "Windows-1252";
  test::WriteBytes("cubemill.ini", utf16);
  EXPECT_EQ(CheckFromCommandLine(context, "Nightly"), kExitFailed);
  ASSERT_FALSE(reported.empty());
  EXPECT_NE(reported[0].find("cannot read the settings file"), std::string::npos) << reported[0];
  EXPECT_NE(reported[0].find(utf16_problem), std::string::npos) << reported[0];

  WriteSettings("");
  test::WriteBytes("missing.oqy", utf16);
  list.lines.clear();
  reported.clear();
  EXPECT_EQ(CheckFromCommandLine(context, "Nightly"), kExitFailed);
  EXPECT_EQ(reported, Lines{"OQY file missing.oqy: " + utf16_problem});
}

}  // namespace
}  // namespace cubemill::job
