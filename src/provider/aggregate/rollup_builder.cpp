#include "provider/aggregate/rollup_builder.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "common/hash_mix.h"
#include "common/hash_slots.h"
#include "provider/aggregate/measure_merge.h"
#include "provider/aggregate/rollup_lattice.h"

namespace cubemill::provider::aggregate {
namespace {

// Per coordinate and per step above the leaf, the ancestor at that level of each member of the
// coordinate (indexed by member id minus the coordinate's first id); 0 for members above it.
struct AncestorMaps {
  std::vector<std::uint32_t> first;                         // first member id per coordinate
  std::vector<std::vector<std::vector<std::uint32_t>>> up;  // [c][steps][id - first[c]]
  std::vector<std::vector<std::uint64_t>> members;          // [c][steps]: members at the level
};

AncestorMaps MapAncestors(const CubeSchema& schema, const BuiltCube& cube) {
  AncestorMaps maps;
  const std::size_t width = cube.coordinates.size();
  maps.first.assign(width, 0);
  maps.up.resize(width);
  maps.members.resize(width);
  std::vector<std::size_t> count(width, 0), leaf(width, 0);
  for (std::size_t c = 0; c < width; ++c) {
    const Coordinate& at = cube.coordinates[c];
    leaf[c] = schema.dimensions[at.dimension].hierarchies[at.hierarchy].levels.size() - 1;
    maps.members[c].assign(leaf[c] + 1, 0);
  }
  // Members are ordered by level, so each coordinate's members are one run of ids, and a
  // parent always has a lower id than its children.
  std::size_t c = 0;
  for (const Member& member : cube.members) {
    while (c < width && !(cube.coordinates[c] == Coordinate{member.dimension, member.hierarchy})) {
      ++c;
    }
    if (c == width) break;
    if (count[c]++ == 0) maps.first[c] = static_cast<std::uint32_t>(member.id);
    ++maps.members[c][leaf[c] - member.level];
  }
  for (std::size_t k = 0; k < width; ++k) {
    maps.up[k].assign(leaf[k] + 1, std::vector<std::uint32_t>(count[k], 0));
    for (std::size_t i = 0; i < count[k]; ++i) {
      const Member& member = cube.members[maps.first[k] - 1 + i];
      for (std::size_t steps = 0; steps <= leaf[k]; ++steps) {
        const std::size_t target = leaf[k] - steps;
        if (member.level == target) {
          maps.up[k][steps][i] = static_cast<std::uint32_t>(member.id);
        } else if (member.level > target && member.parent != 0) {
          maps.up[k][steps][i] = maps.up[k][steps][member.parent - maps.first[k]];
        }
      }
    }
  }
  return maps;
}

// Groups the rows of `source` (ordered by their members, `from` steps above the leaf per
// coordinate) into the rows of the view `to` steps above it (at or above `from` everywhere).
// Returns the number of rows; with `out` they are appended to it in order, measures merged by
// `functions`. Mapping members to ancestors keeps their order (ids follow the parents' order),
// so the rows that agree on every coordinate up to the first rolled up one come together: each
// such run is grouped on its own, in a table that stays as small as the run's groups.
std::uint64_t GroupRows(const CellRecords& source, const std::vector<std::size_t>& from,
                        const std::vector<std::size_t>& to, const AncestorMaps& maps,
                        const std::vector<AggregateFunction>& functions, CellRecords* out) {
  const std::size_t width = source.width();
  const std::size_t measures = out != nullptr ? functions.size() : 0;
  std::size_t split = 0;
  while (split < width && from[split] == to[split]) ++split;
  std::vector<std::uint32_t> key(width), prefix(width);
  std::vector<std::uint32_t> run_members;  // the run's groups, `width` members each
  std::vector<CellValue> run_values;       // and their `measures` values
  // The run's groups by their members after the split: the members up to it are the run's.
  HashSlots groups;
  std::uint64_t total = 0;
  const std::size_t hashed = std::min(width, split + 1);
  auto hash = [&](const std::uint32_t* members) {
    return HashNumbers(members + hashed, width - hashed);
  };
  auto hash_of = [&](std::size_t group) { return hash(&run_members[group * width]); };
  auto flush = [&] {
    const std::size_t count = run_members.size() / width;
    total += count;
    if (out != nullptr) {
      std::vector<std::uint32_t> order(count);
      std::iota(order.begin(), order.end(), 0u);
      std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return std::lexicographical_compare(
            &run_members[a * width], &run_members[a * width + width], &run_members[b * width],
            &run_members[b * width + width]);
      });
      for (std::uint32_t g : order) {
        const std::size_t cell = out->Append(&run_members[g * width]);
        std::byte* record = out->Record(cell);
        for (std::size_t m = 0; m < measures; ++m)
          out->SetValue(record, m, run_values[g * measures + m]);
      }
    }
    groups.Clear(hash_of);
    run_members.clear();
    run_values.clear();
  };
  for (std::size_t i = 0; i < source.size(); ++i) {
    // The records lie in the order the rows made them: ask for one well ahead, so that it is at
    // hand when its turn comes.
    constexpr std::size_t kAhead = 16;
    if (i + kAhead < source.size()) __builtin_prefetch(source.InOrder(i + kAhead));
    const std::byte* record = source.InOrder(i);
    for (std::size_t c = 0; c < width; ++c) {
      const std::uint32_t member = source.Member(record, c);
      key[c] = from[c] == to[c] ? member : maps.up[c][to[c]][member - maps.first[c]];
    }
    if (i > 0 && !std::equal(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(split + 1),
                             prefix.begin())) {
      flush();
    }
    if (run_members.empty()) prefix = key;
    const std::uint64_t key_hash = hash(key.data());
    const HashSlots::Probe probe = groups.Find(key_hash, [&](std::size_t candidate) {
      return std::equal(key.begin(), key.end(), &run_members[candidate * width]);
    });
    std::size_t group = probe.entry;
    if (group == HashSlots::kNone) {
      run_members.insert(run_members.end(), key.begin(), key.end());
      run_values.resize(run_values.size() + measures);
      group = groups.Add(probe, key_hash, hash_of);
    }
    for (std::size_t m = 0; m < measures; ++m) {
      MergeValue(run_values[group * measures + m], source.Value(record, m), functions[m]);
    }
  }
  if (!run_members.empty()) flush();
  return total;
}

}  // namespace

