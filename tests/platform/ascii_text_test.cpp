#include "platform/ascii_text.h"

#include <gtest/gtest.h>

#include <string>

namespace cubemill::platform {
namespace {

TEST(AsciiTextTest, BlanksAreSpaceTabCrLfAndFormFeed) {
  for (char c : std::string(" \t\r\n\f")) EXPECT_TRUE(IsBlank(c)) << int{c};
  for (char c : std::string("\v\0x_-;\xa0", 7)) EXPECT_FALSE(IsBlank(c)) << int{c};
  for (int c = -128; c < 128; ++c) {
    EXPECT_EQ(IsBlank(static_cast<char>(c)), kBlanks.find(static_cast<char>(c)) != kBlanks.npos)
        << c;
  }
}

TEST(AsciiTextTest, TrimsBlanksAtBothEndsOnly) {
  EXPECT_EQ(TrimBlanks(" \t a b \r\n\f"), "a b");
  EXPECT_EQ(TrimBlanks("\va\v"), "\va\v");
  EXPECT_EQ(TrimBlanks(" \t\r\n"), "");
  EXPECT_EQ(TrimBlanks(""), "");
  EXPECT_EQ(TrimBlanks(" \ta\r\n", " \t"), "a\r\n");
}

}  // namespace
}  // namespace cubemill::platform
