#include "job/run_job.h"

#include <gtest/gtest.h>

#include "job/job_fixture.h"
#include "job/stamp_cube_file.h"
#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "settings/ini_file.h"
#include "support/lock_holder.h"
#include "support/system.h"

namespace cubemill::job {
namespace {

using Lines = std::vector<std::string>;
const std::string kSeparator(66, '=');

class RunJobTest : public JobFixture {
 protected:
  CubeJob Job() {
    settings::EnsureIniFile(list);
    list.lines.clear();
    list.calls.clear();
    CubeJob job;
    job.Parameter = "Test";
    job.CurrentDir = dir.File("run");
    job.OqyFile = "..\\OQY-Dateien\\rel01\\Output_Detail.oqy";
    job.GlobalSection = "GLOBAL";
    job.LogDir = "..\\OQY-Dateien\\log";
    return job;
  }
  Lines Summary(const CubeJob& job, bool oqy_ok, bool vbs_ok = false, bool log_ok = true) {
    auto word = [](bool b) { return std::string(b ? "True" : "False"); };
    return {kSeparator,
            "Parameter: " + job.Parameter,
            "Current Directory: " + job.CurrentDir,
            "INI File: " + platform::JoinPath(dir.File("run"), "cubemill.ini"),
            "INI File OK: True",
            "OQY File: " + job.OqyFile,
            "OQY File OK: " + word(oqy_ok),
            "OQY 2 VBS File: " + job.VbsFile,
            "OQY 2 VBS File OK: " + word(vbs_ok),
            "Global Section: " + job.GlobalSection,
            "Log Directory: " + job.LogDir,
            "Log Directory OK: " + word(log_ok)};
  }
  static Lines Join(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
};

TEST_F(RunJobTest, MissingOqyFileFailsTheGate) {
  CubeJob job = Job();
  EXPECT_FALSE(RunJob(context, job, true));
  EXPECT_EQ(list.lines, Join(Summary(job, false),
                             {"At least one error occured", "Duration: 00:00:00", kSeparator}));
  EXPECT_TRUE(list.red);
  EXPECT_TRUE(connections.calls.empty());
  EXPECT_EQ(sleeper.pauses, std::vector<int>{15});
  EXPECT_EQ(Lines(list.calls.end() - 7, list.calls.end()),
            (Lines{"At least one error occured", "<listSetRed>", "Duration: 00:00:00", kSeparator,
                   "<listSetLast>", "<ImageCubeMoveDown>", "<Unload>"}));
  // Every logged line went to the run log too, with time and job name.
  const Lines log = LogLines();
  ASSERT_EQ(log.size(), list.lines.size());
  EXPECT_EQ(log[0], "2024-03-07 09:05:02;Test;" + kSeparator);
  EXPECT_EQ(log[12], "2024-03-07 09:05:02;Test;At least one error occured");
}

TEST_F(RunJobTest, SuccessfulJobStampsTheCubeAndSelectsNothingRed) {
  CubeJob job = Job();
  job.CubTimestamp = "YYYY-MM-DD_HH_mm_ss";
  WriteOqy(job.OqyFile, "..\\OQY-Dateien\\rel01\\sales.cub");
  clock = test::FixedClock(platform::MakeDateTime(2024, 3, 7, 9, 5, 2), 66);
  EXPECT_TRUE(RunJob(context, job, false));
  const Lines tail(list.lines.begin() + 12, list.lines.end());
  EXPECT_EQ(tail.size(), 8u + 7u);
  EXPECT_EQ(tail[8], "Cube Creation OK");
  EXPECT_EQ(tail[9], "Cube Target: ..\\OQY-Dateien\\rel01\\sales_2024-03-07_09_06_08.cub");
  EXPECT_EQ(tail[10], "Delete Cube: ..\\OQY-Dateien\\rel01\\sales.cub");
  EXPECT_EQ(tail[11], "Cube Rename OK");
  EXPECT_EQ(tail[12], "VBS Conversion not selected");
  EXPECT_EQ(tail[13], "Duration: 00:01:06");
  EXPECT_FALSE(list.red);
  EXPECT_EQ(sleeper.pauses, std::vector<int>{1});
  EXPECT_EQ(list.calls.back(), "<ImageCubeMoveDown>");
  EXPECT_TRUE(std::filesystem::exists("../OQY-Dateien/rel01/sales_2024-03-07_09_06_08.cub"));
  EXPECT_FALSE(std::filesystem::exists("../OQY-Dateien/rel01/sales.cub"));
}

TEST_F(RunJobTest, FailedBuildTurnsRedBeforeItsOutcomeAndStillConverts) {
  CubeJob job = Job();
  job.VbsFile = "..\\OQY-Dateien\\rel01\\Output_Detail.oqy.vbs";
  WriteOqy(job.OqyFile, "sales.cub");
  connections.open_error = Error{"broken", 7, "Engine"};
  EXPECT_FALSE(RunJob(context, job, false));
  const Lines calls(std::find(list.calls.begin(), list.calls.end(), "broken"), list.calls.end());
  EXPECT_EQ(Lines(calls.begin(), calls.begin() + 9),
            (Lines{"broken", "7", "Engine", "7", "Fehler Cube Erstellung", "<listSetRed>",
                   "Cube Creation Error", "VBS Conversion OK", "Duration: 00:00:00"}));
  EXPECT_TRUE(std::filesystem::exists("../OQY-Dateien/rel01/Output_Detail.oqy.vbs"));
}

TEST_F(RunJobTest, RejectedAggregateFailsTheBuildLikeAnyConnectionError) {
  CubeJob job = Job();
  job.Aggregate = "grouped";
  WriteOqy(job.OqyFile, "sales.cub");
  connections.property_error = Error{"Aggregate: \"grouped\" is not CLIENT, SOURCE or AUTO",
                                     -2147217887, "Cubemill Cube Engine"};
  EXPECT_FALSE(RunJob(context, job, false));
  // The summary is the same as without the key.
  EXPECT_EQ(Lines(list.lines.begin(), list.lines.begin() + 12), Summary(job, true));
  const Lines calls(
      std::find(list.calls.begin(), list.calls.end(), connections.property_error->description),
      list.calls.end());
  ASSERT_GE(calls.size(), 8u);
  EXPECT_EQ(Lines(calls.begin(), calls.begin() + 8),
            (Lines{connections.property_error->description, "-2147217887", "Cubemill Cube Engine",
                   "-2147217887", "Fehler Cube Erstellung", "<listSetRed>", "Cube Creation Error",
                   "VBS Conversion not selected"}));
  EXPECT_EQ(connections.calls.back(), "Property Aggregate=grouped");
  EXPECT_FALSE(std::filesystem::exists("sales.cub"));
  const Lines log = LogLines();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "2024-03-07 09:05:02;Test;" + connections.property_error->description),
            log.end());
}

TEST_F(RunJobTest, FailedStampingIsNotRedButNotClean) {
  CubeJob job = Job();
  job.CubTimestamp = "YYYY";
  WriteOqy(job.OqyFile, "nodot");
  EXPECT_FALSE(RunJob(context, job, false));
  EXPECT_FALSE(list.red);
  auto at = std::find(list.calls.begin(), list.calls.end(), "Cube Rename NOT OK");
  ASSERT_NE(at, list.calls.end());
  EXPECT_EQ(*(at + 1), "<listSetLast>");
  EXPECT_EQ(*(at - 5), "Cube Creation OK");  // then the four error lines
}

TEST_F(RunJobTest, UnreadableOqyIsReported) {
  if (!test::PermissionsBindThisProcess()) GTEST_SKIP() << "this process reads any file";
  CubeJob job = Job();
  WriteOqy(job.OqyFile, "sales.cub");
  std::filesystem::permissions("../OQY-Dateien/rel01/Output_Detail.oqy",
                               std::filesystem::perms::none);
  EXPECT_FALSE(RunJob(context, job, false));
  const Lines tail(list.lines.begin() + 12, list.lines.begin() + 15);
  EXPECT_EQ(tail,
            (Lines{"Fehler Lesen der OQY", "Cube Creation Error", "VBS Conversion not selected"}));
  EXPECT_TRUE(connections.calls.empty());
}

TEST_F(RunJobTest, DurationIgnoresWholeDays) {
  CubeJob job = Job();
  clock = test::FixedClock(platform::MakeDateTime(2024, 3, 7, 23, 59, 0), 90000);
  RunJob(context, job, false);
  EXPECT_EQ(list.lines[list.lines.size() - 2], "Duration: 01:00:00");
}

// The stamped cubes of sales.cub in OQY-Dateien/rel01, by name.
Lines StampedSalesCubes() {
  Lines names;
  for (const auto& entry : std::filesystem::directory_iterator("../OQY-Dateien/rel01")) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("sales_")) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(RunJobTest, KeepTwoOverFiveRunsLeavesTheTwoNewestStampedCubes) {
  for (int day = 1; day <= 5; ++day) {
    CubeJob job = Job();
    job.CubTimestamp = "YYYY-MM-DD_HH_mm_ss";
    job.Keep = "2";
    WriteOqy(job.OqyFile, "..\\OQY-Dateien\\rel01\\sales.cub");
    clock = test::FixedClock(platform::MakeDateTime(2024, 3, day, 9, 5, 2));
    EXPECT_TRUE(RunJob(context, job, false)) << day;
    const auto renamed = std::find(list.lines.begin(), list.lines.end(), "Cube Rename OK");
    ASSERT_NE(renamed, list.lines.end());
    EXPECT_EQ(*(renamed + 1), "VBS Conversion not selected");
    if (day >= 3) {
      // The deletion follows the script: the last step of a run that succeeded.
      EXPECT_EQ(*(renamed + 2), "Delete Old Cube: ..\\OQY-Dateien\\rel01\\sales_2024-03-0" +
                                    std::to_string(day - 2) + "_09_05_02.cub");
    }
  }
  EXPECT_EQ(StampedSalesCubes(),
            (Lines{"sales_2024-03-04_09_05_02.cub", "sales_2024-03-05_09_05_02.cub"}));
  EXPECT_FALSE(std::filesystem::exists("../OQY-Dateien/rel01/.sales.cub.lock"));
}

TEST_F(RunJobTest, AFailedRunDeletesNoStampedCube) {
  for (const char* name : {"sales_2024-03-01.cub", "sales_2024-03-02.cub"})
    test::WriteBytes(std::string("../OQY-Dateien/rel01/") + name, "cube");
  CubeJob job = Job();
  job.CubTimestamp = "YYYY-MM-DD";
  job.Keep = "1";
  WriteOqy(job.OqyFile, "..\\OQY-Dateien\\rel01\\sales.cub");
  connections.open_error = Error{"broken", 7, "Engine"};
  EXPECT_FALSE(RunJob(context, job, false));
  // A failed stamping: the stamped name is taken by a directory.
  connections.open_error.reset();
  std::filesystem::create_directory("../OQY-Dateien/rel01/sales_2024-03-07.cub");
  list.lines.clear();
  EXPECT_FALSE(RunJob(context, job, false));
  EXPECT_NE(std::find(list.lines.begin(), list.lines.end(), "Cube Rename NOT OK"),
            list.lines.end());
  EXPECT_EQ(StampedSalesCubes(),
            (Lines{"sales_2024-03-01.cub", "sales_2024-03-02.cub", "sales_2024-03-07.cub"}));
  // A script that cannot be written after a good build and stamping.
  std::filesystem::remove("../OQY-Dateien/rel01/sales_2024-03-07.cub");
  job.VbsFile = "..\\no-such-dir\\x.vbs";
  list.lines.clear();
  EXPECT_FALSE(RunJob(context, job, false));
  EXPECT_NE(std::find(list.lines.begin(), list.lines.end(), "Cube Rename OK"), list.lines.end());
  EXPECT_NE(std::find(list.lines.begin(), list.lines.end(), "VBS Conversion NOT OK"),
            list.lines.end());
  EXPECT_EQ(StampedSalesCubes(),
            (Lines{"sales_2024-03-01.cub", "sales_2024-03-02.cub", "sales_2024-03-07.cub"}));
}

TEST_F(RunJobTest, AnInvalidKeepFailsTheJobBeforeItBuilds) {
  for (const char* keep : {"0", "-1", "1.5", "all"}) {
    CubeJob job = Job();
    job.CubTimestamp = "YYYY";
    job.Keep = keep;
    WriteOqy(job.OqyFile, "..\\OQY-Dateien\\rel01\\sales.cub");
    std::vector<std::string> reported;
    context.report_error = [&reported](const std::string& what) { reported.push_back(what); };
    EXPECT_FALSE(RunJob(context, job, false)) << keep;
    const std::string problem = std::string("Keep ") + keep + ": " + kKeepValueText;
    const auto at = std::find(list.calls.begin(), list.calls.end(), problem);
    ASSERT_NE(at, list.calls.end()) << keep;
    EXPECT_EQ(Lines(at + 1, at + 3), (Lines{"<listSetRed>", "Cube Creation Error"})) << keep;
    EXPECT_EQ(reported, Lines{problem});
    EXPECT_TRUE(connections.calls.empty()) << keep;
    EXPECT_TRUE(StampedSalesCubes().empty()) << keep;
  }
}

TEST_F(RunJobTest, ACubeFileAnotherRunWritesIsLeftToIt) {
  // The other run has built its cube and is about to stamp it: this run builds, stamps and
  // writes nothing, and says who holds the cube.
  test::WriteBytes("../OQY-Dateien/rel01/sales.cub", "the other run's cube");
  test::LockHolder other_run(platform::LockFileFor("..\\OQY-Dateien\\rel01\\sales.cub"));
  ASSERT_TRUE(other_run.holds());
  CubeJob job = Job();
  job.CubTimestamp = "YYYY";
  job.Keep = "1";
  job.VbsFile = "..\\OQY-Dateien\\rel01\\Output_Detail.oqy.vbs";
  WriteOqy(job.OqyFile, "..\\OQY-Dateien\\rel01\\sales.cub");
  std::vector<std::string> reported;
  context.report_error = [&reported](const std::string& what) { reported.push_back(what); };
  EXPECT_EQ(RunJobWithOutcome(context, job, true), JobOutcome::kBusy);

  const std::string busy =
      "..\\OQY-Dateien\\rel01\\sales.cub is being written by another run (PID " +
      std::to_string(other_run.pid()) + ")";
  const auto at = std::find(list.calls.begin(), list.calls.end(), "Cube Busy: " + busy);
  ASSERT_NE(at, list.calls.end());
  EXPECT_EQ(Lines(at + 1, list.calls.end()),
            (Lines{"<listSetRed>", "Duration: 00:00:00", kSeparator, "<listSetLast>",
                   "<ImageCubeMoveDown>", "<Unload>"}));
  EXPECT_EQ(reported, Lines{"the cube file " + busy});
  EXPECT_TRUE(connections.calls.empty());
  EXPECT_EQ(test::ReadBytes("../OQY-Dateien/rel01/sales.cub"), "the other run's cube");
  EXPECT_TRUE(StampedSalesCubes().empty());
  EXPECT_FALSE(std::filesystem::exists("../OQY-Dateien/rel01/Output_Detail.oqy.vbs"));
  const Lines log = LogLines();
  EXPECT_NE(std::find(log.begin(), log.end(), "2024-03-07 09:05:02;Test;Cube Busy: " + busy),
            log.end());
}

TEST_F(RunJobTest, WithoutALockFileTheBuildGoesOnAndReportsTheDirectoryItself) {
  // The cube's folder is missing: no lock file can be made there, and the build is left to say
  // so (the engine's error), as it does without the lock.
  CubeJob job = Job();
  WriteOqy(job.OqyFile, "..\\OQY-Dateien\\missing\\sales.cub");
  connections.open_error = Error{"the directory is missing", -2147217911, "Engine"};
  EXPECT_EQ(RunJobWithOutcome(context, job, false), JobOutcome::kFailed);
  EXPECT_FALSE(connections.calls.empty());
  for (const std::string& line : list.lines) {
    EXPECT_EQ(line.find("Cube Lock"), std::string::npos) << line;
    EXPECT_EQ(line.find("Cube Busy"), std::string::npos) << line;
  }
  EXPECT_FALSE(std::filesystem::exists("../OQY-Dateien/missing"));
}

// A sleeper that, at the closing pause, asks another process whether it can lock the cube.
class LockProbingSleeper : public platform::Sleeper {
 public:
  explicit LockProbingSleeper(std::string lock_file) : lock_file_(std::move(lock_file)) {}
  void Sleep(int seconds) override {
    test::LockHolder probe(lock_file_);
    free_at_pause.push_back(probe.holds());
    (void)seconds;
  }
  std::vector<bool> free_at_pause;

 private:
  std::string lock_file_;
};

TEST_F(RunJobTest, HoldsTheCubeLockThroughTheBuildAndLetsItGoBeforeTheClosingPause) {
  CubeJob job = Job();
  job.CubTimestamp = "YYYY";
  WriteOqy(job.OqyFile, "..\\OQY-Dateien\\rel01\\sales.cub");
  const std::string lock_file = platform::LockFileFor("..\\OQY-Dateien\\rel01\\sales.cub");
  LockProbingSleeper probing(lock_file);
  std::vector<bool> free_at_build;
  JobContext probed{list, clock, probing, [&]() {
                      free_at_build.push_back(test::LockHolder(lock_file).holds());
                      return test::FakeConnections(connections)();
                    }};
  EXPECT_EQ(RunJobWithOutcome(probed, job, true), JobOutcome::kClean);
  EXPECT_EQ(free_at_build, std::vector<bool>{false});
  // The pause of a second before the build comes before the lock; the closing one after it.
  EXPECT_EQ(probing.free_at_pause, (std::vector<bool>{true, true}));
  EXPECT_EQ(StampedSalesCubes(), Lines{"sales_2024.cub"});
}

}  // namespace
}  // namespace cubemill::job
