#include "provider/aggregate/cube_builder.h"

#include <string>
#include <utility>

#include "provider/aggregate/cell_table.h"
#include "provider/aggregate/column_plan.h"
#include "provider/aggregate/cube_assembly.h"
#include "provider/aggregate/measure_accumulator.h"
#include "provider/aggregate/member_index.h"
#include "provider/aggregate/row_values.h"
#include "provider/engine_error.h"

namespace cubemill::provider {

using aggregate::Accumulator;

struct CubeBuilder::State {
  aggregate::ColumnPlan plan;
  aggregate::MemberIndex index;
  CellTable cells{0};
  std::vector<Accumulator> accumulators;  // plan.measures.size() per cell
  std::vector<bool> sum_overflowed;       // per measure
  std::optional<Error> failed;            // the error that stopped the build
  std::int64_t rows = 0;
  bool finished = false;
  // Per-row scratch, kept to avoid allocations.
  std::vector<aggregate::TimeSlot> slots;
  std::vector<aggregate::Input> inputs;
  std::vector<std::uint32_t> coords;

  void Accumulate(std::uint32_t cell);
};

void CubeBuilder::State::Accumulate(std::uint32_t cell) {
  using aggregate::AccState;
  using aggregate::InputKind;
  const std::size_t measure_count = plan.measures.size();
  Accumulator* accumulators_of_cell = &accumulators[static_cast<std::size_t>(cell) * measure_count];
  for (std::size_t m = 0; m < measure_count; ++m) {
    const aggregate::Input& input = inputs[m];
    if (input.kind == InputKind::kNull) continue;
    Accumulator& acc = accumulators_of_cell[m];
    switch (plan.measures[m].function) {
      case AggregateFunction::kCount:
        if (acc.state == AccState::kEmpty) {
          acc.state = AccState::kInteger;
          acc.integer = 0;
        }
        ++acc.integer;
        break;
      case AggregateFunction::kSum:
        if (!aggregate::AddToSum(acc, input)) sum_overflowed[m] = true;
        break;
      case AggregateFunction::kMin:
        if (acc.state == AccState::kEmpty ||
            aggregate::InputValue(input) < aggregate::AccValue(acc)) {
          aggregate::Assign(acc, input);
        }
        break;
      case AggregateFunction::kMax:
        if (acc.state == AccState::kEmpty ||
            aggregate::InputValue(input) > aggregate::AccValue(acc)) {
          aggregate::Assign(acc, input);
        }
        break;
    }
  }
}

CubeBuilder::CubeBuilder(const CubeSchema& schema, const InsertInto& insert)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.plan = aggregate::PlanColumns(schema, insert);
  s.index = aggregate::MemberIndex(s.plan);
  s.cells = CellTable(s.plan.hierarchies.size());
  s.sum_overflowed.assign(s.plan.measures.size(), false);
  s.slots.assign(s.plan.time_columns.size(), aggregate::TimeSlot{});
  s.inputs.assign(s.plan.measures.size(), aggregate::Input{});
  s.coords.assign(s.plan.hierarchies.size(), 0);
}

CubeBuilder::~CubeBuilder() = default;
CubeBuilder::CubeBuilder(CubeBuilder&&) noexcept = default;
CubeBuilder& CubeBuilder::operator=(CubeBuilder&&) noexcept = default;

std::vector<ColumnHint> CubeBuilder::Hints() const { return state_->plan.hints; }

std::int64_t CubeBuilder::RowCount() const { return state_->rows; }

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
  const std::size_t column_count = s.plan.targets.size();
  if (row.size() != column_count) {
    return fail(EngineError("row " + std::to_string(s.rows) + ": the source delivered " +
                                std::to_string(row.size()) + " columns, INSERT INTO has " +
                                std::to_string(column_count) + " targets",
                            kDataErrorNumber));
  }
  if (auto error = aggregate::ReadTimes(s.plan, row, s.rows, s.slots)) {
    return fail(std::move(*error));
  }
  if (auto error = aggregate::ReadMeasures(s.plan, row, s.rows, s.inputs)) {
    return fail(std::move(*error));
  }
  for (std::size_t h = 0; h < s.plan.hierarchies.size(); ++h) {
    std::uint32_t parent = s.index.TopOf(h);
    for (std::size_t level : s.plan.hierarchies[h].levels) {
      if (s.plan.levels[level].feed == aggregate::Feed::kAll) continue;
      std::uint32_t member = 0;
      if (auto error = s.index.FindOrAdd(s.plan, level, parent, row, s.slots, s.rows, member)) {
        return fail(std::move(*error));
      }
      parent = member;
    }
    s.coords[h] = parent;
  }
  const std::uint32_t cell = s.cells.FindOrAdd(s.coords.data());
  const std::size_t measure_count = s.plan.measures.size();
  if (static_cast<std::size_t>(cell) * measure_count >= s.accumulators.size()) {
    s.accumulators.resize((static_cast<std::size_t>(cell) + 1) * measure_count);
  }
  s.Accumulate(cell);
  return std::nullopt;
}

Result<BuiltCube> CubeBuilder::Finish() {
  State& s = *state_;
  if (s.plan.error) return *s.plan.error;
  if (s.failed) return *s.failed;
  if (s.finished) return EngineError("the cube build has already finished", kDataErrorNumber);
  s.finished = true;
  BuiltCube cube = aggregate::AssembleCube(
      s.plan, aggregate::GatheredRows{s.index, s.cells, s.accumulators, s.sum_overflowed, s.rows});
  // The builder is spent: its memory goes back now rather than when it is destroyed.
  s.index = aggregate::MemberIndex();
  s.accumulators = {};
  s.cells = CellTable(0);
  return cube;
}

}  // namespace cubemill::provider
