// A view's names from a layout over one cube, and the layout a view's names show on a cube:
// each part placed with the layout's own edits, so that what the cube lacks, or what the layout
// cannot keep, is left out and named.
#include <algorithm>
#include <utility>

#include "browse/pivot_members.h"
#include "browse/pivot_view.h"
#include "query/query_failure.h"

namespace cubemill::browse {
namespace {

using query::CubeModel;
using query::NameRef;

// What `name` names in `model`, when it names something of `kind` there.
std::optional<std::size_t> Find(const CubeModel& model, const std::string& name,
                                NameRef::Kind kind) {
  const auto parts = SplitUniqueName(name);
  if (!parts) return std::nullopt;
  try {
    const NameRef ref = model.Resolve(*parts, 0);
    if (ref.kind == kind) return ref.index;
  } catch (const query::QueryFailure&) {
  }
  return std::nullopt;
}

// Whether each of a sort's or filter's column names names a member or a measure of `model`.
bool AllFound(const CubeModel& model, const std::vector<std::string>& names) {
  return !names.empty() && std::all_of(names.begin(), names.end(), [&](const std::string& name) {
    return Find(model, name, NameRef::Kind::kMember) || Find(model, name, NameRef::Kind::kMeasure);
  });
}

class ViewPlacer {
 public:
  ViewPlacer(const CubeModel& model, const PivotView& view) : model_(model), view_(view) {}
  ViewLayout Place();

 private:
  void Drop(std::string what) { dropped_.push_back(std::move(what)); }
  void PlaceMeasures();
  void PlaceFields(bool on_rows);
  void PlaceSlicers();
  void PlaceDrills();

  const CubeModel& model_;
  const PivotView& view_;
  PivotLayout layout_;
  std::vector<std::string> dropped_;
};

void ViewPlacer::PlaceMeasures() {
  for (const std::string& name : view_.measures) {
    const auto measure = Find(model_, name, NameRef::Kind::kMeasure);
    if (!measure) {
      Drop("measure " + name);
    } else if (std::find(layout_.measures.begin(), layout_.measures.end(), *measure) ==
               layout_.measures.end()) {
      layout_.measures.push_back(*measure);
    }
  }
  if (layout_.measures.empty()) layout_.measures = DefaultLayout(model_).measures;
}

void ViewPlacer::PlaceFields(bool on_rows) {
  for (const std::string& name : on_rows ? view_.rows : view_.columns) {
    const std::string what = (on_rows ? "row field " : "column field ") + name;
    std::optional<std::size_t> level = Find(model_, name, NameRef::Kind::kLevel);
    if (!level) {
      // A hierarchy alone: its top level.
      if (auto h = Find(model_, name, NameRef::Kind::kHierarchy)) {
        const std::size_t top = TopLevelOf(model_, *h);
        if (top != npos) level = top;
      }
    }
    if (!level) {
      Drop(what);
      continue;
    }
    const std::size_t h = model_.LevelHierarchy(*level);
    if (FieldOf(layout_, h) != nullptr || !PlaceField(layout_, model_, on_rows, h, *level))
      Drop(what + " (its hierarchy is placed already)");
  }
}

void ViewPlacer::PlaceSlicers() {
  for (const PivotView::Slicer& slicer : view_.slicers) {
    const auto h = Find(model_, slicer.hierarchy, NameRef::Kind::kHierarchy);
    if (!h) {
      Drop("slicer " + slicer.hierarchy);
      continue;
    }
    std::vector<std::size_t> members;
    for (const std::string& name : slicer.members) {
      const auto m = Find(model_, name, NameRef::Kind::kMember);
      if (!m || model_.HierarchyOf(*m) != *h) {
        Drop("slicer member " + name);
      } else if (std::find(members.begin(), members.end(), *m) == members.end()) {
        members.push_back(*m);
      }
    }
    const bool taken = FieldOf(layout_, *h) != nullptr ||
                       std::any_of(layout_.slicers.begin(), layout_.slicers.end(),
                                   [&](const PivotSlicer& s) { return s.hierarchy == *h; });
    if (members.empty() || taken || !SetSlicer(layout_, model_, *h, members))
      Drop("slicer " + slicer.hierarchy);
  }
}

void ViewPlacer::PlaceDrills() {
  std::vector<std::size_t> drills;
  for (const std::string& name : view_.expanded) {
    const auto m = Find(model_, name, NameRef::Kind::kMember);
    if (m) {
      drills.push_back(*m);
    } else {
      Drop("drilled member " + name);
    }
  }
  // Parents first: a member is shown only under its drilled parent.
  std::stable_sort(drills.begin(), drills.end(), [&](std::size_t a, std::size_t b) {
    return model_.DepthOf(a) < model_.DepthOf(b);
  });
  for (std::size_t m : drills) {
    if (layout_.expanded.count(m) == 0 && !Expand(layout_, model_, m))
      Drop("drilled member " + model_.UniqueName(m));
  }
}

ViewLayout ViewPlacer::Place() {
  layout_.measures_on_rows = view_.measures_on_rows;
  layout_.non_empty = view_.non_empty;
  layout_.totals = view_.totals;
  layout_.subtotals = view_.subtotals;
  PlaceMeasures();
  PlaceFields(true);
  PlaceFields(false);
  PlaceSlicers();
  PlaceDrills();
  if (view_.sort) {
    if (AllFound(model_, view_.sort->column)) {
      layout_.sort = view_.sort;
    } else {
      Drop("the sort");
    }
  }
  if (view_.filter &&
      (!AllFound(model_, view_.filter->column) || !SetFilter(layout_, model_, view_.filter))) {
    Drop("the filter");
  }
  if (CheckLayout(model_, layout_)) {
    layout_ = DefaultLayout(model_);
    Drop("the layout (it does not fit the cube)");
  }
  return ViewLayout{std::move(layout_), std::move(dropped_)};
}

}  // namespace

PivotView ViewOfLayout(const CubeModel& model, const PivotLayout& layout, const std::string& cube) {
  PivotLayout shown = layout;
  KeepShownDrills(model, shown);
  PivotView view;
  view.cube = cube;
  view.mdx = PivotMdx(model, shown);
  for (std::size_t m : shown.measures) view.measures.push_back(MeasureName(model, m));
  for (const PivotField& field : shown.rows) view.rows.push_back(LevelName(model, field.level));
  for (const PivotField& field : shown.columns)
    view.columns.push_back(LevelName(model, field.level));
  // Parents before children, as they are drilled.
  std::vector<std::size_t> drills(shown.expanded.begin(), shown.expanded.end());
  std::sort(drills.begin(), drills.end(), [&](std::size_t a, std::size_t b) {
    return std::pair(model.HierarchyOf(a), model.HierarchyOrder(a)) <
           std::pair(model.HierarchyOf(b), model.HierarchyOrder(b));
  });
  for (std::size_t m : drills) view.expanded.push_back(model.UniqueName(m));
  for (const PivotSlicer& slicer : shown.slicers) {
    PivotView::Slicer named{model.HierarchyName(slicer.hierarchy), {}};
    for (std::size_t m : slicer.members) named.members.push_back(model.UniqueName(m));
    view.slicers.push_back(std::move(named));
  }
  view.non_empty = shown.non_empty;
  view.totals = shown.totals;
  view.subtotals = shown.subtotals;
  view.measures_on_rows = shown.measures_on_rows;
  view.sort = shown.sort;
  view.filter = shown.filter;
  return view;
}

ViewLayout LayoutOfView(const CubeModel& model, const PivotView& view) {
  return ViewPlacer(model, view).Place();
}

}  // namespace cubemill::browse
