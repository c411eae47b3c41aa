#include "provider/aggregate/cube_builder.h"

#include <algorithm>
#include <string>
#include <utility>

#include "provider/aggregate/cell_table.h"
#include "provider/aggregate/column_plan.h"
#include "provider/aggregate/cube_assembly.h"
#include "provider/aggregate/measure_accumulator.h"
#include "provider/aggregate/measure_decimals.h"
#include "provider/aggregate/measure_merge.h"
#include "provider/aggregate/member_index.h"
#include "provider/aggregate/row_values.h"
#include "provider/aggregate/time_member_cache.h"
#include "provider/aggregate/value_text.h"
#include "provider/engine_error.h"

namespace cubemill::provider::aggregate {

using aggregate::Accumulator;

struct CubeBuilder::State {
  aggregate::ColumnPlan plan;
  aggregate::MemberIndex index;
  CellTable cells{0, 0};
  std::vector<bool> sum_overflowed;  // per measure
  // Per measure: the decimals its values have shown so far, and whether the source declared
  // them (then the values are not looked at).
  std::vector<int> decimals;
  std::vector<char> declared;
  // Per hierarchy: where its levels below ALL start in its list of levels, and the members of
  // the derived time levels that come first there, per date.
  std::vector<std::size_t> first_level;
  std::vector<aggregate::TimeMemberCache> time_members;
  std::optional<Error> failed;   // the error that stopped the build
  std::int64_t rows = 0;         // rows given to AddRow
  std::int64_t source_rows = 0;  // the source rows they stand for
  bool grouped = false;
  bool finished = false;
  // Per-row scratch, kept to avoid allocations.
  std::vector<aggregate::TimeSlot> slots;
  std::vector<aggregate::Input> inputs;
  std::vector<std::uint32_t> coords;
  std::vector<std::uint32_t> chain;

  void Accumulate(std::uint32_t cell);
  std::optional<Error> FindMembers(const std::vector<Value>& row);
};

void CubeBuilder::State::Accumulate(std::uint32_t cell) {
  using aggregate::InputKind;
  const std::size_t measure_count = plan.measures.size();
  CellRecords& records = cells.records();
  std::byte* record = records.Record(cell);
  for (std::size_t m = 0; m < measure_count; ++m) {
    const aggregate::Input& input = inputs[m];
    if (input.kind == InputKind::kNull) continue;
    // A row counts once; a group's count (or a number) arrives as its value.
    CellValue value;
    if (input.kind == InputKind::kReal) {
      value.state = CellState::kReal;
      value.real = input.real;
      if (!declared[m]) decimals[m] = DecimalsOf(input.real, decimals[m]);
    } else {
      value.state = CellState::kInteger;
      value.integer = input.kind == InputKind::kPresent ? 1 : input.integer;
    }
    Accumulator acc = records.Value(record, m);
    if (!aggregate::MergeValue(acc, value, plan.measures[m].function)) sum_overflowed[m] = true;
    records.SetValue(record, m, acc);
  }
}

std::optional<Error> CubeBuilder::State::FindMembers(const std::vector<Value>& row) {
  for (std::size_t h = 0; h < plan.hierarchies.size(); ++h) {
    const std::vector<std::size_t>& levels = plan.hierarchies[h].levels;
    std::uint32_t parent = index.TopOf(h);
    std::size_t next = first_level[h];
    aggregate::TimeMemberCache& time_cache = time_members[h];
    const std::size_t depth = time_cache.depth();
    if (depth > 0) {
      const aggregate::TimeSlot& slot =
          slots[static_cast<std::size_t>(plan.hierarchies[h].time_slot)];
      if (const std::uint32_t* known = time_cache.Find(slot)) {
        parent = known[depth - 1];
      } else {
        for (std::size_t k = 0; k < depth; ++k) {
          if (auto error =
                  index.FindOrAdd(plan, levels[next + k], parent, row, slots, rows, chain[k])) {
            return error;
          }
          parent = chain[k];
        }
        time_cache.Add(slot, chain.data());
      }
      next += depth;
    }
    for (; next < levels.size(); ++next) {
      if (plan.levels[levels[next]].feed == aggregate::Feed::kAll) continue;
      std::uint32_t member = 0;
      if (auto error = index.FindOrAdd(plan, levels[next], parent, row, slots, rows, member)) {
        return error;
      }
      parent = member;
    }
    coords[h] = parent;
  }
  return std::nullopt;
}

CubeBuilder::CubeBuilder(const CubeSchema& schema, const InsertInto& insert, RowShape shape)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.plan = aggregate::PlanColumns(schema, insert);
  s.grouped = shape == RowShape::kGroupedRows;
  if (s.grouped) {
    s.plan.counts_given = true;
    for (const aggregate::MeasurePlan& measure : s.plan.measures) {
      if (measure.function == AggregateFunction::kCount)
        s.plan.hints[static_cast<std::size_t>(measure.column)] = ColumnHint::kInteger;
    }
    s.plan.hints.push_back(ColumnHint::kInteger);
  }
  s.index = aggregate::MemberIndex(s.plan);
  std::vector<bool> rests;
  for (const aggregate::MeasurePlan& measure : s.plan.measures)
    rests.push_back(aggregate::KeepsRest(measure.function, measure.number_class));
  s.cells = CellTable(s.plan.hierarchies.size(), s.plan.measures.size(), std::move(rests));
  // The levels of a hierarchy start below its ALL level; those derived from its TIME column
  // that come first are found per date.
  std::size_t longest = 0;
  for (const aggregate::HierarchyPlan& hierarchy : s.plan.hierarchies) {
    std::size_t first = 0;
    while (first < hierarchy.levels.size() &&
           s.plan.levels[hierarchy.levels[first]].feed == aggregate::Feed::kAll) {
      ++first;
    }
    std::size_t depth = 0;
    while (first + depth < hierarchy.levels.size() &&
           s.plan.levels[hierarchy.levels[first + depth]].feed == aggregate::Feed::kTime) {
      ++depth;
    }
    s.first_level.push_back(first);
    s.time_members.emplace_back(depth);
    longest = std::max(longest, depth);
  }
  s.chain.assign(longest, 0);
  s.sum_overflowed.assign(s.plan.measures.size(), false);
  s.decimals.assign(s.plan.measures.size(), 0);
  s.declared.assign(s.plan.measures.size(), 0);
  s.slots.assign(s.plan.time_columns.size(), aggregate::TimeSlot{});
  s.inputs.assign(s.plan.measures.size(), aggregate::Input{});
  s.coords.assign(s.plan.hierarchies.size(), 0);
}

