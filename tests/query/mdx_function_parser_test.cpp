// The MDX parser on member navigation, ranges and the set functions: the trees they give, and
// for a wrong call which function and which argument.
#include <gtest/gtest.h>

#include "mdx_tree.h"
#include "query/parser/mdx_parser.h"

namespace cubemill::query {
namespace {

using Kind = MdxExpression::Kind;

MdxExpression Name(std::size_t position, const char* text) {
  return {Kind::kName, position, {{text, false, position}}, {}};
}

MdxExpression Word(Kind kind, std::size_t position, const char* text) {
  if (kind == Kind::kNumber)
    return {kind, position, {{text, false, position}}, {}, nullptr, test::NumberValue(text)};
  return {kind, position, {{text, false, position}}, {}};
}

MdxExpression Of(Kind kind, std::size_t position, std::vector<MdxExpression> operands) {
  return {kind, position, {}, std::move(operands)};
}

TEST(MdxFunctionParserTest, ReadsNavigationRangesAndSetFunctions) {
  const struct {
    const char* columns;
    MdxExpression expected;
  } cases[] = {
      {"[A].FirstChild", test::Call("FirstChild", 8, {Name(8, "A")})},
      {"[A].lastchild.Siblings",
       test::Call("Siblings", 8, {test::Call("LastChild", 8, {Name(8, "A")})})},
      {"[A].PrevMember.NextMember",
       test::Call("NextMember", 8, {test::Call("PrevMember", 8, {Name(8, "A")})})},
      {"[A].Lag(3)", test::Call("Lag", 8, {Name(8, "A"), Word(Kind::kNumber, 16, "3")})},
      {"[A].Lead(-007)", test::Call("Lead", 8, {Name(8, "A"), Word(Kind::kNumber, 17, "-7")})},
      {"[A].Level.Members", test::Call("Members", 8, {test::Call("Level", 8, {Name(8, "A")})})},
      {"[A] : [B].NextMember",
       Of(Kind::kRange, 12, {Name(8, "A"), test::Call("NextMember", 14, {Name(14, "B")})})},
      {"[A]:[B] * [C]",
       {Kind::kBinary,
        16,
        {{"*", false, 16}},
        {Of(Kind::kRange, 11, {Name(8, "A"), Name(12, "B")}), Name(18, "C")}}},
      {"Ancestor([A], 2)",
       test::Call("Ancestor", 8, {Name(17, "A"), Word(Kind::kNumber, 22, "2")})},
      {"Descendants([A], [L], self_and_before)",
       test::Call("Descendants", 8,
                  {Name(20, "A"), Name(25, "L"), Word(Kind::kFlag, 30, "SELF_AND_BEFORE")})},
      {"Descendants([A])", test::Call("Descendants", 8, {Name(20, "A")})},
      {"Head([A])", test::Call("Head", 8, {Name(13, "A")})},
      {"Tail([A], 2)", test::Call("Tail", 8, {Name(13, "A"), Word(Kind::kNumber, 18, "2")})},
      {"Subset([A], 1, 2)",
       test::Call("Subset", 8,
                  {Name(15, "A"), Word(Kind::kNumber, 20, "1"), Word(Kind::kNumber, 23, "2")})},
      {"Union([A], [B], [C], All)",
       test::Call("Union", 8,
                  {Name(14, "A"), Name(19, "B"), Name(24, "C"), Word(Kind::kFlag, 29, "ALL")})},
      {"Except([A], [B])", test::Call("Except", 8, {Name(15, "A"), Name(20, "B")})},
      {"Intersect([A], [B])", test::Call("Intersect", 8, {Name(18, "A"), Name(23, "B")})},
      {"Distinct(Hierarchize([A]))",
       test::Call("Distinct", 8, {test::Call("Hierarchize", 17, {Name(29, "A")})})},
      {"Extract([A], [B], [C])",
       test::Call("Extract", 8, {Name(16, "A"), Name(21, "B"), Name(26, "C")})},
      {"CrossJoin([A], [B], [C])",
       test::Call("CrossJoin", 8, {Name(18, "A"), Name(23, "B"), Name(28, "C")})},
      // Flag words are flags only where the function takes them: here ALL names a dimension.
      {"Head(ALL)", test::Call("Head", 8, {Name(13, "ALL")})},
      // A member named like a function is written in brackets.
      {"[Level].[Lag]", {Kind::kName, 8, {{"Level", false, 8}, {"Lag", false, 16}}, {}}},
  };
  for (const auto& c : cases) {
    const std::string text = std::string("SELECT ") + c.columns + " ON COLUMNS FROM [C]";
    const auto query = ParseMdx(text);
    ASSERT_TRUE(query.ok()) << text << ": " << query.error().description;
    EXPECT_EQ(query->columns.set, c.expected) << text;
  }
}

TEST(MdxFunctionParserTest, NamesTheFunctionAndTheArgumentThatIsWrong) {
  const struct {
    const char* columns;
    const char* error;
  } cases[] = {
      {"Foo([A])", "unknown function Foo at 8"},
      {"[A].Foo(1)", "unknown function Foo at 12"},
      {"[A].Children.Kids", "unknown function Kids at 21"},
      {"[A].Members.[B]", "expected a function after \".\", found [B] at 20"},
      {"Head(12)", "Head needs a set at 13"},
      {"Head([A], [B])", "Head needs a number at 18"},
      {"Head([A], 1, 2)", "Head takes 1 or 2 arguments, found 3 at 8"},
      {"Subset([A])", "Subset takes 2 or 3 arguments, found 1 at 8"},
      {"Union([A])", "Union takes 2 or more arguments, found 1 at 8"},
      {"Union([A], 1)", "Union needs a set at 19"},
      {"Except([A], [B], ALL)", "Except takes 2 arguments, found 3 at 8"},
      {"Descendants([A], [B], Below)",
       "Descendants takes SELF, AFTER, BEFORE, SELF_AND_AFTER, SELF_AND_BEFORE, "
       "SELF_BEFORE_AFTER or LEAVES there at 30"},
      {"Descendants(1)", "Descendants needs a member at 20"},
      {"Descendants([A], 1, 2, 3)", "Descendants takes 1 to 3 arguments, found 4 at 8"},
      {"[A].Lag([B])", "Lag needs a number at 16"},
      {"[A].Lead()", "Lead needs a number at 17"},
      {"[A].Lag(1234567890123456789012)", "the number 1234567890123456789012 is too large at 16"},
      {"[A] : [B] : [C]", "expected ON, found \":\" at 18"},
      // A "-" apart from the digits is an operator, and the operand is no number.
      {"[A].Lag(- 1)", "Lag needs a number at 16"},
      {"[A].Lag(1.5)", "Lag needs a whole number at 16"},
  };
  for (const auto& c : cases) {
    const std::string text = std::string("SELECT ") + c.columns + " ON COLUMNS FROM [C]";
    const auto query = ParseMdx(text);
    ASSERT_FALSE(query.ok()) << text;
    EXPECT_EQ(query.error().description, c.error) << text;
  }
}

TEST(MdxFunctionParserTest, BoundsTheNestingOfFunctions) {
  std::string nested = "[A]";
  for (std::size_t i = 0; i < 15000; ++i) nested = "Head(" + nested + ")";
  const auto deep = ParseMdx("SELECT " + nested + " ON COLUMNS FROM [C]");
  ASSERT_FALSE(deep.ok());
  EXPECT_EQ(deep.error().description, "the query nests deeper than 200 levels at " +
                                          std::to_string(8 + 5 * (kMaxMdxNesting - 1)));
  std::string chain = "[A]";
  for (std::size_t i = 0; i + 1 < kMaxMdxNesting; ++i) chain += ".Lag(1)";
  EXPECT_TRUE(ParseMdx("SELECT " + chain + " ON COLUMNS FROM [C]").ok());
  EXPECT_FALSE(ParseMdx("SELECT " + chain + ".Lag(1) ON COLUMNS FROM [C]").ok());
}

}  // namespace
}  // namespace cubemill::query
