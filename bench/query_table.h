// The query benchmark's table of questions: MDX queries on the fine cube and on the customer
// cube, each answered by cubemill-query and by the sqlite3 shell's GROUP BY over cube_flat of
// the same cube, timed as whole processes with their peak memory, checked cell by cell, and
// printed side by side with the targets.
#pragma once

#include <string>

namespace cubemill::bench {

// A time as the tables print it: "1.9 ms", "1442 ms", "12.5 s".
std::string Seconds(double seconds);

struct QueryTableSetup {
  std::string fine_cube;      // the fine cube with stored rollups
  std::string customer_cube;  // the customer cube (a level of 100,000 members)
  std::string query_program;  // the cubemill-query to time
  std::string sqlite3;        // the sqlite3 shell
  std::string self;           // this benchmark, run with --answer-table for the "from" column
  std::string work;           // a directory for the commands' output
  int runs = 10;              // runs of each command; the table shows the fastest
  double timeout = 120;       // seconds after which a run is stopped
};

// Runs every question `setup.runs` times, interleaved, cubemill-query and sqlite3 alike, and
// prints the table and the targets on standard output. A run that takes longer than the timeout
// is stopped, shown as such, and its command not run again. Returns false (after saying why on
// standard error) when a command fails or cubemill-query's answer differs from sqlite3's.
bool RunQueryTable(const QueryTableSetup& setup, int& targets_missed);

// For `--answer-table CUBE MDX`: answers `mdx` from the cube file `cube` with the evaluator
// linked into this program and prints the table the answer came from ("cells", or a rollup with
// its rows). Returns the exit status: 0, or 1 after printing the failure.
int PrintAnswerTable(const std::string& cube, const std::string& mdx);

}  // namespace cubemill::bench
