#include "vbs/vbs_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/system.h"
#include "support/test_support.h"
#include "support/worked_example.h"
#include "vbs/vbs_sections.h"

namespace cubemill::vbs {
namespace {

const platform::DateTime kRunTime = platform::MakeDateTime(2024, 3, 7, 9, 5, 2);

std::string Golden(const std::string& name) {
  return test::ReadBytes(std::string(CUBEMILL_TEST_DATA_DIR) + "/vbs/" + name);
}

// The values an OQY connection line gives the job (see tests/data/vbs/make_golden.sh).
CubeJob OqyJob(const std::string& vbs_file, const std::string& cub_timestamp) {
  CubeJob job = test::WorkedExampleJob();
  job.OqyFile = "C:\\Cubes\\sales.oqy";
  job.CubTimestamp = cub_timestamp;
  job.VbsFile = vbs_file;
  return job;
}

TEST(VbsWriterTest, WritesTheWholeScriptOfAnOqyJob) {
  const struct {
    const char* cub_timestamp;
    const char* golden;
  } cases[] = {
      {"YYYY-MM-DD_HH_mm_ss", "oqy_example_stamped.vbs"},  // 15 preamble lines
      {"", "oqy_example_unstamped.vbs"},                   // 16, blanking sCurTS
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    const test::FixedClock clock(kRunTime);
    const CubeJob job = OqyJob(dir.File("sales.vbs"), c.cub_timestamp);
    EXPECT_TRUE(ConvertToVbs(job, clock)) << c.golden;
    const std::string expected = Golden(c.golden);
    ASSERT_FALSE(expected.empty()) << c.golden;
    EXPECT_EQ(test::ReadBytes(job.VbsFile), expected) << c.golden;
  }
}

TEST(VbsWriterTest, DatesTheHeaderDayFirstWhateverThePattern) {
  test::TempDir dir;
  const test::FixedClock clock(platform::MakeDateTime(2025, 12, 31, 23, 59, 59));
  const CubeJob job = OqyJob(dir.File("sales.vbs"), "YYYY-MM-DD");
  ASSERT_TRUE(ConvertToVbs(job, clock));
  EXPECT_NE(test::ReadBytes(job.VbsFile).find("\r\n' Date: 31.12.2025\r\n"), std::string::npos);
}

TEST(VbsWriterTest, ReplacesAnExistingScript) {
  test::TempDir dir;
  const CubeJob job = OqyJob(dir.File("sales.vbs"), "YYYY-MM-DD_HH_mm_ss");
  test::WriteBytes(job.VbsFile, std::string(10000, 'x') + "\r\n");
  ASSERT_TRUE(ConvertToVbs(job, test::FixedClock(kRunTime)));
  EXPECT_EQ(test::ReadBytes(job.VbsFile), Golden("oqy_example_stamped.vbs"));
}

TEST(VbsWriterTest, WritesNothingWithoutAScriptPath) {
  test::TempDir dir;
  EXPECT_TRUE(ConvertToVbs(OqyJob("", "YYYY"), test::FixedClock(kRunTime)));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(VbsWriterTest, FailureLeavesTheEarlierScriptAndSaysWhy) {
  test::TempDir dir;
  const test::FixedClock clock(kRunTime);
  // A directory that does not exist: nothing is written anywhere.
  std::string failure;
  EXPECT_FALSE(ConvertToVbs(OqyJob(dir.File("missing\\sub\\sales.vbs"), "YYYY"), clock, &failure));
  EXPECT_NE(failure.find("No such file or directory"), std::string::npos) << failure;
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

  // An OQY file that could not be read leaves the job without values: the good script stays.
  const std::string earlier = "' an earlier script\r\n";
  test::WriteBytes("sales.vbs", earlier);
  CubeJob unread;
  unread.OqyFile = "gone.oqy";
  unread.VbsFile = dir.File("sales.vbs");
  EXPECT_FALSE(ConvertToVbs(unread, clock, &failure));
  EXPECT_NE(failure.find("left as it was"), std::string::npos) << failure;
  EXPECT_EQ(test::ReadBytes("sales.vbs"), earlier);

  // A file-size limit below the script's size: the earlier script stays, nothing else is left.
  bool written;
  {
    test::FileSizeLimit limit(1000);
    if (!limit.applied()) GTEST_SKIP() << "no file-size limit on this system";
    written = ConvertToVbs(OqyJob(dir.File("sales.vbs"), "YYYY"), clock, &failure);
  }
  EXPECT_FALSE(written);
  EXPECT_NE(failure.find("File too large"), std::string::npos) << failure;
  EXPECT_EQ(test::ReadBytes("sales.vbs"), earlier);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator("."))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"sales.vbs"});
}

TEST(VbsWriterTest, ReadOnlyFolderFailsAndKeepsTheScript) {
  if (!test::PermissionsBindThisProcess()) GTEST_SKIP() << "this process may write to any folder";
  test::TempDir dir;
  std::filesystem::create_directory("locked");
  test::WriteBytes("locked/sales.vbs", "old\r\n");
  std::filesystem::permissions(
      "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_FALSE(
      ConvertToVbs(OqyJob(dir.File("locked/sales.vbs"), "YYYY"), test::FixedClock(kRunTime)));
  std::filesystem::permissions("locked", std::filesystem::perms::owner_all);
  EXPECT_EQ(test::ReadBytes("locked/sales.vbs"), "old\r\n");
}

TEST(VbsWriterTest, TrailerStopsAndFailsWhenInterrupted) {
  std::vector<std::string> items;
  EXPECT_TRUE(WriteTrailerItems([&](std::string_view item) { items.emplace_back(item); }));
  ASSERT_EQ(items.size(), 41u);
  EXPECT_EQ(items.front(), "If Err.Number <> 0 Then");
  EXPECT_EQ(items.back(), "End Function");

  items.clear();
  EXPECT_FALSE(WriteTrailerItems([&](std::string_view item) {
    if (items.size() == 4) throw std::length_error("too long");
    items.emplace_back(item);
  }));
  EXPECT_EQ(items.size(), 4u);
}

}  // namespace
}  // namespace cubemill::vbs
