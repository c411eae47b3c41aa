#include "job/stamp_cube_file.h"

#include <gtest/gtest.h>

#include "job/job_fixture.h"

namespace cubemill::job {
namespace {

using Lines = std::vector<std::string>;

class StampCubeFileTest : public JobFixture {
 protected:
  CubeJob Job(const std::string& cube, const std::string& pattern) {
    CubeJob job;
    job.Parameter = "Test";
    job.LogDir = "..\\OQY-Dateien\\log";
    job.CubeFile = cube;
    job.CubTimestamp = pattern;
    return job;
  }
};

TEST_F(StampCubeFileTest, NamesTheTargetAfterTheLastDot) {
  EXPECT_EQ(StampedName("C:\\cubes\\sales.cub", "2024-03-07_09_05_02"),
            "C:\\cubes\\sales_2024-03-07_09_05_02.cub");
  EXPECT_EQ(StampedName("sales.final.cub", "S"), "sales.final_S.cub");
  EXPECT_EQ(StampedName("cube", "S"), std::nullopt);
}

TEST_F(StampCubeFileTest, EmptyPatternTouchesNothing) {
  test::WriteBytes("sales.cub", "cube");
  EXPECT_TRUE(StampCubeFile(context, Job("sales.cub", "")));
  EXPECT_TRUE(list.lines.empty());
  EXPECT_TRUE(std::filesystem::exists("sales.cub"));
}

TEST_F(StampCubeFileTest, CopiesThenDeletesWithSeveralDots) {
  test::WriteBytes("sales.final.cub", "cube");
  EXPECT_TRUE(StampCubeFile(context, Job("sales.final.cub", "YYYY-MM-DD")));
  EXPECT_EQ(list.lines,
            (Lines{"Cube Target: sales.final_2024-03-07.cub", "Delete Cube: sales.final.cub"}));
  EXPECT_EQ(test::ReadBytes("sales.final_2024-03-07.cub"), "cube");
  EXPECT_FALSE(std::filesystem::exists("sales.final.cub"));
  // The same stamp again replaces the earlier copy.
  test::WriteBytes("sales.final.cub", "newer");
  EXPECT_TRUE(StampCubeFile(context, Job("sales.final.cub", "YYYY-MM-DD")));
  EXPECT_EQ(test::ReadBytes("sales.final_2024-03-07.cub"), "newer");
}

TEST_F(StampCubeFileTest, ColonsAreValidInFileNamesHere) {
  test::WriteBytes("sales.cub", "cube");
  EXPECT_TRUE(StampCubeFile(context, Job("sales.cub", "YYYY-MM-DD HH:mm:SS")));
  EXPECT_TRUE(std::filesystem::exists("sales_2024-03-07 09:05:02.cub"));
}

TEST_F(StampCubeFileTest, NameWithoutDotFailsWithFourLines) {
  test::WriteBytes("cube", "cube");
  EXPECT_FALSE(StampCubeFile(context, Job("cube", "YYYY")));
  ASSERT_EQ(list.lines.size(), 4u);
  EXPECT_EQ(list.lines[1], list.lines[3]);
  EXPECT_TRUE(std::filesystem::exists("cube"));
  EXPECT_EQ(LogLines().size(), 4u);
}

TEST_F(StampCubeFileTest, DotInADirectoryNameIsNoExtensionAndKeepsTheCube) {
  std::filesystem::create_directory("data.old");
  test::WriteBytes("data.old/cube", "cube");
  EXPECT_FALSE(StampCubeFile(context, Job("data.old\\cube", "YYYY")));
  EXPECT_EQ(list.lines, (Lines{"The cube file name has no extension to put the time stamp before: "
                               "data.old\\cube",
                               "52", "StampCubeFile", "52"}));
  EXPECT_TRUE(std::filesystem::exists("data.old/cube"));
}

TEST_F(StampCubeFileTest, AFailedStampKeepsTheEarlierStampedCube) {
  // The same stamp as an earlier run, but the new cube cannot be put there: a directory holds the
  // stamped name of one, a missing cube the other. The earlier cubes stay byte for byte.
  test::WriteBytes("sales_2024.cub", "yesterday's cube");
  EXPECT_FALSE(StampCubeFile(context, Job("sales.cub", "YYYY")));
  EXPECT_EQ(test::ReadBytes("sales_2024.cub"), "yesterday's cube");
  std::filesystem::create_directory("other_2024.cub");
  test::WriteBytes("other.cub", "today's cube");
  EXPECT_FALSE(StampCubeFile(context, Job("other.cub", "YYYY")));
  EXPECT_EQ(test::ReadBytes("other.cub"), "today's cube");
  EXPECT_EQ(list.lines[list.lines.size() - 2], "CopyFile");
}

TEST_F(StampCubeFileTest, MissingCubeFailsTheCopy) {
  EXPECT_FALSE(StampCubeFile(context, Job("gone.cub", "YYYY")));
  EXPECT_EQ(list.lines.size(), 5u);
  EXPECT_FALSE(std::filesystem::exists("gone_2024.cub"));
}

TEST_F(StampCubeFileTest, LooksForTheExtensionInTheFileNameOnly) {
  const struct {
    const char* cube_file;
    std::optional<std::string> stamped;
  } cases[] = {
      {"..\\cubes\\cube", std::nullopt},
      {"../cubes/cube", std::nullopt},
      {"..\\cubes\\sales.cub", "..\\cubes\\sales_S.cub"},
      {"../data.old/sales.cub", "../data.old/sales_S.cub"},
      {"a.b/c\\d.cub", "a.b/c\\d_S.cub"},
      {"cubes/.cub", "cubes/_S.cub"},
  };
  for (const auto& c : cases) EXPECT_EQ(StampedName(c.cube_file, "S"), c.stamped) << c.cube_file;
}

}  // namespace
}  // namespace cubemill::job
