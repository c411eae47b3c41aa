#include "job/stamp_cube_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "job/job_fixture.h"
#include "support/system.h"

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
  // Found before anything is moved, and said as what it is.
  EXPECT_EQ(list.lines[list.lines.size() - 4],
            "the stamped cube other_2024.cub: it is a folder, not a regular file");
  EXPECT_EQ(list.lines[list.lines.size() - 2], "StampCubeFile");
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

TEST_F(StampCubeFileTest, ReadsKeepAsAWholeNumberOfOneOrMore) {
  const struct {
    const char* text;
    std::optional<int> keep;
  } cases[] = {
      {"1", 1},           {" 2 ", 2},
      {"02", 2},          {"2147483647", 2147483647},
      {"0", {}},          {"-1", {}},
      {"+1", {}},         {"1.5", {}},
      {"two", {}},        {"", {}},
      {"  ", {}},         {"1 2", {}},
      {"2147483648", {}}, {"99999999999999999999", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseKeep(c.text), c.keep) << c.text;
}

// A directory of stamped cubes of one job beside files that only look like them.
class KeepStampedCubesTest : public StampCubeFileTest {
 protected:
  KeepStampedCubesTest() { std::filesystem::create_directory("cubes"); }

  CubeJob KeepJob(const std::string& pattern, const std::string& keep) {
    CubeJob job = Job("cubes\\sales.cub", pattern);
    job.Keep = keep;
    return job;
  }

  // Writes `name` in cubes/, last written `age` seconds before the others of age 0.
  static void Put(const std::string& name, int age = 0) {
    test::WriteBytes("cubes/" + name, name);
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time("cubes/" + name, now - std::chrono::seconds(age));
  }

  static Lines Entries() {
    Lines names;
    for (const auto& entry : std::filesystem::directory_iterator("cubes"))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(KeepStampedCubesTest, KeepsTheNewestByTheTimeTheirStampsShow) {
  // By name, 01.04 sorts before 31.03; by the time written last, the oldest day looks newest.
  Put("sales_15.03.2024.cub", 0);
  Put("sales_31.03.2024.cub", 100);
  Put("sales_01.04.2024.cub", 200);
  Put("sales_02.04.2024.cub", 300);  // the cube just stamped
  DeleteOldStampedCubes(context, KeepJob("DD.MM.YYYY", "2"), "cubes\\sales_02.04.2024.cub");
  EXPECT_EQ(list.lines, (Lines{"Delete Old Cube: cubes\\sales_31.03.2024.cub",
                               "Delete Old Cube: cubes\\sales_15.03.2024.cub"}));
  EXPECT_EQ(Entries(), (Lines{"sales_01.04.2024.cub", "sales_02.04.2024.cub"}));
  EXPECT_EQ(LogLines().size(), 2u);
}

TEST_F(KeepStampedCubesTest, TouchesOnlyTheJobsOwnStampedCubes) {
  const Lines others = {
      ".sales.cub.lock",        // another run's lock file
      ".sales.cub.tmp-Ab12Cd",  // a cube being written
      ".sales_2024-03-01_10_00_00.cub.tmp-Ab12Cd",
      "other_2024-03-01_10_00_00.cub",      // another cube's series
      "sales.cub",                          // the unstamped cube
      "sales_2024-03-01.cub",               // another pattern
      "sales_2024-03-01_10_00_00.cub.bak",  // another extension
      "sales_2024-03-01_10_00_00.CUB",
      "sales_2024-02-30_10_00_00.cub",  // no such day: not a stamp
      "sales_2024-03-01_10_00_0.cub",
      "sales_2024-03-01_10_00_00_copy.cub",
      "sales-2024-03-01_10_00_00.cub",
      "salesX2024-03-01_10_00_00.cub",
  };
  for (const std::string& name : others) Put(name, 1000);
  std::filesystem::create_directory("cubes/sales_2024-01-01_10_00_00.cub");  // a directory
  std::filesystem::create_symlink("sales.cub", "cubes/sales_2024-01-02_10_00_00.cub");
  Put("sales_2024-03-02_10_00_00.cub");
  Put("sales_2024-03-03_10_00_00.cub");
  DeleteOldStampedCubes(context, KeepJob("YYYY-MM-DD_HH_mm_ss", "1"),
                        "cubes\\sales_2024-03-03_10_00_00.cub");
  EXPECT_EQ(list.lines, (Lines{"Delete Old Cube: cubes\\sales_2024-03-02_10_00_00.cub"}));
  Lines expected = others;
  expected.push_back("sales_2024-01-01_10_00_00.cub");
  expected.push_back("sales_2024-01-02_10_00_00.cub");
  expected.push_back("sales_2024-03-03_10_00_00.cub");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Entries(), expected);
}

TEST_F(KeepStampedCubesTest, WithoutADateInTheStampGoesByModificationTime) {
  // "HH_mm" repeats every day: 23_59 is yesterday's, older than this morning's 09_00.
  Put("sales_23_59.cub", 200);
  Put("sales_09_00.cub", 100);
  Put("sales_09_30.cub", 0);
  DeleteOldStampedCubes(context, KeepJob("HH_mm", "2"), "cubes\\sales_09_30.cub");
  EXPECT_EQ(list.lines, (Lines{"Delete Old Cube: cubes\\sales_23_59.cub"}));
  EXPECT_EQ(Entries(), (Lines{"sales_09_00.cub", "sales_09_30.cub"}));
}

TEST_F(KeepStampedCubesTest, NeverDeletesTheCubeJustStamped) {
  // The clock went back: the new cube's stamp is older than the one the series holds.
  Put("sales_2025.cub");
  Put("sales_2023.cub");
  Put("sales_2024.cub");
  DeleteOldStampedCubes(context, KeepJob("YYYY", "1"), "cubes\\sales_2024.cub");
  EXPECT_EQ(list.lines, (Lines{"Delete Old Cube: cubes\\sales_2023.cub"}));
  EXPECT_EQ(Entries(), (Lines{"sales_2024.cub", "sales_2025.cub"}));
}

TEST_F(KeepStampedCubesTest, KeepsAllWithoutAValidCountOrAPattern) {
  Put("sales_2023.cub");
  Put("sales_2024.cub");
  for (const char* keep : {"", "0", "two"}) {
    DeleteOldStampedCubes(context, KeepJob("YYYY", keep), "cubes\\sales_2024.cub");
  }
  CubeJob unstamped = KeepJob("", "1");
  DeleteOldStampedCubes(context, unstamped, "cubes\\sales_2024.cub");
  EXPECT_TRUE(list.lines.empty());
  EXPECT_EQ(Entries(), (Lines{"sales_2023.cub", "sales_2024.cub"}));
}

TEST_F(KeepStampedCubesTest, AFailedDeletionIsLoggedAndTheOthersGoOn) {
  if (!test::PermissionsBindThisProcess())
    GTEST_SKIP() << "this process deletes in a read-only directory";
  Put("sales_2022.cub");
  Put("sales_2023.cub");
  Put("sales_2024.cub");
  std::filesystem::permissions(
      "cubes", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  DeleteOldStampedCubes(context, KeepJob("YYYY", "1"), "cubes\\sales_2024.cub");
  std::filesystem::permissions("cubes", std::filesystem::perms::owner_all);
  ASSERT_EQ(list.lines.size(), 10u);  // each: the line and the error's four lines
  EXPECT_EQ(list.lines[0], "Delete Old Cube: cubes\\sales_2023.cub");
  EXPECT_EQ(list.lines[3], "DeleteFile");
  EXPECT_EQ(list.lines[5], "Delete Old Cube: cubes\\sales_2022.cub");
  EXPECT_EQ(Entries(), (Lines{"sales_2022.cub", "sales_2023.cub", "sales_2024.cub"}));
}

}  // namespace
}  // namespace cubemill::job
