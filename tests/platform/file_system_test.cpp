#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_support.h"

namespace cubemill::platform {
namespace {

TEST(FileSystemTest, DerivesAttributeWords) {
  test::TempDir dir;
  std::filesystem::create_directory("folder");
  test::WriteBytes("file.cub", "x");
  EXPECT_EQ(FileAttributes("folder"), kAttributeDirectory);
  EXPECT_EQ(FileAttributes("file.cub"), kAttributeArchive);
  EXPECT_EQ(FileAttributes(".\\file.cub"), kAttributeArchive);
  EXPECT_FALSE(FileAttributes("missing"));
  EXPECT_FALSE(FileAttributes(""));
  // The job's path checks read these words.
  EXPECT_TRUE(DirExists("folder"));
  EXPECT_TRUE(DirExists(".\\folder"));
  EXPECT_FALSE(DirExists("file.cub"));
  EXPECT_FALSE(DirExists("missing"));
  EXPECT_FALSE(DirExists(""));
  EXPECT_TRUE(FileExists("file.cub"));
  EXPECT_FALSE(FileExists("folder"));
  EXPECT_FALSE(FileExists("missing"));
  EXPECT_FALSE(FileExists(""));
}

TEST(FileSystemTest, MarksFilesThatCannotBeWrittenReadOnly) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write to any file";
  test::TempDir dir;
  test::WriteBytes("file.cub", "x");
  std::filesystem::permissions("file.cub", std::filesystem::perms::owner_read);
  EXPECT_EQ(FileAttributes("file.cub"), kAttributeArchive | kAttributeReadOnly);
}

TEST(FileSystemTest, DeletesAndReportsFailuresWithMessageNumberAndOperation) {
  test::TempDir dir;
  test::WriteBytes("a", "x");
  EXPECT_FALSE(DeleteFile("a"));
  EXPECT_FALSE(std::filesystem::exists("a"));
  auto remove = DeleteFile("missing");
  ASSERT_TRUE(remove);
  EXPECT_EQ(remove->number, 2);
  EXPECT_EQ(remove->source, "DeleteFile");
  EXPECT_NE(remove->description.find("missing"), std::string::npos) << remove->description;
}

}  // namespace
}  // namespace cubemill::platform
