#include "bench/query_analyst.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "bench/child_process.h"
#include "bench/query_answers.h"
#include "bench/query_table.h"
#include "bench/speed_report.h"
#include "provider/cubefile/cube_reader.h"
#include "query/query_evaluator.h"
#include "query/value_format.h"

namespace fs = std::filesystem;

namespace cubemill::bench {
namespace {

// One question: the MDX, and the SQL over cube_flat an analyst would write for the same answer.
// The SQL gives one line per row of the MDX answer: the row's member names (`row_fields` of
// them, in the order of the MDX row tuple), then one value per column of the MDX answer, named
// by `columns`.
struct AnalystQuestion {
  const char* name;
  const char* mdx;
  const char* sql;
  std::size_t row_fields;
  std::vector<std::string> columns;
  bool ranked;  // the order of the rows is part of the answer (TopCount)
};

// The fine cube's Time has an ALL level (All Time), Geography and Product have none: the total
// over the products is therefore the Aggregate of the categories rather than an ALL member. The
// generated sources hold 2021-2023; the questions ask of 2022, and of the last quarter of 2023
// against 2022.
const std::vector<AnalystQuestion>& Questions() {
  static const std::vector<AnalystQuestion> questions = {
      {"top 10 products of 2022 by amount",
       "SELECT {[Measures].[Amount]} ON 0, TopCount([Product].[Product].Members, 10, "
       "([Measures].[Amount], [Time].[2022])) ON 1 FROM [Sales] WHERE [Time].[2022]",
       // Ties go in the cube's order of the products (category, then name), as TopCount keeps
       // tied tuples in the order of its set.
       "SELECT \"Product.Product\", SUM(\"Amount\") FROM cube_flat WHERE \"Time.Year\" = 2022 "
       "GROUP BY \"Product.Category\", 1 ORDER BY 2 DESC, \"Product.Category\", 1 LIMIT 10",
       1,
       {"Amount"},
       true},
      {"Oct-Dec 2023 against a year earlier x country",
       "WITH MEMBER [Measures].[Last year] AS ([Measures].[Amount], "
       "ParallelPeriod([Time].[Year], 1, [Time].CurrentMember)) "
       "SELECT {[Measures].[Amount], [Measures].[Last year]} ON 0, "
       "[Geography].[Country].Members * "
       "{[Time].[2023].[Quarter 4].[October]:[Time].[2023].[Quarter 4].[December]} ON 1 "
       "FROM [Sales]",
       "SELECT \"Geography.Country\", \"Time.Month\", "
       "SUM(CASE WHEN \"Time.Year\" = 2023 THEN \"Amount\" END), "
       "SUM(CASE WHEN \"Time.Year\" = 2022 THEN \"Amount\" END) FROM cube_flat "
       "WHERE \"Time.Year\" IN (2022, 2023) AND \"Time.Month\" IN ('October', 'November', "
       "'December') GROUP BY 1, 2",
       2,
       {"Amount", "Last year"},
       false},
      {"share of the total x category",
       "WITH MEMBER [Measures].[Share] AS [Measures].[Amount] / "
       "Aggregate([Product].[Category].Members, [Measures].[Amount]) "
       "SELECT {[Measures].[Amount], [Measures].[Share]} ON 0, "
       "[Product].[Category].Members ON 1 FROM [Sales]",
       "SELECT \"Product.Category\", SUM(\"Amount\"), "
       "SUM(\"Amount\") / SUM(SUM(\"Amount\")) OVER () FROM cube_flat GROUP BY 1",
       1,
       {"Amount", "Share"},
       false},
  };
  return questions;
}

constexpr double kRelative = 1e-9;     // sums of reals taken in another order round differently
constexpr double kSlowerAtMost = 2.0;  // MDX against the SQL

// The key of one answered cell: "#rank / " when ranked, the row's member names, the column.
std::string Key(bool ranked, std::size_t row, const std::vector<std::string>& members,
                const std::string& column) {
  std::string key = ranked ? "#" + std::to_string(row + 1) + " / " : "";
  for (const std::string& member : members) key += member + " / ";
  return key + column;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The keyed cells --analyst-answer printed after its first line; sets `seconds` and `table` from
// that line. Nothing when the output has another shape.
std::optional<Answers> ReadChildAnswer(const std::string& output, double& seconds,
                                       std::string& table) {
  std::istringstream lines(output);
  std::string line;
  if (!std::getline(lines, line)) return std::nullopt;
  char* end = nullptr;
  seconds = std::strtod(line.c_str(), &end);
  if (end == line.c_str() || *end != ' ') return std::nullopt;
  table = end + 1;
  Answers answers;
  while (std::getline(lines, line)) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) return std::nullopt;
    answers[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return answers;
}

// The sqlite3 shell's CSV answer, the lines of its .timer dropped, keyed as the MDX side's.
std::optional<Answers> ReadSqlAnswer(const AnalystQuestion& question, const std::string& output,
                                     std::string& error) {
  std::string csv;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Run Time: ", 0) != 0) csv += line + "\n";
  }
  Answers answers;
  const auto rows = ReadCsv(csv);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const std::vector<std::string>& fields = rows[r];
    if (fields.size() != question.row_fields + question.columns.size()) {
      error = "sqlite3: line " + std::to_string(r + 1) + " has " + std::to_string(fields.size()) +
              " fields, expected " + std::to_string(question.row_fields + question.columns.size());
      return std::nullopt;
    }
    const std::vector<std::string> members(
        fields.begin(), fields.begin() + static_cast<std::ptrdiff_t>(question.row_fields));
    for (std::size_t c = 0; c < question.columns.size(); ++c) {
      answers[Key(question.ranked, r, members, question.columns[c])] =
          fields[question.row_fields + c];
    }
  }
  return answers;
}

// One line per difference: a key only one side has, or values that are not the same.
std::vector<std::string> Differences(const Answers& got, const Answers& expected) {
  std::vector<std::string> differences;
  for (const auto& [key, value] : expected) {
    const auto found = got.find(key);
    if (found == got.end()) {
      differences.push_back(key + ": missing, SQL gives " + value);
    } else if (!SameNumber(found->second, value, kRelative)) {
      differences.push_back(key + ": " + found->second + ", SQL gives " + value);
    }
  }
  for (const auto& [key, value] : got) {
    if (expected.count(key) == 0) differences.push_back(key + ": " + value + ", SQL gives none");
  }
  return differences;
}

// What the runs of one way of answering gave.
struct Timing {
  double fastest = std::numeric_limits<double>::infinity();  // the MDX library's, or the shell's
  double fastest_inside = std::numeric_limits<double>::infinity();  // the shell's .timer
  std::string table;      // where the MDX side read the cells
  bool stopped = false;   // a run was stopped at the timeout
  bool answered = false;  // a run finished
  Answers answer;         // the first finished run's
};

// Runs one command of a question once; false after printing why it failed. The MDX side (`sql`
// false) reads the library's time from the child's output, the SQL side takes the process's.
bool RunOnce(const AnalystQuestion& question, const std::vector<std::string>& argv, bool sql,
             const std::string& log, double timeout, Timing& timing) {
  fs::remove(log);
  const ChildRun run = RunChild(argv, log, timeout);
  if (run.timed_out) {
    timing.stopped = true;
    std::fprintf(stderr, "%s: %s stopped after %.0f s\n", question.name, argv[0].c_str(), timeout);
    return true;
  }
  const std::string output = ReadFile(log);
  if (!run.failure.empty() || run.exit_code != 0) {
    std::fprintf(stderr, "%s: %s failed (%s):\n%s\n", question.name, argv[0].c_str(),
                 run.failure.empty() ? ("exit status " + std::to_string(run.exit_code)).c_str()
                                     : run.failure.c_str(),
                 output.c_str());
    return false;
  }
  std::string error = "unexpected output";
  double seconds = run.seconds;
  std::string table;
  const auto answer =
      sql ? ReadSqlAnswer(question, output, error) : ReadChildAnswer(output, seconds, table);
  if (!answer) {
    std::fprintf(stderr, "%s: %s: %s\n%s\n", question.name, argv[0].c_str(), error.c_str(),
                 output.c_str());
    return false;
  }
  timing.fastest = std::min(timing.fastest, seconds);
  if (sql) {
    const auto at = output.rfind("Run Time: real ");
    if (at != std::string::npos) {
      timing.fastest_inside =
          std::min(timing.fastest_inside, std::strtod(output.c_str() + at + 15, nullptr));
    }
  }
  if (!timing.answered) {
    timing.answer = *answer;
    timing.table = table;
  }
  timing.answered = true;
  return true;
}

}  // namespace

