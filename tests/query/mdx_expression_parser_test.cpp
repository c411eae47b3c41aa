// The MDX parser on value expressions, WITH formulas, subselects and properties: the trees they
// give, the places they record, and for a wrong one what was wrong and where.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "mdx_tree.h"
#include "query/parser/mdx_parser.h"

namespace cubemill::query {
namespace {

using Kind = MdxExpression::Kind;

// The 1-based character position of the first `needle` in `text` after `after` bytes (UTF-8
// counted as characters): where the parser must place it.
std::size_t At(std::string_view text, std::string_view needle, std::size_t after = 0) {
  const std::size_t byte = text.find(needle, after);
  EXPECT_NE(byte, std::string_view::npos) << needle;
  std::size_t characters = 0;
  for (std::size_t i = 0; i < byte && i < text.size(); ++i)
    characters += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
  return characters + 1;
}

MdxExpression Name(std::size_t position, const char* text) {
  return {Kind::kName, position, {{text, false, position}}, {}};
}

MdxExpression Number(std::size_t position, const char* text) {
  return {Kind::kNumber, position, {{text, false, position}}, {}, nullptr, test::NumberValue(text)};
}

MdxExpression Text(std::size_t position, const char* text) {
  return {Kind::kString, position, {{text, false, position}}, {}};
}

MdxExpression Binary(const char* op, std::size_t position, MdxExpression left,
                     MdxExpression right) {
  return {Kind::kBinary, position, {{op, false, position}}, {std::move(left), std::move(right)}};
}

MdxExpression Unary(const char* op, std::size_t position, MdxExpression operand) {
  return {Kind::kUnary, position, {{op, false, position}}, {std::move(operand)}};
}

MdxExpression Of(Kind kind, std::size_t position, std::vector<MdxExpression> operands) {
  return {kind, position, {}, std::move(operands)};
}

MdxExpression Property(const char* name, std::size_t name_position, MdxExpression operand) {
  const std::size_t position = operand.position;
  static_cast<void>(name_position);
  return {Kind::kCall,
          position,
          {},
          {std::move(operand)},
          functions::Find(name, functions::Syntax::kDotted)};
}

// The COLUMNS expression of "SELECT <columns> ON 0 FROM C": it starts at 8.
Result<MdxQuery> ParseColumns(const std::string& columns) {
  return ParseMdx("SELECT " + columns + " ON 0 FROM C");
}

struct TreeCase {
  const char* columns;
  MdxExpression expected;
};

void ExpectTrees(const std::vector<TreeCase>& cases) {
  for (const TreeCase& c : cases) {
    const auto query = ParseColumns(c.columns);
    ASSERT_TRUE(query.ok()) << c.columns << ": " << query.error().description;
    EXPECT_EQ(query->columns.set, c.expected) << c.columns;
  }
}

struct ErrorCase {
  std::string mdx;
  std::string error;
};

void ExpectErrors(const std::vector<ErrorCase>& cases) {
  for (const ErrorCase& c : cases) {
    const auto query = ParseMdx(c.mdx);
    ASSERT_FALSE(query.ok()) << c.mdx;
    EXPECT_EQ(query.error().description, c.error) << c.mdx;
    EXPECT_EQ(query.error().source, kQuerySource) << c.mdx;
  }
}

TEST(MdxExpressionParserTest, BindsOperatorsByPrecedenceFromTheLeft) {
  const MdxExpression a = Name(8, "a");
  ExpectTrees({
      {"1+2*3", Binary("+", 9, Number(8, "1"), Binary("*", 11, Number(10, "2"), Number(12, "3")))},
      {"1*2+3", Binary("+", 11, Binary("*", 9, Number(8, "1"), Number(10, "2")), Number(12, "3"))},
      {"a-b-c", Binary("-", 11, Binary("-", 9, a, Name(10, "b")), Name(12, "c"))},
      {"a/b*c", Binary("*", 11, Binary("/", 9, a, Name(10, "b")), Name(12, "c"))},
      {"(a+b)*c",
       Binary("*", 13, Of(Kind::kTuple, 8, {Binary("+", 10, Name(9, "a"), Name(11, "b"))}),
              Name(14, "c"))},
      {"NOT a AND b", Binary("AND", 14, Unary("NOT", 8, Name(12, "a")), Name(18, "b"))},
      {"a or b and c", Binary("OR", 10, a, Binary("AND", 15, Name(13, "b"), Name(19, "c")))},
      {"a XOR b Or c", Binary("OR", 16, Binary("XOR", 10, a, Name(14, "b")), Name(19, "c"))},
      {"NOT a = b", Unary("NOT", 8, Binary("=", 14, Name(12, "a"), Name(16, "b")))},
      {"not not a", Unary("NOT", 8, Unary("NOT", 12, Name(16, "a")))},
      // Comparisons bind looser than arithmetic and tighter than AND.
      {"a <= b + 1 AND a <> 2",
       Binary("AND", 19, Binary("<=", 10, a, Binary("+", 15, Name(13, "b"), Number(17, "1"))),
              Binary("<>", 25, Name(23, "a"), Number(28, "2")))},
      {"a>=b", Binary(">=", 9, a, Name(11, "b"))},
      // "-" right before digits is the number's sign; elsewhere an operator.
      {"-2 * 3", Binary("*", 11, Number(8, "-2"), Number(13, "3"))},
      {"1 - -2", Binary("-", 10, Number(8, "1"), Number(12, "-2"))},
      {"1-2", Binary("-", 9, Number(8, "1"), Number(10, "2"))},
      {"- 2", Unary("-", 8, Number(10, "2"))},
      {"- -a", Unary("-", 8, Unary("-", 10, Name(11, "a")))},
      {"-[A]:[B]", Unary("-", 8, Of(Kind::kRange, 12, {Name(9, "A"), Name(13, "B")}))},
      {"-a.Value * 2",
       Binary("*", 17, Unary("-", 8, Property("Value", 11, Name(9, "a"))), Number(19, "2"))},
  });
}

TEST(MdxExpressionParserTest, ReadsSetOperatorsAsBinary) {
  ExpectTrees({
      {"{[A]} + {[B]} - [C]", Binary("-", 22,
                                     Binary("+", 14, Of(Kind::kSet, 8, {Name(9, "A")}),
                                            Of(Kind::kSet, 16, {Name(17, "B")})),
                                     Name(24, "C"))},
      {"[A].Children * [B].Members", Binary("*", 21, test::Call("Children", 8, {Name(8, "A")}),
                                            test::Call("Members", 23, {Name(23, "B")}))},
      // CrossJoin by name stays a CrossJoin.
      {"CrossJoin([A], [B] * [C])",
       test::Call("CrossJoin", 8, {Name(18, "A"), Binary("*", 27, Name(23, "B"), Name(29, "C"))})},
  });
}

TEST(MdxExpressionParserTest, ReadsNumbersAndStrings) {
  ExpectTrees({
      {"0.25", Number(8, "0.25")},
      {"-1.50", Number(8, "-1.50")},
      {"007", Number(8, "7")},
      {"'it''s'", Text(8, "it's")},
      {"\"say \"\"hi\"\"\"", Text(8, "say \"hi\"")},
      {"\"it's\"", Text(8, "it's")},
      {"''", Text(8, "")},
      // Comment marks and brackets inside a string are its text.
      {"'-- [x] /* //'", Text(8, "-- [x] /* //")},
      {"{1, 'a', [A]}", Of(Kind::kSet, 8, {Number(9, "1"), Text(12, "a"), Name(17, "A")})},
      // A number then a "." and a word is the number's property.
      {"1.Name", Property("Name", 10, Number(8, "1"))},
  });
}

TEST(MdxExpressionParserTest, NamesWhatIsWrongInAnExpression) {
  ExpectErrors({
      {"SELECT a = b = c ON 0 FROM C", "expected AND or OR between comparisons, found \"=\" at 14"},
      {"SELECT a < b > c ON 0 FROM C", "expected AND or OR between comparisons, found \">\" at 14"},
      {"SELECT 'never closed ON 0 FROM C", "unclosed string at 8"},
      {"SELECT 1 + ON 0 FROM C", "expected a member, a set or a function, found \"ON\" at 12"},
      {"SELECT a AND ON 0 FROM C", "expected a member, a set or a function, found \"ON\" at 14"},
      {"SELECT a + NOT b ON 0 FROM C",
       "expected a member, a set or a function, found \"NOT\" at 12"},
      {"SELECT 1.5.2 ON 0 FROM C", "expected a function after \".\", found \"2\" at 12"},
      {"SELECT 1.0000000000000000001 ON 0 FROM C",
       "the number 1.0000000000000000001 has more than 18 decimals at 8"},
      {"SELECT 10000000000000000000.5 ON 0 FROM C",
       "the number 10000000000000000000.5 is too large at 8"},
      // The new keywords are no bare names; in brackets they are.
      {"SELECT {Member} ON 0 FROM C",
       "expected a member, a set or a function, found \"Member\" at 9"},
      {"SELECT [D].Set ON 0 FROM C", "expected a member, a set or a function, found \"Set\" at 12"},
      {"SELECT [A] ! 1 ON 0 FROM C", "unexpected character \"!\" at 12"},
      {"SELECT [A] ON 0.5 FROM C", "expected COLUMNS, ROWS, PAGES or AXIS(n), found \"0.5\" at 15"},
      {"SELECT [A] ON AXIS(1.0) FROM C", "expected an axis number, found \"1.0\" at 20"},
  });
  const auto bracketed = ParseColumns("{[Member], [D].[Set], [Not]}");
  ASSERT_TRUE(bracketed.ok()) << bracketed.error().description;
  EXPECT_EQ(bracketed->columns.set.operands.size(), 3U);
}

TEST(MdxExpressionParserTest, ReadsCurrentMemberAndPropertyChains) {
  ExpectTrees({
      {"[Time].CurrentMember.PrevMember.Name",
       Property("Name", 40,
                test::Call("PrevMember", 8, {test::Call("CurrentMember", 8, {Name(8, "Time")})}))},
      {"[P].[Cat].Members.count",
       Property("Count", 26,
                test::Call("Members", 8,
                           {{Kind::kName, 8, {{"P", false, 8}, {"Cat", false, 12}}, {}}}))},
      {"{[T].CurrentMember.Level.Ordinal, [A].UniqueName, [A].Caption, [A].Value}",
       Of(Kind::kSet, 8,
          {Property("Ordinal", 33,
                    test::Call("Level", 9, {test::Call("CurrentMember", 9, {Name(9, "T")})})),
           Property("UniqueName", 46, Name(42, "A")), Property("Caption", 62, Name(58, "A")),
           Property("Value", 75, Name(71, "A"))})},
      // Only a bare word is a function: a bracketed part stays a name part.
      {"[Measures].[Name]", {Kind::kName, 8, {{"Measures", false, 8}, {"Name", false, 19}}, {}}},
      {"Filter([P].Members, [P].CurrentMember.Name <> 'x')",
       test::Call(
           "Filter", 8,
           {test::Call("Members", 15, {Name(15, "P")}),
            Binary("<>", 51, Property("Name", 46, test::Call("CurrentMember", 28, {Name(28, "P")})),
                   Text(54, "x"))})},
  });
}

TEST(MdxExpressionParserTest, ReadsTheValueAndTimeFunctions) {
  // The kinds and the operands' kinds of each call; positions are checked by the cases above.
  const struct {
    const char* columns;
    const char* kind;
    std::vector<const char*> operands;
  } cases[] = {
      {"TopCount([S], 3)", "TopCount", {"name", "number"}},
      {"BottomCount([S], 3, [M] * 2)", "BottomCount", {"name", "number", "binary"}},
      {"TopPercent([S], 12.5, [M])", "TopPercent", {"name", "number", "name"}},
      {"BottomPercent([S], 50, [M])", "BottomPercent", {"name", "number", "name"}},
      {"TopSum([S], 0.5, [M])", "TopSum", {"name", "number", "name"}},
      {"BottomSum([S], 100, [M])", "BottomSum", {"name", "number", "name"}},
      {"Order([S], [M], bdesc)", "Order", {"name", "name", "flag"}},
      {"Order([S], [S].CurrentMember.Name)", "Order", {"name", "Name"}},
      {"Filter([S], [M] > 10 AND NOT IsEmpty([M]))", "Filter", {"name", "binary"}},
      {"NonEmpty([S], {[M]})", "NonEmpty", {"name", "set"}},
      {"Generate([S], Head([S]), All)", "Generate", {"name", "Head", "flag"}},
      {"ParallelPeriod()", "ParallelPeriod", {}},
      {"ParallelPeriod([T].[Year], 1, [T].CurrentMember)",
       "ParallelPeriod",
       {"name", "number", "CurrentMember"}},
      {"PeriodsToDate()", "PeriodsToDate", {}},
      {"PeriodsToDate([T].[Year], [T].[2024])", "PeriodsToDate", {"name", "name"}},
      {"Ytd()", "Ytd", {}},
      {"Qtd( )", "Qtd", {}},
      {"Mtd([T].[2024].[5])", "Mtd", {"name"}},
      {"wtd()", "Wtd", {}},
      {"OpeningPeriod()", "OpeningPeriod", {}},
      {"ClosingPeriod([T].[Month], [T].[2024])", "ClosingPeriod", {"name", "name"}},
      {"IIf([M] > 0, 'up', -1)", "IIf", {"binary", "string", "number"}},
      {"CoalesceEmpty([M], [N], 0)", "CoalesceEmpty", {"name", "name", "number"}},
      {"IsEmpty([M])", "IsEmpty", {"name"}},
      {"Sum([S])", "Sum", {"name"}},
      {"Avg([S], [M] / 2)", "Avg", {"name", "binary"}},
      {"Min([S], [M])", "Min", {"name", "name"}},
      {"Max(Ytd(), [M])", "Max", {"Ytd", "name"}},
      {"Count([S], ExcludeEmpty)", "Count", {"name", "flag"}},
      {"Count([S])", "Count", {"name"}},
      {"Aggregate(PeriodsToDate(), [M])", "Aggregate", {"PeriodsToDate", "name"}},
  };
  for (const auto& c : cases) {
    const auto query = ParseColumns(c.columns);
    ASSERT_TRUE(query.ok()) << c.columns << ": " << query.error().description;
    const MdxExpression& call = query->columns.set;
    EXPECT_EQ(test::ShapeOf(call), c.kind) << c.columns;
    std::vector<std::string> operands;
    for (const MdxExpression& operand : call.operands) operands.push_back(test::ShapeOf(operand));
    EXPECT_EQ(operands, std::vector<std::string>(c.operands.begin(), c.operands.end()))
        << c.columns;
  }
  // A whole tree: the flag in capitals, the decimal as written.
  ExpectTrees({
      {"TopPercent([S], 12.50, -[M])",
       test::Call("TopPercent", 8,
                  {Name(19, "S"), Number(24, "12.50"), Unary("-", 31, Name(32, "M"))})},
      {"Order([S], [M], bdesc)",
       test::Call("Order", 8,
                  {Name(14, "S"), Name(19, "M"), {Kind::kFlag, 24, {{"BDESC", false, 24}}, {}}})},
  });
}

TEST(MdxExpressionParserTest, NamesTheFunctionAndTheArgumentThatIsWrong) {
  const auto columns = [](const char* text, const char* error) {
    return ErrorCase{std::string("SELECT ") + text + " ON 0 FROM C", error};
  };
  ExpectErrors({
      columns("TopCount(10, [S])", "TopCount needs a set at 17"),
      columns("TopCount('x', 1)", "TopCount needs a set at 17"),
      columns("TopCount([S], 2.5)", "TopCount needs a whole number at 22"),
      columns("TopCount([S], [N])", "TopCount needs a number at 22"),
      columns("Head([S], 2.5)", "Head needs a whole number at 18"),
      columns("Ancestor([A], 1.5)", "Ancestor needs a whole number at 22"),
      columns("Ancestor([A], 'x')", "Ancestor needs a level or a distance at 22"),
      columns("TopPercent([S], 'x', [M])", "TopPercent needs a number at 24"),
      columns("TopSum([S], 10)", "TopSum takes 3 arguments, found 2 at 8"),
      columns("Order([S], ASC)", "Order needs a value at 19"),
      columns("Order([S], [M], Up)", "Order takes ASC, DESC, BASC or BDESC there at 24"),
      columns("Count([S], All)", "Count takes EXCLUDEEMPTY or INCLUDEEMPTY there at 19"),
      columns("Generate([S], 1)", "Generate needs a set at 22"),
      columns("NonEmpty([S], [T], [U])", "NonEmpty takes 1 or 2 arguments, found 3 at 8"),
      columns("Ytd(1)", "Ytd needs a member at 12"),
      columns("Ytd([A], [B])", "Ytd takes 0 or 1 arguments, found 2 at 8"),
      columns("ParallelPeriod('Year')", "ParallelPeriod needs a level at 23"),
      columns("ParallelPeriod([T].[Year], 1.5)", "ParallelPeriod needs a whole number at 35"),
      columns("ParallelPeriod([Y], 1, [M], [N])",
              "ParallelPeriod takes 0 to 3 arguments, found 4 at 8"),
      columns("Sum()", "Sum takes 1 or 2 arguments, found 0 at 8"),
      columns("IIf([M] > 0, 1)", "IIf takes 3 arguments, found 2 at 8"),
      columns("CoalesceEmpty([M])", "CoalesceEmpty takes 2 or more arguments, found 1 at 8"),
      columns("Filter(1, [M] > 0)", "Filter needs a set at 15"),
      columns("Ytd(,)", "expected a member, a set or a function, found \",\" at 12"),
      columns("Sum([S],)", "expected a member, a set or a function, found \")\" at 16"),
      columns("Median([S])", "unknown function Median at 8"),
  });
}

TEST(MdxExpressionParserTest, ReadsMemberFormulasWithTheirProperties) {
  const std::string mdx =
      "WITH MEMBER [Measures].[Share] AS [Measures].[Amount] / 2, SOLVE_ORDER = -3, "
      "Format_String = 'Percent', VISIBLE = 1, NON_EMPTY_BEHAVIOR = [Measures].[Amount], "
      "FONT_SIZE = 'x' + 'y', fore_color = 255 "
      "SELECT [Measures].[Share] ON 0 FROM C";
  const auto query = ParseMdx(mdx);
  ASSERT_TRUE(query.ok()) << query.error().description;
  ASSERT_EQ(query->formulas.size(), 1U);
  const std::size_t amount = At(mdx, "[Measures].[Amount]");
  MdxFormula expected;
  expected.kind = MdxFormula::Kind::kMember;
  expected.position = At(mdx, "MEMBER");
  expected.name = {{"Measures", false, At(mdx, "[Measures]")},
                   {"Share", false, At(mdx, "[Share]")}};
  expected.expression =
      Binary("/", At(mdx, "/"),
             {Kind::kName,
              amount,
              {{"Measures", false, amount}, {"Amount", false, At(mdx, "[Amount]")}},
              {}},
             Number(At(mdx, "2,"), "2"));
  expected.solve_order = -3;
  expected.format_string = "Percent";
  EXPECT_EQ(query->formulas.front(), expected);
  EXPECT_EQ(query->columns.set.parts.back().text, "Share");

  // A member without properties keeps the defaults; a string in double quotes is a string.
  const auto plain = ParseMdx(
      "WITH MEMBER [M].[X] AS 1, FORMAT_STRING = \"#,##0.00\" MEMBER [M].[Y] AS 2 "
      "SELECT [M].[X] ON 0 FROM C");
  ASSERT_TRUE(plain.ok()) << plain.error().description;
  ASSERT_EQ(plain->formulas.size(), 2U);
  EXPECT_EQ(plain->formulas[0].format_string, "#,##0.00");
  EXPECT_EQ(plain->formulas[0].solve_order, 0);
  EXPECT_EQ(plain->formulas[1].format_string, std::nullopt);
}

TEST(MdxExpressionParserTest, ReadsSeveralFormulasAndNamedSets) {
  const std::string mdx =
      "with member [M].[A] as 1 Member [M].[B] AS [M].[A] + 1\n"
      "SET [Top] AS TopCount([P].Members, 3, [M].[B]) SET Bottom AS {} "
      "SELECT [Top] ON 0 FROM C";
  const auto query = ParseMdx(mdx);
  ASSERT_TRUE(query.ok()) << query.error().description;
  ASSERT_EQ(query->formulas.size(), 4U);
  const auto& f = query->formulas;
  EXPECT_EQ(f[0].kind, MdxFormula::Kind::kMember);
  EXPECT_EQ(f[0].position, At(mdx, "member"));
  EXPECT_EQ(NameText(f[0].name), "[M].[A]");
  EXPECT_EQ(f[0].expression, Number(At(mdx, "1 "), "1"));
  EXPECT_EQ(f[1].position, At(mdx, "Member"));
  EXPECT_EQ(f[1].expression.kind, Kind::kBinary);
  EXPECT_EQ(f[2].kind, MdxFormula::Kind::kSet);
  EXPECT_EQ(f[2].position, At(mdx, "SET"));
  EXPECT_EQ(f[2].name, (std::vector<NamePart>{{"Top", false, At(mdx, "[Top]")}}));
  EXPECT_EQ(test::ShapeOf(f[2].expression), "TopCount");
  EXPECT_EQ(f[3].name, (std::vector<NamePart>{{"Bottom", false, At(mdx, "Bottom")}}));
  EXPECT_EQ(f[3].expression, Of(Kind::kSet, At(mdx, "{}"), {}));
}

TEST(MdxExpressionParserTest, ReadsAQuotedFormulaWithThePositionsOfTheQuery) {
  // The same formula with and without quotes gives the same tree, positions aside.
  const std::string quoted =
      "WITH MEMBER [M].[X] AS 'IIf([A] > 0, ''é'', \"q\") + [B]' SELECT [M].[X] ON 0 FROM C";
  const auto query = ParseMdx(quoted);
  ASSERT_TRUE(query.ok()) << query.error().description;
  ASSERT_EQ(query->formulas.size(), 1U);
  const MdxExpression& e = query->formulas.front().expression;
  const MdxExpression expected = Binary(
      "+", At(quoted, "+"),
      test::Call(
          "Iif", At(quoted, "IIf"),
          {Binary(">", At(quoted, ">"), Name(At(quoted, "[A]"), "A"), Number(At(quoted, "0"), "0")),
           Text(At(quoted, "''é"), "é"), Text(At(quoted, "\"q"), "q")}),
      Name(At(quoted, "[B]"), "B"));
  EXPECT_EQ(e, expected);

  // A string that is all of the value is the formula's text; one within an expression is a
  // string, and so is a string the quoted text holds.
  const auto strings = ParseMdx(
      "WITH MEMBER [M].[S] AS 'a' + 'b' MEMBER [M].[T] AS '''t''' SELECT [M].[S] ON 0 FROM C");
  ASSERT_TRUE(strings.ok()) << strings.error().description;
  EXPECT_EQ(strings->formulas[0].expression, Binary("+", 28, Text(24, "a"), Text(30, "b")));
  EXPECT_EQ(strings->formulas[1].expression, Text(53, "t"));

  // An error inside the quotes is placed where it stands in the query.
  const std::string head =
      "WITH MEMBER [M].[X] AS 'Sum(Head([S], ''é'' ))' SELECT [M].[X] ON 0 FROM C";
  const std::string deep = "WITH SET [S] AS '" + std::string(300, '(') + "[A]" +
                           std::string(300, ')') + "' SELECT [S] ON 0 FROM C";
  ExpectErrors({
      {head, "Head needs a number at " + std::to_string(At(head, "''é"))},
      {"WITH MEMBER [M].[X] AS 'Foo(1)' SELECT [M].[X] ON 0 FROM C", "unknown function Foo at 25"},
      {"WITH MEMBER [M].[X] AS '''é'' ! 1' SELECT [M].[X] ON 0 FROM C",
       "unexpected character \"!\" at 31"},
      {"WITH MEMBER [M].[X] AS '' SELECT [M].[X] ON 0 FROM C",
       "expected a member, a set or a function, found the end of the quoted formula at 25"},
      {"WITH MEMBER [M].[X] AS '1 2' SELECT [M].[X] ON 0 FROM C",
       "expected the end of the quoted formula, found \"2\" at 27"},
      {"WITH MEMBER [M].[X] AS '[A' SELECT [M].[X] ON 0 FROM C", "unclosed [ at 25"},
      {"WITH MEMBER [M].[X] AS '{[B, [C] + }' SELECT [M].[X] ON 0 FROM C",
       "unclosed [ at 26 (the name runs on past the [ at 30)"},
      // A quoted formula is bounded like any expression: the 200th "(" is one too many.
      {deep, "the query nests deeper than 200 levels at " + std::to_string(17 + 200)},
  });
}

TEST(MdxExpressionParserTest, NamesWhatIsWrongInAFormula) {
  const std::string select = " SELECT [M].[X] ON 0 FROM C";
  ExpectErrors({
      {"WITH SELECT [A] ON 0 FROM C", "expected MEMBER or SET, found \"SELECT\" at 6"},
      {"WITH MEMBER [M].[X] 1" + select, "expected AS, found \"1\" at 21"},
      {"WITH SET [A].[B] AS {}" + select, "expected AS, found \".\" at 13"},
      {"WITH MEMBER AS 1" + select, "expected the member's name, found \"AS\" at 13"},
      {"WITH MEMBER [M].[X] AS 1, FOO = 1" + select, "unknown property FOO at 27"},
      {"WITH MEMBER [M].[X] AS 1, SOLVE_ORDER = 1, solve_order = 2" + select,
       "the property solve_order is given twice at 44"},
      {"WITH MEMBER [M].[X] AS 1, SOLVE_ORDER = 'x'" + select,
       "SOLVE_ORDER needs a whole number at 41"},
      {"WITH MEMBER [M].[X] AS 1, SOLVE_ORDER = 1.5" + select,
       "SOLVE_ORDER needs a whole number at 41"},
      {"WITH MEMBER [M].[X] AS 1, SOLVE_ORDER = - 1" + select,
       "SOLVE_ORDER needs a whole number at 41"},
      {"WITH MEMBER [M].[X] AS 1, SOLVE_ORDER = 3000000000" + select,
       "SOLVE_ORDER 3000000000 is out of range at 41"},
      {"WITH MEMBER [M].[X] AS 1, FORMAT_STRING = Percent" + select,
       "FORMAT_STRING needs a string at 43"},
      {"WITH MEMBER [M].[X] AS 1, [VISIBLE] = 1" + select,
       "expected a property of the member, found [VISIBLE] at 27"},
      {"WITH MEMBER [M].[X] AS 1, VISIBLE 1" + select, "expected \"=\", found \"1\" at 35"},
      {"WITH SET [S] AS {}, SOLVE_ORDER = 1" + select, "expected SELECT, found \",\" at 19"},
      {"WITH MEMBER [M].[X] AS 1 ; SELECT [A] ON 0 FROM C", "expected SELECT, found \";\" at 26"},
  });
}

TEST(MdxExpressionParserTest, ReadsSubselectsNestedTwice) {
  const std::string mdx =
      "SELECT [A] ON 0 FROM (SELECT {[B]} ON 0, [R] ON 1 FROM (SELECT [C] ON COLUMNS FROM "
      "[Cube] WHERE [W]) WHERE [V]) WHERE [X]";
  const auto query = ParseMdx(mdx);
  ASSERT_TRUE(query.ok()) << query.error().description;
  const std::size_t cube = At(mdx, "[Cube]");
  EXPECT_EQ(query->cube, "Cube");
  EXPECT_EQ(query->cube_position, cube);
  ASSERT_TRUE(query->where);
  EXPECT_EQ(*query->where, Name(At(mdx, "[X]"), "X"));
  ASSERT_EQ(query->subselect.size(), 1U);
  const MdxQuery& outer = query->subselect.front();
  EXPECT_EQ(outer.columns.set, Of(Kind::kSet, At(mdx, "{[B]}"), {Name(At(mdx, "[B]"), "B")}));
  ASSERT_TRUE(outer.rows);
  EXPECT_EQ(outer.rows->set, Name(At(mdx, "[R]"), "R"));
  EXPECT_EQ(outer.cube, "Cube");
  EXPECT_EQ(outer.cube_position, cube);
  EXPECT_EQ(outer.where, Name(At(mdx, "[V]"), "V"));
  ASSERT_EQ(outer.subselect.size(), 1U);
  const MdxQuery& inner = outer.subselect.front();
  EXPECT_EQ(inner.columns.set, Name(At(mdx, "[C]"), "C"));
  EXPECT_EQ(inner.cube, "Cube");
  EXPECT_EQ(inner.cube_position, cube);
  EXPECT_EQ(inner.where, Name(At(mdx, "[W]"), "W"));
  EXPECT_TRUE(inner.subselect.empty());
  EXPECT_TRUE(query->formulas.empty() && outer.formulas.empty());

  std::string nested = "[C]";
  for (int i = 0; i < 5000; ++i) nested = "(SELECT [A] ON 0 FROM " + nested + ")";
  ExpectErrors({
      {"SELECT [A] ON 0 FROM (SELECT [B] ON 0 FROM C",
       "expected \")\" to close the \"(\" at 22, "
       "found the end of the query at 45"},
      {"SELECT [A] ON 0 FROM ([B] ON 0 FROM C)", "expected SELECT, found [B] at 23"},
      {"SELECT [A] ON 0 FROM (SELECT [B] ON 0 FROM C CELL PROPERTIES VALUE)",
       "expected \")\" to close the \"(\" at 22, found \"CELL\" at 46"},
      {"SELECT [A] ON 0 FROM (WITH MEMBER [M].[X] AS 1 SELECT [B] ON 0 FROM C)",
       "expected SELECT, found \"WITH\" at 23"},
      // Each subselect is a level: the 200th is one too many.
      {"SELECT [A] ON 0 FROM " + nested,
       "the query nests deeper than 200 levels at " + std::to_string(22 + 22 * 199)},
  });
}

TEST(MdxExpressionParserTest, ReadsDimensionAndCellProperties) {
  const std::string mdx =
      "SELECT [A].Members DIMENSION PROPERTIES MEMBER_CAPTION, [Geography].[Country].[Key] ON "
      "COLUMNS, NON EMPTY [B] dimension properties Parent_Unique_Name ON ROWS FROM C WHERE [W] "
      "CELL PROPERTIES VALUE, Formatted_Value, [FORMAT_STRING];";
  const auto query = ParseMdx(mdx);
  ASSERT_TRUE(query.ok()) << query.error().description;
  EXPECT_EQ(query->columns.properties,
            (std::vector<NamePart>{{"MEMBER_CAPTION", false, At(mdx, "MEMBER_CAPTION")},
                                   {"Key", false, At(mdx, "[Key]")}}));
  ASSERT_TRUE(query->rows);
  EXPECT_TRUE(query->rows->non_empty);
  EXPECT_EQ(query->rows->properties,
            (std::vector<NamePart>{{"Parent_Unique_Name", false, At(mdx, "Parent_Unique_Name")}}));
  EXPECT_EQ(query->cell_properties,
            (std::vector<NamePart>{{"VALUE", false, At(mdx, "VALUE")},
                                   {"Formatted_Value", false, At(mdx, "Formatted_Value")},
                                   {"FORMAT_STRING", false, At(mdx, "[FORMAT_STRING]")}}));
  // Without them, none.
  const auto plain = ParseMdx("SELECT [A] ON 0 FROM C");
  ASSERT_TRUE(plain.ok());
  EXPECT_TRUE(plain->columns.properties.empty());
  EXPECT_TRUE(plain->cell_properties.empty());

  ExpectErrors({
      {"SELECT [A] DIMENSION PROPERTIES ON 0 FROM C",
       "expected a dimension property, found \"ON\" at 33"},
      {"SELECT [A] DIMENSION MEMBER_CAPTION ON 0 FROM C",
       "expected PROPERTIES, found \"MEMBER_CAPTION\" at 22"},
      {"SELECT [A] ON 0 DIMENSION PROPERTIES X FROM C", "expected FROM, found \"DIMENSION\" at 17"},
      {"SELECT [A] ON 0 FROM C CELL PROPERTIES",
       "expected a cell property, found the end of the "
       "query at 39"},
      {"SELECT [A] ON 0 FROM C CELL PROPERTIES VALUE WHERE [W]",
       "expected the end of the query, found \"WHERE\" at 46"},
  });
}

// `count` copies of `piece` after "SELECT ", then `last`, on COLUMNS.
std::string Repeated(std::size_t count, const std::string& piece, const std::string& last) {
  std::string text = "SELECT ";
  for (std::size_t i = 0; i < count; ++i) text += piece;
  return text + last + " ON 0 FROM C";
}

TEST(MdxExpressionParserTest, BoundsTheHeightOfOperatorChains) {
  // 1+1+...: a left-leaning chain as high as it is long. The 200th "+" is one too many.
  std::string sum = "SELECT 1";
  while (sum.size() < 100'000) sum += "+1";
  sum += " ON 0 FROM C";
  const std::string too_deep = "the query nests deeper than 200 levels at ";
  ExpectErrors({
      {sum, too_deep + std::to_string(9 + 2 * 199)},
      {Repeated(10'000, "NOT ", "x"), too_deep + std::to_string(8 + 4 * 199)},
      {Repeated(10'000, "- ", "x"), too_deep + std::to_string(8 + 2 * 199)},
      {Repeated(10'000, "(", "1"), too_deep + std::to_string(8 + 199)},
      {Repeated(10'000, "a OR ", "a"), too_deep + std::to_string(10 + 5 * 199)},
      {Repeated(10'000, "IIf(1, 2, ", "3"), too_deep + std::to_string(8 + 10 * 199)},
      {Repeated(10'000, "1 < ", "1"), "expected AND or OR between comparisons, found \"<\" at 14"},
  });
  // Just below the bound each parses.
  // "-(" is two levels: the operator and the parentheses.
  const std::string signed_brackets = Repeated(99, "-(", "1" + std::string(99, ')'));
  for (const std::string& mdx : {Repeated(199, "NOT ", "x"), Repeated(199, "- ", "x"),
                                 Repeated(199, "1 * ", "1"), signed_brackets}) {
    const auto query = ParseMdx(mdx);
    EXPECT_TRUE(query.ok()) << mdx.substr(0, 40) << ": " << query.error().description;
  }
}

}  // namespace
}  // namespace cubemill::query
