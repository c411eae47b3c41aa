#include "provider/ddl/tokenizer.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace cubemill::provider::ddl {

void PrintTo(const Token& token, std::ostream* out) {
  *out << "{" << static_cast<int>(token.kind) << ", \"" << token.text << "\", " << token.position
       << ", " << token.length << "}";
}

namespace {

using K = TokenKind;

TEST(TokenizerTest, ReadsEachKindWithItsPosition) {
  const std::vector<Token> expected = {{K::kWord, "Level", 1, 5},
                                       {K::kBracketName, "Brand]Name", 7, 13},
                                       {K::kPunct, ".", 20, 1},
                                       {K::kQuotedName, "Store \"A\"", 21, 13},
                                       {K::kString, "#,##0;(#,##0)", 35, 15},
                                       {K::kPunct, "(", 51, 1},
                                       {K::kNumber, "12.5", 52, 4},
                                       {K::kPunct, ")", 56, 1},
                                       {K::kPunct, ",", 57, 1},
                                       {K::kWord, "A_1$#", 58, 5},
                                       {K::kString, "it's", 64, 7},
                                       {K::kPunct, ";", 71, 1},
                                       {K::kEnd, "", 72, 0}};
  EXPECT_EQ(Tokenize("Level [Brand]]Name].\"Store \"\"A\"\"\" '#,##0;(#,##0)' (12.5),A_1$# "
                     "'it''s';"),
            expected);
}

TEST(TokenizerTest, TreatsTabsAndLineBreaksAsBlanks) {
  const std::vector<Token> expected = {
      {K::kWord, "a", 2, 1}, {K::kWord, "b", 7, 1}, {K::kEnd, "", 9, 0}};
  EXPECT_EQ(Tokenize("\ta\r\n \tb\n"), expected);
  EXPECT_EQ(Tokenize("\fa\f\f\f\fb\f"), expected);
}

TEST(TokenizerTest, ReportsTextThatFormsNoToken) {
  const struct {
    const char* text;
    std::size_t position;
    const char* message_part;
  } cases[] = {
      {"LEVEL [Open", 7, "unterminated bracketed name starting at position 7"},
      {"x \"open", 3, "unterminated quoted name starting at position 3"},
      // A doubled closer at the very end is a "]" of the name, not its end.
      {"LEVEL [Open]]", 7, "unterminated bracketed name starting at position 7"},
      {"LEVEL [Line\nBreak]]", 7, "holds the control character 0x0A at position 12"},
      {"FORMAT '#,##0", 8, "after \"FORMAT '#,##0\""},
      {"MEASURE [Amount] FUNCTION SUM FORMAT '#,##0.00", 38,
       "after \"... FUNCTION SUM FORMAT '#,##0.00\" (was it cut short at a \";\""},
      {"a = b", 3, "unexpected character \"=\" at position 3"},
  };
  for (const auto& c : cases) {
    const std::vector<Token> tokens = Tokenize(c.text);
    ASSERT_EQ(tokens.back().kind, K::kError) << c.text;
    EXPECT_EQ(tokens.back().position, c.position) << c.text;
    EXPECT_NE(tokens.back().text.find(c.message_part), std::string::npos) << tokens.back().text;
  }
}

TEST(TokenizerTest, KeywordsIgnoreCaseButNeverMatchBracketedNames) {
  const std::vector<Token> tokens = Tokenize("level [LEVEL] \"Level\"");
  EXPECT_TRUE(IsKeyword(tokens[0], "LEVEL"));
  EXPECT_FALSE(IsKeyword(tokens[1], "LEVEL"));
  EXPECT_FALSE(IsKeyword(tokens[2], "LEVEL"));
  EXPECT_TRUE(IsName(tokens[0]) && IsName(tokens[1]) && IsName(tokens[2]));
}

}  // namespace
}  // namespace cubemill::provider::ddl
