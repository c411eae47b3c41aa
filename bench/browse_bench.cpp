// The browse benchmark: drives the pivot model of cubemill-browse without its widgets over the
// cube files named on the command line, as a user's first gestures would, and times each step:
// opening the cube (CubeReader::Open and the CubeModel), Country x Year, drilling into one year,
// the cube's largest level on rows x Year, and a slicer set on the remaining hierarchy. Each step
// is AnswerPivot as the window calls it (the query, the engine, the grid with its texts); the
// engine's part alone (EvaluateMdx of the same query) is shown beside it. Prints a Markdown table
// per cube with the fastest and the median of the runs and the target of each step (open under
// 1 s, each step under 200 ms, both judged by the median). Exits 1 when a cube cannot be opened or
// a step fails.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_options.h"
#include "browse/pivot.h"
#include "platform/unicode_case.h"
#include "provider/cubefile/cube_reader.h"
#include "query/binder/cube_model.h"
#include "query/query_evaluator.h"

namespace {

using cubemill::browse::PivotLayout;
using cubemill::provider::cubefile::CubeReader;
using cubemill::query::CubeModel;

constexpr const char* kUsage =
    "usage: cubemill_browse_bench [--runs N] CUBE...\n"
    "Times the pivot model of cubemill-browse over each cube file: open, Country x Year, one\n"
    "year drilled, the largest level x Year, a slicer set.\n"
    "\n"
    "  --runs N    runs of each step (default 5)\n"
    "  -h, --help  this text\n";

constexpr double kOpenTarget = 1.0;
constexpr double kStepTarget = 0.200;

// The wall-clock seconds `run` takes; `cpu` gets the process's CPU seconds in them, which a
// machine shared with other work does not stretch as it stretches the wall clock.
double Seconds(const std::function<void()>& run, double* cpu = nullptr) {
  const std::clock_t cpu_start = std::clock();
  const auto start = std::chrono::steady_clock::now();
  run();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (cpu != nullptr) *cpu = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  return wall;
}

std::string Milliseconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", seconds * 1000);
  return text;
}

struct Times {
  double fastest = 0, median = 0;
};

Times Summary(std::vector<double> runs) {
  std::sort(runs.begin(), runs.end());
  return {runs.front(), runs[runs.size() / 2]};
}

std::string Verdict(double seconds, double target) {
  return (seconds < target ? "met (< " : "MISSED (< ") + Milliseconds(target) + ")";
}

// The first level named `name` (any letter case), npos for none.
std::size_t LevelNamed(const CubeModel& model, const std::string& name) {
  const auto& levels = model.Catalog().levels;
  for (std::size_t l = 0; l < levels.size(); ++l)
    if (!levels[l].is_all && cubemill::platform::EqualsFolded(levels[l].name, name)) return l;
  return cubemill::browse::npos;
}

std::string LevelText(const CubeModel& model, std::size_t level) {
  return model.Catalog().levels[level].name + " (" + std::to_string(model.MembersOf(level).size()) +
         ")";
}

struct Step {
  std::string name;
  PivotLayout layout;
};

// The steps of a first session with the cube: the layouts the window asks for, in order.
std::vector<Step> Steps(const CubeModel& model) {
  std::vector<Step> steps;
  const std::size_t country = LevelNamed(model, "Country"), year = LevelNamed(model, "Year");
  if (country == cubemill::browse::npos || year == cubemill::browse::npos) {
    steps.push_back({"default layout", cubemill::browse::DefaultLayout(model)});
    return steps;
  }
  const std::size_t time = model.LevelHierarchy(year);
  PivotLayout layout;
  layout.measures = {0};
  layout.rows = {{model.LevelHierarchy(country), country}};
  layout.columns = {{time, year}};
  steps.push_back({LevelText(model, country) + " x " + LevelText(model, year), layout});

  const std::size_t first_year = model.MembersOf(year).front();
  cubemill::browse::Expand(layout, model, first_year);
  steps.push_back({"drill into " + model.Member(first_year).name + " (" +
                       std::to_string(model.ChildrenOf(first_year).size()) + " children)",
                   layout});

  // The largest level of another hierarchy than Time's.
  std::size_t largest = cubemill::browse::npos;
  for (std::size_t l = 0; l < model.Catalog().levels.size(); ++l) {
    if (model.Catalog().levels[l].is_all || model.LevelHierarchy(l) == time) continue;
    if (largest == cubemill::browse::npos ||
        model.MembersOf(l).size() > model.MembersOf(largest).size())
      largest = l;
  }
  layout.expanded.clear();
  layout.rows = {{model.LevelHierarchy(largest), largest}};
  steps.push_back({LevelText(model, largest) + " x " + LevelText(model, year), layout});

  for (std::size_t h = 0; h < model.HierarchyCount(); ++h) {
    if (h == time || h == model.LevelHierarchy(largest)) continue;
    const auto& levels = model.LevelsOf(h);
    const auto top = std::find_if(levels.begin(), levels.end(),
                                  [&](std::size_t l) { return !model.Catalog().levels[l].is_all; });
    if (top == levels.end()) continue;
    const std::size_t member = model.MembersOf(*top).front();
    cubemill::browse::SetSlicer(layout, model, h, {member});
    steps.push_back({"slicer " + model.Member(member).name + " on that", layout});
    break;
  }
  return steps;
}