std::vector<Rollup> ComputeRollups(const CubeSchema& schema, const BuiltCube& cube,
                                   std::optional<std::uint64_t> budget) {
  std::vector<Rollup> rollups;
  const CellRecords& cells = cube.cells;
  const std::uint64_t limit = budget.value_or(cells.size());
  const std::size_t width = cube.coordinates.size();
  if (cells.size() == 0 || limit == 0 || width == 0) return rollups;
  const AncestorMaps maps = MapAncestors(schema, cube);
  std::vector<std::size_t> heights(width);
  for (std::size_t c = 0; c < width; ++c) heights[c] = maps.up[c].size();
  const RollupLattice lattice(heights);
  if (lattice.size() > kMaxLatticeViews) return rollups;
  auto steps_of = [&](std::size_t view) {
    std::vector<std::size_t> steps(width);
    for (std::size_t c = 0; c < width; ++c) steps[c] = lattice.Up(view, c);
    return steps;
  };
  std::vector<AggregateFunction> functions;
  for (const Measure& measure : schema.measures) functions.push_back(measure.function);
  const std::vector<std::size_t> leaf(width, 0);
  const bool exact = (lattice.size() - 1) <= kExactCountWork / cells.size();
  std::vector<std::uint64_t> rows(lattice.size(), cells.size());
  for (std::size_t v = 1; v < lattice.size(); ++v) {
    const std::vector<std::size_t> steps = steps_of(v);
    if (exact) {
      rows[v] = GroupRows(cells, leaf, steps, maps, functions, nullptr);
    } else {
      // D possible combinations, N cells spread evenly over them: D (1 - (1 - 1/D)^N) of them
      // are expected to be taken.
      long double combinations = 1;
      for (std::size_t c = 0; c < width; ++c) combinations *= maps.members[c][steps[c]];
      const long double n = static_cast<long double>(cells.size());
      const long double expected =
          combinations <= 1 ? 1 : -combinations * std::expm1(n * std::log1p(-1 / combinations));
      rows[v] = expected < n ? static_cast<std::uint64_t>(std::ceil(expected)) : cells.size();
    }
  }
  const std::vector<std::size_t> picked = SelectRollups(lattice, rows, limit);
  // Finer views first, so that each can be computed from a finer one already built.
  std::vector<std::size_t> order(picked.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  auto total_steps = [&](std::size_t view) {
    const std::vector<std::size_t> steps = steps_of(view);
    return std::accumulate(steps.begin(), steps.end(), std::size_t{0});
  };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return total_steps(picked[a]) < total_steps(picked[b]);
  });
  rollups.resize(picked.size());
  std::vector<bool> built(picked.size(), false);
  for (std::size_t i : order) {
    const std::size_t view = picked[i];
    const CellRecords* source = &cells;
    std::size_t source_view = 0;
    for (std::size_t j = 0; j < picked.size(); ++j) {
      if (built[j] && lattice.Answers(picked[j], view) &&
          rollups[j].cells.size() < source->size()) {
        source = &rollups[j].cells;
        source_view = picked[j];
      }
    }
    Rollup& rollup = rollups[i];
    rollup.cells = cells.EmptyLike();
    GroupRows(*source, steps_of(source_view), steps_of(view), maps, functions, &rollup.cells);
    for (std::size_t c = 0; c < width; ++c)
      rollup.levels.push_back(heights[c] - 1 - lattice.Up(view, c));
    built[i] = true;
  }
  // An estimate may fall short of the rows a rollup got: the least useful go until the rollups
  // fit the budget.
  std::uint64_t total = 0;
  std::size_t keep = 0;
  while (keep < rollups.size() && total + rollups[keep].cells.size() <= limit) {
    total += rollups[keep++].cells.size();
  }
  rollups.resize(keep);
  return rollups;
}

void BuildRollups(const CubeSchema& schema, BuiltCube& cube, std::optional<std::uint64_t> budget) {
  cube.rollups = ComputeRollups(schema, cube, budget);
}

}  // namespace cubemill::provider::aggregate
