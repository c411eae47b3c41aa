#include "platform/text_encoding.h"

#include <gtest/gtest.h>

namespace cubemill::platform {
namespace {

TEST(TextEncodingTest, WritesWesternCharactersAsSingleBytes) {
  EXPECT_EQ(Utf8ToWindows1252("f\xC3\xBCr"), "f\xFCr");                    // ü
  EXPECT_EQ(Utf8ToWindows1252("\xE2\x82\xAC 5"), "\x80 5");                // €
  EXPECT_EQ(Utf8ToWindows1252("\xE2\x80\x9Cx\xE2\x80\x9D"), "\x93x\x94");  // curly quotes
}

TEST(TextEncodingTest, ReplacesWhatTheCodePageCannotHold) {
  EXPECT_EQ(Utf8ToWindows1252("\xE6\x97\xA5!"), "?!");  // a CJK character
  EXPECT_EQ(Utf8ToWindows1252("a\xFF"
                              "b"),
            "a?b");  // not UTF-8 at all
}

TEST(TextEncodingTest, RoundTripsEveryByte) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
  EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
}

TEST(TextEncodingTest, DecodesFilesAsUtf8OnlyWhenTheyAreValidUtf8) {
  EXPECT_EQ(DecodeFileText("plain"), "plain");
  EXPECT_EQ(DecodeFileText("f\xC3\xBCr"), "f\xC3\xBCr");
  EXPECT_EQ(DecodeFileText("f\xFCr"), "f\xC3\xBCr");
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
}

}  // namespace
}  // namespace cubemill::platform
