// Reads the case files of the engine (tests/data/engine/*.test) and of MDX queries
// (tests/data/mdx/*.test), each described in the README of its folder: a case of the engine is
// the two statements, the source tables and what the built cube must hold or how the build must
// fail; an MDX case is a cube, a query and what its answer must be.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "query/query_evaluator.h"
#include "support/sqlite_fixture.h"

namespace cubemill::test {

// A table of the case's source database.
struct CaseTable {
  std::string name;
  std::vector<std::string> columns;  // "name TYPE", as CREATE TABLE takes them
  std::vector<std::vector<SqliteCell>> rows;
};

// Rows as a case writes them: the header (column names), then one line per row, each line the
// row's cells in their one written form (CellText) joined by " | ".
struct CaseRows {
  std::vector<std::string> lines;
};

// A query on the cube file and the rows it must give.
struct CaseQuery {
  int line = 0;
  std::string sql;
  CaseRows expected;
};

// A query on the cube file and one on the source that must give the same rows.
struct CaseSame {
  int line = 0;
  std::string cube_sql;
  std::string source_sql;
};

// An MDX query on the cube and the answer it must give, from the stored rollups and from the
// leaf cells alike: the grid cubemill-query prints (one header line per member of a column's
// tuple, after as many empty cells as a row's tuple has members; then one line per row, its
// members' names and its cells), each cell in its one written form, a NULL cell as NULL.
struct CaseMdx {
  int line = 0;
  std::string mdx;
  CaseRows expected;
};

// An MDX case's query, how it is asked and what it must give.
struct CaseMdxQuery {
  int line = 0;  // of the mdx section
  std::string mdx;
  std::optional<CaseRows> answer;    // the grid of CaseMdx
  std::optional<std::string> error;  // the whole message the query fails with
  std::string sql;                   // rows the answer must hold, over the source; "" for none
  bool ordered = false;              // the answer's rows in the order of the SQL's
  // The table the answer is read from when the engine chooses it; a name ending in "*" stands
  // for every name that starts with what comes before. "" for any.
  std::string table;
  std::size_t max_axis_tuples = 0;  // the evaluator's limits; 0 keeps its own
  std::size_t max_cells = 0;
  bool pending = false;  // the engine may refuse the query for now
};

// How the build must fail.
struct CaseError {
  std::string kind;  // statement, property, source, data or cube-file
  long number = 0;   // the engine's error number of that kind
  std::string description;
};

struct EngineCase {
  std::string file;  // the file's name, without its directory
  int line = 0;      // of the "case" line
  std::string name;
  std::string create_cube;
  std::string insert_into;
  std::string connection;  // more connection-string properties, "" for none
  std::vector<CaseTable> tables;
  std::vector<std::string> source_sql;  // statements run on the source after its tables
  std::optional<CaseRows> cube_flat;
  std::vector<std::string> warnings;  // the warnings table's texts, in order
  std::vector<CaseQuery> queries;
  std::vector<CaseSame> same;
  std::vector<CaseMdx> mdx;
  std::optional<CaseError> error;
  // Incremental refresh: the column (`refresh COLUMN`), the batches of statements run on the
  // source between refreshes (one `append sql` section each), and the refresh lines the builds
  // say, the first build's and then each batch's (`expect refresh`; none: every batch's is
  // incremental).
  std::string refresh_column;
  std::vector<std::string> appends;
  std::vector<std::string> refresh_lines;
  // MDX cases only: the cube a `cube` line names (one the file defines, whose sections the case
  // then holds, or a shared one), the statements run on the cube file once it is built, and the
  // query.
  std::string cube;
  std::vector<std::string> cube_sql;
  std::optional<CaseMdxQuery> query;
  // What is wrong with the case as written ("" when nothing is): the runner fails the case
  // with it.
  std::string problem;
};

// Every case of the file at `path`, in order. A file that cannot be read, or a case that
// cannot be understood, gives a case whose `problem` says what and where.
std::vector<EngineCase> ReadEngineCaseFile(const std::string& path);

// The cases of every *.test file in `directory`, files in name order.
std::vector<EngineCase> ReadEngineCases(const std::string& directory);

// Every case of the MDX case file at `path`, in order, each with the sections of the cube it
// names when the file defines that cube. Faults are reported as ReadEngineCaseFile reports them.
std::vector<EngineCase> ReadMdxCaseFile(const std::string& path);

// The cases of every *.test file in `directory`, files in name order; only those of the file
// named `only` (its name without the directory) when that is not "".
std::vector<EngineCase> ReadMdxCases(const std::string& directory, const std::string& only = "");

// A value in its one written form: NULL for NULL; text as it is, or in single quotes (a quote
// inside doubled) when it is empty, is the word NULL, starts with a quote or "#", ends or
// starts with a blank, or holds "|".
std::string CellText(const SqliteCell& cell);

// Reads one written cell (blanks around it dropped): NULL, '...' or plain text. Returns nothing
// and sets `problem` when a quote is not closed or text follows it.
std::optional<SqliteCell> ParseCell(const std::string& text, std::string& problem);

// A unique test name made of the file's stem and the case's name: letters, digits and "_".
std::string CaseTestName(const EngineCase& engine_case);

// The lines of an MDX answer as a case writes them (CaseMdx): one header line per member of a
// column's tuple, after one empty cell per member of a row's tuple, then each row's names and
// cells; a cell that holds a text (from a calculated member) is that text.
std::vector<std::string> AnswerLines(const query::QueryResult& answer);

// Prints the case as gtest names a parameter: its file, line and name.
void PrintTo(const EngineCase& engine_case, std::ostream* out);

}  // namespace cubemill::test
