#include "query/binder/cube_model.h"

#include <algorithm>
#include <unordered_map>

#include "platform/unicode_case.h"
#include "query/query_failure.h"

namespace cubemill::query {

std::string Bracketed(std::string_view name) {
  std::string text = "[";
  for (char c : name) text += c == ']' ? std::string("]]") : std::string(1, c);
  return text + "]";
}

std::string MeasureUniqueName(std::string_view name) { return "[Measures]." + Bracketed(name); }

namespace {

using provider::cubefile::CubeCatalog;

// Indexes of `candidates` whose name equals `wanted`: exact matches, or when there is none,
// matches without regard to letter case.
template <typename NameOf>
std::vector<std::size_t> Matching(const std::vector<std::size_t>& candidates,
                                  const std::string& wanted, NameOf name_of) {
  std::vector<std::size_t> exact, folded;
  for (std::size_t c : candidates) {
    const std::string& name = name_of(c);
    if (name == wanted)
      exact.push_back(c);
    else if (exact.empty() && platform::EqualsFolded(name, wanted))
      folded.push_back(c);
  }
  return exact.empty() ? folded : exact;
}

std::vector<std::size_t> Indexes(std::size_t count) {
  std::vector<std::size_t> all(count);
  for (std::size_t i = 0; i < count; ++i) all[i] = i;
  return all;
}

// "A, B, C" for an error message: the first few names, then how many more.
template <typename NameOf>
std::string NameList(const std::vector<std::size_t>& items, NameOf name_of) {
  constexpr std::size_t kShown = 12;
  std::string list;
  for (std::size_t i = 0; i < items.size() && i < kShown; ++i)
    list += (i == 0 ? "" : ", ") + name_of(items[i]);
  if (items.size() > kShown) list += " and " + std::to_string(items.size() - kShown) + " more";
  return list.empty() ? "none" : list;
}

// A name part as an error message names it: [Madrid], &[7].
std::string PartText(const NamePart& part) { return NameText({part}); }

}  // namespace

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
  // Each hierarchy walked depth first from the members without a parent, top level first; a
  // stack, not recursion, as a file may nest its members deeply.
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
  for (auto at = path.rbegin(); at != path.rend(); ++at)
    name += "." + Bracketed(catalog_.members[*at].name);
  return name;
}

std::vector<std::size_t> CubeModel::MembersNamed(const std::string& name) const {
  std::call_once(names_indexed_, [this] {
    for (std::size_t m = 0; m < catalog_.members.size(); ++m) {
      if (!catalog_.levels[member_level_[m]].is_all)
        by_folded_name_.emplace(platform::FoldCase(catalog_.members[m].name), m);
    }
  });
  std::vector<std::size_t> exact, folded;
  const auto [first, last] = by_folded_name_.equal_range(platform::FoldCase(name));
  for (auto at = first; at != last; ++at) {
    (catalog_.members[at->second].name == name ? exact : folded).push_back(at->second);
  }
  std::vector<std::size_t>& found = exact.empty() ? folded : exact;
  std::sort(found.begin(), found.end());
  return found;
}

std::size_t CubeModel::FindDimension(const std::string& name) const {
  const auto found =
      Matching(Indexes(catalog_.dimensions.size()), name,
               [&](std::size_t d) -> const std::string& { return catalog_.dimensions[d].name; });
  return found.empty() ? npos : found.front();
}

std::vector<std::size_t> CubeModel::MatchAmong(const std::vector<std::size_t>& members,
                                               const NamePart& part) const {
  if (!part.is_key) {
    return Matching(members, part.text,
                    [&](std::size_t m) -> const std::string& { return catalog_.members[m].name; });
  }
  std::vector<std::size_t> found;
  for (std::size_t m : members) {
    if (catalog_.members[m].key == part.text) found.push_back(m);
  }
  return found;
}

void CubeModel::FailUnknownMember(const std::vector<NamePart>& parts, std::size_t failed,
                                  std::size_t hierarchy, std::size_t level, std::size_t parent,
                                  std::size_t position) const {
  const std::string name =
      NameText(std::vector<NamePart>(parts.begin(), parts.begin() + static_cast<long>(failed) + 1));
  const std::string under =
      NameText(std::vector<NamePart>(parts.begin(), parts.begin() + static_cast<long>(failed)));
  const std::string part = PartText(parts[failed]);
  if (parent != npos)
    throw QueryFailure("unknown member " + name + " (no member " + part + " under " + under + ")",
                       position);
  if (level != npos) {
    throw QueryFailure(
        "unknown member " + name + " (no member " + part + " in the level " + under + ")",
        position);
  }
  // Right below the hierarchy the part may have meant a level or a top member.
  const std::string levels = NameList(hierarchy_levels_[hierarchy],
                                      [&](std::size_t l) { return catalog_.levels[l].name; });
  std::string top;
  if (!hierarchy_levels_[hierarchy].empty()) {
    const auto& list = hierarchy_levels_[hierarchy];
    top = catalog_.levels[list.front()].is_all && list.size() > 1
              ? catalog_.levels[list[1]].name
              : catalog_.levels[list.front()].name;
  }
  throw QueryFailure("unknown level or member " + name + " (no level " + part + " in " + under +
                         "; its levels: " + levels + "; no member " + part + " in its level " +
                         top + ")",
                     position);
}

