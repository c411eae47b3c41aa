#include "ui/info_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cubemill::ui {
namespace {

// Splits at CR LF; the text after the last CR LF is returned as the final element.
std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

TEST(InfoTextTest, HoldsTheEighteenLinesInOrder) {
  const std::vector<std::string> expected = {
      "Autor: The Cubemill Team",
      "Purpose: Automating and converting OQY Files",
      "",
      "Licence:",
      "MIT License (see the file LICENSE)",
      "",
      "Description:",
      "\tThis tool runs OQY files to create MS-OLAP offline cubes.",
      "\tThis tool converts OQY files to formatted VBS files to enhance the functions.",
      "",
      "Versions",
      "\t1.0: Initial Version",
      "\t1.1: Timestamps for Cubes",
      "\t1.2: VBS Converter",
      "\t1.3: UI",
      "\t1.3.1: Double Quotes for VBS Date Formatting",
      "\t1.3.1: HIERARCHY Formatting for VBS",
      "\t1.3.2: VBS Exit Codes Korrektur",
      "",  // after the final CR LF
  };
  EXPECT_EQ(SplitCrLf(InfoText()), expected);
}

TEST(InfoTextTest, EndsEveryLineWithCrLfAndUsesNoStrayBreaksOrBlanks) {
  const std::string text = InfoText();
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  std::size_t crlf = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      ASSERT_LT(i + 1, text.size());
      EXPECT_EQ(text[i + 1], '\n') << "lone CR at " << i;
      ++crlf;
    } else if (text[i] == '\n') {
      EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "lone LF at " << i;
    }
  }
  EXPECT_EQ(crlf, 18u);
  for (const std::string& line : SplitCrLf(text)) {
    if (line.empty()) continue;
    EXPECT_NE(line.front(), ' ') << line;
    EXPECT_NE(line.back(), ' ') << line;
    EXPECT_NE(line.rfind("\t\t", 0), 0u) << "more than one TAB: " << line;
  }
}

}  // namespace
}  // namespace cubemill::ui
