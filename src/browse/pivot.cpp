// The pivot layout: the one it opens with, its check, and the edits the window's gestures make.
#include "browse/pivot.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>
#include <vector>

#include "browse/pivot_members.h"

namespace cubemill::browse {

namespace {

using query::CubeModel;

constexpr char kSource[] = "pivot";

// Takes hierarchy `h` off both axes and the slicers.
void TakeOff(PivotLayout& layout, std::size_t h) {
  const auto is_h = [h](const auto& item) { return item.hierarchy == h; };
  std::erase_if(layout.rows, is_h);
  std::erase_if(layout.columns, is_h);
  std::erase_if(layout.slicers, is_h);
}

bool Placed(const PivotLayout& layout, std::size_t h) {
  return FieldOf(layout, h) != nullptr ||
         std::any_of(layout.slicers.begin(), layout.slicers.end(),
                     [h](const PivotSlicer& s) { return s.hierarchy == h; });
}

// Whether the column a sort or a filter names is still a column of the answer (`of_rows`: the
// row the columns' filter names a row of it): each of its members shown by a field of that axis
// (or the ALL member of one, the total), its measure one of the layout's on the columns (for a
// row: one of the layout's, named once, as a row's value needs one).
bool TupleShown(const CubeModel& model, const PivotLayout& layout,
                const std::vector<std::string>& column, bool of_rows) {
  const bool measures_on_columns = !layout.measures_on_rows || layout.columns.empty();
  const std::vector<PivotField>& fields = of_rows ? layout.rows : layout.columns;
  std::size_t measures = 0;
  for (const std::string& name : column) {
    const auto parts = SplitUniqueName(name);
    if (!parts) return false;
    query::NameRef ref;
    try {
      ref = model.Resolve(*parts, 1);
    } catch (const std::exception&) {
      return false;
    }
    if (ref.kind == query::NameRef::Kind::kMeasure) {
      if ((!of_rows && !measures_on_columns) ||
          std::find(layout.measures.begin(), layout.measures.end(), ref.index) ==
              layout.measures.end())
        return false;
      ++measures;
      continue;
    }
    if (ref.kind != query::NameRef::Kind::kMember) return false;
    const std::size_t h = model.HierarchyOf(ref.index);
    const bool on_axis = std::any_of(fields.begin(), fields.end(),
                                     [h](const PivotField& f) { return f.hierarchy == h; });
    if (!on_axis) return false;
    if (ref.index != AllMemberOf(model, h) && !IsShown(model, layout, ref.index)) return false;
  }
  return !of_rows || measures == 1;
}

bool ColumnShown(const CubeModel& model, const PivotLayout& layout,
                 const std::vector<std::string>& column) {
  return TupleShown(model, layout, column, false);
}

// What every edit ends with: drills no field shows, and a sort or filter by a column that is
// gone, are dropped; a filter goes with the last row field too.
void Tidy(const CubeModel& model, PivotLayout& layout) {
  KeepShownDrills(model, layout);
  if (layout.sort && !ColumnShown(model, layout, layout.sort->column)) layout.sort.reset();
  if (layout.filter && (layout.rows.empty() || !ColumnShown(model, layout, layout.filter->column)))
    layout.filter.reset();
  if (layout.column_filter &&
      (layout.columns.empty() || !TupleShown(model, layout, layout.column_filter->column, true)))
    layout.column_filter.reset();
}

// Whether a filter's amount fits its kind: a count from 1 (as a query's integer), or a bound.
bool AmountFits(const PivotFilter& filter) {
  if (!std::isfinite(filter.amount)) return false;
  const bool counts =
      filter.kind == PivotFilter::Kind::kTop || filter.kind == PivotFilter::Kind::kBottom;
  return !counts ||
         (filter.amount >= 1 && filter.amount <= 1e9 && filter.amount == std::floor(filter.amount));
}

Error LayoutError(const std::string& what) { return Error{what, 1, kSource}; }

}  // namespace

PivotLayout DefaultLayout(const CubeModel& model) {
  // Hierarchies whose top level fits on a screen keep the cube's order; larger ones follow,
  // the smaller first, so that a cube whose first hierarchy has 100,000 members does not open
  // on it.
  constexpr std::size_t kSmall = 100;
  std::vector<std::pair<std::size_t, std::size_t>> by_size;  // (size or 0 when small, hierarchy)
  for (std::size_t h = 0; h < model.HierarchyCount(); ++h) {
    const std::size_t top = TopLevelOf(model, h);
    if (top == npos) continue;
    const std::size_t size = model.MembersOf(top).size();
    by_size.emplace_back(size <= kSmall ? 0 : size, h);
  }
  std::stable_sort(by_size.begin(), by_size.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  PivotLayout layout;
  for (const auto& [size, h] : by_size) {
    auto& axis = layout.rows.empty() ? layout.rows : layout.columns;
    axis.push_back({h, TopLevelOf(model, h)});
    if (!layout.columns.empty()) break;
  }
  if (!model.Catalog().measures.empty()) layout.measures.push_back(0);
  return layout;
}

std::optional<Error> CheckLayout(const CubeModel& model, const PivotLayout& layout) {
  const auto& catalog = model.Catalog();
  std::vector<bool> placed(model.HierarchyCount(), false);
  const auto place = [&](std::size_t h) -> std::optional<Error> {
    if (h >= model.HierarchyCount()) {
      return LayoutError("the layout names hierarchy " + std::to_string(h) + "; the cube has " +
                         std::to_string(model.HierarchyCount()));
    }
    if (placed[h])
      return LayoutError(model.HierarchyName(h) + " is placed twice: on an axis or as a slicer");
    placed[h] = true;
    return std::nullopt;
  };
  for (const auto* axis : {&layout.rows, &layout.columns}) {
    for (const PivotField& field : *axis) {
      if (auto error = place(field.hierarchy)) return error;
      if (!IsFieldLevel(model, field.hierarchy, field.level)) {
        return LayoutError(model.HierarchyName(field.hierarchy) + " has no level " +
                           std::to_string(field.level) + " below ALL");
      }
    }
  }
  for (const PivotSlicer& slicer : layout.slicers) {
    if (auto error = place(slicer.hierarchy)) return error;
    for (std::size_t m : slicer.members) {
      if (m >= model.MemberCount() || model.HierarchyOf(m) != slicer.hierarchy) {
        return LayoutError("the slicer of " + model.HierarchyName(slicer.hierarchy) +
                           " names member " + std::to_string(m) + ", not one of its members");
      }
    }
  }
  if (layout.measures.empty()) return LayoutError("the layout shows no measure");
  for (std::size_t i = 0; i < layout.measures.size(); ++i) {
    const std::size_t measure = layout.measures[i];
    if (measure >= catalog.measures.size()) {
      return LayoutError("the layout names measure " + std::to_string(measure) + "; the cube has " +
                         std::to_string(catalog.measures.size()));
    }
    if (std::find(layout.measures.begin(), layout.measures.begin() + static_cast<long>(i),
                  measure) != layout.measures.begin() + static_cast<long>(i))
      return LayoutError(MeasureName(model, measure) + " is shown twice");
  }
  for (std::size_t m : layout.expanded) {
    if (m >= model.MemberCount())
      return LayoutError("the layout drills into member " + std::to_string(m) +
                         ", not in the cube");
  }
  if (layout.sort) {
    for (const std::string& name : layout.sort->column) {
      if (!SplitUniqueName(name))
        return LayoutError("the sort column names \"" + name + "\", which is no unique name");
    }
  }
  if (layout.filter) {
    for (const std::string& name : layout.filter->column) {
      if (!SplitUniqueName(name))
        return LayoutError("the filter's column names \"" + name + "\", which is no unique name");
    }
    if (!AmountFits(*layout.filter))
      return LayoutError("the filter's number " + std::to_string(layout.filter->amount) +
                         " does not fit: a count from 1 for top or bottom rows, else a bound");
  }
  if (layout.column_filter) {
    for (const std::string& name : layout.column_filter->column) {
      if (!SplitUniqueName(name))
        return LayoutError("the columns' filter names \"" + name + "\", which is no unique name");
    }
    if (!AmountFits(*layout.column_filter))
      return LayoutError("the columns' filter's number " +
                         std::to_string(layout.column_filter->amount) +
                         " does not fit: a count from 1 for top or bottom columns, else a bound");
  }
  return std::nullopt;
}

bool PlaceField(PivotLayout& layout, const CubeModel& model, bool on_rows, std::size_t hierarchy,
                std::size_t level, std::size_t position) {
  if (hierarchy >= model.HierarchyCount() || !IsFieldLevel(model, hierarchy, level)) return false;
  TakeOff(layout, hierarchy);
  auto& axis = on_rows ? layout.rows : layout.columns;
  axis.insert(axis.begin() + static_cast<long>(std::min(position, axis.size())),
              {hierarchy, level});
  Tidy(model, layout);
  return true;
}

bool RemoveField(PivotLayout& layout, std::size_t hierarchy) {
  if (!Placed(layout, hierarchy)) return false;
  // A column's tuple holds a member of every column field, so the sort's column goes with one.
  const bool on_columns =
      std::any_of(layout.columns.begin(), layout.columns.end(),
                  [hierarchy](const PivotField& f) { return f.hierarchy == hierarchy; });
  const bool on_rows =
      std::any_of(layout.rows.begin(), layout.rows.end(),
                  [hierarchy](const PivotField& f) { return f.hierarchy == hierarchy; });
  TakeOff(layout, hierarchy);
  if (on_columns) layout.sort.reset();
  if (on_columns || layout.rows.empty()) layout.filter.reset();
  // Likewise a row's tuple holds a member of every row field.
  if (on_rows || layout.columns.empty()) layout.column_filter.reset();
  return true;
}

bool SetSlicer(PivotLayout& layout, const CubeModel& model, std::size_t hierarchy,
               std::vector<std::size_t> members) {
  if (hierarchy >= model.HierarchyCount()) return false;
  std::vector<std::size_t> unique;
  for (std::size_t m : members) {
    if (m >= model.MemberCount() || model.HierarchyOf(m) != hierarchy) return false;
    if (std::find(unique.begin(), unique.end(), m) == unique.end()) unique.push_back(m);
  }
  const auto slot = std::find_if(layout.slicers.begin(), layout.slicers.end(),
                                 [&](const PivotSlicer& s) { return s.hierarchy == hierarchy; });
  const std::size_t at = static_cast<std::size_t>(slot - layout.slicers.begin());
  TakeOff(layout, hierarchy);
  if (!unique.empty()) {
    layout.slicers.insert(layout.slicers.begin() + static_cast<long>(at),
                          PivotSlicer{hierarchy, std::move(unique)});
  }
  Tidy(model, layout);
  return true;
}

bool ToggleMeasure(PivotLayout& layout, const CubeModel& model, std::size_t measure) {
  if (measure >= model.Catalog().measures.size()) return false;
  const auto found = std::find(layout.measures.begin(), layout.measures.end(), measure);
  if (found == layout.measures.end()) {
    layout.measures.push_back(measure);
  } else {
    if (layout.measures.size() == 1) return false;
    layout.measures.erase(found);
  }
  Tidy(model, layout);
  return true;
}

void SwapAxes(PivotLayout& layout) {
  std::swap(layout.rows, layout.columns);
  layout.measures_on_rows = !layout.measures_on_rows;
  // The sort and the filter name a column, which is now a row (and the columns' filter a row).
  layout.sort.reset();
  layout.filter.reset();
  layout.column_filter.reset();
}

bool SetFilter(PivotLayout& layout, const CubeModel& model, std::optional<PivotFilter> filter) {
  if (filter &&
      (layout.rows.empty() || !AmountFits(*filter) || !ColumnShown(model, layout, filter->column)))
    return false;
  layout.filter = std::move(filter);
  return true;
}

bool SetColumnFilter(PivotLayout& layout, const CubeModel& model,
                     std::optional<PivotFilter> filter) {
  if (filter && (layout.columns.empty() || !AmountFits(*filter) ||
                 !TupleShown(model, layout, filter->column, true)))
    return false;
  layout.column_filter = std::move(filter);
  return true;
}

bool Expand(PivotLayout& layout, const CubeModel& model, std::size_t member) {
  if (member >= model.MemberCount() || model.ChildrenOf(member).empty() ||
      !IsShown(model, layout, member))
    return false;
  layout.expanded.insert(member);
  return true;
}

bool Collapse(PivotLayout& layout, const CubeModel& model, std::size_t member) {
  if (member >= model.MemberCount()) return false;
  layout.expanded.erase(member);
  Tidy(model, layout);
  return true;
}

}  // namespace cubemill::browse
