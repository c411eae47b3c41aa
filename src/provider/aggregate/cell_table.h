// A hash table from leaf-member combinations to cells, whose records it holds; looking up a
// known combination allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "provider/aggregate/cell_records.h"

namespace cubemill::provider::aggregate {

class CellTable {
 public:
  // A table whose combinations have `width` member numbers each, for cells of `measure_count`
  // measures.
  CellTable(std::size_t width, std::size_t measure_count);

  // Returns the number (0-based, in order of first appearance) of the cell for the `width`
  // member numbers at `members`, adding the cell, every measure NULL, when it is new.
  std::uint32_t FindOrAdd(const std::uint32_t* members);

  // Number of cells.
  std::size_t size() const { return records_.size(); }
  CellRecords& records() { return records_; }

  // Returns the cells, and in `scratch` the memory of the table's slots, emptied but with room
  // for more numbers than there are cells, for the ordering of the cells to reuse. The table is
  // empty afterwards.
  CellRecords TakeRecords(std::vector<std::uint64_t>& scratch);

 private:
  static constexpr unsigned kFirstBits = 10;

  std::uint64_t Hash(const std::uint32_t* members) const;
  std::uint64_t HashOfCell(std::size_t cell) const;  // Hash of the cell's own numbers
  // The first slot to look at for a hash: its top bits.
  std::size_t HomeOf(std::uint64_t hash) const {
    return static_cast<std::size_t>(hash >> (64 - bits_));
  }
  bool Equal(std::size_t cell, const std::uint32_t* members) const;
  void Grow();

  std::size_t width_;
  unsigned bits_ = kFirstBits;                       // slots: 1 << bits_
  std::size_t last_ = static_cast<std::size_t>(-1);  // the cell found last: rows come in runs
  CellRecords records_;
  // Per slot: a tag from the cell's hash and its number + 1, 0 when free. A power of two, at
  // most three quarters used.
  std::vector<std::uint64_t> slots_;
};

}  // namespace cubemill::provider::aggregate
