// MDSCHEMA_MEMBERS: the members of the served cubes, found by level, hierarchy or unique name,
// and the members related to a named one by TREE_OP (children, siblings, parent, itself,
// descendants, ancestors).
#include <algorithm>
#include <charconv>
#include <optional>
#include <string>

#include "common/quoted_text.h"
#include "serve/rowsets_producers.h"

namespace cubemill::serve {

namespace {

using query::CubeModel;
constexpr std::size_t npos = CubeModel::npos;

// TREE_OP's bits (MDTREEOP_*).
constexpr int kChildren = 0x01;
constexpr int kSiblings = 0x02;
constexpr int kParent = 0x04;
constexpr int kSelf = 0x08;
constexpr int kDescendants = 0x10;
constexpr int kAncestors = 0x20;
constexpr int kAnyTreeOp = 0x3f;
// MEMBER_TYPE: MDMEMBER_TYPE_REGULAR, _ALL, _MEASURE.
constexpr int kRegularMember = 1;
constexpr int kAllMember = 2;
constexpr int kMeasureMember = 3;

int TreeOp(const RowsetInput& input) {
  const auto* values = RestrictionValues(input.request.restrictions, "TREE_OP");
  if (values == nullptr || values->empty()) return kSelf;
  int bits = 0;
  const std::string& text = values->front();
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bits);
  if (error != std::errc() || end != text.data() + text.size() || bits <= 0 ||
      (bits & ~kAnyTreeOp) != 0) {
    throw RowsetFault{"TREE_OP " + text + " is no combination of the tree operations 1 to 32"};
  }
  return bits;
}

// What a unique name restriction names in a cube: a member (its index), a measure (its index
// in the measures), or nothing.
struct Named {
  std::size_t member = npos;
  std::size_t measure = npos;
};

// The member or measure whose unique name, as queries write it, is `unique_name`.
Named Resolve(const OpenCube& cube, const std::string& unique_name) {
  const auto& measures = cube.Catalog().measures;
  for (std::size_t i = 0; i < measures.size(); ++i) {
    if (MeasureUniqueName(measures[i].name) == unique_name) return {npos, i};
  }
  return {cube.MemberNamed(unique_name), npos};
}

void AddDescendants(const CubeModel& model, std::size_t m, std::vector<std::size_t>& out) {
  for (std::size_t child : model.ChildrenOf(m)) {
    out.push_back(child);
    AddDescendants(model, child, out);
  }
}

// The members TREE_OP `bits` relates to member `m`, in hierarchy order.
std::vector<std::size_t> Related(const CubeModel& model, std::size_t m, int bits) {
  std::vector<std::size_t> found;
  const std::size_t parent = model.ParentOf(m);
  if ((bits & kAncestors) != 0) {
    for (std::size_t at = parent; at != npos; at = model.ParentOf(at)) found.push_back(at);
  } else if ((bits & kParent) != 0 && parent != npos) {
    found.push_back(parent);
  }
  if ((bits & kSelf) != 0) found.push_back(m);
  if ((bits & kSiblings) != 0) {
    const auto& siblings =
        parent == npos ? model.MembersOf(model.LevelOf(m)) : model.ChildrenOf(parent);
    for (std::size_t sibling : siblings) {
      if (sibling != m) found.push_back(sibling);
    }
  }
  if ((bits & kDescendants) != 0) {
    AddDescendants(model, m, found);
  } else if ((bits & kChildren) != 0) {
    found.insert(found.end(), model.ChildrenOf(m).begin(), model.ChildrenOf(m).end());
  }
  std::sort(found.begin(), found.end(), [&](std::size_t a, std::size_t b) {
    return model.HierarchyOrder(a) < model.HierarchyOrder(b);
  });
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

void AddMemberRow(RowsetRows& rows, const OpenCube& cube, std::size_t m) {
  const CubeModel& model = cube.Model();
  const std::size_t level = model.LevelOf(m);
  const std::size_t h = model.LevelHierarchy(level);
  const std::size_t parent = model.ParentOf(m);
  const auto& member = model.Member(m);
  const int number = model.DepthOf(m) - 1;
  rows.Add();
  rows.Set("CATALOG_NAME", cube.CatalogName());
  rows.Set("SCHEMA_NAME", cube.CatalogName());
  rows.Set("CUBE_NAME", model.Catalog().name);
  rows.Set("DIMENSION_UNIQUE_NAME",
           Bracketed(model.Catalog().dimensions[DimensionOf(model, h)].name));
  rows.Set("HIERARCHY_UNIQUE_NAME", model.HierarchyName(h));
  rows.Set("LEVEL_UNIQUE_NAME", LevelUniqueName(model, level));
  rows.SetNumber("LEVEL_NUMBER", number);
  rows.SetNumber("MEMBER_ORDINAL", static_cast<std::int64_t>(model.HierarchyOrder(m)));
  rows.Set("MEMBER_NAME", member.name);
  rows.Set("MEMBER_UNIQUE_NAME", model.UniqueName(m));
  rows.SetNumber("MEMBER_TYPE", model.Catalog().levels[level].is_all ? kAllMember : kRegularMember);
  rows.Set("MEMBER_CAPTION", member.name);
  rows.SetNumber("CHILDREN_CARDINALITY", static_cast<std::int64_t>(model.ChildrenOf(m).size()));
  rows.SetNumber("PARENT_LEVEL", parent == npos ? 0 : number - 1);
  if (parent != npos) rows.Set("PARENT_UNIQUE_NAME", model.UniqueName(parent));
  rows.SetNumber("PARENT_COUNT", parent == npos ? 0 : 1);
  if (member.key) rows.Set("MEMBER_KEY", *member.key);
  rows.SetNumber("DEPTH", number);
}

void AddMeasureRow(RowsetRows& rows, const OpenCube& cube, std::size_t measure) {
  const std::string& name = cube.Model().Catalog().measures[measure].name;
  rows.Add();
  rows.Set("CATALOG_NAME", cube.CatalogName());
  rows.Set("SCHEMA_NAME", cube.CatalogName());
  rows.Set("CUBE_NAME", cube.Model().Catalog().name);
  rows.Set("DIMENSION_UNIQUE_NAME", "[Measures]");
  rows.Set("HIERARCHY_UNIQUE_NAME", "[Measures]");
  rows.Set("LEVEL_UNIQUE_NAME", MeasuresLevelName());
  rows.SetNumber("LEVEL_NUMBER", 0);
  rows.SetNumber("MEMBER_ORDINAL", static_cast<std::int64_t>(measure));
  rows.Set("MEMBER_NAME", name);
  rows.Set("MEMBER_UNIQUE_NAME", MeasureUniqueName(name));
  rows.SetNumber("MEMBER_TYPE", kMeasureMember);
  rows.Set("MEMBER_CAPTION", name);
  rows.SetNumber("CHILDREN_CARDINALITY", 0);
  rows.SetNumber("PARENT_LEVEL", 0);
  rows.SetNumber("PARENT_COUNT", 0);
  rows.SetNumber("DEPTH", 0);
}

// The members named by MEMBER_UNIQUE_NAME and TREE_OP. A measure has no relatives.
void AddNamedMembers(RowsetRows& rows, const OpenCube& cube, const std::vector<std::string>& names,
                     int bits) {
  for (const std::string& name : names) {
    const Named named = Resolve(cube, name);
    if (named.measure != npos && (bits & kSelf) != 0) AddMeasureRow(rows, cube, named.measure);
    if (named.member == npos) continue;
    for (std::size_t m : Related(cube.Model(), named.member, bits)) AddMemberRow(rows, cube, m);
  }
}

// Every member of the cube, hierarchy by hierarchy in hierarchy order, the measures first.
void AddAllMembers(RowsetRows& rows, const OpenCube& cube) {
  const CubeModel& model = cube.Model();
  for (std::size_t i = 0; i < model.Catalog().measures.size(); ++i) AddMeasureRow(rows, cube, i);
  for (std::size_t h = 0; h < model.HierarchyCount(); ++h) {
    for (std::size_t m : model.MembersInHierarchyOrder(h)) AddMemberRow(rows, cube, m);
  }
}

// The members of the levels LEVEL_UNIQUE_NAME names, each level's in hierarchy order.
void AddLevelMembers(RowsetRows& rows, const OpenCube& cube,
                     const std::vector<std::string>& names) {
  const CubeModel& model = cube.Model();
  for (const std::string& name : names) {
    if (name == MeasuresLevelName()) {
      for (std::size_t i = 0; i < model.Catalog().measures.size(); ++i)
        AddMeasureRow(rows, cube, i);
      continue;
    }
    for (std::size_t level = 0; level < model.Catalog().levels.size(); ++level) {
      if (LevelUniqueName(model, level) != name) continue;
      std::vector<std::size_t> members = model.MembersOf(level);
      std::sort(members.begin(), members.end(), [&](std::size_t a, std::size_t b) {
        return model.HierarchyOrder(a) < model.HierarchyOrder(b);
      });
      for (std::size_t m : members) AddMemberRow(rows, cube, m);
    }
  }
}

}  // namespace

void ProduceMembers(const RowsetInput& input, RowsetRows& rows) {
  const int bits = TreeOp(input);
  const auto* names = RestrictionValues(input.request.restrictions, "MEMBER_UNIQUE_NAME");
  const auto* levels = RestrictionValues(input.request.restrictions, "LEVEL_UNIQUE_NAME");
  // TREE_OP makes MEMBER_UNIQUE_NAME the member the others are related to, not a filter.
  if (names != nullptr) rows.Consume("MEMBER_UNIQUE_NAME");
  for (const auto& held : input.cubes) {
    const OpenCube& cube = *held;
    if (names != nullptr) {
      AddNamedMembers(rows, cube, *names, bits);
    } else if (levels != nullptr) {
      AddLevelMembers(rows, cube, *levels);
    } else {
      AddAllMembers(rows, cube);
    }
  }
}

}  // namespace cubemill::serve
