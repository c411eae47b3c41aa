#include "browse/pivot_members.h"

#include <algorithm>
#include <utility>

#include "common/quoted_text.h"

namespace cubemill::browse {

using query::CubeModel;

std::size_t AllMemberOf(const CubeModel& model, std::size_t h) {
  const auto& levels = model.LevelsOf(h);
  if (levels.empty() || !model.Catalog().levels[levels.front()].is_all) return npos;
  const auto& members = model.MembersOf(levels.front());
  return members.empty() ? npos : members.front();
}

std::size_t TopLevelOf(const CubeModel& model, std::size_t h) {
  for (std::size_t level : model.LevelsOf(h))
    if (!model.Catalog().levels[level].is_all) return level;
  return npos;
}

bool IsFieldLevel(const CubeModel& model, std::size_t h, std::size_t level) {
  const auto& levels = model.LevelsOf(h);
  return std::find(levels.begin(), levels.end(), level) != levels.end() &&
         !model.Catalog().levels[level].is_all;
}

const PivotField* FieldOf(const PivotLayout& layout, std::size_t h) {
  for (const auto* axis : {&layout.rows, &layout.columns}) {
    for (const PivotField& field : *axis)
      if (field.hierarchy == h) return &field;
  }
  return nullptr;
}

bool IsShown(const CubeModel& model, const PivotLayout& layout, std::size_t m) {
  if (m >= model.MemberCount()) return false;
  const PivotField* field = FieldOf(layout, model.HierarchyOf(m));
  if (field == nullptr || field->level >= model.Catalog().levels.size()) return false;
  const int top = model.Catalog().levels[field->level].ordinal;
  // Up from `m` to the field's level, every member on the way must be drilled into.
  for (std::size_t at = m; at != CubeModel::npos; at = model.ParentOf(at)) {
    if (model.DepthOf(at) < top) return false;
    if (model.DepthOf(at) == top) return model.LevelOf(at) == field->level;
    const std::size_t parent = model.ParentOf(at);
    if (parent == CubeModel::npos || !layout.expanded.contains(parent)) return false;
  }
  return false;
}

std::vector<std::size_t> DrilledMembers(const CubeModel& model, const PivotLayout& layout,
                                        const PivotField& field) {
  std::vector<std::size_t> drilled;
  for (std::size_t m : layout.expanded) {
    if (m < model.MemberCount() && model.HierarchyOf(m) == field.hierarchy &&
        !model.ChildrenOf(m).empty() && IsShown(model, layout, m))
      drilled.push_back(m);
  }
  std::sort(drilled.begin(), drilled.end(), [&](std::size_t a, std::size_t b) {
    return model.HierarchyOrder(a) < model.HierarchyOrder(b);
  });
  return drilled;
}

std::vector<std::size_t> ShownMembers(const CubeModel& model, const PivotLayout& layout,
                                      const PivotField& field, bool with_all) {
  std::vector<std::size_t> shown = model.MembersOf(field.level);
  for (std::size_t m : DrilledMembers(model, layout, field)) {
    const auto& children = model.ChildrenOf(m);
    shown.insert(shown.end(), children.begin(), children.end());
  }
  const std::size_t all = with_all ? AllMemberOf(model, field.hierarchy) : npos;
  if (all != npos) shown.push_back(all);
  return shown;
}

std::string LevelName(const CubeModel& model, std::size_t level) {
  return model.HierarchyName(model.LevelHierarchy(level)) + "." +
         Bracketed(model.Catalog().levels[level].name);
}

std::string MeasureName(const CubeModel& model, std::size_t measure) {
  return MeasureUniqueName(model.Catalog().measures[measure].name);
}

std::optional<std::vector<query::NamePart>> SplitUniqueName(std::string_view name) {
  std::vector<query::NamePart> parts;
  std::size_t at = 0;
  while (true) {
    if (at >= name.size() || name[at] != '[') return std::nullopt;
    QuotedText quoted = ScanQuoted(name, at, ']');
    if (!quoted.closed) return std::nullopt;
    query::NamePart part;
    part.text = std::move(quoted.value);
    part.position = at + 1;
    parts.push_back(std::move(part));
    at = quoted.end;
    if (at == name.size()) return parts;
    if (name[at] != '.') return std::nullopt;
    ++at;
  }
}

void KeepShownDrills(const CubeModel& model, PivotLayout& layout) {
  std::set<std::size_t> kept;
  for (std::size_t m : layout.expanded) {
    if (m < model.MemberCount() && !model.ChildrenOf(m).empty() && IsShown(model, layout, m))
      kept.insert(m);
  }
  layout.expanded = std::move(kept);
}

}  // namespace cubemill::browse
