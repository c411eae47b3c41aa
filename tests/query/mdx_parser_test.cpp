// The MDX parser: the shapes of good queries, and for bad ones what was wrong and where.
#include "query/parser/mdx_parser.h"

#include <gtest/gtest.h>

#include "mdx_tree.h"

namespace cubemill::query {
namespace {

using Kind = MdxExpression::Kind;

MdxExpression Name(std::size_t position, std::vector<NamePart> parts) {
  return {Kind::kName, position, std::move(parts), {}};
}

TEST(MdxParserTest, ReadsAxesCubeAndSlicer) {
  const auto query = ParseMdx(
      "select non empty {[Measures].[Amount]} on columns, [Geography].[Spain].Children on rows "
      "from [Sales] where ([Time].&[2023])");
  ASSERT_TRUE(query.ok()) << query.error().description;
  EXPECT_TRUE(query->columns.non_empty);
  EXPECT_EQ(query->columns.set,
            (MdxExpression{
                Kind::kSet, 18, {}, {Name(19, {{"Measures", false, 19}, {"Amount", false, 30}})}}));
  ASSERT_TRUE(query->rows);
  EXPECT_FALSE(query->rows->non_empty);
  EXPECT_EQ(query->rows->set,
            test::Apply("Children", Name(52, {{"Geography", false, 52}, {"Spain", false, 64}})));
  EXPECT_EQ(query->cube, "Sales");
  EXPECT_EQ(query->cube_position, 94);
  ASSERT_TRUE(query->where);
  EXPECT_EQ(*query->where,
            (MdxExpression{
                Kind::kTuple, 108, {}, {Name(109, {{"Time", false, 109}, {"2023", true, 116}})}}));
}

TEST(MdxParserTest, ReadsEveryFormOfSet) {
  const struct {
    const char* columns;
    MdxExpression expected;
  } cases[] = {
      {"[Product].[Category].Members",
       test::Apply("Members", Name(8, {{"Product", false, 8}, {"Category", false, 18}}))},
      {"[Geography].[Spain].[Valencia].Parent",
       test::Apply(
           "Parent",
           Name(8, {{"Geography", false, 8}, {"Spain", false, 20}, {"Valencia", false, 28}}))},
      {"Measures.Amount", Name(8, {{"Measures", false, 8}, {"Amount", false, 17}})},
      {"[Geography].[City].&[Madrid]",
       Name(8, {{"Geography", false, 8}, {"City", false, 20}, {"Madrid", true, 27}})},
      {"[Odd]]Name]", Name(8, {{"Odd]Name", false, 8}})},
      {"{}", {Kind::kSet, 8, {}, {}}},
      {"CrossJoin([A], [B])",
       test::Call("CrossJoin", 8, {Name(18, {{"A", false, 18}}), Name(23, {{"B", false, 23}})})},
      // Infix "*" is the operator, whatever its operands: the binder reads it as CrossJoin
      // between sets.
      {"[A] * [B] * [C]",
       {Kind::kBinary,
        18,
        {{"*", false, 18}},
        {{Kind::kBinary,
          12,
          {{"*", false, 12}},
          {Name(8, {{"A", false, 8}}), Name(14, {{"B", false, 14}})}},
         Name(20, {{"C", false, 20}})}}},
      {"[A].Members.Members",
       test::Apply("Members", test::Apply("Members", Name(8, {{"A", false, 8}})))},
  };
  for (const auto& c : cases) {
    const std::string text = std::string("SELECT ") + c.columns + " ON COLUMNS FROM [C]";
    const auto query = ParseMdx(text);
    ASSERT_TRUE(query.ok()) << text << ": " << query.error().description;
    EXPECT_EQ(query->columns.set, c.expected) << text;
    EXPECT_FALSE(query->rows) << text;
  }
}

TEST(MdxParserTest, TakesAxisNumbersAnyOrderAndATrailingSemicolon) {
  const auto query = ParseMdx("SELECT [A] ON 1, [B] ON 0 FROM Cube;");
  ASSERT_TRUE(query.ok()) << query.error().description;
  EXPECT_EQ(query->columns.set, Name(18, {{"B", false, 18}}));
  ASSERT_TRUE(query->rows);
  EXPECT_EQ(query->rows->set, Name(8, {{"A", false, 8}}));
  EXPECT_EQ(query->cube, "Cube");
}

TEST(MdxParserTest, NamesWhatIsWrongAndWhere) {
  const struct {
    const char* mdx;
    const char* error;
  } cases[] = {
      {"", "expected SELECT, found the end of the query at 1"},
      {"SELEC [A] ON COLUMNS FROM [C]", "expected SELECT, found \"SELEC\" at 1"},
      {"SELECT [A] FROM [C]", "expected ON, found \"FROM\" at 12"},
      {"SELECT [A] ON COLUMN FROM [C]",
       "expected COLUMNS, ROWS, PAGES or AXIS(n), found \"COLUMN\" at 15"},
      {"SELECT [A] ON COLUMNS, [B] ON COLUMNS FROM [C]", "the COLUMNS axis is given twice at 31"},
      {"SELECT [A] ON ROWS FROM [C]", "a query with ROWS needs a COLUMNS axis at 15"},
      {"SELECT [A ON COLUMNS FROM C", "unclosed [ at 8"},
      // A "[" whose name runs on to the "]" of a later name.
      {"SELECT [Measures].[Amount ON COLUMNS FROM [Sales]",
       "unclosed [ at 19 (the name runs on past the [ at 43)"},
      {"SELECT [A] ON COLUMNS FROM [C] WHERE ([X].[Y, [Z]",
       "unclosed [ at 43 (the name runs on past the [ at 47)"},
      {"SELECT {[A], [B} ON COLUMNS FROM [C]",
       "unclosed [ at 14 (the name runs on past the [ at 34)"},
      {"SELECT {[A], [B] ON COLUMNS FROM [C]",
       "expected \"}\" to close the \"{\" at 8, found \"ON\" at 18"},
      {"SELECT ([A], [B] ON COLUMNS FROM [C]",
       "expected \")\" to close the \"(\" at 8, found \"ON\" at 18"},
      {"SELECT CrossJoin([A], [B] ON COLUMNS FROM [C]",
       "expected \")\" to close the \"(\" at 17, found \"ON\" at 27"},
      {"SELECT [A].Members.Kids ON COLUMNS FROM [C]", "unknown function Kids at 20"},
      {"SELECT [A].&B ON COLUMNS FROM [C]", "expected [key] after &, found \"B\" at 13"},
      {"SELECT CrossJoin([A]) ON COLUMNS FROM [C]",
       "CrossJoin takes 2 or more arguments, found 1 at 8"},
      {"SELECT [A] ON COLUMNS FROM", "expected the cube's name, found the end of the query at 27"},
      {"SELECT [A] ON COLUMNS FROM [C] WHERE",
       "expected a member, a set or a function, found the end of the query at 37"},
      {"SELECT [A] ON COLUMNS FROM [C] [D]", "expected the end of the query, found [D] at 32"},
      {"SELECT [A] ON COLUMNS FROM [C] WHERE [x] ! 1", "unexpected character \"!\" at 42"},
      {"SELECT [Größe] ON COLUMNS FROM [C] WHERE §", "unexpected character \"§\" at 42"},
      {"SELECT NON [A] ON COLUMNS FROM [C]", "expected EMPTY, found [A] at 12"},
      // A long name is cut in the message.
      {"SELECT [A] ON COLUMNS FROM [C] [0123456789012345678901234567890123456789more]",
       "expected the end of the query, found [0123456789012345678901234567890123456789...] at 32"},
  };
  for (const auto& c : cases) {
    const auto query = ParseMdx(c.mdx);
    ASSERT_FALSE(query.ok()) << c.mdx;
    EXPECT_EQ(query.error().description, c.error) << c.mdx;
    EXPECT_EQ(query.error().source, kQuerySource);
  }
}

// `count` copies of `open`, then `middle`, then `count` copies of `close`.
std::string Nested(std::size_t count, const std::string& open, const std::string& middle,
                   const std::string& close) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += open;
  text += middle;
  for (std::size_t i = 0; i < count; ++i) text += close;
  return text;
}

// Each form of nesting, `count` levels deep on the COLUMNS axis, and the 1-based offset where
// the level past kMaxMdxNesting opens.
struct NestingCase {
  const char* form;
  std::string query;
  std::size_t too_deep_at;
};

std::vector<NestingCase> NestingCases(std::size_t count) {
  const std::string select = "SELECT ";
  const std::string from = " ON COLUMNS FROM [C]";
  const std::size_t n = kMaxMdxNesting;
  std::string chain = "[A]";
  for (std::size_t i = 0; i < count; ++i) chain += ".Children";
  std::string product = "[A]";
  for (std::size_t i = 0; i < count; ++i) product += " * [A]";
  return {
      // The n-th "{" would hold at least one more level: 8 + (n - 1).
      {"braces", select + Nested(count, "{", "[A]", "}") + from, 7 + n},
      {"parentheses", select + Nested(count, "(", "[A]", ")") + from, 7 + n},
      {"CrossJoin", select + Nested(count, "CrossJoin(", "[A]", ", [B])") + from, 8 + 10 * (n - 1)},
      // [A] is one level, each .Children one more: the n-th "." is the one too many.
      {".Children", select + chain + from, 11 + 9 * (n - 1)},
      {"*", select + product + from, 12 + 6 * (n - 1)},
  };
}

TEST(MdxParserTest, RefusesQueriesNestedTooDeepWhereTheyGoTooDeep) {
  for (const NestingCase& c : NestingCases(15000)) {
    const auto query = ParseMdx(c.query);
    ASSERT_FALSE(query.ok()) << c.form;
    EXPECT_EQ(query.error().description,
              "the query nests deeper than 200 levels at " + std::to_string(c.too_deep_at))
        << c.form;
  }
  // Right at the bound: just past it fails, just below it parses.
  for (const NestingCase& c : NestingCases(kMaxMdxNesting)) {
    const auto query = ParseMdx(c.query);
    ASSERT_FALSE(query.ok()) << c.form;
    EXPECT_EQ(query.error().description,
              "the query nests deeper than 200 levels at " + std::to_string(c.too_deep_at))
        << c.form;
  }
  for (const NestingCase& c : NestingCases(kMaxMdxNesting - 1)) {
    const auto query = ParseMdx(c.query);
    EXPECT_TRUE(query.ok()) << c.form << ": " << query.error().description;
  }
  // The slicer is bounded the same way; an empty {} inside the bound is fine.
  const auto where =
      ParseMdx("SELECT [A] ON COLUMNS FROM [C] WHERE " + Nested(15000, "(", "[A]", ")"));
  ASSERT_FALSE(where.ok());
  EXPECT_EQ(where.error().description, "the query nests deeper than 200 levels at 237");
  EXPECT_TRUE(ParseMdx("SELECT " + Nested(kMaxMdxNesting - 1, "{", "", "}") + " ON 0 FROM C").ok());
}

TEST(MdxParserTest, RefusesAQueryLongerThanTheBound) {
  const std::string tail = "} ON COLUMNS FROM [C]";
  std::string query = "SELECT {[A]";
  while (query.size() + 5 + tail.size() <= kMaxMdxLength) query += ", [A]";
  query += std::string(kMaxMdxLength - query.size() - tail.size(), ' ') + tail;
  ASSERT_EQ(query.size(), kMaxMdxLength);
  const auto longest = ParseMdx(query);
  EXPECT_TRUE(longest.ok()) << longest.error().description;
  const auto refused = ParseMdx(query + " ");
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().description, "the query is longer than 1048576 bytes");
}

TEST(MdxParserTest, WritesNamesBackInBrackets) {
  EXPECT_EQ(NameText({{"Geography", false, 1}, {"a]b", false, 2}, {"7", true, 3}}),
            "[Geography].[a]]b].&[7]");
}

}  // namespace
}  // namespace cubemill::query