bool RunAnalystQuestions(const AnalystSetup& setup, int& targets_missed) {
  const std::vector<AnalystQuestion>& questions = Questions();
  // [question][0: MDX from the rollups, 1: MDX from the leaf cells, 2: SQL]
  std::vector<std::vector<Timing>> timings(questions.size(), std::vector<Timing>(3));
  const std::string log = (fs::path(setup.work) / "analyst-run.out").string();
  for (int run = 0; run < setup.runs; ++run) {
    for (std::size_t q = 0; q < questions.size(); ++q) {
      const AnalystQuestion& question = questions[q];
      for (std::size_t way = 0; way < 3; ++way) {
        Timing& timing = timings[q][way];
        if (timing.stopped) continue;
        std::vector<std::string> argv;
        if (way < 2) {
          argv = {setup.self, "--analyst-answer", way == 0 ? setup.rollup_cube : setup.leaf_cube,
                  std::to_string(q)};
        } else {
          // The shell times what it reads from a script (.timer), not SQL given as an argument.
          const std::string script =
              (fs::path(setup.work) / ("analyst-q" + std::to_string(q + 1) + ".sql")).string();
          if (run == 0) std::ofstream(script) << ".timer on\n" << question.sql << ";\n";
          argv = {setup.sqlite3, "-csv", setup.leaf_cube, ".read \"" + script + "\""};
        }
        if (!RunOnce(question, argv, way == 2, log, setup.timeout, timing)) return false;
      }
    }
    std::fprintf(stderr, "analyst questions: run %d of %d done\n", run + 1, setup.runs);
  }

  // Each MDX answer against the SQL's, cell by cell.
  std::vector<std::string> verdicts(questions.size());
  bool agree = true;
  for (std::size_t q = 0; q < questions.size(); ++q) {
    const Timing& sql = timings[q][2];
    if (!sql.answered) {
      verdicts[q] = "not checked (SQL stopped)";
      continue;
    }
    std::size_t differing = 0;
    std::string checked;
    for (std::size_t way = 0; way < 2; ++way) {
      if (!timings[q][way].answered) continue;
      const auto differences = Differences(timings[q][way].answer, sql.answer);
      for (std::size_t d = 0; d < differences.size() && d < 20; ++d) {
        std::fprintf(stderr, "check %s (%s): %s\n", questions[q].name,
                     way == 0 ? "rollups" : "leaf cells", differences[d].c_str());
      }
      differing += differences.size();
      checked += checked.empty() ? "" : ", ";
      checked += way == 0 ? "rollups" : "leaf cells";
    }
    if (differing > 0) {
      agree = false;
      verdicts[q] = "MISMATCH (" + std::to_string(differing) + " differences, see standard error)";
    } else {
      verdicts[q] = "agree (" + Grouped(static_cast<std::int64_t>(sql.answer.size())) + " cells; " +
                    (checked.empty() ? "no MDX answer" : checked) + ")";
    }
  }

  const auto time_text = [&](const Timing& t) {
    return t.answered ? Seconds(t.fastest) : "> " + Seconds(setup.timeout) + " (stopped)";
  };
  const auto ratio_text = [&](const Timing& mdx, const Timing& sql) {
    if (!mdx.answered || !sql.answered) {
      ++targets_missed;
      return std::string("(<= 2: MISSED)");
    }
    const double ratio = mdx.fastest / sql.fastest;
    const bool met = ratio <= kSlowerAtMost;
    targets_missed += met ? 0 : 1;
    char text[48];
    std::snprintf(text, sizeof text, "%.2f (<= 2: %s)", ratio, met ? "met" : "MISSED");
    return std::string(text);
  };
  std::printf(
      "| question | MDX, cube with rollups (from) | MDX, leaf cells (from) | SQL over cube_flat "
      "(.timer) | rollups / SQL | leaf cells / SQL | answers |\n");
  std::printf("|---|---:|---:|---:|---|---|---|\n");
  for (std::size_t q = 0; q < questions.size(); ++q) {
    const std::vector<Timing>& t = timings[q];
    const std::string inside = t[2].fastest_inside < std::numeric_limits<double>::infinity()
                                   ? " (" + Seconds(t[2].fastest_inside) + ")"
                                   : "";
    std::printf("| %s | %s (%s) | %s (%s) | %s%s | %s | %s | %s |\n", questions[q].name,
                time_text(t[0]).c_str(), t[0].table.c_str(), time_text(t[1]).c_str(),
                t[1].table.c_str(), time_text(t[2]).c_str(), inside.c_str(),
                ratio_text(t[0], t[2]).c_str(), ratio_text(t[1], t[2]).c_str(),
                verdicts[q].c_str());
  }
  std::printf(
      "\nMDX: the query library in a process of its own (open the cube, answer), fastest of %d "
      "runs; SQL: the whole sqlite3 shell process, fastest of %d, its .timer in brackets\n",
      setup.runs, setup.runs);
  std::printf("target: each MDX within %.0fx of the SQL; answers: numbers within %g relative\n",
              kSlowerAtMost, kRelative);
  for (std::size_t q = 0; q < questions.size(); ++q) {
    std::printf("%s:\n  MDX: %s\n  SQL: %s\n", questions[q].name, questions[q].mdx,
                questions[q].sql);
  }
  return agree;
}

