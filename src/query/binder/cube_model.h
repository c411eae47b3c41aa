// The catalog of a cube file indexed for queries: members by id, children in order, levels of
// each hierarchy, and unique names resolved to members, levels, hierarchies or measures.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/quoted_text.h"
#include "provider/cubefile/cube_reader.h"
#include "query/parser/mdx_query.h"

namespace cubemill::query {

// Names in brackets as a query writes them, a `]` in them doubled (common/quoted_text.h).
using cubemill::Bracketed;
using cubemill::MeasureUniqueName;

// What a unique name stands for. Indexes are into the model's lists.
struct NameRef {
  enum class Kind { kMember, kLevel, kHierarchy, kMeasure, kMeasures };
  Kind kind = Kind::kMember;
  std::size_t index = 0;  // member, level, hierarchy or measure index
};

// Messages the binder and the browser's reader of MDX both give.
inline constexpr char kMeasuresAloneIsNoSet[] =
    "[Measures] alone is no set: use [Measures].Members or name a measure";
// "unknown cube [Sales] (the file holds [Shop])": a query that names another cube.
std::string UnknownCube(std::string_view named, std::string_view held);

class CubeModel {
 public:
  explicit CubeModel(const provider::cubefile::CubeCatalog& catalog);

  const provider::cubefile::CubeCatalog& Catalog() const { return catalog_; }
  const provider::cubefile::StoredMember& Member(std::size_t m) const {
    return catalog_.members[m];
  }
  std::size_t MemberCount() const { return catalog_.members.size(); }
  std::size_t HierarchyCount() const { return catalog_.hierarchies.size(); }
  // The level index, hierarchy index and 1-based depth (level ordinal) of member `m`.
  std::size_t LevelOf(std::size_t m) const { return member_level_[m]; }
  std::size_t HierarchyOf(std::size_t m) const { return level_hierarchy_[member_level_[m]]; }
  int DepthOf(std::size_t m) const { return catalog_.levels[member_level_[m]].ordinal; }
  std::size_t LevelHierarchy(std::size_t level) const { return level_hierarchy_[level]; }
  // Member index of a member id; npos for an unknown id. A flat array when the ids are dense
  // (as the writer numbers them), a hash table otherwise.
  std::size_t MemberIndex(std::int64_t id) const {
    if (!by_id_.empty()) {
      const std::uint64_t slot = static_cast<std::uint64_t>(id - first_id_);
      return slot < by_id_.size() ? by_id_[slot] : npos;
    }
    const auto found = ids_.find(id);
    return found == ids_.end() ? npos : found->second;
  }
  // Level index of a level id; npos for an unknown id.
  std::size_t LevelIndex(std::int64_t id) const;
  // Parent of member `m`; npos for none.
  std::size_t ParentOf(std::size_t m) const { return parent_[m]; }
  // The ancestor of `m` at `depth` (m itself at its own depth); npos when `depth` is deeper.
  std::size_t AncestorAt(std::size_t m, int depth) const;
  // Children of `m` and members of `level`, in the cube file's order.
  const std::vector<std::size_t>& ChildrenOf(std::size_t m) const { return children_[m]; }
  const std::vector<std::size_t>& MembersOf(std::size_t level) const {
    return level_members_[level];
  }
  // The place of member `m` among the members of its level (0 for the first), in their order.
  std::size_t PositionInLevel(std::size_t m) const { return level_position_[m]; }
  // The place of member `m` in its hierarchy's order: each member after its parent and before
  // its next sibling, siblings in the cube file's order.
  std::size_t HierarchyOrder(std::size_t m) const { return hierarchy_order_[m]; }
  // Members of hierarchy `h`, level by level.
  const std::vector<std::size_t>& MembersOfHierarchy(std::size_t h) const {
    return hierarchy_members_[h];
  }
  // Members of hierarchy `h` in hierarchy order: each member followed by its children.
  std::vector<std::size_t> MembersInHierarchyOrder(std::size_t h) const;
  // Levels of hierarchy `h`, top first.
  const std::vector<std::size_t>& LevelsOf(std::size_t h) const { return hierarchy_levels_[h]; }
  // The hierarchy as a query names it: "[Time].[Calendar]", or "[Geography]" when unnamed.
  std::string HierarchyName(std::size_t h) const;
  // The hierarchy's own name, or its dimension's where it has none: "Calendar", "Geography".
  const std::string& HierarchyCaption(std::size_t h) const;
  // The name that finds member `m` again whatever its siblings and cousins are called: its
  // hierarchy, the level of the path's first member, and the path from the top level (below
  // ALL) down: [Geography].[Region].[Europe].[Spain]; for an ALL member [Geography].[All].[All].
  std::string UniqueName(std::size_t m) const;

  // Resolves a unique name, its parts compared without regard to letter case (Unicode) where
  // no part matches exactly. Throws QueryFailure naming what is unknown or ambiguous, and what
  // is there instead, at `position`.
  NameRef Resolve(const std::vector<NamePart>& parts, std::size_t position) const;

  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

 private:
  // Numbers each member in its hierarchy's order (HierarchyOrder).
  void OrderHierarchies();
  // Marks the siblings whose unique name takes their key (NamedByKey).
  void NameSiblingsApart();
  // Whether member `m` shares its name with a sibling that keeps the name, so that its unique
  // name ends in its key: &[key].
  bool NamedByKey(std::size_t m) const { return named_by_key_[m]; }
  // `found` without the members named by key, when others are there too: a name that several
  // siblings share names the one that keeps it.
  std::vector<std::size_t> KeepersOf(std::vector<std::size_t> found) const;
  std::size_t FindDimension(const std::string& name) const;
  // Resolve's steps: [Measures] and a measure; the parts below a member named alone; the parts
  // after a dimension's name; the parts after a hierarchy's, from part `next`.
  NameRef ResolveMeasure(const std::vector<NamePart>& parts, std::size_t position) const;
  NameRef ResolveBelowMember(const std::vector<NamePart>& parts, std::size_t member,
                             std::size_t position) const;
  NameRef ResolveInDimension(const std::vector<NamePart>& parts, std::size_t dimension,
                             std::size_t position) const;
  NameRef ResolveInHierarchy(const std::vector<NamePart>& parts, std::size_t next,
                             std::size_t hierarchy, std::size_t position) const;
  // The members (of any hierarchy, ALL members aside) named `name`: those named exactly so, else
  // those whose name folds to the same. Indexes the names on first use.
  std::vector<std::size_t> MembersNamed(const std::string& name) const;
  std::vector<std::size_t> MatchAmong(const std::vector<std::size_t>& members,
                                      const NamePart& part) const;
  [[noreturn]] void FailUnknownMember(const std::vector<NamePart>& parts, std::size_t failed,
                                      std::size_t hierarchy, std::size_t level, std::size_t parent,
                                      std::size_t position) const;

  const provider::cubefile::CubeCatalog& catalog_;
  std::vector<std::size_t> member_level_, level_hierarchy_, parent_, level_position_,
      hierarchy_order_;
  std::vector<std::vector<std::size_t>> children_, level_members_, hierarchy_levels_,
      hierarchy_members_;
  std::vector<std::size_t> hierarchy_dimension_;
  std::vector<bool> named_by_key_;
  std::int64_t first_id_ = 0;
  std::vector<std::size_t> by_id_;  // member index by id - first_id_, when the ids are dense
  std::unordered_map<std::int64_t, std::size_t> ids_, level_ids_;
  mutable std::once_flag names_indexed_;
  mutable std::unordered_multimap<std::string, std::size_t> by_folded_name_;
};

}  // namespace cubemill::query
