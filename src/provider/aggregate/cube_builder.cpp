#include "provider/aggregate/cube_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <numeric>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "provider/aggregate/cell_table.h"
#include "provider/aggregate/measure_accumulator.h"
#include "provider/aggregate/member_key.h"
#include "provider/aggregate/time_levels.h"
#include "provider/aggregate/value_text.h"
#include "provider/engine_error.h"
#include "provider/values/value_parsing.h"

namespace cubemill::provider {
namespace {

using aggregate::AccState;
using aggregate::Accumulator;
using aggregate::AccValue;
using aggregate::AddToSum;
using aggregate::AppendRaw;
using aggregate::Assign;
using aggregate::ClassOfType;
using aggregate::CompareKeys;
using aggregate::EncodeKey;
using aggregate::Input;
using aggregate::InputKind;
using aggregate::InputValue;
using aggregate::KeyText;
using aggregate::MakeKey;
using aggregate::ToCellValue;

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept {
    return std::hash<std::string_view>{}(text);
  }
};
// Encoded key (see EncodeKey) -> member number (index + 1).
using KeyIndex = std::unordered_map<std::string, std::uint32_t, TextHash, std::equal_to<>>;

enum class Feed { kAll, kColumns, kTime };

struct LevelState {
  std::size_t dimension = 0;
  std::size_t hierarchy = 0;
  std::size_t level = 0;
  LevelType type = LevelType::kRegular;
  bool by_key = false;
  bool unique_key = false;
  bool unique_name = false;
  std::string display;  // [Dimension].[Level] or [Dimension].[Hierarchy].[Level]
  Feed feed = Feed::kColumns;
  int key_column = -1;   // the column giving the key (the .NAME column when there is no key)
  int name_column = -1;  // the column giving the name; -1: the key's text
  int time_slot = -1;    // Feed::kTime: index into the time slots
  KeyIndex members;      // parent number + key -> member
  KeyIndex keys;         // UNIQUE: key -> first member
  KeyIndex names;        // UNIQUE_NAME: name -> first member
  std::vector<std::uint32_t> list;  // member numbers of this level
  std::int64_t null_rows = 0;
};

struct MemberState {
  MemberKey key;
  std::string name;
  std::uint32_t parent = 0;  // member number, 0 for none
  std::uint32_t level = 0;   // index into levels_
};

struct HierarchyState {
  std::vector<std::size_t> levels;  // indices into levels_, ALL level included
  std::uint32_t top_parent = 0;     // the ALL member's number, or 0
  int time_slot = -1;               // a TIME column feeding this hierarchy
};

struct TimeSlot {
  std::size_t column = 0;
  bool is_null = true;
  bool is_timestamp = false;
  Timestamp moment;
};

struct MeasureState {
  AggregateFunction function = AggregateFunction::kSum;
  NumberClass number_class = NumberClass::kAny;
  std::string name;
  int column = -1;
  bool overflowed = false;
};

}  // namespace

struct CubeBuilder::State {
  std::optional<Error> setup_error;
  std::optional<Error> failed;  // the error that stopped the build
  std::size_t column_count = 0;
  std::vector<ColumnHint> hints;
  std::vector<std::string> targets;  // per column, for messages
  std::vector<LevelState> levels;
  std::vector<HierarchyState> hierarchies;
  std::vector<Coordinate> coordinates;
  std::vector<MeasureState> measures;
  std::vector<TimeSlot> time_slots;
  std::vector<MemberState> members;
  CellTable cells{0};
  std::vector<Accumulator> accumulators;  // measures.size() per cell
  std::int64_t rows = 0;
  bool finished = false;
  // Per-row scratch, kept to avoid allocations.
  std::string key_buffer;
  std::vector<std::uint32_t> coords;
  std::vector<Input> inputs;

  void Setup(const CubeSchema& schema, const InsertInto& insert);
  Error ValueError(std::size_t column, const Value& value, const char* what) const;
  std::optional<Error> ReadTimes(const std::vector<Value>& row);
  std::optional<Error> ReadMeasures(const std::vector<Value>& row);
  std::optional<Error> FindOrAddMember(LevelState& level, std::uint32_t level_index,
                                       std::uint32_t parent, const std::vector<Value>& row,
                                       std::uint32_t& member);
  std::optional<Error> CheckUnique(LevelState& level, std::uint32_t parent,
                                   std::string_view key_bytes, const MemberState& member,
                                   std::uint32_t number);
  void Accumulate(std::uint32_t cell);
  std::uint32_t AddMember(MemberState member, std::uint32_t level_index);
  BuiltCube Assemble();
};

