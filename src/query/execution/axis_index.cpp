#include "query/execution/axis_index.h"

#include <map>
#include <stdexcept>

namespace cubemill::query {

MemberAncestry::MemberAncestry(const CubeModel& model) : model_(model) {
  if (model.MemberCount() >= kNone) throw std::length_error("the cube has too many members");
  local_.resize(model.MemberCount());
  for (std::size_t h = 0; h < model.HierarchyCount(); ++h) {
    const auto& members = model.MembersOfHierarchy(h);
    for (std::size_t i = 0; i < members.size(); ++i)
      local_[members[i]] = static_cast<std::uint32_t>(i);
  }
}

std::size_t MemberAncestry::Need(std::size_t hierarchy, int depth) {
  for (std::size_t p = 0; p < pairs_.size(); ++p)
    if (pairs_[p] == std::make_pair(hierarchy, depth)) return p;
  const auto& members = model_.MembersOfHierarchy(hierarchy);
  std::vector<std::uint32_t> ancestors(members.size(), kNone);
  // Members come level by level, top first: a member's ancestor at `depth` is its parent's,
  // known by the time the member is reached.
  for (std::size_t i = 0; i < members.size(); ++i) {
    const std::size_t m = members[i];
    const int own = model_.DepthOf(m);
    if (own == depth) {
      ancestors[i] = static_cast<std::uint32_t>(i);
    } else if (own > depth && model_.ParentOf(m) != CubeModel::npos) {
      ancestors[i] = ancestors[local_[model_.ParentOf(m)]];
    }
  }
  pairs_.emplace_back(hierarchy, depth);
  ancestors_.push_back(std::move(ancestors));
  return pairs_.size() - 1;
}

AxisIndex::AxisIndex(const CubeModel& model, const TupleList& tuples, MemberAncestry& ancestry)
    : ancestry_(ancestry) {
  if (tuples.count >= UINT32_MAX) throw std::length_error("an axis has too many tuples");
  std::vector<std::size_t> members;  // the coordinates that are members, not measures
  for (std::size_t i = 0; i < tuples.Arity(); ++i)
    if (tuples.shape[i] != kMeasuresHierarchy) members.push_back(i);
  // Each tuple's group (by the depth of each member) and key within it.
  std::map<std::vector<int>, std::size_t> group_of;
  std::vector<std::pair<std::size_t, std::size_t>> placed(tuples.count);  // group, key
  std::vector<int> depths(members.size());
  std::vector<std::uint32_t> key(members.size());
  for (std::size_t t = 0; t < tuples.count; ++t) {
    const std::size_t* tuple = tuples.At(t);
    for (std::size_t i = 0; i < members.size(); ++i) {
      depths[i] = model.DepthOf(tuple[members[i]]);
      key[i] = ancestry.LocalOf(tuple[members[i]]);
    }
    auto [at, added] = group_of.try_emplace(depths, groups_.size());
    if (added) {
      Group group{{}, KeyTable(members.size()), {}, {}};
      for (std::size_t i = 0; i < members.size(); ++i)
        group.pairs.push_back(ancestry.Need(tuples.shape[members[i]], depths[i]));
      groups_.push_back(std::move(group));
    }
    placed[t] = {at->second, groups_[at->second].keys.Insert(key.data())};
  }
  // The tuples of each key in a row, in the axis's order.
  for (Group& group : groups_) group.first.assign(group.keys.Size() + 1, 0);
  for (const auto& [group, k] : placed) ++groups_[group].first[k + 1];
  for (Group& group : groups_) {
    for (std::size_t k = 1; k < group.first.size(); ++k) group.first[k] += group.first[k - 1];
    group.tuples.resize(group.first.back());
  }
  std::vector<std::vector<std::uint32_t>> next(groups_.size());
  for (std::size_t g = 0; g < groups_.size(); ++g) next[g] = groups_[g].first;
  for (std::size_t t = 0; t < tuples.count; ++t) {
    const auto& [group, k] = placed[t];
    groups_[group].tuples[next[group][k]++] = static_cast<std::uint32_t>(t);
  }
  key_.resize(members.size());
}

void AxisIndex::Match(const std::uint32_t* row, std::vector<std::uint32_t>& found) const {
  for (const Group& group : groups_) {
    bool above = false;
    for (std::size_t i = 0; i < group.pairs.size() && !above; ++i) {
      const std::size_t pair = group.pairs[i];
      key_[i] = ancestry_.Ancestor(pair, row[ancestry_.HierarchyOf(pair)]);
      above = key_[i] == MemberAncestry::kNone;
    }
    if (above) continue;
    const std::size_t k = group.keys.Find(key_.data());
    if (k == KeyTable::npos) continue;
    found.insert(found.end(), group.tuples.begin() + group.first[k],
                 group.tuples.begin() + group.first[k + 1]);
  }
}

}  // namespace cubemill::query
