// The lattice of level combinations of a cube (one level per hierarchy, from the leaf up to the
// ALL or top level) and the greedy choice of the combinations worth storing as rollups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cubemill::provider::aggregate {

// More level combinations than this and no rollups are chosen: the greedy choice compares every
// combination with every other once per pick.
inline constexpr std::size_t kMaxLatticeViews = 4096;

// The level combinations of a cube. A view is numbered in mixed radix: its number is the sum
// over coordinates c of Up(view, c) * stride(c); view 0 is the leaf combination (the cells).
class RollupLattice {
 public:
  // `heights[c]`: how many levels coordinate c can be viewed at (the leaf and every level above
  // it, the ALL level included). Every height is at least 1.
  explicit RollupLattice(std::vector<std::size_t> heights);

  // Number of views: the product of the heights (saturating at SIZE_MAX).
  std::size_t size() const { return size_; }
  std::size_t coordinates() const { return heights_.size(); }
  // Levels view `view` stands above the leaf in coordinate `c`: 0 is the leaf level.
  std::size_t Up(std::size_t view, std::size_t c) const { return view / strides_[c] % heights_[c]; }
  // True when `finer` answers `coarser`: it is at or below it in every coordinate.
  bool Answers(std::size_t finer, std::size_t coarser) const;

 private:
  std::vector<std::size_t> heights_;
  std::vector<std::size_t> strides_;
  std::size_t size_ = 1;
};

// The greedy benefit-per-row choice over `lattice` (at most kMaxLatticeViews views, else
// nothing): `rows[v]` is the number of rows of view v (rows[0] the leaf cells, always there).
// Repeatedly picks, among the views not yet picked whose rows fit into what is left of
// `budget`, the one with the largest benefit per row, where the benefit is the sum over the
// views it answers of how many fewer rows they would read than from the finest picked view (or
// the cells) answering them now; stops when no view with a benefit fits. Returns the picked
// views in the order picked; ties go to the lower view number.
std::vector<std::size_t> SelectRollups(const RollupLattice& lattice,
                                       const std::vector<std::uint64_t>& rows,
                                       std::uint64_t budget);

}  // namespace cubemill::provider::aggregate
