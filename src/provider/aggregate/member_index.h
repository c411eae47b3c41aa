// The members of a cube build, found or added row by row under their parents, with the UNIQUE
// and UNIQUE_NAME checks of their levels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "common/key_table.h"
#include "provider/aggregate/built_cube.h"
#include "provider/aggregate/column_plan.h"
#include "provider/aggregate/last_value.h"
#include "provider/aggregate/row_values.h"
#include "provider/row_source.h"

namespace cubemill::provider::aggregate {

struct MemberState {
  MemberKey key;
  std::string name;
  std::uint32_t parent = 0;  // member number, 0 for none
  std::uint32_t level = 0;   // index into ColumnPlan::levels
};

class MemberIndex {
 public:
  MemberIndex() = default;
  // An index for the levels of `plan`, holding the ALL member of each hierarchy that has one.
  explicit MemberIndex(const ColumnPlan& plan);

  // The number of the ALL member of the `hierarchy`th hierarchy, or 0 when it has none.
  std::uint32_t TopOf(std::size_t hierarchy) const { return tops_[hierarchy]; }

  // Sets `member` to the number (1-based, in order of first appearance) of the member of the
  // level plan.levels[level_index] under `parent` that `row` (or, for a derived time level, its
  // slot in `slots`) gives, adding it when it is new. A row that repeats the level's last value
  // under the same parent finds it without a lookup. Returns a data error naming the
  // `row_number`th row when a UNIQUE (UNIQUE_NAME) level would see one key (name) under two
  // parents.
  std::optional<Error> FindOrAdd(const ColumnPlan& plan, std::size_t level_index,
                                 std::uint32_t parent, const std::vector<Value>& row,
                                 const std::vector<TimeSlot>& slots, std::int64_t row_number,
                                 std::uint32_t& member);

  // Adds a member of a cube built before (an incremental refresh's base, see cube_seed.h) under
  // `parent` and returns its number, as FindOrAdd would have for a row that gave `key` and
  // `name`; its key and name count for the UNIQUE checks of later rows. From then on, a new
  // member of a level fed by columns under a parent fed by columns whose key one seeded member of
  // the level has, under another parent, is noted (MovedMember): the parent of that key may have
  // changed, which the rows of the base, read again, would show everywhere. A key the seed has
  // under several parents is not noted: that level repeats its keys across parents.
  std::uint32_t Seed(const ColumnPlan& plan, std::size_t level_index, std::uint32_t parent,
                     MemberKey key, std::string name);
  // Adds `rows` to the rows that gave plan.levels[level_index] a NULL key (a seed's count).
  void AddNullRows(std::size_t level_index, std::int64_t rows) {
    levels_[level_index].null_rows += rows;
  }
  // The first new member whose key a seeded member has under another parent, described; "" when
  // none.
  const std::string& MovedMember() const { return moved_; }

  // Every member, the `n`th numbered n + 1.
  std::vector<MemberState>& members() { return members_; }
  // The numbers of the members of plan.levels[level_index], in order of first appearance.
  std::vector<std::uint32_t>& MembersOf(std::size_t level_index) {
    return levels_[level_index].list;
  }
  // How many rows gave plan.levels[level_index] a NULL key.
  std::int64_t NullRows(std::size_t level_index) const { return levels_[level_index].null_rows; }
  // Sets how many source rows the next rows given to FindOrAdd stand for (1 unless they are
  // groups of rows), for NullRows.
  void SetRowWeight(std::int64_t rows) { row_weight_ = rows; }

 private:
  // Byte strings, each with the number of the member it stands for.
  struct NumberedKeys {
    KeyTable table;
    std::vector<std::uint32_t> numbers;  // by the key's id in table

    // Returns the number stored for `key` (whose KeyTable::Hash is `hash`), or 0 when none is.
    std::uint32_t Find(std::string_view key, std::uint64_t hash) const {
      const std::size_t id = table.Find(key, hash);
      return id == KeyTable::npos ? 0 : numbers[id];
    }
    // Stores `number` for `key`, which is not held yet.
    void Add(std::string_view key, std::uint64_t hash, std::uint32_t number) {
      table.Insert(key, hash);
      numbers.push_back(number);
    }
  };

  struct LevelIndex {
    NumberedKeys members;             // parent number + encoded key -> member
    NumberedKeys keys;                // UNIQUE: encoded key -> first member
    NumberedKeys names;               // UNIQUE_NAME: name -> first member
    NumberedKeys seeded;              // encoded key -> the seeded member with it, 0 for several
    std::vector<std::uint32_t> list;  // member numbers of this level
    std::int64_t null_rows = 0;
    LastValue last;  // the value the last row gave, its parent and its member
  };

  std::int64_t row_weight_ = 1;
  bool seeded_ = false;  // Seed was called: new members are compared with the seeded keys
  std::string moved_;    // MovedMember

  std::uint32_t Add(MemberState member, std::uint32_t level_index);
  void NoteMove(const ColumnPlan& plan, std::size_t level_index, std::uint32_t parent,
                std::string_view key_bytes);
  std::optional<Error> CheckUnique(const LevelPlan& plan, LevelIndex& level, std::uint32_t parent,
                                   std::string_view key_bytes, const MemberState& member,
                                   std::uint32_t number, std::int64_t row_number);

  std::vector<LevelIndex> levels_;  // parallel to ColumnPlan::levels
  std::vector<MemberState> members_;
  std::vector<std::uint32_t> tops_;  // per hierarchy
  std::string key_buffer_;           // per-row scratch, kept to avoid allocations
};

}  // namespace cubemill::provider::aggregate
