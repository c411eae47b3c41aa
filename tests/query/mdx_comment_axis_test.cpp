// The MDX parser's comments and axis names: what a comment hides and what it leaves alone, and
// AXIS(n) beside COLUMNS and ROWS.
#include <gtest/gtest.h>

#include "query/parser/mdx_parser.h"

namespace cubemill::query {
namespace {

using Kind = MdxExpression::Kind;

TEST(MdxCommentTest, SkipsEachFormOfComment) {
  const auto plain = ParseMdx("SELECT {[A], [B]} ON COLUMNS, [R] ON ROWS FROM [C] WHERE [W]");
  ASSERT_TRUE(plain.ok()) << plain.error().description;
  for (const char* mdx : {
           "-- leading line\nSELECT {[A], [B]} ON COLUMNS, [R] ON ROWS FROM [C] WHERE [W]",
           "SELECT {[A], -- the first\n[B]} ON COLUMNS, [R] ON ROWS FROM [C] WHERE [W] -- end",
           "SELECT {[A], // the first\n[B]} ON COLUMNS, [R] ON ROWS // rows\nFROM [C] WHERE [W]",
           "SELECT /* a */{[A],/**/[B]} ON /* multi\nline */ COLUMNS, [R] ON ROWS FROM [C] "
           "WHERE [W]/* { unbalanced ( [ */",
           "SELECT {[A], [B]} ON COLUMNS, [R] ON ROWS FROM [C] WHERE [W]; // after the ;",
           "SELECT {[A], [B]} ON COLUMNS, [R] ON ROWS FROM [C] WHERE [W]--",
           "SELECT {[A], [B]} ON COLUMNS, [R] ON ROWS FROM [C] WHERE [W]/* -- */",
           "SELECT {[A], [B]} ON COLUMNS, [R] ON ROWS FROM [C] WHERE [W] -- /* not opened",
       }) {
    const auto query = ParseMdx(mdx);
    ASSERT_TRUE(query.ok()) << mdx << ": " << query.error().description;
    // The same tree but for the positions: compare the names.
    ASSERT_EQ(query->columns.set.kind, Kind::kSet) << mdx;
    ASSERT_EQ(query->columns.set.operands.size(), 2U) << mdx;
    EXPECT_EQ(NameText(query->columns.set.operands[0].parts), "[A]") << mdx;
    EXPECT_EQ(NameText(query->columns.set.operands[1].parts), "[B]") << mdx;
    ASSERT_TRUE(query->rows) << mdx;
    EXPECT_EQ(NameText(query->rows->set.parts), "[R]") << mdx;
    ASSERT_TRUE(query->where) << mdx;
    EXPECT_EQ(NameText(query->where->parts), "[W]") << mdx;
  }
}

TEST(MdxCommentTest, PositionsCountTheCommentsCharacters) {
  const auto query = ParseMdx("/* ñ */ SELECT [A] ON 0 FROM [C] -- x\n WHERE [W]");
  ASSERT_TRUE(query.ok()) << query.error().description;
  EXPECT_EQ(query->columns.set.position, 16U);
  ASSERT_TRUE(query->where);
  EXPECT_EQ(query->where->position, 46U);
  const auto error = ParseMdx("SELECT [A] -- é\n ON 2 FROM [C]");
  ASSERT_FALSE(error.ok());
  EXPECT_EQ(error.error().description, "a query with PAGES needs COLUMNS and ROWS axes at 21");
}

TEST(MdxCommentTest, LeavesCommentMarksInsideNamesAlone) {
  const auto query =
      ParseMdx("SELECT {[a--b], [c//d], [e/*f], [g*/h]} ON COLUMNS FROM [x -- y] /* ] */");
  ASSERT_TRUE(query.ok()) << query.error().description;
  const auto& operands = query->columns.set.operands;
  ASSERT_EQ(operands.size(), 4U);
  EXPECT_EQ(operands[0].parts.front().text, "a--b");
  EXPECT_EQ(operands[1].parts.front().text, "c//d");
  EXPECT_EQ(operands[2].parts.front().text, "e/*f");
  EXPECT_EQ(operands[3].parts.front().text, "g*/h");
  EXPECT_EQ(query->cube, "x -- y");
}

TEST(MdxCommentTest, NamesAnUnclosedCommentAndLoneMarks) {
  const struct {
    const char* mdx;
    const char* error;
  } cases[] = {
      {"SELECT [A] ON COLUMNS /* never closed FROM [C]", "unclosed /* comment at 23"},
      {"SELECT [A] ON COLUMNS FROM [C] /*/", "unclosed /* comment at 32"},
      {"/*", "unclosed /* comment at 1"},
      // A comment hides what it covers: here the cube's name.
      {"SELECT [A] ON COLUMNS FROM -- [C]",
       "expected the cube's name, found the end of the query at 34"},
      // A lone "-" or "/" is an operator, and a "*/" no comment's end.
      {"SELECT [A] ON COLUMNS FROM [C] - 1", "expected the end of the query, found \"-\" at 32"},
      {"SELECT [A] ON COLUMNS FROM [C] / 1", "expected the end of the query, found \"/\" at 32"},
      {"SELECT [A] ON COLUMNS FROM [C] */", "expected the end of the query, found \"*\" at 32"},
  };
  for (const auto& c : cases) {
    const auto query = ParseMdx(c.mdx);
    ASSERT_FALSE(query.ok()) << c.mdx;
    EXPECT_EQ(query.error().description, c.error) << c.mdx;
  }
}

TEST(MdxAxisTest, NamesAxesByNumberAndByAxisFunction) {
  for (const char* mdx : {
           "SELECT [B] ON AXIS(0), [A] ON AXIS(1) FROM [C]",
           "SELECT [A] ON axis ( 1 ), [B] ON Axis(0) FROM [C]",
           "SELECT [A] ON ROWS, [B] ON AXIS(00) FROM [C]",
           "SELECT [B] ON 0, [A] ON 1 FROM [C]",
           "SELECT [B] ON COLUMNS, [A] ON AXIS(1) FROM [C]",
       }) {
    const auto query = ParseMdx(mdx);
    ASSERT_TRUE(query.ok()) << mdx << ": " << query.error().description;
    EXPECT_EQ(NameText(query->columns.set.parts), "[B]") << mdx;
    ASSERT_TRUE(query->rows) << mdx;
    EXPECT_EQ(NameText(query->rows->set.parts), "[A]") << mdx;
  }
  // A member may still be called Axis.
  const auto member = ParseMdx("SELECT [D].Axis ON AXIS(0) FROM [C]");
  ASSERT_TRUE(member.ok()) << member.error().description;
  EXPECT_EQ(NameText(member->columns.set.parts), "[D].[Axis]");
}

TEST(MdxAxisTest, RefusesAxesBeyondPagesAndMalformedAxisNames) {
  const struct {
    const char* mdx;
    const char* error;
  } cases[] = {
      {"SELECT [A] ON AXIS(2) FROM [C]", "a query with PAGES needs COLUMNS and ROWS axes at 15"},
      {"SELECT [A] ON 0, [B] ON PAGES FROM [C]",
       "a query with PAGES needs COLUMNS and ROWS axes at 25"},
      {"SELECT [A] ON 0, [B] ON 1, [C] ON 2, [D] ON PAGES FROM [C]",
       "the PAGES axis is given twice at 45"},
      {"SELECT [A] ON 0, [B] ON AXIS(1), [D] ON AXIS(3) FROM [C]",
       "only COLUMNS, ROWS and PAGES, AXIS(0) to AXIS(2), are answered: found AXIS(3) at 41"},
      {"SELECT [A] ON 17 FROM [C]",
       "only COLUMNS, ROWS and PAGES, AXIS(0) to AXIS(2), are answered: found AXIS(17) at 15"},
      {"SELECT [A] ON AXIS(99999999999999999999999) FROM [C]",
       "only COLUMNS, ROWS and PAGES, AXIS(0) to AXIS(2), are answered: found "
       "AXIS(99999999999999999999999) at 15"},
      {"SELECT [A] ON AXIS FROM [C]", "expected \"(\", found \"FROM\" at 20"},
      {"SELECT [A] ON AXIS(ROWS) FROM [C]", "expected an axis number, found \"ROWS\" at 20"},
      {"SELECT [A] ON AXIS(1 FROM [C]",
       "expected \")\" to close the \"(\" at 19, found \"FROM\" at 22"},
      {"SELECT [A] ON AXIS(0), [B] ON 0 FROM [C]", "the COLUMNS axis is given twice at 31"},
      {"SELECT [A] ON AXIS(1) FROM [C]", "a query with ROWS needs a COLUMNS axis at 15"},
  };
  for (const auto& c : cases) {
    const auto query = ParseMdx(c.mdx);
    ASSERT_FALSE(query.ok()) << c.mdx;
    EXPECT_EQ(query.error().description, c.error) << c.mdx;
  }
}

}  // namespace
}  // namespace cubemill::query