CubeBuilder::~CubeBuilder() = default;
CubeBuilder::CubeBuilder(CubeBuilder&&) noexcept = default;
CubeBuilder& CubeBuilder::operator=(CubeBuilder&&) noexcept = default;

std::vector<ColumnHint> CubeBuilder::Hints() const { return state_->plan.hints; }

std::int64_t CubeBuilder::RowCount() const { return state_->rows; }

void CubeBuilder::DeclareScales(const std::vector<std::optional<int>>& scales) {
  State& s = *state_;
  for (std::size_t m = 0; m < s.plan.measures.size(); ++m) {
    const aggregate::MeasurePlan& measure = s.plan.measures[m];
    if (measure.function == AggregateFunction::kCount || measure.column < 0) continue;
    const auto column = static_cast<std::size_t>(measure.column);
    if (column >= scales.size() || !scales[column] || *scales[column] < 0) continue;
    s.decimals[m] = *scales[column];
    s.declared[m] = 1;
  }
}

std::optional<Error> CubeBuilder::AddRow(const std::vector<Value>& row) {
  State& s = *state_;
  if (s.plan.error) return s.plan.error;
  if (s.failed) return s.failed;
  if (s.finished) return EngineError("the cube build has already finished", kDataErrorNumber);
  ++s.rows;
  auto fail = [&s](Error error) {
    s.failed = error;
    return std::optional<Error>(std::move(error));
  };
  const std::size_t column_count = s.plan.targets.size() + (s.grouped ? 1 : 0);
  if (row.size() != column_count) {
    return fail(EngineError(
        "row " + std::to_string(s.rows) + ": the source delivered " + std::to_string(row.size()) +
            " columns, " + (s.grouped ? "the grouped statement has " : "INSERT INTO has ") +
            std::to_string(column_count) + (s.grouped ? " columns" : " targets"),
        kDataErrorNumber));
  }
  if (s.grouped) {
    const auto count = aggregate::ReadGroupRows(row.back());
    if (!count) {
      return fail(EngineError("row " + std::to_string(s.rows) + ": the source delivered \"" +
                                  aggregate::ValueText(row.back()) +
                                  "\" as the group's number of rows",
                              kDataErrorNumber));
    }
    s.source_rows += *count;
    s.index.SetRowWeight(*count);
  } else {
    ++s.source_rows;
  }
  if (auto error = aggregate::ReadTimes(s.plan, row, s.rows, s.slots)) {
    return fail(std::move(*error));
  }
  if (auto error = aggregate::ReadMeasures(s.plan, row, s.rows, s.inputs)) {
    return fail(std::move(*error));
  }
  if (auto error = s.FindMembers(row)) return fail(std::move(*error));
  s.Accumulate(s.cells.FindOrAdd(s.coords.data()));
  return std::nullopt;
}

