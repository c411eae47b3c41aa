#include "common/quoted_text.h"

#include <gtest/gtest.h>

#include <string>

namespace cubemill {
namespace {

TEST(QuotedTextTest, ReadsUpToTheFirstClosingCharacterNotDoubled) {
  const struct {
    const char* text;
    std::size_t open;
    char close;
    const char* value;
    std::size_t end;
    bool closed;
  } cases[] = {
      {"[Sales Region].x", 0, ']', "Sales Region", 14, true},
      {"[a]]b]", 0, ']', "a]b", 6, true},
      {"x.[]]]]]", 2, ']', "]]", 8, true},
      {"[]", 0, ']', "", 2, true},
      {"'it''s' rest", 0, '\'', "it's", 7, true},
      {"\"a \"\"b\"\"\"", 0, '"', "a \"b\"", 9, true},
      // Unclosed: what follows the opening character, doubled closers halved.
      {"[abc", 0, ']', "abc", 4, false},
      {"[a]]", 0, ']', "a]", 4, false},
      {"[", 0, ']', "", 1, false},
  };
  for (const auto& c : cases) {
    const QuotedText quoted = ScanQuoted(c.text, c.open, c.close);
    EXPECT_EQ(quoted.value, c.value) << c.text;
    EXPECT_EQ(quoted.end, c.end) << c.text;
    EXPECT_EQ(quoted.closed, c.closed) << c.text;
  }
}

TEST(QuotedTextTest, BracketsNamesDoublingTheClosingBracket) {
  const struct {
    const char* name;
    const char* bracketed;
  } cases[] = {
      {"Sales Region", "[Sales Region]"},
      {"a]b", "[a]]b]"},
      {"]]", "[]]]]]"},
      {"[x", "[[x]"},
      {"", "[]"},
      {"Straße", "[Straße]"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Bracketed(c.name), c.bracketed) << c.name;
    // The reader gives the name back, and stops just past the writer's last bracket.
    const std::string text = Bracketed(c.name) + ".[next]";
    const QuotedText read = ScanQuoted(text, 0, ']');
    EXPECT_TRUE(read.closed) << c.name;
    EXPECT_EQ(read.value, c.name);
    EXPECT_EQ(read.end, std::string(c.bracketed).size()) << c.name;
  }
}

TEST(QuotedTextTest, WritesAMeasuresUniqueName) {
  EXPECT_EQ(MeasureUniqueName("Amount"), "[Measures].[Amount]");
  EXPECT_EQ(MeasureUniqueName("Net]Sales"), "[Measures].[Net]]Sales]");
}

}  // namespace
}  // namespace cubemill
