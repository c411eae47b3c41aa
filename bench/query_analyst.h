// The query benchmark's analyst questions: a TopCount, a month against the same month a year
// earlier (ParallelPeriod) and a share of the total (a calculated measure), each answered by the
// query library from the cube with stored rollups and from the cube without (its leaf cells),
// and by the hand-written SQL over cube_flat in the sqlite3 shell; timed, checked and printed
// side by side with the target.
#pragma once

#include <string>

namespace cubemill::bench {

struct AnalystSetup {
  std::string rollup_cube;  // the fine cube with stored rollups
  std::string leaf_cube;    // the same cube without (ROLLUPS 0)
  std::string sqlite3;      // the sqlite3 shell
  std::string self;         // this benchmark, run with --analyst-answer for the MDX side
  std::string work;         // a directory for the commands' output
  int runs = 10;            // runs of each command; the table shows the fastest
  double timeout = 120;     // seconds after which a run is stopped
};

// Runs every analyst question `setup.runs` times, interleaved (MDX from the rollups, MDX from the
// leaf cells, SQL), each run its own process, and prints the table and the target on standard
// output. The MDX side's time is the query library's (opening the cube and answering), measured
// inside its process; the SQL side's is the whole sqlite3 process, with the shell's own .timer
// beside it. A run still going after the timeout is stopped and not run again. Returns false
// (after saying why on standard error) when a command fails or an MDX answer differs from the
// SQL's; the table then says MISMATCH. `targets_missed` grows by each ratio above the target.
bool RunAnalystQuestions(const AnalystSetup& setup, int& targets_missed);

// For `--analyst-answer CUBE N`: answers analyst question N (0-based) from the cube file `cube`
// with the query library linked into this program and prints, on standard output, the seconds
// it took (opening the cube and answering) and the table the cells came from on the first line,
// then one line per answered cell, "key<TAB>value". Returns the exit status: 0, or 1 after
// printing the failure.
int PrintAnalystAnswer(const std::string& cube, const std::string& question);

}  // namespace cubemill::bench
