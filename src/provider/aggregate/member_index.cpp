#include "provider/aggregate/member_index.h"

#include <utility>
#include <variant>

#include "provider/aggregate/member_key.h"
#include "provider/aggregate/time_levels.h"
#include "provider/aggregate/value_text.h"
#include "provider/engine_error.h"

namespace cubemill::provider::aggregate {

MemberIndex::MemberIndex(const ColumnPlan& plan) : levels_(plan.levels.size()) {
  for (const HierarchyPlan& hierarchy : plan.hierarchies) {
    std::uint32_t top = 0;
    for (std::size_t index : hierarchy.levels) {
      const LevelPlan& level = plan.levels[index];
      if (level.feed != Feed::kAll) continue;
      MemberState all;
      all.name = level.name;
      top = Add(std::move(all), static_cast<std::uint32_t>(index));
    }
    tops_.push_back(top);
  }
}

std::uint32_t MemberIndex::Add(MemberState member, std::uint32_t level_index) {
  member.level = level_index;
  members_.push_back(std::move(member));
  const auto number = static_cast<std::uint32_t>(members_.size());
  levels_[level_index].list.push_back(number);
  return number;
}

std::optional<Error> MemberIndex::CheckUnique(const LevelPlan& plan, LevelIndex& level,
                                              std::uint32_t parent, std::string_view key_bytes,
                                              const MemberState& member, std::uint32_t number,
                                              std::int64_t row_number) {
  auto parent_name = [this](std::uint32_t parent_number) {
    return parent_number == 0 ? std::string("(top)") : members_[parent_number - 1].name;
  };
  if (plan.unique_key) {
    const std::uint64_t hash = KeyTable::Hash(key_bytes);
    if (const std::uint32_t found = level.keys.Find(key_bytes, hash); found != 0) {
      return EngineError("row " + std::to_string(row_number) + ": level " + plan.display +
                             " is declared UNIQUE, but the key \"" + KeyText(member.key) +
                             "\" appears under \"" + parent_name(members_[found - 1].parent) +
                             "\" and under \"" + parent_name(parent) + "\"",
                         kDataErrorNumber);
    }
    level.keys.Add(key_bytes, hash, number);
  }
  if (plan.unique_name) {
    const std::uint64_t hash = KeyTable::Hash(member.name);
    if (const std::uint32_t found = level.names.Find(member.name, hash); found != 0) {
      if (members_[found - 1].parent != parent) {
        return EngineError("row " + std::to_string(row_number) + ": level " + plan.display +
                               " is declared UNIQUE_NAME, but the name \"" + member.name +
                               "\" appears under \"" + parent_name(members_[found - 1].parent) +
                               "\" and under \"" + parent_name(parent) + "\"",
                           kDataErrorNumber);
      }
    } else {
      level.names.Add(member.name, hash, number);
    }
  }
  return std::nullopt;
}

std::optional<Error> MemberIndex::FindOrAdd(const ColumnPlan& plan, std::size_t level_index,
                                            std::uint32_t parent, const std::vector<Value>& row,
                                            const std::vector<TimeSlot>& slots,
                                            std::int64_t row_number, std::uint32_t& member) {
  const LevelPlan& level_plan = plan.levels[level_index];
  LevelIndex& level = levels_[level_index];
  const Value* key_value = nullptr;
  const TimeSlot* slot = nullptr;
  bool is_null = false;
  if (level_plan.feed == Feed::kColumns) {
    key_value = &row[static_cast<std::size_t>(level_plan.key_column)];
    is_null = key_value->index() == 0;
    member = level.last.Find(parent, *key_value);
  } else {
    slot = &slots[static_cast<std::size_t>(level_plan.time_slot)];
    is_null = slot->is_null;
    member = level.last.Find(parent, *slot);
  }
  if (is_null) level.null_rows += row_weight_;
  if (member != 0) return std::nullopt;
  auto remember = [&level, parent, key_value, slot](std::uint32_t number) {
    if (key_value != nullptr) {
      level.last.Remember(parent, *key_value, number);
    } else {
      level.last.Remember(parent, *slot, number);
    }
  };
  key_buffer_.clear();
  AppendRaw(key_buffer_, &parent, sizeof parent);
  if (key_value != nullptr) {
    EncodeKey(*key_value, key_buffer_);
  } else if (is_null) {
    key_buffer_.push_back('N');
  } else if (HasNumericTimeKey(level_plan.type)) {
    std::int64_t key = TimeKey(level_plan.type, slot->moment);
    key_buffer_.push_back('I');
    AppendRaw(key_buffer_, &key, sizeof key);
  } else {
    key_buffer_.push_back('T');
    AppendTimeName(level_plan.type, slot->moment, slot->is_timestamp, key_buffer_);
  }
  const std::uint64_t hash = KeyTable::Hash(key_buffer_);
  if (const std::uint32_t found = level.members.Find(key_buffer_, hash); found != 0) {
    member = found;
    remember(found);
    return std::nullopt;
  }
  MemberState state;
  state.parent = parent;
  const auto name_column = static_cast<std::size_t>(level_plan.name_column);
  if (is_null) {
    if (key_value != nullptr && level_plan.name_column >= 0)
      state.name = ValueText(row[name_column]);
  } else if (key_value != nullptr) {
    state.key = MakeKey(*key_value);
    state.name = ValueText(level_plan.name_column >= 0 ? row[name_column] : *key_value);
  } else {
    if (HasNumericTimeKey(level_plan.type)) {
      state.key = TimeKey(level_plan.type, slot->moment);
    } else {
      state.key = key_buffer_.substr(sizeof parent + 1);
    }
    AppendTimeName(level_plan.type, slot->moment, slot->is_timestamp, state.name);
  }
  const auto number = static_cast<std::uint32_t>(members_.size() + 1);
  if (!is_null && (level_plan.unique_key || level_plan.unique_name)) {
    auto error =
        CheckUnique(level_plan, level, parent, std::string_view(key_buffer_).substr(sizeof parent),
                    state, number, row_number);
    if (error) return error;
  }
  if (seeded_ && moved_.empty())
    NoteMove(plan, level_index, parent, std::string_view(key_buffer_).substr(sizeof parent));
  level.members.Add(key_buffer_, hash, number);
  member = Add(std::move(state), static_cast<std::uint32_t>(level_index));
  remember(member);
  return std::nullopt;
}

std::uint32_t MemberIndex::Seed(const ColumnPlan& plan, std::size_t level_index,
                                std::uint32_t parent, MemberKey key, std::string name) {
  seeded_ = true;
  const LevelPlan& level_plan = plan.levels[level_index];
  LevelIndex& level = levels_[level_index];
  key_buffer_.clear();
  AppendRaw(key_buffer_, &parent, sizeof parent);
  EncodeMemberKey(key, key_buffer_);
  const std::uint64_t hash = KeyTable::Hash(key_buffer_);
  if (const std::uint32_t found = level.members.Find(key_buffer_, hash); found != 0) return found;
  const auto number = static_cast<std::uint32_t>(members_.size() + 1);
  const std::string_view key_bytes = std::string_view(key_buffer_).substr(sizeof parent);
  const bool is_null = std::holds_alternative<std::monostate>(key);
  const std::uint64_t key_hash = KeyTable::Hash(key_bytes);
  if (!is_null && level_plan.unique_key && level.keys.Find(key_bytes, key_hash) == 0)
    level.keys.Add(key_bytes, key_hash, number);
  if (!is_null && level_plan.unique_name) {
    const std::uint64_t name_hash = KeyTable::Hash(name);
    if (level.names.Find(name, name_hash) == 0) level.names.Add(name, name_hash, number);
  }
  // A key the seed has under two parents is one whose level repeats its keys across parents (a
  // city name in two countries): under a third it is one more such member, not a move.
  if (const std::size_t id = level.seeded.table.Find(key_bytes, key_hash); id == KeyTable::npos) {
    level.seeded.Add(key_bytes, key_hash, number);
  } else {
    level.seeded.numbers[id] = 0;
  }
  level.members.Add(key_buffer_, hash, number);
  MemberState state;
  state.key = std::move(key);
  state.name = std::move(name);
  state.parent = parent;
  return Add(std::move(state), static_cast<std::uint32_t>(level_index));
}

void MemberIndex::NoteMove(const ColumnPlan& plan, std::size_t level_index, std::uint32_t parent,
                           std::string_view key_bytes) {
  const LevelPlan& level_plan = plan.levels[level_index];
  if (level_plan.feed != Feed::kColumns || parent == 0 || key_bytes.empty() ||
      key_bytes.front() == 'N') {
    return;
  }
  const MemberState& parent_state = members_[parent - 1];
  if (plan.levels[parent_state.level].feed != Feed::kColumns) return;
  const std::uint32_t seeded =
      levels_[level_index].seeded.Find(key_bytes, KeyTable::Hash(key_bytes));
  if (seeded == 0) return;
  const MemberState& before = members_[seeded - 1];
  const std::string old_parent = before.parent == 0 ? "(top)" : members_[before.parent - 1].name;
  moved_ = "level " + level_plan.display + ": the member \"" + before.name + "\" appears under \"" +
           parent_state.name + "\" in the new rows and under \"" + old_parent +
           "\" in the base cube";
}

}  // namespace cubemill::provider::aggregate
