#include "provider/connection/build_cube_file.h"

#include <future>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/file_system.h"
#include "provider/aggregate/cube_builder.h"
#include "provider/aggregate/rollup_builder.h"
#include "provider/connection/incremental_refresh.h"
#include "provider/connection/prepare_build.h"
#include "provider/cubefile/cube_file_writer.h"
#include "provider/engine_error.h"
#include "provider/source/odbc_connection_string.h"
#include "provider/source/read_ahead.h"

namespace cubemill::provider::connection {
namespace {

// How reading the source into a cube ended: the cube or the first error, and whether that error
// is the source's own (it refused the statement or failed while the rows were fetched).
struct Outcome {
  Result<aggregate::BuiltCube> cube = EngineError("the source was not read", kSourceErrorNumber);
  bool source_failed = false;
  // After a seed: a member whose parent may have changed (CubeBuilder::MovedMember).
  std::string moved;
};

// What the survey of an AUTO or SOURCE build found out about the source.
struct SourcePlan {
  bool group = false;  // have the source group the rows
  const source::SourceDialect* dialect = &source::GenericDialect();
  PeriodGrouping periods = PeriodGrouping::kAfterDates;
  bool read_whole = false;      // read the groups without a cursor (ReadGroupsWhole)
  std::vector<SourceSum> sums;  // what the source's SUM gives over each column
};

// The survey of the statements from `first` on, taken off the end of `facts`.
SourceFacts SplitOff(SourceFacts& facts, std::size_t first) {
  SourceFacts rest{facts.dbms, {}, {}, {}};
  if (facts.rows.size() > first) {
    rest.rows.assign(facts.rows.begin() + static_cast<std::ptrdiff_t>(first), facts.rows.end());
    facts.rows.resize(first);
  }
  if (facts.costs.size() > first) {
    rest.costs.assign(facts.costs.begin() + static_cast<std::ptrdiff_t>(first), facts.costs.end());
    facts.costs.resize(first);
  }
  return rest;
}

// Reads the rows of `insert` from the source (the SELECT as written, or the statement that has the
// source group them for RowShape::kGroupedRows) and aggregates them.
Outcome Aggregate(const CubeSchema& schema, const InsertInto& insert, aggregate::RowShape shape,
                  const std::string& odbc, const SourcePlan& plan, const SourceOpener& open_source,
                  const RowProgress& progress, const BuildOptions& options,
                  const aggregate::SeedCube* seed) {
  const bool grouped = shape == aggregate::RowShape::kGroupedRows;
  Outcome outcome;
  if (auto stopped = StopRequested()) {
    outcome.cube = *stopped;
    return outcome;
  }
  aggregate::CubeBuilder builder(schema, insert, shape);
  auto opened =
      grouped ? open_source(plan.read_whole ? source::ReadWholeResult(odbc, *plan.dialect) : odbc,
                            GroupedSelect(insert, schema, *plan.dialect, plan.periods, plan.sums),
                            builder.Hints())
              : open_source(odbc, insert.select, builder.Hints());
  if (!opened) {
    outcome.cube = opened.error();
    outcome.source_failed = true;
    return outcome;
  }
  std::unique_ptr<RowSource> source = std::move(*opened);
  const std::size_t extra = grouped ? 1 : 0;
  if (source->ColumnCount() != insert.columns.size() + extra) {
    outcome.cube = EngineError("INSERT INTO names " + std::to_string(insert.columns.size()) +
                                   " targets, but its SELECT returns " +
                                   std::to_string(source->ColumnCount() - extra) + " columns",
                               kStatementErrorNumber);
    return outcome;
  }
  // A group's sums are no column the SELECT declares: only its rows take the declared scales.
  if (!grouped) builder.DeclareScales(source->DeclaredScales());
  // Fetching the rows keeps one core busy and aggregating them another: read ahead, the two
  // overlap, and the source looks for the rows past a base's watermark while the base's cells go
  // into the builder. Leaving early (a row the builder refuses, a base that does not fit) stops
  // the reader when `source` goes.
  if (options.read_ahead) source = source::ReadAhead(std::move(source));
  StageClock clock(options.stage_timed);
  if (seed != nullptr) {
    if (auto error = builder.Seed(*seed)) {
      outcome.cube = *error;
      return outcome;
    }
    clock.Lap("seed");
  }
  if (options.info) options.info(grouped ? "Aggregation: source" : "Aggregation: client");

  std::vector<Value> row;
  std::uint64_t count = 0;
  for (;;) {
    auto more = source->NextRow(row);
    if (!more) {
      outcome.cube = more.error();
      outcome.source_failed = true;
      return outcome;
    }
    if (!*more) break;
    if (auto stopped = StopRequested()) {
      outcome.cube = *stopped;
      return outcome;
    }
    if (auto error = builder.AddRow(row)) {
      // Its row numbers count the groups, which the user never sees: say so.
      if (grouped) error->description += " (in a row of the groups the source made)";
      outcome.cube = *error;
      return outcome;
    }
    if (++count % kProgressEveryRows == 0 && progress) progress(count);
  }
  if (progress) progress(count);
  source.reset();  // disconnect from the source before the file is written
  clock.Lap("rows");
  outcome.moved = builder.MovedMember();
  outcome.cube = builder.Finish();
  clock.Lap("finish");
  return outcome;
}

// Computes the stored rollups and writes the cube file. With two threads (options.read_ahead)
// the rollups are computed from the cells on a second thread, idle by then, while the writer
// writes the members and the cells, and are written after them in the same transaction: the
// same file as computing them first, in less time.
std::optional<Error> WriteWithRollups(const std::string& location, const CubeSchema& schema,
                                      aggregate::BuiltCube& cube, const cubefile::BuildInfo& info,
                                      const BuildOptions& options) {
  std::future<std::vector<aggregate::Rollup>> computing;
  StageClock clock(options.stage_timed);
  if (options.read_ahead && options.rollups != std::uint64_t{0} && cube.cells.size() > 0) {
    try {
      computing = std::async(std::launch::async, [&schema, &cube, &options] {
        StageClock rollup_clock(options.stage_timed);
        auto rollups = aggregate::ComputeRollups(schema, cube, options.rollups);
        rollup_clock.Lap("rollups");
        return rollups;
      });
    } catch (const std::system_error&) {
      // No second thread to be had: computed first, on this one.
    }
  }
  if (!computing.valid()) {
    aggregate::BuildRollups(schema, cube, options.rollups);
    clock.Lap("rollups");
    auto written = cubefile::WriteCubeFile(location, schema, cube, info);
    clock.Lap("write");
    return written;
  }
  // The thread reads `cube` and fills a vector of its own; the writer only reads `cube`. A
  // writer that fails before it asks for the rollups waits for them here, as `computing` goes.
  std::vector<aggregate::Rollup> rollups;
  auto written = cubefile::WriteCubeFile(location, schema, cube, info,
                                         [&]() -> const std::vector<aggregate::Rollup>& {
                                           rollups = computing.get();
                                           return rollups;
                                         });
  clock.Lap("write");
  return written;
}

// Asks the source (options.survey) whether and how it should group the rows.
SourcePlan PlanSource(const CubeSchema& schema, const InsertInto& insert, const std::string& odbc,
                      const BuildOptions& options) {
  SourcePlan plan;
  plan.group = options.aggregation == Aggregation::kSource;
  if (options.aggregation == Aggregation::kClient || !options.survey) return plan;
  // A source that cannot be asked gets read row by row (AUTO) or is sent the portable grouped
  // statement (SOURCE); opening it reports why it could not be asked. One connection asks
  // everything: the estimates, then what the two ways of grouping by period would cost (only
  // a PostgreSQL server is sent those, and only it is asked).
  std::vector<std::string> statements = SurveyStatements(insert);
  const std::size_t estimates = statements.size();
  const auto ways = PeriodGroupingStatements(insert, schema);
  statements.insert(statements.end(), ways.begin(), ways.end());
  auto facts = options.survey(odbc, statements);
  if (facts.ok()) {
    const SourceFacts costs = SplitOff(*facts, estimates);
    if (options.aggregation == Aggregation::kAuto) plan.group = GroupAtSource(*facts);
    plan.dialect = &source::DialectOfDbms(facts->dbms);
    plan.read_whole = ReadGroupsWhole(*facts);
    plan.sums = facts->sums;
    // Grouping by day first lets a partitioned table group each partition on its own (on its
    // shard); grouping by period at once costs a plain table less. The planner tells which.
    if (plan.group && plan.dialect->date_truncated && !ways.empty())
      plan.periods = ChoosePeriodGrouping(costs);
  }
  return plan;
}

// Reads the rows of `insert`, grouped at the source where `plan` says so (and, for AUTO, every
// row instead where the source could not group them), into the cells of `seed` when there is one.
Outcome ReadRows(const CubeSchema& schema, const InsertInto& insert, const std::string& odbc,
                 const SourcePlan& plan, const SourceOpener& open_source,
                 const RowProgress& progress, const BuildOptions& options,
                 const aggregate::SeedCube* seed) {
  bool grouped = plan.group;
  Outcome outcome;
  if (grouped) {
    outcome = Aggregate(schema, insert, aggregate::RowShape::kGroupedRows, odbc, plan, open_source,
                        progress, options, seed);
    if (outcome.source_failed && options.aggregation == Aggregation::kAuto && !StopRequested()) {
      // A grouped statement the source refuses, or a SUM it cannot hold (an integer sum that
      // overflows its type, say) is no reason to fail a build that reading every row can do. A
      // source stopped by a signal (SQLite's library, interrupted in its GROUP BY) is no refusal.
      if (options.info) {
        options.info(
            "Aggregation: the source could not group the rows, every row is read "
            "instead: " +
            outcome.cube.error().description);
      }
      grouped = false;
    }
  }
  if (!grouped) {
    outcome = Aggregate(schema, insert, aggregate::RowShape::kSourceRows, odbc, plan, open_source,
                        progress, options, seed);
  }
  return outcome;
}

}  // namespace

std::optional<Error> BuildCube(std::string_view connection_string, const SourceOpener& open_source,
                               const RowProgress& progress, const platform::Clock& clock,
                               const BuildOptions& options) {
  auto prepared = PrepareBuild(connection_string, true);
  if (!prepared) return prepared.error();
  if (prepared->keeps_existing_file) return std::nullopt;
  if (auto stopped = StopRequested()) return stopped;
  const CubeSchema& schema = prepared->schema;
  const std::string& odbc = prepared->odbc;
  auto say = [&options](const std::string& line) {
    if (options.info) options.info(line);
  };
  InsertInto insert = prepared->insert;
  std::optional<RefreshPlan> refresh;
  if (!options.refresh_column.empty()) {
    auto planned = PlanRefresh(*prepared, options.refresh_column, options.refresh_bases,
                               open_source, options.stage_timed);
    if (!planned) return planned.error();
    refresh = std::move(*planned);
    if (options.refresh_full)
      refresh->why_full = "asked for: REFRESH=FULL=" + options.refresh_column;
    insert.select = refresh->select;
  }
  const SourcePlan plan = PlanSource(schema, insert, odbc, options);
  const aggregate::SeedCube* seed = refresh && refresh->base ? &refresh->base->seed : nullptr;
  Outcome outcome = ReadRows(schema, insert, odbc, plan, open_source, progress, options, seed);
  // The base's cells are in the builder now: let go of its file before the new one is written.
  if (seed != nullptr) refresh->base->seed.for_each_cell = nullptr;
  if (seed != nullptr && outcome.cube && !outcome.moved.empty()) {
    // A member under a new parent: the base's own rows may say otherwise now. Read them all.
    refresh->base.reset();
    refresh->why_full = outcome.moved;
    seed = nullptr;
    insert.select =
        FilteredSelect(prepared->insert.select, "q." + options.refresh_column +
                                                    " <= " + SqlLiteral(refresh->watermark) +
                                                    " OR q." + options.refresh_column + " IS NULL");
    outcome = ReadRows(schema, insert, odbc, plan, open_source, progress, options, nullptr);
  }
  if (!outcome.cube) return outcome.cube.error();
  aggregate::BuiltCube* cube = &*outcome.cube;
  cubefile::BuildInfo info;
  if (refresh) {
    say(seed != nullptr
            ? "Refresh: incremental from " + WatermarkText(refresh->base->watermark) + ", " +
                  std::to_string(cube->source_rows - refresh->base->seed.source_rows) + " new rows"
            : "Refresh: full (" + refresh->why_full + ")");
    info.refresh_column = options.refresh_column;
    info.watermark = refresh->watermark;
  }
  info.create_cube = prepared->properties.create_cube;
  info.insert_into = prepared->properties.insert_into;
  info.source = odbc;  // the writer drops its passwords
  info.built_at = platform::DateTimeText(clock.Now());
  info.source_rows = cube->source_rows;
  return WriteWithRollups(prepared->properties.location, schema, *cube, info, options);
}

}  // namespace cubemill::provider::connection
