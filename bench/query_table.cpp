#include "bench/query_table.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "bench/child_process.h"
#include "bench/query_answers.h"
#include "bench/speed_report.h"
#include "provider/cubefile/cube_reader.h"
#include "query/query_evaluator.h"

namespace fs = std::filesystem;

namespace cubemill::bench {
namespace {

// One question: the MDX, and the GROUP BY over cube_flat that gives the same cells (ordered
// column by column, see ReadGroupByGrid).
struct Question {
  const char* name;
  bool customers;  // asked of the customer cube, else of the fine cube
  const char* mdx;
  const char* group_by;
  bool column_field;       // the GROUP BY's first field names the column
  std::size_t row_fields;  // members in a row's tuple
  std::vector<std::string> measures;
};

// The year of the questions with a WHERE: the generated sources hold 2021-2023.
const std::vector<Question>& Questions() {
  static const std::vector<Question> questions = {
      {"year x country",
       false,
       "SELECT [Time].[Year].Members ON COLUMNS, [Geography].[Country].Members ON ROWS "
       "FROM [Sales]",
       "SELECT \"Time.Year\", \"Geography.Country\", SUM(\"Quantity\") FROM cube_flat "
       "GROUP BY 1, 2 ORDER BY 1, 2",
       true,
       1,
       {"Quantity"}},
      {"quarter x category",
       false,
       "SELECT [Time].[Quarter].Members ON COLUMNS, [Product].[Category].Members ON ROWS "
       "FROM [Sales]",
       "SELECT \"Time.Quarter\", \"Product.Category\", SUM(\"Quantity\") FROM cube_flat "
       "GROUP BY \"Time.Year\", 1, 2 ORDER BY \"Time.Year\", 1, 2",
       true,
       1,
       {"Quantity"}},
      {"country x category, one year",
       false,
       "SELECT [Geography].[Country].Members ON COLUMNS, [Product].[Category].Members ON ROWS "
       "FROM [Sales] WHERE ([Time].[2022])",
       "SELECT \"Geography.Country\", \"Product.Category\", SUM(\"Quantity\") FROM cube_flat "
       "WHERE \"Time.Year\" = 2022 GROUP BY 1, 2 ORDER BY 1, 2",
       true,
       1,
       {"Quantity"}},
      {"400 cities x years",
       false,
       "SELECT [Time].[Year].Members ON COLUMNS, [Geography].[City].Members ON ROWS "
       "FROM [Sales]",
       "SELECT \"Time.Year\", \"Geography.City\", SUM(\"Quantity\") FROM cube_flat "
       "GROUP BY 1, 2 ORDER BY 1, 2",
       true,
       1,
       {"Quantity"}},
      {"300 products x years",
       false,
       "SELECT [Time].[Year].Members ON COLUMNS, [Product].[Product].Members ON ROWS "
       "FROM [Sales]",
       "SELECT \"Time.Year\", \"Product.Product\", SUM(\"Quantity\") FROM cube_flat "
       "GROUP BY 1, 2 ORDER BY 1, 2",
       true,
       1,
       {"Quantity"}},
      {"NON EMPTY 400 cities x 300 products, one year",
       false,
       "SELECT {[Measures].[Quantity]} ON COLUMNS, NON EMPTY "
       "CrossJoin([Geography].[City].Members, [Product].[Product].Members) ON ROWS "
       "FROM [Sales] WHERE ([Time].[2022])",
       "SELECT \"Geography.City\", \"Product.Product\", SUM(\"Quantity\") FROM cube_flat "
       "WHERE \"Time.Year\" = 2022 GROUP BY 1, 2",
       false,
       2,
       {"Quantity"}},
      {"100,000 customers x 2 measures",
       true,
       "SELECT {[Measures].[Quantity], [Measures].[Amount]} ON COLUMNS, "
       "[Customer].[Customer].Members ON ROWS FROM [Customers]",
       "SELECT \"Customer.Customer\", SUM(\"Quantity\"), SUM(\"Amount\") FROM cube_flat "
       "GROUP BY 1",
       false,
       1,
       {"Quantity", "Amount"}},
  };
  return questions;
}

constexpr double kRealTolerance = 1e-9;  // relative, for sums of reals in another order
constexpr double kYearCountrySeconds = 0.050;
constexpr double kSlowerAtMost = 2.0;  // cubemill-query against sqlite3's GROUP BY
constexpr double kMemoryBase = 64.0 * 1024 * 1024;
constexpr double kMemoryPerCell = 200.0;

// What the runs of one command gave.
struct Timing {
  double fastest = std::numeric_limits<double>::infinity();
  double peak_rss_kib = 0;  // the largest of the runs
  bool stopped = false;     // a run was stopped at the timeout
  bool answered = false;    // a run finished; its output is in the answer file
};

struct Measurement {
  std::string table = "not known";  // where cubemill-query's evaluator read the cells
  bool rollup = false;
  Timing cubemill, sqlite3;
  std::size_t cells = 0;
  bool checked = false;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Mib(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", bytes / (1024.0 * 1024.0));
  return text;
}

// Runs one command of a question; false after printing why it failed. Its output (the answer)
// goes to `answer` the first time it finishes.
bool RunOnce(const std::vector<std::string>& argv, const std::string& work,
             const std::string& answer, double timeout, Timing& timing) {
  const std::string log = (fs::path(work) / "query-run.out").string();
  fs::remove(log);
  const ChildRun run = RunChild(argv, log, timeout);
  timing.peak_rss_kib = std::max(timing.peak_rss_kib, static_cast<double>(run.peak_rss_kib));
  if (run.timed_out) {
    timing.stopped = true;
    std::fprintf(stderr, "%s: stopped after %.0f s (peak RSS %s MiB)\n", argv[0].c_str(), timeout,
                 Mib(static_cast<double>(run.peak_rss_kib) * 1024).c_str());
    return true;
  }
  if (!run.failure.empty() || run.exit_code != 0) {
    std::fprintf(stderr, "%s failed (%s):\n%s\n", argv[0].c_str(),
                 run.failure.empty() ? ("exit status " + std::to_string(run.exit_code)).c_str()
                                     : run.failure.c_str(),
                 ReadFile(log).c_str());
    return false;
  }
  timing.fastest = std::min(timing.fastest, run.seconds);
  if (!timing.answered) fs::rename(log, answer);
  timing.answered = true;
  return true;
}

// Compares cubemill-query's answer with sqlite3's; false after printing the differences.
bool Check(const Question& question, const std::string& got_file, const std::string& expected_file,
           Measurement& measurement) {
  std::string error;
  const auto expected = ReadGroupByGrid(ReadFile(expected_file), question.column_field,
                                        question.row_fields, question.measures, error);
  if (!expected) return std::fprintf(stderr, "%s: %s\n", question.name, error.c_str()), false;
  measurement.cells = expected->size();
  if (!measurement.cubemill.answered) return true;  // stopped: nothing to compare
  const auto got = ReadMdxGrid(ReadFile(got_file), question.row_fields, error);
  if (!got) return std::fprintf(stderr, "%s: %s\n", question.name, error.c_str()), false;
  const auto differences = CompareAnswers(*got, *expected, kRealTolerance);
  for (std::size_t d = 0; d < differences.size() && d < 20; ++d)
    std::fprintf(stderr, "check %s: %s\n", question.name, differences[d].c_str());
  std::fprintf(stderr, "check %s: %zu cells, %zu differ from sqlite3's\n", question.name,
               got->size(), differences.size());
  measurement.checked = differences.empty();
  return differences.empty();
}

}  // namespace

std::string Seconds(double seconds) {
  char text[32];
  if (seconds < 0.1) {
    std::snprintf(text, sizeof text, "%.1f ms", seconds * 1000);
  } else if (seconds < 10) {
    std::snprintf(text, sizeof text, "%.0f ms", seconds * 1000);
  } else {
    std::snprintf(text, sizeof text, "%.1f s", seconds);
  }
  return text;
}

bool RunQueryTable(const QueryTableSetup& setup, int& targets_missed) {
  const std::vector<Question>& questions = Questions();
  std::vector<Measurement> measurements(questions.size());
  const auto cube_of = [&](const Question& q) {
    return q.customers ? setup.customer_cube : setup.fine_cube;
  };
  const auto file = [&](std::size_t q, const char* what) {
    return (fs::path(setup.work) / ("q" + std::to_string(q + 1) + "-" + what)).string();
  };

  // Where the evaluator reads each question's cells, in a child of its own (the time limit
  // holds there too).
  for (std::size_t q = 0; q < questions.size(); ++q) {
    const std::string out = file(q, "table.txt");
    fs::remove(out);
    const ChildRun run =
        RunChild({setup.self, "--answer-table", cube_of(questions[q]), questions[q].mdx}, out,
                 setup.timeout);
    std::string table = ReadFile(out);
    while (!table.empty() && table.back() == '\n') table.pop_back();
    if (run.timed_out) {
      measurements[q].table = "not known (stopped)";
    } else if (run.exit_code != 0 || !run.failure.empty()) {
      std::fprintf(stderr, "%s: %s%s\n", questions[q].name, table.c_str(), run.failure.c_str());
      return false;
    } else {
      measurements[q].table = table;
      measurements[q].rollup = table.rfind("rollup", 0) == 0;
    }
    std::fprintf(stderr, "%s: from %s\n", questions[q].name, measurements[q].table.c_str());
  }

  for (int run = 0; run < setup.runs; ++run) {
    for (std::size_t q = 0; q < questions.size(); ++q) {
      const Question& question = questions[q];
      Measurement& m = measurements[q];
      if (!m.cubemill.stopped &&
          !RunOnce({setup.query_program, "--csv", cube_of(question), question.mdx}, setup.work,
                   file(q, "cubemill.csv"), setup.timeout, m.cubemill)) {
        return false;
      }
      if (!m.sqlite3.stopped &&
          !RunOnce({setup.sqlite3, "-csv", cube_of(question), question.group_by}, setup.work,
                   file(q, "sqlite3.csv"), setup.timeout, m.sqlite3)) {
        return false;
      }
    }
    std::fprintf(stderr, "query run %d of %d done\n", run + 1, setup.runs);
  }

  bool agree = true;
  for (std::size_t q = 0; q < questions.size(); ++q) {
    if (!measurements[q].sqlite3.answered) continue;
    agree = Check(questions[q], file(q, "cubemill.csv"), file(q, "sqlite3.csv"), measurements[q]) &&
            agree;
  }

  const auto time_text = [&](const Timing& t) {
    return t.answered ? Seconds(t.fastest) : "> " + Seconds(setup.timeout) + " (stopped)";
  };
  std::printf(
      "| query | from | cubemill-query | sqlite3 GROUP BY | cubemill-query / sqlite3 | "
      "peak RSS cubemill-query (MiB) | peak RSS sqlite3 (MiB) | cells answered |\n");
  std::printf("|---|---|---:|---:|---|---|---:|---:|\n");
  for (std::size_t q = 0; q < questions.size(); ++q) {
    const Measurement& m = measurements[q];
    std::string ratio;
    bool speed_met = false;
    if (m.cubemill.answered && m.sqlite3.answered) {
      const double r = m.cubemill.fastest / m.sqlite3.fastest;
      speed_met = m.rollup ? r < 1 : r <= kSlowerAtMost;
      char text[64];
      std::snprintf(text, sizeof text, "%.2f (%s: %s)", r, m.rollup ? "< 1, a rollup" : "<= 2",
                    speed_met ? "met" : "not met");
      ratio = text;
    } else {
      ratio = m.rollup ? "(< 1, a rollup: not met)" : "(<= 2: not met)";
    }
    const double limit = kMemoryBase + kMemoryPerCell * static_cast<double>(m.cells);
    const double rss = m.cubemill.peak_rss_kib * 1024;
    const bool memory_met = !m.cubemill.stopped && rss < limit;
    targets_missed += (speed_met ? 0 : 1) + (memory_met ? 0 : 1);
    std::printf("| %s | %s | %s | %s | %s | %s%s (< %s: %s) | %s | %s |\n", questions[q].name,
                m.table.c_str(), time_text(m.cubemill).c_str(), time_text(m.sqlite3).c_str(),
                ratio.c_str(), Mib(rss).c_str(), m.cubemill.stopped ? " at the stop" : "",
                Mib(limit).c_str(), memory_met ? "met" : "not met",
                Mib(m.sqlite3.peak_rss_kib * 1024).c_str(),
                Grouped(static_cast<std::int64_t>(m.cells)).c_str());
  }
  const Measurement& first = measurements[0];
  const bool fast_enough = first.cubemill.answered && first.cubemill.fastest < kYearCountrySeconds;
  targets_missed += fast_enough ? 0 : 1;
  std::printf(
      "\nfrom: the table the evaluator linked into the benchmark reads; times: whole "
      "process, fastest of %d runs; peak RSS: the largest of the runs (wait4)\n",
      setup.runs);
  std::printf("year x country under %.0f ms: %s (%s)\n", kYearCountrySeconds * 1000,
              fast_enough ? "met" : "not met", time_text(first.cubemill).c_str());
  std::printf(
      "each query within %.0fx of sqlite3's GROUP BY, faster where a rollup answers it; "
      "peak RSS under 64 MiB + %.0f bytes per answered cell\n",
      kSlowerAtMost, kMemoryPerCell);
  std::printf("answers: %s\n", agree ? "every answer cubemill-query gave agrees with sqlite3's "
                                       "GROUP BY over cube_flat, cell by cell"
                                     : "DIFFERENT (see standard error)");
  return agree;
}

int PrintAnswerTable(const std::string& cube, const std::string& mdx) {
  auto reader = provider::cubefile::CubeReader::Open(cube);
  if (!reader.ok()) {
    std::printf("%s: %s\n", cube.c_str(), reader.error().description.c_str());
    return 1;
  }
  auto result = query::EvaluateMdx(**reader, mdx);
  if (!result.ok()) {
    std::printf("%s: %s\n", cube.c_str(), result.error().description.c_str());
    return 1;
  }
  std::string table = result->table;
  for (const auto& rollup : (*reader)->Catalog().rollups) {
    if (rollup.table == result->table) table += " (" + Grouped(rollup.cell_count) + " rows)";
  }
  std::printf("%s\n", table.c_str());
  return 0;
}

}  // namespace cubemill::bench
