#include "platform/unicode_case.h"

#include <gtest/gtest.h>

namespace cubemill::platform {
namespace {

TEST(UnicodeCaseTest, FoldsLettersBeyondAscii) {
  EXPECT_TRUE(EqualsFolded("ESPAÑA", "España"));
  EXPECT_TRUE(EqualsFolded("ΣΟΦΊΑ", "σοφία"));
  EXPECT_TRUE(EqualsFolded("ΌΡΟΣ", "όρος"));  // the final sigma
  EXPECT_TRUE(EqualsFolded("\u212A", "k"));   // the Kelvin sign
  EXPECT_TRUE(EqualsFolded("МОСКВА", "москва"));
  EXPECT_FALSE(EqualsFolded("España", "Espana"));
  EXPECT_FALSE(EqualsFolded("a", "ab"));
  EXPECT_EQ(FoldCase("Köln ZÜRICH"), "köln zürich");
}

TEST(UnicodeCaseTest, KeepsBytesThatAreNotUtf8) {
  EXPECT_EQ(FoldCase("A\xFF"
                     "B"),
            "a\xFF"
            "b");
  EXPECT_EQ(FoldCase("\xC3"), "\xC3");                    // cut short
  EXPECT_EQ(FoldCase("\xED\xA0\x80X"), "\xED\xA0\x80x");  // a surrogate
  EXPECT_EQ(FoldCase("\xC0\xC1"), "\xC0\xC1");            // an overlong form
  EXPECT_FALSE(EqualsFolded("\xC3", "\xE3"));
}

}  // namespace
}  // namespace cubemill::platform
