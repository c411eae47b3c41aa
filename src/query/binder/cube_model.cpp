#include "query/binder/cube_model.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/unicode_case.h"
#include "query/query_failure.h"

namespace cubemill::query {

namespace {

using provider::cubefile::CubeCatalog;

}  // namespace

std::string UnknownCube(std::string_view named, std::string_view held) {
  return "unknown cube " + Bracketed(named) + " (the file holds " + Bracketed(held) + ")";
}

CubeModel::CubeModel(const CubeCatalog& catalog) : catalog_(catalog) {
  std::unordered_map<std::int64_t, std::size_t> dimension_index, hierarchy_index;
  for (std::size_t d = 0; d < catalog.dimensions.size(); ++d)
    dimension_index[catalog.dimensions[d].id] = d;
  hierarchy_levels_.resize(catalog.hierarchies.size());
  hierarchy_members_.resize(catalog.hierarchies.size());
  for (std::size_t h = 0; h < catalog.hierarchies.size(); ++h) {
    hierarchy_index[catalog.hierarchies[h].id] = h;
    hierarchy_dimension_.push_back(dimension_index.at(catalog.hierarchies[h].dimension));
  }
  for (std::size_t l = 0; l < catalog.levels.size(); ++l) {
    level_ids_[catalog.levels[l].id] = l;
    level_hierarchy_.push_back(hierarchy_index.at(catalog.levels[l].hierarchy));
    hierarchy_levels_[level_hierarchy_.back()].push_back(l);
  }
  for (auto& levels : hierarchy_levels_) {
    std::sort(levels.begin(), levels.end(), [&](std::size_t a, std::size_t b) {
      return catalog.levels[a].ordinal < catalog.levels[b].ordinal;
    });
  }
  const std::size_t count = catalog.members.size();
  children_.resize(count);
  level_members_.resize(catalog.levels.size());
  std::int64_t last_id = 0;
  for (std::size_t m = 0; m < count; ++m) {
    ids_[catalog.members[m].id] = m;
    member_level_.push_back(level_ids_.at(catalog.members[m].level));
    level_members_[member_level_.back()].push_back(m);
    first_id_ = m == 0 ? catalog.members[m].id : std::min(first_id_, catalog.members[m].id);
    last_id = m == 0 ? catalog.members[m].id : std::max(last_id, catalog.members[m].id);
  }
  for (std::size_t m = 0; m < count; ++m) {
    const auto parent = ids_.find(catalog.members[m].parent);
    parent_.push_back(parent == ids_.end() ? npos : parent->second);
  }
  // Ids numbered 1, 2, 3... as the writer numbers them index a flat array: no hashing for the
  // member of each cell a query reads.
  if (count > 0 && static_cast<std::uint64_t>(last_id - first_id_) < 2 * count + 1024) {
    by_id_.assign(static_cast<std::size_t>(last_id - first_id_) + 1, npos);
    for (std::size_t m = 0; m < count; ++m)
      by_id_[static_cast<std::size_t>(catalog.members[m].id - first_id_)] = m;
    ids_.clear();
  }
  const auto by_position = [&](std::size_t a, std::size_t b) {
    return catalog.members[a].position < catalog.members[b].position;
  };
  for (auto& members : level_members_)
    std::stable_sort(members.begin(), members.end(), by_position);
  for (std::size_t l = 0; l < level_members_.size(); ++l) {
    for (std::size_t m : level_members_[l])
      if (parent_[m] != npos) children_[parent_[m]].push_back(m);
  }
  for (std::size_t h = 0; h < hierarchy_levels_.size(); ++h) {
    for (std::size_t l : hierarchy_levels_[h]) {
      hierarchy_members_[h].insert(hierarchy_members_[h].end(), level_members_[l].begin(),
                                   level_members_[l].end());
    }
  }
  level_position_.resize(count);
  for (const auto& members : level_members_)
    for (std::size_t i = 0; i < members.size(); ++i) level_position_[members[i]] = i;
  OrderHierarchies();
  NameSiblingsApart();
}

// Siblings may share a name: the text '' and NULL both show as "", two customers of one name
// under their ids. Of each such group the member without a key (there is at most one), or else
// the first in order, keeps the name in its unique name; the others are named by their key, so
// that every unique name names one member.
void CubeModel::NameSiblingsApart() {
  named_by_key_.assign(catalog_.members.size(), false);
  struct SiblingHash {
    std::size_t operator()(const std::pair<std::size_t, std::string_view>& s) const {
      return std::hash<std::string_view>()(s.second) * 31 + s.first;
    }
  };
  std::unordered_map<std::pair<std::size_t, std::string_view>, std::size_t, SiblingHash> keeper;
  for (const auto& members : level_members_) {
    keeper.clear();
    keeper.reserve(members.size());
    for (std::size_t m : members) {
      const auto [at, first] = keeper.try_emplace({parent_[m], catalog_.members[m].name}, m);
      if (first) continue;
      if (catalog_.members[m].key.has_value()) {
        named_by_key_[m] = true;
      } else {
        named_by_key_[at->second] = true;
        at->second = m;
      }
    }
  }
}

std::vector<std::size_t> CubeModel::KeepersOf(std::vector<std::size_t> found) const {
  if (found.size() < 2) return found;
  std::erase_if(found, [&](std::size_t m) { return named_by_key_[m]; });
  return found;
}

// Each hierarchy walked depth first from the members without a parent, top level first; a
// stack, not recursion, as a file may nest its members deeply.
void CubeModel::OrderHierarchies() {
  const std::size_t count = catalog_.members.size();
  hierarchy_order_.assign(count, npos);
  std::size_t order = 0;
  std::vector<std::size_t> stack;
  for (const auto& members : hierarchy_members_) {
    for (std::size_t top : members) {
      if (parent_[top] != npos || hierarchy_order_[top] != npos) continue;
      stack.push_back(top);
      while (!stack.empty()) {
        const std::size_t m = stack.back();
        stack.pop_back();
        if (hierarchy_order_[m] != npos) continue;
        hierarchy_order_[m] = order++;
        const auto& children = children_[m];
        for (auto child = children.rbegin(); child != children.rend(); ++child)
          stack.push_back(*child);
      }
    }
  }
  // A member on a parent cycle is reached from no top: after the rest.
  for (std::size_t m = 0; m < count; ++m)
    if (hierarchy_order_[m] == npos) hierarchy_order_[m] = order++;
}

std::size_t CubeModel::LevelIndex(std::int64_t id) const {
  const auto found = level_ids_.find(id);
  return found == level_ids_.end() ? npos : found->second;
}

std::size_t CubeModel::AncestorAt(std::size_t m, int depth) const {
  while (m != npos && DepthOf(m) > depth) m = parent_[m];
  return m != npos && DepthOf(m) == depth ? m : npos;
}

std::vector<std::size_t> CubeModel::MembersInHierarchyOrder(std::size_t h) const {
  std::vector<std::size_t> members = hierarchy_members_[h];
  std::sort(members.begin(), members.end(), [&](std::size_t a, std::size_t b) {
    return hierarchy_order_[a] < hierarchy_order_[b];
  });
  return members;
}

const std::string& CubeModel::HierarchyCaption(std::size_t h) const {
  const std::string& own = catalog_.hierarchies[h].name;
  return own.empty() ? catalog_.dimensions[hierarchy_dimension_[h]].name : own;
}

std::string CubeModel::HierarchyName(std::size_t h) const {
  std::string name = Bracketed(catalog_.dimensions[hierarchy_dimension_[h]].name);
  if (!catalog_.hierarchies[h].name.empty()) name += "." + Bracketed(catalog_.hierarchies[h].name);
  return name;
}

std::string CubeModel::UniqueName(std::size_t m) const {
  std::vector<std::size_t> path;
  for (std::size_t at = m; at != npos; at = parent_[at]) {
    if (catalog_.levels[member_level_[at]].is_all && at != m) break;
    path.push_back(at);
  }
  std::string name = HierarchyName(HierarchyOf(m)) + "." +
                     Bracketed(catalog_.levels[member_level_[path.back()]].name);
  for (auto at = path.rbegin(); at != path.rend(); ++at) {
    const provider::cubefile::StoredMember& member = catalog_.members[*at];
    name += named_by_key_[*at] ? ".&" + Bracketed(member.key.value_or(""))
                               : "." + Bracketed(member.name);
  }
  return name;
}

}  // namespace cubemill::query
