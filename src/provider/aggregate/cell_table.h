// A hash table from leaf-member combinations to cells, whose records it holds; looking up a
// known combination allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/hash_slots.h"
#include "provider/aggregate/cell_records.h"

namespace cubemill::provider::aggregate {

class CellTable {
 public:
  // A table whose combinations have `width` member numbers each, for cells of `measure_count`
  // measures, those marked in `rests` keeping the rests of real sums (CellRecords).
  CellTable(std::size_t width, std::size_t measure_count, std::vector<bool> rests = {});

  // Returns the number (0-based, in order of first appearance) of the cell for the `width`
  // member numbers at `members`, adding the cell, every measure NULL, when it is new.
  std::uint32_t FindOrAdd(const std::uint32_t* members);

  // Makes room for `cells` cells in an empty table, so that adding them never grows it.
  void Reserve(std::size_t cells);

  // Number of cells.
  std::size_t size() const { return records_.size(); }
  CellRecords& records() { return records_; }

  // Returns the cells, and in `scratch` the memory of the table's slots, emptied but with room
  // for more numbers than there are cells, for the ordering of the cells to reuse. The table is
  // empty afterwards.
  CellRecords TakeRecords(std::vector<std::uint64_t>& scratch);

 private:
  std::uint64_t Hash(const std::uint32_t* members) const;
  std::uint64_t HashOfCell(std::size_t cell) const;  // Hash of the cell's own numbers
  bool Equal(std::size_t cell, const std::uint32_t* members) const;

  std::size_t width_;
  std::size_t last_ = static_cast<std::size_t>(-1);  // the cell found last: rows come in runs
  CellRecords records_;
  // Slots of 2^10 and more: a table starts at the size of a small cube. A slot holds a tag and
  // the cell's number, the record lies in records_: 8 bytes a slot, at most 4/3 slots a cell.
  HashSlots slots_{10};
};

}  // namespace cubemill::provider::aggregate
