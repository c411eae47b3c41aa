#include "query/cube_model.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "query/query_failure.h"

namespace cubemill::query {

bool SameFolded(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

namespace {

using provider::cubefile::CubeCatalog;

// Indexes of `names` equal to `wanted`: exact matches, or when there is none, matches without
// regard to ASCII case.
template <typename NameOf>
std::vector<std::size_t> Matching(const std::vector<std::size_t>& candidates,
                                  const std::string& wanted, NameOf name_of) {
  std::vector<std::size_t> exact, folded;
  for (std::size_t c : candidates) {
    const std::string& name = name_of(c);
    if (name == wanted)
      exact.push_back(c);
    else if (SameFolded(name, wanted))
      folded.push_back(c);
  }
  return exact.empty() ? folded : exact;
}

std::vector<std::size_t> Indexes(std::size_t count) {
  std::vector<std::size_t> all(count);
  for (std::size_t i = 0; i < count; ++i) all[i] = i;
  return all;
}

std::string Bracketed(const std::string& name) { return NameText({{name, false, 0}}); }

}  // namespace

CubeModel::CubeModel(const CubeCatalog& catalog) : catalog_(catalog) {
  std::unordered_map<std::int64_t, std::size_t> dimension_index, hierarchy_index, level_index;
  for (std::size_t d = 0; d < catalog.dimensions.size(); ++d)
    dimension_index[catalog.dimensions[d].id] = d;
  hierarchy_levels_.resize(catalog.hierarchies.size());
  for (std::size_t h = 0; h < catalog.hierarchies.size(); ++h) {
    hierarchy_index[catalog.hierarchies[h].id] = h;
    hierarchy_dimension_.push_back(dimension_index.at(catalog.hierarchies[h].dimension));
  }
  for (std::size_t l = 0; l < catalog.levels.size(); ++l) {
    level_index[catalog.levels[l].id] = l;
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
  std::unordered_map<std::int64_t, std::size_t> member_index;
  for (std::size_t m = 0; m < count; ++m) {
    member_index[catalog.members[m].id] = m;
    member_level_.push_back(level_index.at(catalog.members[m].level));
    level_members_[member_level_.back()].push_back(m);
  }
  for (std::size_t m = 0; m < count; ++m) {
    const auto parent = member_index.find(catalog.members[m].parent);
    parent_.push_back(parent == member_index.end() ? npos : parent->second);
  }
  const auto by_position = [&](std::size_t a, std::size_t b) {
    return catalog.members[a].position < catalog.members[b].position;
  };
  for (auto& members : level_members_)
    std::stable_sort(members.begin(), members.end(), by_position);
  for (auto& members : level_members_) {
    for (std::size_t m : members)
      if (parent_[m] != npos) children_[parent_[m]].push_back(m);
  }
  ids_ = std::move(member_index);
}

std::size_t CubeModel::MemberIndex(std::int64_t id) const {
  const auto found = ids_.find(id);
  return found == ids_.end() ? npos : found->second;
}

std::size_t CubeModel::AncestorAt(std::size_t m, int depth) const {
  while (m != npos && DepthOf(m) > depth) m = parent_[m];
  return m != npos && DepthOf(m) == depth ? m : npos;
}

std::string CubeModel::HierarchyName(std::size_t h) const {
  std::string name = Bracketed(catalog_.dimensions[hierarchy_dimension_[h]].name);
  if (!catalog_.hierarchies[h].name.empty()) name += "." + Bracketed(catalog_.hierarchies[h].name);
  return name;
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

NameRef CubeModel::Resolve(const std::vector<NamePart>& parts, std::size_t position) const {
  const auto upto = [&](std::size_t count) {
    return NameText(std::vector<NamePart>(parts.begin(), parts.begin() + static_cast<long>(count)));
  };
  const NamePart& first = parts.front();
  if (!first.is_key && SameFolded(first.text, "Measures")) {
    if (parts.size() == 1) return {NameRef::Kind::kMeasures, 0};
    const auto found =
        Matching(Indexes(catalog_.measures.size()), parts[1].text,
                 [&](std::size_t m) -> const std::string& { return catalog_.measures[m].name; });
    if (parts.size() > 2 || parts[1].is_key || found.empty())
      throw QueryFailure("unknown measure " + NameText(parts), position);
    return {NameRef::Kind::kMeasure, found.front()};
  }
  const std::size_t dimension = first.is_key ? npos : FindDimension(first.text);
  if (dimension == npos) throw QueryFailure("unknown dimension " + upto(1), position);

  std::vector<std::size_t> hierarchies;
  for (std::size_t h = 0; h < hierarchy_dimension_.size(); ++h)
    if (hierarchy_dimension_[h] == dimension) hierarchies.push_back(h);
  std::size_t next = 1;
  std::size_t hierarchy = npos;
  if (parts.size() > 1 && !parts[1].is_key) {
    const auto named =
        Matching(hierarchies, parts[1].text,
                 [&](std::size_t h) -> const std::string& { return catalog_.hierarchies[h].name; });
    if (!named.empty()) {
      hierarchy = named.front();
      next = 2;
    }
  }
  if (hierarchy == npos) {
    if (hierarchies.size() != 1)
      throw QueryFailure("dimension " + upto(1) + " has several hierarchies: name one", position);
    hierarchy = hierarchies.front();
  }
  if (next == parts.size()) return {NameRef::Kind::kHierarchy, hierarchy};

  const std::vector<std::size_t>& levels = hierarchy_levels_[hierarchy];
  std::vector<std::size_t> candidates;
  if (!parts[next].is_key) {
    const auto level = Matching(levels, parts[next].text, [&](std::size_t l) -> const std::string& {
      return catalog_.levels[l].name;
    });
    if (!level.empty()) {
      if (++next == parts.size()) return {NameRef::Kind::kLevel, level.front()};
      candidates = level_members_[level.front()];
    }
  }
  if (candidates.empty() && !levels.empty()) {
    // Below the hierarchy's name come the members of its top level under ALL.
    const std::size_t top =
        catalog_.levels[levels.front()].is_all && levels.size() > 1 ? levels[1] : levels.front();
    candidates = level_members_[top];
  }
  std::size_t member = npos;
  for (; next < parts.size(); ++next) {
    const auto found = MatchAmong(candidates, parts[next]);
    if (found.empty()) throw QueryFailure("unknown member " + upto(next + 1), position);
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
