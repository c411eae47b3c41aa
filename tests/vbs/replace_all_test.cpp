#include "vbs/replace_all.h"

#include <gtest/gtest.h>

namespace cubemill::vbs {
namespace {

TEST(ReplaceAllTest, ReplacesEachOccurrenceOnceFromTheLeft) {
  const struct {
    const char* text;
    const char* find;
    const char* replacement;
    const char* expected;
  } cases[] = {
      {"", "a", "b", ""},
      {"abc", "x", "y", "abc"},
      {"a,b,c", ",", ", ", "a, b, c"},
      {"aaa", "aa", "b", "ba"},      // occurrences do not overlap
      {"(x)", "(", " ( ", " ( x)"},  // inserted text is not scanned again
      {"a\"b", "\"", "\"\"", "a\"\"b"},
      {"Select SELECT", "SELECT", "S", "Select S"},  // case-sensitive
      {"abc", "", "x", "abc"},                       // an empty find text changes nothing
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReplaceAll(c.text, c.find, c.replacement), c.expected) << c.text;
}

TEST(ReplaceAllTest, HalvesRunsOfSpacesPerPass) {
  // One pass turns n spaces into (n + 1) / 2; three passes leave one space per started eight.
  for (std::size_t n = 1; n <= 25; ++n) {
    std::string text = "a" + std::string(n, ' ') + "b";
    for (int pass = 0; pass < 3; ++pass) text = ReplaceAll(text, "  ", " ");
    EXPECT_EQ(text, "a" + std::string((n + 7) / 8, ' ') + "b") << n;
  }
}

}  // namespace
}  // namespace cubemill::vbs
