#include "provider/odbc_text/odbc_pairs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cubemill::provider::odbc_text {
namespace {

// The engine's connection-string syntax, as its property reader passes it to SplitPairs.
constexpr PairSyntax kQuotes{"\"'", "\"'", platform::kBlanks};

std::vector<std::string> Pieces(std::string_view text, const PairSyntax& syntax) {
  std::vector<std::string> pieces;
  for (const ConnectionPair& pair : SplitPairs(text, syntax)) pieces.emplace_back(pair.text);
  return pieces;
}

TEST(OdbcPairsTest, SplitsAtSemicolonsOutsideQuotedValues) {
  using Texts = std::vector<std::string>;
  const struct {
    const char* text;
    Texts odbc;    // kOdbcPairSyntax: braces
    Texts quotes;  // kQuotes: double or single quotes
  } cases[] = {
      {"A=1;B=2", {"A=1", "B=2"}, {"A=1", "B=2"}},
      {"A={x;y};B='p;q'", {"A={x;y}", "B='p", "q'"}, {"A={x", "y}", "B='p;q'"}},
      {"A= \t{x}};y} tail;B=2", {"A= \t{x}};y} tail", "B=2"}, {"A= \t{x}}", "y} tail", "B=2"}},
      {"A=\"x;\"\"y\"\";z\";B=2",
       {"A=\"x", "\"\"y\"\"", "z\"", "B=2"},
       {"A=\"x;\"\"y\"\";z\"", "B=2"}},
      {"A=\r\n'x;y'", {"A=\r\n'x", "y'"}, {"A=\r\n'x;y'"}},
      {"A={never closed;B=2", {"A={never closed;B=2"}, {"A={never closed", "B=2"}},
      {"A='never closed;B=2", {"A='never closed", "B=2"}, {"A='never closed;B=2"}},
      {" ; \t;;junk;=v", {"junk", "=v"}, {"junk", "=v"}},
      {"X;Y={a=b;c}", {"X", "Y={a=b;c}"}, {"X", "Y={a=b", "c}"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Pieces(c.text, kOdbcPairSyntax), c.odbc) << c.text;
    EXPECT_EQ(Pieces(c.text, kQuotes), c.quotes) << c.text;
  }
}

TEST(OdbcPairsTest, CutsEachPieceAtItsFirstEquals) {
  const std::vector<ConnectionPair> pairs = SplitOdbcPairs(" Pwd = {a=b} ;Trusted;x=");
  ASSERT_EQ(pairs.size(), 3u);
  EXPECT_EQ(pairs[0].key, " Pwd ");
  EXPECT_EQ(pairs[0].value, " {a=b} ");
  EXPECT_EQ(OdbcKeyName(pairs[0].key), "pwd");
  EXPECT_EQ(OdbcValueText(pairs[0].value), "a=b");
  EXPECT_FALSE(pairs[1].has_equals);
  EXPECT_EQ(pairs[1].key, "Trusted");
  EXPECT_TRUE(pairs[2].has_equals);
  EXPECT_EQ(pairs[2].value, "");
}

}  // namespace
}  // namespace cubemill::provider::odbc_text