bool RunCube(const std::string& path, int runs) {
  std::printf("\n%s\n\n", std::filesystem::path(path).filename().c_str());
  std::vector<double> open_runs;
  std::unique_ptr<CubeReader> reader;
  std::unique_ptr<CubeModel> model;
  for (int run = 0; run < runs; ++run) {
    model.reset();
    reader.reset();
    bool ok = true;
    open_runs.push_back(Seconds([&] {
      auto opened = CubeReader::Open(path);
      if (!opened.ok()) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), opened.error().description.c_str());
        ok = false;
        return;
      }
      reader = std::move(*opened);
      model = std::make_unique<CubeModel>(reader->Catalog());
    }));
    if (!ok) return false;
  }
  const auto& catalog = reader->Catalog();
  std::printf("%lld leaf cells, %zu stored rollups, %zu members\n\n",
              static_cast<long long>(catalog.cell_count), catalog.rollups.size(),
              catalog.members.size());
  std::printf("| step | grid | table read | engine alone | fastest | median | CPU | target |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  const Times open = Summary(open_runs);
  std::printf("| open (CubeReader::Open + CubeModel) | | | | %s | %s | | %s |\n",
              Milliseconds(open.fastest).c_str(), Milliseconds(open.median).c_str(),
              Verdict(open.median, kOpenTarget).c_str());
  bool all_ok = true;
  for (const Step& step : Steps(*model)) {
    std::vector<double> pivot_runs, engine_runs, cpu_runs;
    cubemill::browse::PivotGrid grid;
    std::string failure, table;
    for (int run = 0; run < runs && failure.empty(); ++run) {
      double cpu = 0;
      pivot_runs.push_back(Seconds(
          [&] {
            auto answer = cubemill::browse::AnswerPivot(*reader, *model, step.layout);
            if (answer.ok())
              grid = std::move(*answer);
            else
              failure = answer.error().description;
          },
          &cpu));
      cpu_runs.push_back(cpu);
      cubemill::query::QueryOptions options;
      options.unique_names = true;
      engine_runs.push_back(Seconds([&] {
        auto answer = cubemill::query::EvaluateMdx(*reader, grid.mdx, options);
        if (answer.ok()) table = answer->table;
      }));
    }
    if (!failure.empty()) {
      std::fprintf(stderr, "%s: %s\n%s\n", step.name.c_str(), failure.c_str(),
                   cubemill::browse::PivotMdx(*model, step.layout).c_str());
      all_ok = false;
      continue;
    }
    const Times pivot = Summary(pivot_runs), engine = Summary(engine_runs), cpu = Summary(cpu_runs);
    std::printf("| %s | %zu x %zu | %s | %s | %s | %s | %s | %s |\n", step.name.c_str(),
                grid.Rows(), grid.Columns(), table.c_str(), Milliseconds(engine.median).c_str(),
                Milliseconds(pivot.fastest).c_str(), Milliseconds(pivot.median).c_str(),
                Milliseconds(cpu.median).c_str(), Verdict(pivot.median, kStepTarget).c_str());
  }
  return all_ok;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  std::vector<std::string> cubes;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::int64_t value = 0;
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--runs" && i + 1 < argc && cubemill::bench::ParseNumber(argv[i + 1], value)) {
      runs = static_cast<int>(std::min<std::int64_t>(value, 1000));
      ++i;
    } else if (!arg.empty() && arg[0] != '-') {
      cubes.push_back(arg);
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (cubes.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  bool ok = true;
  for (const std::string& cube : cubes) ok = RunCube(cube, runs) && ok;
  return ok ? 0 : 1;
}
