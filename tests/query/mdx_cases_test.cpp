// Runs the MDX case files (tests/data/mdx/*.test), one test per case: the case's cube is built
// by the whole engine through the SQLite ODBC driver (once per cube and process), its query is
// answered twice by the query evaluator, from the table the engine chooses and from the leaf
// cells alone, and both answers must be what the case expects: its grid, its error, the cells
// its SQL finds over the source, the table it names. With CUBEMILL_MDX_ANSWERS set, every
// answer is also written to that file, to compare the answers of two versions of the engine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analyst_cube.h"
#include "provider/cubefile/cube_reader.h"
#include "provider/cubefile/engine_case_file.h"
#include "query/query_evaluator.h"
#include "query_test_cube.h"
#include "sql_oracle.h"
#include "support/sqlite_fixture.h"
#include "support/test_support.h"

namespace cubemill::test {
namespace {

using query::QueryResult;
using Answer = Result<QueryResult>;

// A cube the cases share, in a temporary directory that lasts as long as the process.
struct BuiltCube {
  std::unique_ptr<TempDir> dir;
  std::string source;  // the SQLite database the cube is built from
  std::string cube;    // the cube file
  std::string error;   // what failed, "" when the cube was built
};

// The cubes a case may name without defining them, each built by its C++ builder.
using CubeBuilder = std::string (*)(const std::string& source, const std::string& cube);
const std::map<std::string, CubeBuilder> kSharedCubes = {
    {"analyst", query::test::BuildAnalystCube},
    {"sample", query::test::BuildShippedSampleCube},
    {"shop", query::test::BuildShopCube},
};

// What makes a case's own cube: its sections, in one text.
std::string CubeKey(const EngineCase& c) {
  std::string key = c.create_cube + "\n" + c.insert_into + "\n" + c.connection + "\n";
  for (const CaseTable& table : c.tables) {
    key += "table " + table.name + "\n";
    for (const std::string& column : table.columns) key += column + "|";
    for (const auto& row : table.rows) {
      key += "\n";
      for (const SqliteCell& cell : row) key += CellText(cell) + "|";
    }
    key += "\n";
  }
  for (const std::string& sql : c.source_sql) key += "source sql\n" + sql + "\n";
  for (const std::string& sql : c.cube_sql) key += "cube sql\n" + sql + "\n";
  return key;
}

// Builds the cube of `c` from its own sections: the source's tables and statements, the
// engine's build, then the statements on the cube file (a statement that fails fails the test).
std::string BuildOwnCube(const EngineCase& c, const std::string& source, const std::string& cube) {
  for (const CaseTable& table : c.tables) {
    const std::string error = CreateSqliteTable(source, table.name, table.columns, table.rows);
    if (!error.empty()) return "source " + table.name + ": " + error;
  }
  for (const std::string& sql : c.source_sql) RunSqlite(source, sql);
  if (::testing::Test::HasFailure()) return "a statement of the source failed";
  std::string error =
      query::test::BuildCube(source, cube, c.create_cube, c.insert_into, c.connection);
  if (!error.empty()) return error;
  for (const std::string& sql : c.cube_sql) RunSqlite(cube, sql);
  return "";
}

// The cube of `c`, built the first time a case of this process asks for it.
const BuiltCube& CubeOf(const EngineCase& c) {
  static std::map<std::string, BuiltCube> built;
  const bool own = !c.create_cube.empty();
  const auto [at, added] = built.try_emplace(own ? CubeKey(c) : "shared " + c.cube);
  BuiltCube& cube = at->second;
  if (!added) return cube;
  cube.dir = std::make_unique<TempDir>();
  cube.source = cube.dir->File("source.db");
  cube.cube = cube.dir->File("cube.cub");
  if (own) {
    cube.error = BuildOwnCube(c, cube.source, cube.cube);
  } else if (const auto builder = kSharedCubes.find(c.cube); builder != kSharedCubes.end()) {
    cube.error = builder->second(cube.source, cube.cube);
  } else {
    cube.error =
        "the file defines no cube of that name, and no shared cube has it (analyst, sample, shop)";
  }
  // A statement the builders run on SQLite fails the test that builds the cube, and every other
  // case of the cube with it.
  if (cube.error.empty() && ::testing::Test::HasFailure())
    cube.error = "a statement failed (see the first case of the cube)";
  if (!cube.error.empty()) cube.error = "cube " + c.cube + ": " + cube.error;
  return cube;
}

// One answer as the file of answers holds it: the table read and the grid, each of its lines
// indented by two blanks (so that none is empty), or the error.
std::string AnswerText(const Answer& answer) {
  if (!answer.ok()) return "error " + answer.error().description + "\n";
  std::string text =
      "from " + (answer->table.empty() ? std::string("no table") : answer->table) + "\n";
  for (const std::string& line : AnswerLines(*answer)) text += "  " + line + "\n";
  return text;
}

// Appends the case's two answers (from the table the engine chooses, then from the leaf
// cells) to the file CUBEMILL_MDX_ANSWERS names, if it names one, as one block ended by a blank
// line: "case <test name>", the query, then each answer, or the first only when both are the
// same. Reals are written in full (the shortest text that reads back as the same number).
void AppendAnswers(const std::string& name, const std::string& mdx,
                   const std::vector<Answer>& answers) {
  const char* path = std::getenv("CUBEMILL_MDX_ANSWERS");
  if (path == nullptr || *path == '\0') return;
  const std::string chosen = AnswerText(answers[0]);
  const std::string leaf = AnswerText(answers[1]);
  const std::string block = "case " + name + "\nmdx " + mdx + "\n" + chosen +
                            (leaf == chosen ? "leaf cells: the same\n" : "leaf cells:\n" + leaf) +
                            "\n";
  std::ofstream out(path, std::ios::app | std::ios::binary);
  out << block;
  EXPECT_TRUE(out.flush().good()) << "cannot write the answers to " << path;
}

// True when `table` is what `expected` names: the same name, or, for a name ending in "*", one
// that starts with what comes before it.
bool TableMatches(const std::string& table, const std::string& expected) {
  if (!expected.empty() && expected.back() == '*')
    return table.starts_with(expected.substr(0, expected.size() - 1));
  return table == expected;
}

// An answer with a PAGES axis as one of two axes whose rows are each page's tuple followed by
// each row's, pages outermost: the grid and the SQL of a case name the page's members first.
query::QueryResult PagesAsRows(const query::QueryResult& answer) {
  query::QueryResult flat = answer;
  flat.paged = false;
  flat.pages.clear();
  flat.rows.clear();
  for (const auto& page : answer.pages) {
    for (const auto& row : answer.rows) {
      std::vector<std::string> names = page;
      names.insert(names.end(), row.begin(), row.end());
      flat.rows.push_back(std::move(names));
    }
  }
  return flat;
}

class MdxCaseTest : public ::testing::TestWithParam<EngineCase> {};

TEST_P(MdxCaseTest, AnswersWhatTheCaseExpects) {
  const EngineCase& c = GetParam();
  SCOPED_TRACE(c.file + ":" + std::to_string(c.line) + ": case " + c.name);
  ASSERT_EQ(c.problem, "");
  const CaseMdxQuery& q = *c.query;
  const BuiltCube& cube = CubeOf(c);
  ASSERT_EQ(cube.error, "");
  auto reader = provider::cubefile::CubeReader::Open(cube.cube);
  ASSERT_TRUE(reader.ok()) << reader.error().description;

  std::vector<Answer> answers;
  for (const bool leaf_cells_only : {false, true}) {
    query::QueryOptions options;
    options.leaf_cells_only = leaf_cells_only;
    if (q.max_axis_tuples > 0) options.max_axis_tuples = q.max_axis_tuples;
    if (q.max_cells > 0) options.max_cells = q.max_cells;
    answers.push_back(query::EvaluateMdx(**reader, q.mdx, options));
    if (answers.back().ok() && answers.back()->paged) answers.back() = PagesAsRows(*answers.back());
  }
  AppendAnswers(CaseTestName(c), q.mdx, answers);

  for (std::size_t i = 0; i < answers.size(); ++i) {
    const bool leaf_cells_only = i == 1;
    SCOPED_TRACE(leaf_cells_only ? "from the leaf cells" : "from the table the engine chooses");
    const Answer& answer = answers[i];
    if (!answer.ok() && q.pending) {
      if (!q.sql.empty()) query::test::ExpectSqlAnswers(cube.source, q.sql);
      GTEST_SKIP() << "pending: " << answer.error().description;
    }
    if (q.error) {
      ASSERT_FALSE(answer.ok()) << "the query is answered:\n" << AnswerText(answer);
      EXPECT_EQ(answer.error().description, *q.error);
      continue;
    }
    ASSERT_TRUE(answer.ok()) << answer.error().description;
    if (q.answer) {
      const std::vector<std::string> lines = AnswerLines(*answer);
      EXPECT_EQ(lines, q.answer->lines) << "The cube answers:\n" << AnswerText(answer);
    }
    if (!q.sql.empty()) query::test::ExpectSameCellsAsSql(*answer, cube.source, q.sql, q.ordered);
    if (!leaf_cells_only && !q.table.empty()) {
      EXPECT_TRUE(TableMatches(answer->table, q.table))
          << "read from " << answer->table << ", not " << q.table;
    }
    // From the leaf cells whenever the answer reads a stored table at all.
    if (leaf_cells_only && (!answers[0]->table.empty() || !answer->table.empty())) {
      EXPECT_EQ(answer->table, "cells");
    }
  }
  if (q.error) return;
  // Both ways of reading give the same answer.
  EXPECT_EQ(answers[0]->columns, answers[1]->columns);
  EXPECT_EQ(answers[0]->rows, answers[1]->rows);
  EXPECT_EQ(answers[0]->cells, answers[1]->cells);
  EXPECT_EQ(answers[0]->texts, answers[1]->texts);
}

// An MDX case file: a cube it defines, named by its cases, whose sections each case then holds;
// a shared cube; the query's lines joined with one blank; the options and expectations.
TEST(MdxCaseFileTest, ReadsCubesQueriesAndWhatTheyExpect) {
  TempDir dir;
  WriteBytes("a.test",
             "define cube small\ncreate cube\nC\n\ninsert into\nI\n\nsource t\na TEXT\nx\n\n"
             "cube sql\nDROP TABLE x;\nDROP TABLE y;\n\n"
             "case first\ncube small\n\nmdx\nSELECT [A].Members\n  ON COLUMNS FROM [X]\n\n"
             "options\nmax_axis_tuples 20\nmax_cells 50\npending\n\n"
             "expect answer\n  | 2023\n'' | NULL\n\n"
             "expect sql ordered\nSELECT a,\n1 FROM t\n\nexpect table rollup_*\n\n"
             "case second\ncube shop\n\nmdx\nSELECT\n\nexpect mdx error\nunknown\ncube at 8\n\n");
  const std::vector<EngineCase> cases = ReadMdxCaseFile("a.test");
  ASSERT_EQ(cases.size(), 2u);
  EXPECT_EQ(cases[0].problem, "");
  EXPECT_EQ(cases[0].cube, "small");
  EXPECT_EQ(cases[0].create_cube, "C");
  EXPECT_EQ(cases[0].insert_into, "I");
  ASSERT_EQ(cases[0].tables.size(), 1u);
  EXPECT_EQ(cases[0].tables[0].rows, (std::vector<std::vector<SqliteCell>>{{"x"}}));
  EXPECT_EQ(cases[0].cube_sql, std::vector<std::string>{"DROP TABLE x;\nDROP TABLE y;"});
  ASSERT_TRUE(cases[0].query.has_value());
  const CaseMdxQuery& first = *cases[0].query;
  EXPECT_EQ(first.line, 19);
  EXPECT_EQ(first.mdx, "SELECT [A].Members ON COLUMNS FROM [X]");
  EXPECT_EQ(first.max_axis_tuples, 20u);
  EXPECT_EQ(first.max_cells, 50u);
  EXPECT_TRUE(first.pending);
  ASSERT_TRUE(first.answer.has_value());
  EXPECT_EQ(first.answer->lines, (std::vector<std::string>{"'' | 2023", "'' | NULL"}));
  EXPECT_EQ(first.sql, "SELECT a, 1 FROM t");
  EXPECT_TRUE(first.ordered);
  EXPECT_EQ(first.table, "rollup_*");
  EXPECT_EQ(cases[1].problem, "");
  EXPECT_EQ(cases[1].cube, "shop");
  EXPECT_EQ(cases[1].create_cube, "");
  EXPECT_EQ(cases[1].query->error, std::optional<std::string>("unknown cube at 8"));
}

// Cases an MDX case file cannot run fail with the file and line of the fault, rather than
// being skipped; a faulty cube fails every case that names it.
TEST(MdxCaseFileTest, NamesWhatItCannotRun) {
  TempDir dir;
  const std::string shop = "cube shop\n\n";
  const std::string query = "mdx\nSELECT\n\n";
  const std::string sql = "expect sql\nS\n\n";
  const std::string cases[] = {
      "define cube half\ncreate cube\nC\n\nexpect answer\nx\n\n",                   // line 1
      "case option\n" + shop + query + "options\nmax_cells many\n\n",               // line 8
      "case both\n" + shop + "create cube\nC\n\ninsert into\nI\n\n" + query + sql,  // line 17
      "case neither\n" + query + sql,                                               // line 32
      "case no query\n" + shop + sql,                                               // line 39
      "case nothing\n" + shop + query,                                              // line 45
      "case error and answer\n" + shop + query + "expect mdx error\nE\n\nexpect answer\nx\n\n",
      "case engine section\n" + shop + query + "expect cube_flat\nx\n\n",  // line 63
      "case half cube\ncube half\n\n" + query + sql,                       // line 72
  };
  std::string text;
  for (const std::string& c : cases) text += c;
  WriteBytes("b.test", text);
  std::vector<std::string> problems;
  for (const EngineCase& c : ReadMdxCaseFile("b.test")) problems.push_back(c.problem);
  EXPECT_EQ(problems,
            (std::vector<std::string>{
                "b.test:14: unknown option \"max_cells many\" (known: pending, max_axis_tuples N, "
                "max_cells N)",
                "b.test:17: the case names a cube and has sections of a cube of its own",
                "b.test:32: the case has no cube: a cube line or the create cube and insert into "
                "sections",
                "b.test:39: the case has no mdx section", "b.test:45: the case expects nothing",
                "b.test:51: a case that expects an error cannot expect an answer as well",
                "b.test:69: unknown section \"expect cube_flat\"",
                "b.test:5: a cube's definition holds only the sections of a cube, not \"expect "
                "answer\""}));
}

// The cases of the file CUBEMILL_CASE_FILE names (CTest runs each file as one test, so that
// its cases share their cubes), or of every file.
std::vector<EngineCase> Cases() {
  const char* only = std::getenv("CUBEMILL_CASE_FILE");
  return ReadMdxCases(CUBEMILL_TEST_DATA_DIR "/mdx", only == nullptr ? "" : only);
}

INSTANTIATE_TEST_SUITE_P(Mdx, MdxCaseTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<EngineCase>& param_info) {
                           return CaseTestName(param_info.param);
                         });

}  // namespace
}  // namespace cubemill::test