std::string CubeBuilder::MovedMember() const { return state_->index.MovedMember(); }

std::optional<Error> CubeBuilder::Seed(const SeedCube& seed) {
  State& s = *state_;
  if (s.plan.error) return s.plan.error;
  auto fail = [&s](const std::string& what) {
    s.failed = EngineError("the base cube does not fit its statements: " + what, kDataErrorNumber);
    return s.failed;
  };
  std::vector<std::uint32_t> number(seed.members.size() + 1, 0);
  for (std::size_t i = 0; i < seed.members.size(); ++i) {
    const SeedMember& member = seed.members[i];
    if (member.hierarchy >= s.plan.hierarchies.size() ||
        member.level >= s.plan.hierarchies[member.hierarchy].levels.size() || member.parent < 0 ||
        static_cast<std::size_t>(member.parent) > i) {
      return fail("member " + std::to_string(i + 1));
    }
    const std::size_t level = s.plan.hierarchies[member.hierarchy].levels[member.level];
    if (s.plan.levels[level].feed == aggregate::Feed::kAll) {
      number[i + 1] = s.index.TopOf(member.hierarchy);
      continue;
    }
    const std::uint32_t parent = number[static_cast<std::size_t>(member.parent)];
    number[i + 1] = s.index.Seed(s.plan, level, parent, member.key, member.name);
  }
  const std::size_t width = s.plan.hierarchies.size();
  const std::size_t measures = s.plan.measures.size();
  if (seed.for_each_cell) {
    if (seed.cell_count > 0) s.cells.Reserve(static_cast<std::size_t>(seed.cell_count));
    CellRecords& records = s.cells.records();
    std::int64_t cell = 0;
    bool stray = false;  // a cell names a member the base does not have
    std::optional<Error> error =
        seed.for_each_cell([&](const std::int64_t* ids, const CellValue* values) {
          ++cell;
          for (std::size_t h = 0; h < width; ++h) {
            stray = ids[h] < 1 || static_cast<std::size_t>(ids[h]) > seed.members.size();
            if (stray) return false;
            s.coords[h] = number[static_cast<std::size_t>(ids[h])];
          }
          std::byte* record = records.Record(s.cells.FindOrAdd(s.coords.data()));
          for (std::size_t m = 0; m < measures; ++m) records.SetValue(record, m, values[m]);
          return true;
        });
    if (error) {
      s.failed = *error;
      return error;
    }
    if (stray || cell != seed.cell_count) return fail("cell " + std::to_string(cell));
  }
  s.source_rows += seed.source_rows;
  for (std::size_t l = 0; l < s.plan.levels.size(); ++l)
    s.index.AddNullRows(l, aggregate::NullRowsWarned(seed.warnings, s.plan.levels[l].display));
  for (std::size_t m = 0; m < measures; ++m) {
    const std::string& name = s.plan.measures[m].name;
    for (const std::string& warning : seed.warnings)
      if (warning == aggregate::SumOverflowWarning(name)) s.sum_overflowed[m] = true;
    if (!s.declared[m] && m < seed.decimals.size() && seed.decimals[m])
      s.decimals[m] = *seed.decimals[m];
  }
  return std::nullopt;
}

Result<BuiltCube> CubeBuilder::Finish() {
  State& s = *state_;
  if (s.plan.error) return *s.plan.error;
  if (s.failed) return *s.failed;
  if (s.finished) return EngineError("the cube build has already finished", kDataErrorNumber);
  s.finished = true;
  BuiltCube cube = aggregate::AssembleCube(
      s.plan, aggregate::GatheredRows{s.index, s.cells, s.sum_overflowed, s.source_rows});
  cube.measure_decimals = s.decimals;
  // The builder is spent: its memory goes back now rather than when it is destroyed.
  s.index = aggregate::MemberIndex();
  s.time_members = {};
  return cube;
}

}  // namespace cubemill::provider::aggregate