int PrintAnalystAnswer(const std::string& cube, const std::string& question) {
  char* end = nullptr;
  const unsigned long q = std::strtoul(question.c_str(), &end, 10);
  if (end == question.c_str() || *end != '\0' || q >= Questions().size()) {
    std::printf("no analyst question %s\n", question.c_str());
    return 1;
  }
  const AnalystQuestion& asked = Questions()[q];
  const auto start = std::chrono::steady_clock::now();
  auto reader = provider::cubefile::CubeReader::Open(cube);
  if (!reader.ok()) {
    std::printf("%s: %s\n", cube.c_str(), reader.error().description.c_str());
    return 1;
  }
  auto result = query::EvaluateMdx(**reader, asked.mdx);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  if (!result.ok()) {
    std::printf("%s: %s\n", cube.c_str(), result.error().description.c_str());
    return 1;
  }
  std::string table = result->table;
  for (const auto& rollup : (*reader)->Catalog().rollups) {
    if (rollup.table == result->table) table += ", " + Grouped(rollup.cell_count) + " rows";
  }
  std::printf("%.9f %s\n", took.count(), table.c_str());
  for (std::size_t r = 0; r < result->rows.size(); ++r) {
    for (std::size_t c = 0; c < result->columns.size(); ++c) {
      std::string column;
      for (const std::string& name : result->columns[c])
        column += (column.empty() ? "" : " / ") + name;
      const std::string value = !result->texts.empty() && !result->texts[r][c].empty()
                                    ? result->texts[r][c]
                                    : query::ValueText(result->cells[r][c]);
      std::printf("%s\t%s\n", Key(asked.ranked, r, result->rows[r], column).c_str(), value.c_str());
    }
  }
  return 0;
}

}  // namespace cubemill::bench
