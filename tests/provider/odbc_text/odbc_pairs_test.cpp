#include "provider/odbc_text/odbc_pairs.h"

#include <gtest/gtest.h>

namespace cubemill::provider::odbc_text {
namespace {

// Each piece as "key|value", or the key alone for a piece without "=".
std::vector<std::string> Pieces(std::string_view odbc) {
  std::vector<std::string> pieces;
  for (const OdbcPair& pair : SplitOdbcPairs(odbc)) {
    pieces.push_back(pair.has_equals ? std::string(pair.key) + "|" + std::string(pair.value)
                                     : std::string(pair.key));
  }
  return pieces;
}

TEST(OdbcPairsTest, SplitsAsTheDriverManagerReads) {
  using P = std::vector<std::string>;
  const struct {
    const char* odbc;
    P pieces;
  } cases[] = {
      {"DSN=Sales;UID=ann", P{"DSN|Sales", "UID|ann"}},
      {"DRIVER={SQL Server};PWD={a;b}}c};X=1;", P{"DRIVER|{SQL Server}", "PWD|{a;b}}c}", "X|1"}},
      {"A= {x;y} ;B=2", P{"A| {x;y} ", "B|2"}},
      {"Description='Sales;PWD=s", P{"Description|'Sales", "PWD|s"}},
      {"Description=\"a;b\";C=3", P{"Description|\"a", "b\"", "C|3"}},
      {"A={never closed;PWD=s", P{"A|{never closed;PWD=s"}},
      {" pwd = s ;; ;DSN=x", P{" pwd | s ", "DSN|x"}},
      {"Salesbase", P{"Salesbase"}},
      {"A=b=c", P{"A|b=c"}},
      {"", P{}},
  };
  for (const auto& c : cases) EXPECT_EQ(Pieces(c.odbc), c.pieces) << c.odbc;
}

TEST(OdbcPairsTest, ReadsKeysAndValues) {
  EXPECT_EQ(OdbcKeyName(" Window Handle "), "windowhandle");
  EXPECT_EQ(OdbcValueText(" {a;b}}c} "), "a;b}c");
  EXPECT_EQ(OdbcValueText(" plain "), "plain");
  EXPECT_EQ(QuoteOdbcValue("a;b}"), "{a;b}}}");
  EXPECT_EQ(QuoteOdbcValue("plain"), "plain");
  EXPECT_EQ(QuoteOdbcValue(" padded"), "{ padded}");
}

}  // namespace
}  // namespace cubemill::provider::odbc_text
