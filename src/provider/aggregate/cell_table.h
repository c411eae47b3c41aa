// A hash table from leaf-member combinations to cell numbers, stored flat so that looking up a
// known combination allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cubemill::provider {

class CellTable {
 public:
  // A table whose combinations have `width` member numbers each.
  explicit CellTable(std::size_t width);

  // Returns the number (0-based, in order of first appearance) of the cell for the `width`
  // member numbers at `members`, adding the cell when it is new.
  std::uint32_t FindOrAdd(const std::uint32_t* members);

  // Number of cells.
  std::size_t size() const { return count_; }
  // The member numbers of cell `cell`.
  const std::uint32_t* Members(std::size_t cell) const { return &members_[cell * width_]; }

 private:
  std::size_t Hash(const std::uint32_t* members) const;
  bool Equal(std::size_t cell, const std::uint32_t* members) const;
  void Grow();

  std::size_t width_;
  std::size_t count_ = 0;
  std::size_t last_ = static_cast<std::size_t>(-1);  // the cell found last: rows come in runs
  std::vector<std::uint32_t> members_;               // width_ numbers per cell
  std::vector<std::uint32_t> slots_;  // cell number + 1, 0 when free; size a power of two
};

}  // namespace cubemill::provider
