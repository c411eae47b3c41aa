// How the scan maps a stored row to the tuples it counts for: each member's ancestor at the
// depths a query needs, as flat arrays, and each axis's tuples in hash tables keyed by members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/key_table.h"
#include "query/binder/cube_model.h"
#include "query/execution/tuple_list.h"

namespace cubemill::query {

// Members numbered within their hierarchy (level by level), and for each (hierarchy, depth) a
// query needs, every member's ancestor at that depth.
class MemberAncestry {
 public:
  explicit MemberAncestry(const CubeModel& model);

  // A (hierarchy, depth) pair the query needs; returns its number for Ancestor().
  std::size_t Need(std::size_t hierarchy, int depth);
  // Member `m`'s number within its hierarchy.
  std::uint32_t LocalOf(std::size_t m) const { return local_[m]; }
  // The number of the ancestor at pair `pair`'s depth of the member numbered `local` in the
  // pair's hierarchy; kNone where the member is above that depth.
  std::uint32_t Ancestor(std::size_t pair, std::uint32_t local) const {
    return ancestors_[pair][local];
  }
  std::size_t HierarchyOf(std::size_t pair) const { return pairs_[pair].first; }

  static constexpr std::uint32_t kNone = UINT32_MAX;

 private:
  const CubeModel& model_;
  std::vector<std::uint32_t> local_;
  std::vector<std::pair<std::size_t, int>> pairs_;
  std::vector<std::vector<std::uint32_t>> ancestors_;
};

// The tuples of one axis (or the WHERE tuple) grouped by the depth of each of their members: a
// set may mix years and quarters. Per group a hash table from the members' numbers to the
// tuples, so that a row costs one lookup per group.
class AxisIndex {
 public:
  AxisIndex(const CubeModel& model, const TupleList& tuples, MemberAncestry& ancestry);

  // Appends to `found` the tuples (indexes into the list) a row counts for whose member in
  // each hierarchy has the number `row[h]`.
  void Match(const std::uint32_t* row, std::vector<std::uint32_t>& found) const;

 private:
  struct Group {
    std::vector<std::size_t> pairs;    // MemberAncestry pairs, one per member of the tuples
    KeyTable keys;                     // the members' numbers of each distinct tuple
    std::vector<std::uint32_t> first;  // tuples of key k: tuples[first[k]] to tuples[first[k+1]]
    std::vector<std::uint32_t> tuples;
  };
  const MemberAncestry& ancestry_;
  std::vector<Group> groups_;
  mutable std::vector<std::uint32_t> key_;  // the row's key, reused
};

}  // namespace cubemill::query
