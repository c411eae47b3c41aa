#include "provider/aggregate/column_plan.h"

#include <utility>

#include "common/quoted_text.h"
#include "provider/aggregate/measure_accumulator.h"
#include "provider/engine_error.h"

namespace cubemill::provider::aggregate {
namespace {

// Adds the levels and hierarchies of `schema` to `plan`; returns, per dimension, the index in
// plan.hierarchies of each of its hierarchies.
std::vector<std::vector<std::size_t>> PlanLevels(const CubeSchema& schema, ColumnPlan& plan) {
  std::vector<std::vector<std::size_t>> hierarchies_of(schema.dimensions.size());
  for (std::size_t d = 0; d < schema.dimensions.size(); ++d) {
    const Dimension& dimension = schema.dimensions[d];
    for (std::size_t h = 0; h < dimension.hierarchies.size(); ++h) {
      const Hierarchy& hierarchy = dimension.hierarchies[h];
      hierarchies_of[d].push_back(plan.hierarchies.size());
      plan.coordinates.push_back(Coordinate{d, h});
      HierarchyPlan hierarchy_plan;
      for (std::size_t l = 0; l < hierarchy.levels.size(); ++l) {
        const Level& level = hierarchy.levels[l];
        LevelPlan level_plan;
        level_plan.dimension = d;
        level_plan.hierarchy = h;
        level_plan.level = l;
        level_plan.type = level.type;
        level_plan.name = level.name;
        level_plan.by_key = level.order == MemberOrder::kByKey;
        level_plan.unique_key = level.unique_key;
        level_plan.unique_name = level.unique_name;
        level_plan.display = Bracketed(dimension.name) +
                             (dimension.named_hierarchies ? "." + Bracketed(hierarchy.name) : "") +
                             "." + Bracketed(level.name);
        if (level.type == LevelType::kAll) level_plan.feed = Feed::kAll;
        hierarchy_plan.levels.push_back(plan.levels.size());
        plan.levels.push_back(std::move(level_plan));
      }
      plan.hierarchies.push_back(std::move(hierarchy_plan));
    }
  }
  return hierarchies_of;
}

}  // namespace

ColumnPlan PlanColumns(const CubeSchema& schema, const InsertInto& insert) {
  ColumnPlan plan;
  const std::vector<std::vector<std::size_t>> hierarchies_of = PlanLevels(schema, plan);
  for (const Measure& measure : schema.measures) {
    plan.measures.push_back(MeasurePlan{measure.function, ClassOfType(measure.type), measure.name});
  }
  plan.hints.assign(insert.columns.size(), ColumnHint::kAny);
  for (std::size_t c = 0; c < insert.columns.size(); ++c) {
    const ColumnBinding& binding = insert.columns[c];
    plan.targets.push_back(binding.target);
    const int column = static_cast<int>(c);
    switch (binding.role) {
      case ColumnRole::kSkip:
        break;
      case ColumnRole::kLevel:
      case ColumnRole::kLevelKey:
      case ColumnRole::kLevelName: {
        const std::size_t hierarchy = hierarchies_of.at(binding.dimension).at(binding.hierarchy);
        LevelPlan& level = plan.levels[plan.hierarchies[hierarchy].levels.at(binding.level)];
        if (binding.role == ColumnRole::kLevelName) {
          level.name_column = column;
        } else {
          level.key_column = column;
        }
        break;
      }
      case ColumnRole::kTime: {
        plan.hints[c] = ColumnHint::kDateTime;
        const int slot = static_cast<int>(plan.time_columns.size());
        plan.time_columns.push_back(c);
        const std::vector<std::size_t>& hierarchies = hierarchies_of.at(binding.dimension);
        for (std::size_t h = 0; h < hierarchies.size(); ++h) {
          if (binding.hierarchy == kAllHierarchies || binding.hierarchy == h) {
            plan.hierarchies[hierarchies[h]].time_slot = slot;
          }
        }
        break;
      }
      case ColumnRole::kMeasure: {
        MeasurePlan& measure = plan.measures.at(binding.measure);
        measure.column = column;
        if (measure.function != AggregateFunction::kCount) {
          if (measure.number_class == NumberClass::kInteger) plan.hints[c] = ColumnHint::kInteger;
          if (measure.number_class == NumberClass::kReal) plan.hints[c] = ColumnHint::kReal;
        }
        break;
      }
    }
  }
  auto fail = [&plan](std::string text) {
    if (!plan.error) plan.error = EngineError(std::move(text), kStatementErrorNumber);
  };
  // A level below ALL without a column of its own takes its hierarchy's TIME column.
  for (const HierarchyPlan& hierarchy : plan.hierarchies) {
    for (std::size_t index : hierarchy.levels) {
      LevelPlan& level = plan.levels[index];
      if (level.feed == Feed::kAll) continue;
      if (level.key_column < 0 && level.name_column < 0) {
        if (hierarchy.time_slot >= 0) {
          level.feed = Feed::kTime;
          level.time_slot = hierarchy.time_slot;
          level.by_key = true;  // derived members are in calendar order
        } else {
          fail("INSERT INTO: no column feeds the level " + level.display);
        }
      } else if (level.key_column < 0) {
        level.key_column = level.name_column;  // only .NAME: the name is the key
        level.name_column = -1;
      }
    }
  }
  for (const MeasurePlan& measure : plan.measures) {
    if (measure.column < 0)
      fail("INSERT INTO: no column feeds the measure " + Bracketed(measure.name));
  }
  return plan;
}

}  // namespace cubemill::provider::aggregate
