#include "provider/aggregate/rollup_lattice.h"

#include <limits>
#include <utility>

namespace cubemill::provider::aggregate {

RollupLattice::RollupLattice(std::vector<std::size_t> heights) : heights_(std::move(heights)) {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  for (std::size_t height : heights_) {
    strides_.push_back(size_);
    size_ = height != 0 && size_ > kMax / height ? kMax : size_ * height;
  }
}

bool RollupLattice::Answers(std::size_t finer, std::size_t coarser) const {
  for (std::size_t c = 0; c < heights_.size(); ++c) {
    if (Up(finer, c) > Up(coarser, c)) return false;
  }
  return true;
}

std::vector<std::size_t> SelectRollups(const RollupLattice& lattice,
                                       const std::vector<std::uint64_t>& rows,
                                       std::uint64_t budget) {
  std::vector<std::size_t> picked;
  const std::size_t views = lattice.size();
  if (views > kMaxLatticeViews || rows.size() != views || views < 2) return picked;
  // What answering each view costs now: the rows of the finest picked view answering it.
  std::vector<std::uint64_t> cost(views, rows[0]);
  std::vector<bool> taken(views, false);
  taken[0] = true;
  // answered[v]: the views v answers, found once.
  std::vector<std::vector<std::size_t>> answered(views);
  for (std::size_t v = 1; v < views; ++v) {
    for (std::size_t w = v; w < views; ++w) {  // a coarser view never has a lower number
      if (lattice.Answers(v, w)) answered[v].push_back(w);
    }
  }
  for (;;) {
    std::size_t best = 0;
    long double best_ratio = 0;
    for (std::size_t v = 1; v < views; ++v) {
      if (taken[v] || rows[v] == 0 || rows[v] > budget) continue;
      std::uint64_t benefit = 0;
      for (std::size_t w : answered[v]) {
        if (cost[w] > rows[v]) benefit += cost[w] - rows[v];
      }
      const long double ratio =
          static_cast<long double>(benefit) / static_cast<long double>(rows[v]);
      if (benefit > 0 && ratio > best_ratio) {
        best = v;
        best_ratio = ratio;
      }
    }
    if (best == 0) break;
    taken[best] = true;
    picked.push_back(best);
    budget -= rows[best];
    for (std::size_t w : answered[best]) {
      if (cost[w] > rows[best]) cost[w] = rows[best];
    }
  }
  return picked;
}

}  // namespace cubemill::provider::aggregate