NameRef CubeModel::Resolve(const std::vector<NamePart>& parts, std::size_t position) const {
  const auto upto = [&](std::size_t count) {
    return NameText(std::vector<NamePart>(parts.begin(), parts.begin() + static_cast<long>(count)));
  };
  const NamePart& first = parts.front();
  if (!first.is_key && platform::EqualsFolded(first.text, "Measures")) {
    if (parts.size() == 1) return {NameRef::Kind::kMeasures, 0};
    const auto found =
        Matching(Indexes(catalog_.measures.size()), parts[1].text,
                 [&](std::size_t m) -> const std::string& { return catalog_.measures[m].name; });
    if (parts.size() > 2 || parts[1].is_key || found.empty()) {
      throw QueryFailure("unknown measure " + NameText(parts) + " (the measures: " +
                             NameList(Indexes(catalog_.measures.size()),
                                      [&](std::size_t m) { return catalog_.measures[m].name; }) +
                             ")",
                         position);
    }
    return {NameRef::Kind::kMeasure, found.front()};
  }
  const std::size_t dimension = first.is_key ? npos : FindDimension(first.text);
  if (dimension == npos && !first.is_key) {
    // A member named without its dimension ([Spain], [Spain].[Madrid]): found when the cube has
    // one member of that name.
    const std::vector<std::size_t> named = MembersNamed(first.text);
    if (named.size() > 1) {
      throw QueryFailure(
          "ambiguous member " + upto(1) + " (" + std::to_string(named.size()) + " members, in " +
              NameList(named, [&](std::size_t m) { return HierarchyName(HierarchyOf(m)); }) +
              "): name its dimension",
          position);
    }
    if (named.size() == 1) {
      std::size_t member = named.front();
      for (std::size_t next = 1; next < parts.size(); ++next) {
        const auto found = MatchAmong(children_[member], parts[next]);
        if (found.size() != 1) {
          if (found.empty())
            FailUnknownMember(parts, next, HierarchyOf(member), npos, member, position);
          throw QueryFailure("ambiguous member " + upto(next + 1) + " (" +
                                 std::to_string(found.size()) + " members): name its parents",
                             position);
        }
        member = found.front();
      }
      return {NameRef::Kind::kMember, member};
    }
  }
  if (dimension == npos) {
    throw QueryFailure("unknown dimension " + upto(1) + " (the dimensions: " +
                           NameList(Indexes(catalog_.dimensions.size()),
                                    [&](std::size_t d) { return catalog_.dimensions[d].name; }) +
                           ")",
                       position);
  }

  std::vector<std::size_t> hierarchies, named;
  for (std::size_t h = 0; h < hierarchy_dimension_.size(); ++h) {
    if (hierarchy_dimension_[h] != dimension) continue;
    hierarchies.push_back(h);
    // The one unnamed hierarchy of a dimension has the name "", which [] must not find: []
    // names a member with an empty name.
    if (!catalog_.hierarchies[h].name.empty()) named.push_back(h);
  }
  std::size_t next = 1;
  std::size_t hierarchy = npos;
  if (parts.size() > 1 && !parts[1].is_key) {
    const auto found = Matching(named, parts[1].text, [&](std::size_t h) -> const std::string& {
      return catalog_.hierarchies[h].name;
    });
    if (!found.empty()) {
      hierarchy = found.front();
      next = 2;
    }
  }
  if (hierarchy == npos) {
    if (hierarchies.size() != 1) {
      throw QueryFailure(
          "dimension " + upto(1) + " has several hierarchies: name one (" +
              NameList(hierarchies, [&](std::size_t h) { return catalog_.hierarchies[h].name; }) +
              ")",
          position);
    }
    hierarchy = hierarchies.front();
  }
  if (next == parts.size()) return {NameRef::Kind::kHierarchy, hierarchy};

  const std::vector<std::size_t>& levels = hierarchy_levels_[hierarchy];
  std::vector<std::size_t> candidates;
  std::size_t level = npos;
  if (!parts[next].is_key) {
    const auto found = Matching(levels, parts[next].text, [&](std::size_t l) -> const std::string& {
      return catalog_.levels[l].name;
    });
    if (!found.empty()) {
      level = found.front();
      if (++next == parts.size()) return {NameRef::Kind::kLevel, level};
      candidates = level_members_[level];
    }
  }
  if (level == npos && !levels.empty()) {
    // Below the hierarchy's name come the members of its top level under ALL.
    const std::size_t top =
        catalog_.levels[levels.front()].is_all && levels.size() > 1 ? levels[1] : levels.front();
    candidates = level_members_[top];
  }
  std::size_t member = npos;
  for (; next < parts.size(); ++next) {
    const auto found = MatchAmong(candidates, parts[next]);
    if (found.empty()) FailUnknownMember(parts, next, hierarchy, level, member, position);
    if (found.size() > 1)
      throw QueryFailure("ambiguous member " + upto(next + 1) + " (" +
                             std::to_string(found.size()) + " members): name its parents",
                         position);
    member = found.front();
    candidates = children_[member];
  }
  return {NameRef::Kind::kMember, member};
}

}  // namespace cubemill::query
