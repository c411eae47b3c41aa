// What the PostgreSQL tests share: a job that builds a cube from a psqlODBC source, run by the
// built program, and cubes compared value by value.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "e2e/run_cubemill.h"
#include "support/sqlite_query.h"
#include "support/test_support.h"

namespace cubemill::test {

// Writes cubemill.ini with the job "Job" (its log in log/, AGGREGATE=`aggregate` unless that is
// empty) and job.oqy, whose connection line builds `cube_file` with `create_cube` and
// `insert_into` from `source_dsn`.
inline void WriteJob(const std::string& aggregate, const std::string& cube_file,
                     const std::string& create_cube, const std::string& insert_into,
                     const std::string& source_dsn) {
  std::filesystem::create_directories("log");
  WriteBytes("cubemill.ini", "[Job]\r\nOQY=job.oqy\r\nGLOBAL=G\r\n" +
                                 (aggregate.empty() ? "" : "AGGREGATE=" + aggregate + "\r\n") +
                                 "[G]\r\nLOGDIR=log\r\n");
  WriteBytes("job.oqy", "Connection=Provider=MSOLAP;Data Source=" + cube_file +
                            ";CreateCube=" + create_cube + ";InsertInto=" + insert_into +
                            ";Source_DSN=\"" + source_dsn + "\";\r\n");
}

// Runs the job "Job" of the current directory without the closing pause.
inline RunResult RunJob() { return RunCubemill("--no-wait Job"); }

// The lines of `run`'s progress list that say where the build aggregated.
inline std::vector<std::string> AggregationLines(const RunResult& run) {
  std::vector<std::string> lines;
  for (const std::string& line : run.lines)
    if (line.starts_with("Aggregation:")) lines.push_back(line);
  return lines;
}

// True when the reals written `a` and `b` differ at most in the last bits of `scale`: two sums of
// the same values, added in another order (or once exactly and once in doubles), differ by a few
// roundings of their partial sums, which `scale` (the largest sum of the values' magnitudes)
// bounds.
inline bool NearlyEqualReals(const std::string& a, const std::string& b, double scale) {
  const double x = std::strtod(a.c_str(), nullptr);
  const double y = std::strtod(b.c_str(), nullptr);
  if (x == y) return true;
  const double bound = std::max({std::abs(x), std::abs(y), scale});
  return std::abs(x - y) <= 8 * std::numeric_limits<double>::epsilon() * bound;
}

// True for the column of a cell table that holds the rest of a real sum ("r2"): only a sum the
// engine adds itself has one, a sum the server adds exactly arrives rounded once, without it.
inline bool IsRestColumn(const std::string& column) {
  return column.size() > 1 && column[0] == 'r' &&
         column.find_first_not_of("0123456789", 1) == std::string::npos;
}

// Expects `query` to give the same columns and rows in the cube files `expected` and `actual`:
// every value of the same SQLite type, integers and text byte for byte, reals differing at most
// in the last bits of `scale` (see NearlyEqualReals). The rests of real sums are not compared.
inline void ExpectSameResult(const std::string& expected, const std::string& actual,
                             const std::string& query, double scale) {
  SCOPED_TRACE(query);
  const SqliteResult want = ReadSqlite(expected, query);
  const SqliteResult got = ReadSqlite(actual, query);
  ASSERT_EQ(want.error, "");
  ASSERT_EQ(got.error, "");
  ASSERT_EQ(want.columns, got.columns);
  ASSERT_EQ(want.rows.size(), got.rows.size());
  ASSERT_FALSE(want.rows.empty());
  for (std::size_t r = 0; r < want.rows.size(); ++r) {
    for (std::size_t c = 0; c < want.columns.size(); ++c) {
      if (IsRestColumn(want.columns[c])) continue;
      const SqliteValue& w = want.rows[r][c];
      const SqliteValue& g = got.rows[r][c];
      const bool same = w.type == g.type && (w.type == SqliteValue::Type::kReal
                                                 ? NearlyEqualReals(w.text, g.text, scale)
                                                 : w.text == g.text);
      EXPECT_TRUE(same) << "row " << r + 1 << ", column " << want.columns[c] << ": " << w.text
                        << " in " << expected << ", " << g.text << " in " << actual;
    }
  }
}

}  // namespace cubemill::test
