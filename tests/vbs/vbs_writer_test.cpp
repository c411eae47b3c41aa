#include "vbs/vbs_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

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
job::CubeJob OqyJob(const std::string& vbs_file, const std::string& cub_timestamp) {
  job::CubeJob job = test::WorkedExampleJob();
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
    const job::CubeJob job = OqyJob(dir.File("sales.vbs"), c.cub_timestamp);
    EXPECT_TRUE(ConvertToVbs(job, clock)) << c.golden;
    const std::string expected = Golden(c.golden);
    ASSERT_FALSE(expected.empty()) << c.golden;
    EXPECT_EQ(test::ReadBytes(job.VbsFile), expected) << c.golden;
  }
}

TEST(VbsWriterTest, DatesTheHeaderDayFirstWhateverThePattern) {
  test::TempDir dir;
  const test::FixedClock clock(platform::MakeDateTime(2025, 12, 31, 23, 59, 59));
  const job::CubeJob job = OqyJob(dir.File("sales.vbs"), "YYYY-MM-DD");
  ASSERT_TRUE(ConvertToVbs(job, clock));
  EXPECT_NE(test::ReadBytes(job.VbsFile).find("\r\n' Date: 31.12.2025\r\n"), std::string::npos);
}

TEST(VbsWriterTest, ReplacesAnExistingScript) {
  test::TempDir dir;
  const job::CubeJob job = OqyJob(dir.File("sales.vbs"), "YYYY-MM-DD_HH_mm_ss");
  test::WriteBytes(job.VbsFile, std::string(10000, 'x') + "\r\n");
  ASSERT_TRUE(ConvertToVbs(job, test::FixedClock(kRunTime)));
  EXPECT_EQ(test::ReadBytes(job.VbsFile), Golden("oqy_example_stamped.vbs"));
}

TEST(VbsWriterTest, WritesNothingWithoutAScriptPath) {
  test::TempDir dir;
  EXPECT_TRUE(ConvertToVbs(OqyJob("", "YYYY"), test::FixedClock(kRunTime)));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(VbsWriterTest, IgnoresAScriptPathItCannotWrite) {
  test::TempDir dir;
  const job::CubeJob job = OqyJob(dir.File("missing\\sub\\sales.vbs"), "YYYY");
  EXPECT_TRUE(ConvertToVbs(job, test::FixedClock(kRunTime)));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
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