void CubeBuilder::State::Setup(const CubeSchema& schema, const InsertInto& insert) {
  auto fail = [this](std::string text) {
    if (!setup_error) setup_error = EngineError(std::move(text), kStatementErrorNumber);
  };
  // Levels, hierarchies and the ALL members.
  std::vector<std::vector<std::size_t>> first_level_of_hierarchy(schema.dimensions.size());
  for (std::size_t d = 0; d < schema.dimensions.size(); ++d) {
    const Dimension& dimension = schema.dimensions[d];
    for (std::size_t h = 0; h < dimension.hierarchies.size(); ++h) {
      const Hierarchy& hierarchy = dimension.hierarchies[h];
      first_level_of_hierarchy[d].push_back(hierarchies.size());
      HierarchyState hierarchy_state;
      coordinates.push_back(Coordinate{d, h});
      for (std::size_t l = 0; l < hierarchy.levels.size(); ++l) {
        const Level& level = hierarchy.levels[l];
        LevelState state;
        state.dimension = d;
        state.hierarchy = h;
        state.level = l;
        state.type = level.type;
        state.by_key = level.order == MemberOrder::kByKey;
        state.unique_key = level.unique_key;
        state.unique_name = level.unique_name;
        state.display = Bracketed(dimension.name) +
                        (dimension.named_hierarchies ? "." + Bracketed(hierarchy.name) : "") + "." +
                        Bracketed(level.name);
        hierarchy_state.levels.push_back(levels.size());
        if (level.type == LevelType::kAll) {
          state.feed = Feed::kAll;
          levels.push_back(std::move(state));
          MemberState all;
          all.name = level.name;
          hierarchy_state.top_parent =
              AddMember(std::move(all), static_cast<std::uint32_t>(levels.size() - 1));
        } else {
          levels.push_back(std::move(state));
        }
      }
      hierarchies.push_back(std::move(hierarchy_state));
    }
  }
  for (const Measure& measure : schema.measures) {
    MeasureState state;
    state.function = measure.function;
    state.number_class = ClassOfType(measure.type);
    state.name = measure.name;
    measures.push_back(std::move(state));
  }
  // Columns.
  column_count = insert.columns.size();
  hints.assign(column_count, ColumnHint::kAny);
  for (std::size_t c = 0; c < insert.columns.size(); ++c) {
    const ColumnBinding& binding = insert.columns[c];
    targets.push_back(binding.target);
    const int column = static_cast<int>(c);
    switch (binding.role) {
      case ColumnRole::kSkip:
        break;
      case ColumnRole::kLevel:
      case ColumnRole::kLevelKey:
      case ColumnRole::kLevelName: {
        if (binding.dimension >= schema.dimensions.size() ||
            binding.hierarchy >= schema.dimensions[binding.dimension].hierarchies.size() ||
            binding.level >=
                schema.dimensions[binding.dimension].hierarchies[binding.hierarchy].levels.size()) {
          fail("INSERT INTO: target \"" + binding.target + "\" names no level of the cube");
          break;
        }
        std::size_t hierarchy = first_level_of_hierarchy[binding.dimension][binding.hierarchy];
        LevelState& level = levels[hierarchies[hierarchy].levels[binding.level]];
        if (level.feed == Feed::kAll) {
          fail("INSERT INTO: target \"" + binding.target + "\" feeds the ALL level " +
               level.display);
          break;
        }
        if (binding.role != ColumnRole::kLevelName) level.key_column = column;
        if (binding.role == ColumnRole::kLevelName) level.name_column = column;
        break;
      }
      case ColumnRole::kTime: {
        if (binding.dimension >= schema.dimensions.size() ||
            (binding.hierarchy != kAllHierarchies &&
             binding.hierarchy >= schema.dimensions[binding.dimension].hierarchies.size())) {
          fail("INSERT INTO: target \"" + binding.target + "\" names no dimension of the cube");
          break;
        }
        hints[c] = ColumnHint::kDateTime;
        int slot = static_cast<int>(time_slots.size());
        TimeSlot time_slot;
        time_slot.column = c;
        time_slots.push_back(time_slot);
        const auto& dimension_hierarchies = first_level_of_hierarchy[binding.dimension];
        for (std::size_t h = 0; h < dimension_hierarchies.size(); ++h) {
          if (binding.hierarchy == kAllHierarchies || binding.hierarchy == h) {
            hierarchies[dimension_hierarchies[h]].time_slot = slot;
          }
        }
        break;
      }
      case ColumnRole::kMeasure: {
        if (binding.measure >= measures.size()) {
          fail("INSERT INTO: target \"" + binding.target + "\" names no measure of the cube");
          break;
        }
        MeasureState& measure = measures[binding.measure];
        measure.column = column;
        if (measure.function != AggregateFunction::kCount) {
          if (measure.number_class == NumberClass::kInteger) hints[c] = ColumnHint::kInteger;
          if (measure.number_class == NumberClass::kReal) hints[c] = ColumnHint::kReal;
        }
        break;
      }
    }
  }
  // Every non-ALL level and every measure needs a column.
  for (const HierarchyState& hierarchy : hierarchies) {
    for (std::size_t index : hierarchy.levels) {
      LevelState& level = levels[index];
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
  for (const MeasureState& measure : measures) {
    if (measure.column < 0)
      fail("INSERT INTO: no column feeds the measure " + Bracketed(measure.name));
  }
  cells = CellTable(hierarchies.size());
  coords.assign(hierarchies.size(), 0);
  inputs.assign(measures.size(), Input{});
}

std::uint32_t CubeBuilder::State::AddMember(MemberState member, std::uint32_t level_index) {
  member.level = level_index;
  members.push_back(std::move(member));
  auto number = static_cast<std::uint32_t>(members.size());
  levels[level_index].list.push_back(number);
  return number;
}

Error CubeBuilder::State::ValueError(std::size_t column, const Value& value,
                                     const char* what) const {
  return EngineError("row " + std::to_string(rows) + ", column " + std::to_string(column + 1) +
                         " \"" + targets[column] + "\": \"" + ValueText(value) + "\" is not " +
                         what,
                     kDataErrorNumber);
}

std::optional<Error> CubeBuilder::State::ReadTimes(const std::vector<Value>& row) {
  for (TimeSlot& slot : time_slots) {
    const Value& value = row[slot.column];
    slot.is_null = false;
    switch (value.index()) {
      case 0:
        slot.is_null = true;
        break;
      case 3: {
        const auto parsed = values::ParseDateTime(std::get<std::string_view>(value));
        if (!parsed) return ValueError(slot.column, value, "a date");
        slot.is_timestamp = std::holds_alternative<Timestamp>(*parsed);
        slot.moment = slot.is_timestamp ? std::get<Timestamp>(*parsed)
                                        : Timestamp{std::get<Date>(*parsed), 0, 0, 0};
        break;
      }
      case 4:
        slot.moment = Timestamp{std::get<Date>(value), 0, 0, 0};
        slot.is_timestamp = false;
        if (!IsValidDate(slot.moment.date)) return ValueError(slot.column, value, "a date");
        break;
      case 5:
        slot.moment = std::get<Timestamp>(value);
        slot.is_timestamp = true;
        if (!IsValidDate(slot.moment.date)) return ValueError(slot.column, value, "a date");
        break;
      default:
        return ValueError(slot.column, value, "a date");
    }
  }
  return std::nullopt;
}

std::optional<Error> CubeBuilder::State::ReadMeasures(const std::vector<Value>& row) {
  for (std::size_t m = 0; m < measures.size(); ++m) {
    const MeasureState& measure = measures[m];
    const Value& value = row[static_cast<std::size_t>(measure.column)];
    Input& input = inputs[m];
    if (value.index() == 0) {
      input.kind = InputKind::kNull;
      continue;
    }
    if (measure.function == AggregateFunction::kCount) {
      input.kind = InputKind::kPresent;
      continue;
    }
    switch (value.index()) {
      case 1:
        input.kind = InputKind::kInteger;
        input.integer = std::get<std::int64_t>(value);
        break;
      case 2:
        input.kind = InputKind::kReal;
        input.real = std::get<double>(value);
        break;
      case 3: {
        const auto number = values::ParseNumber(std::get<std::string_view>(value));
        if (!number) return ValueError(static_cast<std::size_t>(measure.column), value, "a number");
        if (number->index() == 0) {
          input.kind = InputKind::kInteger;
          input.integer = std::get<std::int64_t>(*number);
        } else {
          input.kind = InputKind::kReal;
          input.real = std::get<double>(*number);
        }
        break;
      }
      default:
        return ValueError(static_cast<std::size_t>(measure.column), value, "a number");
    }
    if (input.kind == InputKind::kReal && !std::isfinite(input.real)) {
      return ValueError(static_cast<std::size_t>(measure.column), value, "a finite number");
    }
    if (measure.number_class == NumberClass::kReal && input.kind == InputKind::kInteger) {
      input.kind = InputKind::kReal;
      input.real = static_cast<double>(input.integer);
    } else if (measure.number_class == NumberClass::kInteger && input.kind == InputKind::kReal &&
               values::AsExactInteger(input.real, input.integer)) {
      input.kind = InputKind::kInteger;
    }
  }
  return std::nullopt;
}

std::optional<Error> CubeBuilder::State::CheckUnique(LevelState& level, std::uint32_t parent,
                                                     std::string_view key_bytes,
                                                     const MemberState& member,
                                                     std::uint32_t number) {
  auto parent_name = [this](std::uint32_t parent_number) {
    return parent_number == 0 ? std::string("(top)") : members[parent_number - 1].name;
  };
  if (level.unique_key) {
    auto found = level.keys.find(key_bytes);
    if (found != level.keys.end()) {
      return EngineError("row " + std::to_string(rows) + ": level " + level.display +
                             " is declared UNIQUE, but the key \"" + KeyText(member.key) +
                             "\" appears under \"" +
                             parent_name(members[found->second - 1].parent) + "\" and under \"" +
                             parent_name(parent) + "\"",
                         kDataErrorNumber);
    }
    level.keys.emplace(std::string(key_bytes), number);
  }
  if (level.unique_name) {
    auto found = level.names.find(std::string_view(member.name));
    if (found != level.names.end()) {
      if (members[found->second - 1].parent != parent) {
        return EngineError("row " + std::to_string(rows) + ": level " + level.display +
                               " is declared UNIQUE_NAME, but the name \"" + member.name +
                               "\" appears under \"" +
                               parent_name(members[found->second - 1].parent) + "\" and under \"" +
                               parent_name(parent) + "\"",
                           kDataErrorNumber);
      }
    } else {
      level.names.emplace(member.name, number);
    }
  }
  return std::nullopt;
}

std::optional<Error> CubeBuilder::State::FindOrAddMember(LevelState& level,
                                                         std::uint32_t level_index,
                                                         std::uint32_t parent,
                                                         const std::vector<Value>& row,
                                                         std::uint32_t& member) {
  key_buffer.clear();
  AppendRaw(key_buffer, &parent, sizeof parent);
  const Value* key_value = nullptr;
  const TimeSlot* slot = nullptr;
  bool is_null = false;
  if (level.feed == Feed::kColumns) {
    key_value = &row[static_cast<std::size_t>(level.key_column)];
    is_null = key_value->index() == 0;
    EncodeKey(*key_value, key_buffer);
  } else {
    slot = &time_slots[static_cast<std::size_t>(level.time_slot)];
    is_null = slot->is_null;
    if (is_null) {
      key_buffer.push_back('N');
    } else if (HasNumericTimeKey(level.type)) {
      std::int64_t key = TimeKey(level.type, slot->moment);
      key_buffer.push_back('I');
      AppendRaw(key_buffer, &key, sizeof key);
    } else {
      key_buffer.push_back('T');
      AppendTimeName(level.type, slot->moment, slot->is_timestamp, key_buffer);
    }
  }
  if (is_null) ++level.null_rows;
  auto found = level.members.find(std::string_view(key_buffer));
  if (found != level.members.end()) {
    member = found->second;
    return std::nullopt;
  }
  MemberState state;
  state.parent = parent;
  if (is_null) {
    if (key_value != nullptr && level.name_column >= 0) {
      state.name = ValueText(row[static_cast<std::size_t>(level.name_column)]);
    }
  } else if (key_value != nullptr) {
    state.key = MakeKey(*key_value);
    state.name = ValueText(level.name_column >= 0 ? row[static_cast<std::size_t>(level.name_column)]
                                                  : *key_value);
  } else {
    if (HasNumericTimeKey(level.type)) {
      state.key = TimeKey(level.type, slot->moment);
    } else {
      state.key = key_buffer.substr(sizeof parent + 1);
    }
    AppendTimeName(level.type, slot->moment, slot->is_timestamp, state.name);
  }
  auto number = static_cast<std::uint32_t>(members.size() + 1);
  if (!is_null && (level.unique_key || level.unique_name)) {
    auto error = CheckUnique(level, parent, std::string_view(key_buffer).substr(sizeof parent),
                             state, number);
    if (error) return error;
  }
  level.members.emplace(key_buffer, number);
  member = AddMember(std::move(state), level_index);
  return std::nullopt;
}

void CubeBuilder::State::Accumulate(std::uint32_t cell) {
  Accumulator* accumulators_of_cell =
      &accumulators[static_cast<std::size_t>(cell) * measures.size()];
  for (std::size_t m = 0; m < measures.size(); ++m) {
    const Input& input = inputs[m];
    if (input.kind == InputKind::kNull) continue;
    Accumulator& acc = accumulators_of_cell[m];
    switch (measures[m].function) {
      case AggregateFunction::kCount:
        if (acc.state == AccState::kEmpty) {
          acc.state = AccState::kInteger;
          acc.integer = 0;
        }
        ++acc.integer;
        break;
      case AggregateFunction::kSum:
        if (!AddToSum(acc, input)) measures[m].overflowed = true;
        break;
      case AggregateFunction::kMin:
        if (acc.state == AccState::kEmpty || InputValue(input) < AccValue(acc)) Assign(acc, input);
        break;
      case AggregateFunction::kMax:
        if (acc.state == AccState::kEmpty || InputValue(input) > AccValue(acc)) Assign(acc, input);
        break;
    }
  }
}

BuiltCube CubeBuilder::State::Assemble() {
  BuiltCube cube;
  cube.coordinates = coordinates;
  cube.measure_count = measures.size();
  cube.source_rows = rows;
  // Positions: level by level from the top, parents' order first, then the level's order.
  std::vector<std::int64_t> position(members.size() + 1, 0);
  std::vector<std::uint32_t> new_number(members.size() + 1, 0);
  std::uint32_t next_number = 1;
  for (const HierarchyState& hierarchy : hierarchies) {
    for (std::size_t index : hierarchy.levels) {
      LevelState& level = levels[index];
      std::vector<std::uint32_t>& list = level.list;
      auto order = [&](std::uint32_t a, std::uint32_t b) {
        const MemberState& x = members[a - 1];
        const MemberState& y = members[b - 1];
        if (position[x.parent] != position[y.parent])
          return position[x.parent] < position[y.parent];
        int by_key = CompareKeys(x.key, y.key);
        int by_name = x.name.compare(y.name);
        int first = level.by_key ? by_key : by_name;
        int second = level.by_key ? by_name : by_key;
        if (first != 0) return first < 0;
        return second < 0;
      };
      std::stable_sort(list.begin(), list.end(), order);
      for (std::size_t i = 0; i < list.size(); ++i) {
        position[list[i]] = static_cast<std::int64_t>(i);
        new_number[list[i]] = next_number++;
      }
    }
  }
  cube.members.resize(members.size());
  for (std::size_t old = 1; old <= members.size(); ++old) {
    MemberState& state = members[old - 1];
    const LevelState& level = levels[state.level];
    Member& member = cube.members[new_number[old] - 1];
    member.id = new_number[old];
    member.parent = state.parent == 0 ? 0 : new_number[state.parent];
    member.dimension = level.dimension;
    member.hierarchy = level.hierarchy;
    member.level = level.level;
    member.key = std::move(state.key);
    member.name = std::move(state.name);
    member.position = position[old];
  }
  // Cells in the order of their members.
  // Sizes in locals the lambdas copy, so the loops keep them in registers.
  const std::size_t width = coordinates.size();
  const std::size_t cell_count = cells.size();
  cube.cell_count = cell_count;
  std::vector<std::int64_t> renumbered(cell_count * width);
  for (std::size_t cell = 0; cell < cell_count; ++cell) {
    const std::uint32_t* cell_members = cells.Members(cell);
    for (std::size_t i = 0; i < width; ++i)
      renumbered[cell * width + i] = new_number[cell_members[i]];
  }
  std::vector<std::uint32_t> order(cells.size());
  std::iota(order.begin(), order.end(), 0U);
  std::sort(order.begin(), order.end(), [&renumbered, width](std::uint32_t a, std::uint32_t b) {
    const std::int64_t* x = renumbered.data() + a * width;
    const std::int64_t* y = renumbered.data() + b * width;
    return std::lexicographical_compare(x, x + width, y, y + width);
  });
  cube.cell_members.reserve(cells.size() * width);
  cube.cell_values.reserve(cells.size() * measures.size());
  for (std::uint32_t cell : order) {
    const std::int64_t* cell_members = renumbered.data() + cell * width;
    cube.cell_members.insert(cube.cell_members.end(), cell_members, cell_members + width);
    for (std::size_t m = 0; m < measures.size(); ++m) {
      cube.cell_values.push_back(ToCellValue(accumulators[cell * measures.size() + m]));
    }
  }
  // Warnings.
  for (const LevelState& level : levels) {
    if (level.null_rows > 0) {
      cube.warnings.push_back("level " + level.display + ": " + std::to_string(level.null_rows) +
                              (level.null_rows == 1 ? " row" : " rows") +
                              " had no value (NULL) and went to a member with an empty name");
    }
  }
  for (const MeasureState& measure : measures) {
    if (measure.overflowed) {
      cube.warnings.push_back("measure " + Bracketed(measure.name) +
                              ": an integer sum exceeded 64 bits and was kept as a real number");
    }
  }
  return cube;
}

CubeBuilder::CubeBuilder(const CubeSchema& schema, const InsertInto& insert)
    : state_(std::make_unique<State>()) {
  state_->Setup(schema, insert);
}

CubeBuilder::~CubeBuilder() = default;
CubeBuilder::CubeBuilder(CubeBuilder&&) noexcept = default;
CubeBuilder& CubeBuilder::operator=(CubeBuilder&&) noexcept = default;

std::vector<ColumnHint> CubeBuilder::Hints() const { return state_->hints; }

std::int64_t CubeBuilder::RowCount() const { return state_->rows; }

std::optional<Error> CubeBuilder::AddRow(const std::vector<Value>& row) {
  State& s = *state_;
  if (s.setup_error) return s.setup_error;
  if (s.failed) return s.failed;
  if (s.finished) return EngineError("the cube build has already finished", kDataErrorNumber);
  ++s.rows;
  auto fail = [&s](Error error) {
    s.failed = error;
    return std::optional<Error>(std::move(error));
  };
  if (row.size() != s.column_count) {
    return fail(EngineError("row " + std::to_string(s.rows) + ": the source delivered " +
                                std::to_string(row.size()) + " columns, INSERT INTO has " +
                                std::to_string(s.column_count) + " targets",
                            kDataErrorNumber));
  }
  if (auto error = s.ReadTimes(row)) return fail(std::move(*error));
  if (auto error = s.ReadMeasures(row)) return fail(std::move(*error));
  for (std::size_t h = 0; h < s.hierarchies.size(); ++h) {
    const HierarchyState& hierarchy = s.hierarchies[h];
    std::uint32_t parent = hierarchy.top_parent;
    for (std::size_t index : hierarchy.levels) {
      LevelState& level = s.levels[index];
      if (level.feed == Feed::kAll) continue;
      std::uint32_t member = 0;
      if (auto error =
              s.FindOrAddMember(level, static_cast<std::uint32_t>(index), parent, row, member)) {
        return fail(std::move(*error));
      }
      parent = member;
    }
    s.coords[h] = parent;
  }
  std::uint32_t cell = s.cells.FindOrAdd(s.coords.data());
  if (static_cast<std::size_t>(cell) * s.measures.size() >= s.accumulators.size()) {
    s.accumulators.resize((static_cast<std::size_t>(cell) + 1) * s.measures.size());
  }
  s.Accumulate(cell);
  return std::nullopt;
}

Result<BuiltCube> CubeBuilder::Finish() {
  State& s = *state_;
  if (s.setup_error) return *s.setup_error;
  if (s.failed) return *s.failed;
  if (s.finished) return EngineError("the cube build has already finished", kDataErrorNumber);
  s.finished = true;
  BuiltCube cube = s.Assemble();
  State empty;
  s.members = std::move(empty.members);
  s.levels.clear();
  s.accumulators = {};
  s.cells = CellTable(0);
  return cube;
}

}  // namespace cubemill::provider
