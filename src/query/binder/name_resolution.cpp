// Unique names resolved against the cube: a dimension, a hierarchy, a level, a member by its
// path or named alone, a measure; and what an unknown name's error says is there instead.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/unicode_case.h"
#include "query/binder/cube_model.h"
#include "query/parser/mdx_query.h"
#include "query/query_failure.h"

namespace cubemill::query {

namespace {

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
  return KeepersOf(std::move(found));
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
    return KeepersOf(Matching(members, part.text, [&](std::size_t m) -> const std::string& {
      return catalog_.members[m].name;
    }));
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

namespace {

// The first `count` parts of a name, written back.
std::string Upto(const std::vector<NamePart>& parts, std::size_t count) {
  return NameText(std::vector<NamePart>(parts.begin(), parts.begin() + static_cast<long>(count)));
}

}  // namespace

NameRef CubeModel::Resolve(const std::vector<NamePart>& parts, std::size_t position) const {
  const NamePart& first = parts.front();
  if (!first.is_key && platform::EqualsFolded(first.text, "Measures"))
    return ResolveMeasure(parts, position);
  const std::size_t dimension = first.is_key ? npos : FindDimension(first.text);
  if (dimension == npos && !first.is_key) {
    // A member named without its dimension ([Spain], [Spain].[Madrid]): found when the cube has
    // one member of that name.
    const std::vector<std::size_t> named = MembersNamed(first.text);
    if (named.size() > 1) {
      throw QueryFailure(
          "ambiguous member " + Upto(parts, 1) + " (" + std::to_string(named.size()) +
              " members, in " +
              NameList(named, [&](std::size_t m) { return HierarchyName(HierarchyOf(m)); }) +
              "): name its dimension",
          position);
    }
    if (named.size() == 1) return ResolveBelowMember(parts, named.front(), position);
  }
  if (dimension == npos) {
    throw QueryFailure("unknown dimension " + Upto(parts, 1) + " (the dimensions: " +
                           NameList(Indexes(catalog_.dimensions.size()),
                                    [&](std::size_t d) { return catalog_.dimensions[d].name; }) +
                           ")",
                       position);
  }
  return ResolveInDimension(parts, dimension, position);
}

NameRef CubeModel::ResolveMeasure(const std::vector<NamePart>& parts, std::size_t position) const {
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

NameRef CubeModel::ResolveBelowMember(const std::vector<NamePart>& parts, std::size_t member,
                                      std::size_t position) const {
  for (std::size_t next = 1; next < parts.size(); ++next) {
    const auto found = MatchAmong(children_[member], parts[next]);
    if (found.size() != 1) {
      if (found.empty())
        FailUnknownMember(parts, next, HierarchyOf(member), npos, member, position);
      throw QueryFailure("ambiguous member " + Upto(parts, next + 1) + " (" +
                             std::to_string(found.size()) + " members): name its parents",
                         position);
    }
    member = found.front();
  }
  return {NameRef::Kind::kMember, member};
}

NameRef CubeModel::ResolveInDimension(const std::vector<NamePart>& parts, std::size_t dimension,
                                      std::size_t position) const {
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
          "dimension " + Upto(parts, 1) + " has several hierarchies: name one (" +
              NameList(hierarchies, [&](std::size_t h) { return catalog_.hierarchies[h].name; }) +
              ")",
          position);
    }
    hierarchy = hierarchies.front();
  }
  if (next == parts.size()) return {NameRef::Kind::kHierarchy, hierarchy};
  return ResolveInHierarchy(parts, next, hierarchy, position);
}

NameRef CubeModel::ResolveInHierarchy(const std::vector<NamePart>& parts, std::size_t next,
                                      std::size_t hierarchy, std::size_t position) const {
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
      throw QueryFailure("ambiguous member " + Upto(parts, next + 1) + " (" +
                             std::to_string(found.size()) + " members): name its parents",
                         position);
    member = found.front();
    candidates = children_[member];
  }
  return {NameRef::Kind::kMember, member};
}

}  // namespace cubemill::query
