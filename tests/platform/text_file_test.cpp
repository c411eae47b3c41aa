#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/file_system.h"
#include "support/test_support.h"

namespace cubemill::platform {
namespace {

using Lines = std::vector<std::string>;

TEST(TextFileTest, SplitsLinesAtLineFeedsAndDropsTheCarriageReturn) {
  test::TempDir dir;
  test::WriteBytes("a.txt", "one\r\ntwo\nthree\r\n\r\nlast");
  EXPECT_EQ(ReadTextLines("a.txt"), (Lines{"one", "two", "three", "", "last"}));
  test::WriteBytes("b.txt", "");
  EXPECT_EQ(ReadTextLines("b.txt"), Lines{});
}

TEST(TextFileTest, ReadsWindows1252AndUtf8Files) {
  test::TempDir dir;
  test::WriteBytes("ansi.txt", "Gr\xFC\xDF\x65\r\n");
  test::WriteBytes("utf8.txt", "Gr\xC3\xBC\xC3\x9F\x65\r\n");
  EXPECT_EQ(ReadTextLines("ansi.txt"), Lines{"Gr\xC3\xBC\xC3\x9F\x65"});
  EXPECT_EQ(ReadTextLines("utf8.txt"), Lines{"Gr\xC3\xBC\xC3\x9F\x65"});
}

TEST(TextFileTest, MissingFileIsNotRead) {
  test::TempDir dir;
  EXPECT_FALSE(ReadTextLines("missing.txt"));
  std::filesystem::create_directory("folder");
  EXPECT_FALSE(ReadTextLines("folder"));
}

TEST(TextFileTest, AppendsLinesInWindows1252WithCrLf) {
  test::TempDir dir;
  AppendLine("log.txt", "f\xC3\xBCr");
  AppendLine("log.txt", "");
  AppendLine("log.txt", "x;y");
  EXPECT_EQ(test::ReadBytes("log.txt"), "f\xFCr\r\n\r\nx;y\r\n");
  WriteFirstLine("log.txt", "new");
  EXPECT_EQ(test::ReadBytes("log.txt"), "new\r\n");
}

TEST(TextFileTest, TakesBackslashesAsSeparators) {
  test::TempDir dir;
  std::filesystem::create_directories("sub/dir");
  AppendLine("sub\\dir\\file.txt", "line");
  EXPECT_EQ(test::ReadBytes("sub/dir/file.txt"), "line\r\n");
  EXPECT_EQ(ReadTextLines("sub\\dir\\file.txt"), Lines{"line"});
}

TEST(TextFileTest, IgnoresFailuresToWrite) {
  test::TempDir dir;
  AppendLine("missing/file.txt", "line");
  WriteFirstLine("missing/file.txt", "line");
  EXPECT_FALSE(std::filesystem::exists("missing"));
}

TEST(TextFileTest, OpensFilesByTheirUtf8Names) {
  test::TempDir dir;
  const std::string name = "M\xC3\xA4rz \xE2\x82\xAC \xCE\xA9.mdx";  // ä, euro sign, omega
  std::FILE* out = OpenUtf8File(name, "wb");
  ASSERT_NE(out, nullptr);
  std::fputs("SELECT", out);
  std::fclose(out);
  EXPECT_TRUE(
      std::filesystem::exists(std::filesystem::path(std::u8string(name.begin(), name.end()))));
  std::FILE* in = OpenUtf8File(name, "rb");
  ASSERT_NE(in, nullptr);
  char text[16] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, in), 6u);
  std::fclose(in);
  EXPECT_STREQ(text, "SELECT");
  errno = 0;
  EXPECT_EQ(OpenUtf8File("missing.mdx", "rb"), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST(TextFileTest, JoinsPathsWithTheSystemsSeparator) {
  const std::string sep(1, kPathSeparator);
  EXPECT_EQ(JoinPath("run", "cubemill.ini"), "run" + sep + "cubemill.ini");
  EXPECT_EQ(JoinPath("run/", "cubemill.ini"), "run/cubemill.ini");
  EXPECT_EQ(JoinPath("run" + sep, "cubemill.ini"), "run" + sep + "cubemill.ini");
  EXPECT_EQ(JoinPath("", "cubemill.ini"), sep + "cubemill.ini");
}

}  // namespace
}  // namespace cubemill::platform
