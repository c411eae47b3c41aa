// The MDX query a pivot layout asks. Each axis is the cross join of its fields' sets, outermost
// first, with the measures innermost where they nest on it; then the grand total, the tuple of
// the axis's ALL members (an axis with a hierarchy that has no ALL level shows no total: a
// calculated total would give every query a calculation step, which reads the cells once
// more). Without a sort the query is one scan (no WITH, no function that computes); a sort orders
// the rows with Order, nested fields with Generate so that each outer member keeps its rows
// together. A filter of the rows wraps their set (sorted or not) in TopCount, BottomCount or
// Filter, and one of the columns the column fields' set; the total stays outside it. Subtotals
// follow each outer member's rows (Generate), as the grand total follows all rows.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "browse/pivot.h"
#include "browse/pivot_members.h"
#include "common/quoted_text.h"

namespace cubemill::browse {

namespace {

using query::CubeModel;

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

// `layout` without what does not fit the cube: fields of unknown hierarchies or levels, a
// hierarchy placed twice, unknown members and measures, a sort whose names are no names.
PivotLayout Fitted(const CubeModel& model, const PivotLayout& layout) {
  PivotLayout fitted = layout;
  std::vector<bool> placed(model.HierarchyCount(), false);
  const auto take = [&](std::size_t h) {
    if (h >= placed.size() || placed[h]) return false;
    placed[h] = true;
    return true;
  };
  for (auto* axis : {&fitted.rows, &fitted.columns}) {
    std::erase_if(*axis, [&](const PivotField& f) {
      return f.hierarchy >= model.HierarchyCount() || !IsFieldLevel(model, f.hierarchy, f.level) ||
             !take(f.hierarchy);
    });
  }
  std::erase_if(fitted.slicers, [&](PivotSlicer& s) {
    if (s.hierarchy >= model.HierarchyCount()) return true;
    std::erase_if(s.members, [&](std::size_t m) {
      return m >= model.MemberCount() || model.HierarchyOf(m) != s.hierarchy;
    });
    return s.members.empty() || !take(s.hierarchy);
  });
  fitted.measures.clear();
  for (std::size_t m : layout.measures) {
    if (m < model.Catalog().measures.size() &&
        std::find(fitted.measures.begin(), fitted.measures.end(), m) == fitted.measures.end())
      fitted.measures.push_back(m);
  }
  if (fitted.measures.empty() && !model.Catalog().measures.empty()) fitted.measures.push_back(0);
  std::erase_if(fitted.expanded, [&](std::size_t m) { return m >= model.MemberCount(); });
  if (fitted.sort) {
    for (const std::string& name : fitted.sort->column)
      if (!SplitUniqueName(name)) fitted.sort.reset();
  }
  if (fitted.filter) {
    for (const std::string& name : fitted.filter->column)
      if (!SplitUniqueName(name)) fitted.filter.reset();
  }
  if (fitted.filter && (fitted.rows.empty() || !std::isfinite(fitted.filter->amount)))
    fitted.filter.reset();
  if (fitted.column_filter) {
    for (const std::string& name : fitted.column_filter->column)
      if (!SplitUniqueName(name)) fitted.column_filter.reset();
  }
  if (fitted.column_filter &&
      (fitted.columns.empty() || !std::isfinite(fitted.column_filter->amount)))
    fitted.column_filter.reset();
  return fitted;
}

// A field's set: its level's members and, right after each drilled member, its children.
std::string FieldSet(const CubeModel& model, const PivotLayout& layout, const PivotField& field) {
  const std::string level = LevelName(model, field.level) + ".Members";
  const std::vector<std::size_t> drilled = DrilledMembers(model, layout, field);
  if (drilled.empty()) return level;
  std::vector<std::string> parts{level};
  for (std::size_t m : drilled) parts.push_back(model.UniqueName(m) + ".Children");
  return "Hierarchize({" + Joined(parts) + "})";
}

std::string MeasureSet(const CubeModel& model, const PivotLayout& layout) {
  std::vector<std::string> names;
  for (std::size_t m : layout.measures) names.push_back(MeasureName(model, m));
  return "{" + Joined(names) + "}";
}

// A column's value as an expression: its one name, or the tuple of its names.
std::string ColumnValue(const std::vector<std::string>& column) {
  return column.size() == 1 ? column.front() : "(" + Joined(column) + ")";
}

// A number as the shortest text that reads back as it.
std::string NumberText(double number) {
  // Fixed notation: a query's numbers have no exponent.
  std::array<char, 400> text{};
  const auto end =
      std::to_chars(text.data(), text.data() + text.size(), number, std::chars_format::fixed).ptr;
  return std::string(text.data(), end);
}

// The rows' set `set` as the filter keeps it.
std::string Filtered(const std::string& set, const PivotFilter& filter) {
  const std::string value = ColumnValue(filter.column);
  const std::string amount = NumberText(filter.amount);
  switch (filter.kind) {
    case PivotFilter::Kind::kTop:
      return "TopCount(" + set + ", " + amount + ", " + value + ")";
    case PivotFilter::Kind::kBottom:
      return "BottomCount(" + set + ", " + amount + ", " + value + ")";
    case PivotFilter::Kind::kAbove:
      return "Filter(" + set + ", " + value + " > " + amount + ")";
    case PivotFilter::Kind::kBelow:
      return "Filter(" + set + ", " + value + " < " + amount + ")";
  }
  return set;
}

std::string CrossJoined(const std::vector<std::string>& sets) {
  return sets.size() == 1 ? sets.front() : "CrossJoin(" + Joined(sets) + ")";
}

// The grand total's tuple: the ALL member of each field's hierarchy; "" when there is no field
// or one has no ALL level.
std::string TotalTuple(const CubeModel& model, const std::vector<PivotField>& fields) {
  std::vector<std::string> members;
  for (const PivotField& field : fields) {
    const std::size_t all = AllMemberOf(model, field.hierarchy);
    if (all == npos) return "";
    members.push_back(model.UniqueName(all));
  }
  if (members.empty()) return "";
  return members.size() == 1 ? members.front() : "(" + Joined(members) + ")";
}

// Whether the rows show a subtotal after each member of their outer fields: asked for, two
// fields or more, and no filter (a subtotal would count rows the filter keeps out of sight).
bool Subtotaled(const PivotLayout& layout) {
  return layout.subtotals && layout.rows.size() >= 2 && !layout.filter;
}

// The subtotal tuple of row field `k`'s current member: that member with the ALL member of each
// field inside it; "" when one of those has no ALL level.
std::string SubtotalTuple(const CubeModel& model, const PivotLayout& layout, std::size_t k) {
  std::string tuple = model.HierarchyName(layout.rows[k].hierarchy) + ".CurrentMember";
  for (std::size_t i = k + 1; i < layout.rows.size(); ++i) {
    const std::size_t all = AllMemberOf(model, layout.rows[i].hierarchy);
    if (all == npos) return "";
    tuple += ", " + model.UniqueName(all);
  }
  return "(" + tuple + ")";
}

// The rows' fields from `first` on, each within the member of the fields outside it: ordered by
// `value` when there is a sort (ASC and DESC keep a drilled member's children under it), and
// each outer member's rows followed by its subtotal when the layout asks for subtotals.
std::string NestedRows(const CubeModel& model, const PivotLayout& layout, std::size_t first,
                       const std::string& value) {
  const PivotField& field = layout.rows[first];
  std::string set = FieldSet(model, layout, field);
  if (layout.sort)
    set = "Order(" + set + ", " + value + ", " + (layout.sort->descending ? "DESC" : "ASC") + ")";
  if (first + 1 == layout.rows.size()) return set;
  const std::string inner = "CrossJoin({" + model.HierarchyName(field.hierarchy) +
                            ".CurrentMember}, " + NestedRows(model, layout, first + 1, value) + ")";
  const std::string subtotal = Subtotaled(layout) ? SubtotalTuple(model, layout, first) : "";
  return "Generate(" + set + ", " +
         (subtotal.empty() ? inner : "{" + inner + ", " + subtotal + "}") + ")";
}

std::string AxisSet(const CubeModel& model, const PivotLayout& layout, bool rows,
                    bool with_measures) {
  const std::vector<PivotField>& fields = rows ? layout.rows : layout.columns;
  std::vector<std::string> sets;
  if (rows && !fields.empty() && (layout.sort || Subtotaled(layout))) {
    sets.push_back(
        NestedRows(model, layout, 0, layout.sort ? ColumnValue(layout.sort->column) : ""));
  } else {
    for (const PivotField& field : fields) sets.push_back(FieldSet(model, layout, field));
  }
  const std::optional<PivotFilter>& filter = rows ? layout.filter : layout.column_filter;
  if (filter && !fields.empty()) sets = {Filtered(CrossJoined(sets), *filter)};
  const std::string measures = with_measures ? MeasureSet(model, layout) : "";
  if (with_measures) sets.push_back(measures);
  const std::string main = CrossJoined(sets);
  const std::string total = layout.totals ? TotalTuple(model, fields) : "";
  if (total.empty()) return main;
  return "{" + main + ", " +
         (with_measures ? "CrossJoin({" + total + "}, " + measures + ")" : total) + "}";
}

std::string SlicerSet(const CubeModel& model, const PivotSlicer& slicer) {
  std::vector<std::string> members;
  for (std::size_t m : slicer.members) members.push_back(model.UniqueName(m));
  return members.size() == 1 ? members.front() : "{" + Joined(members) + "}";
}

}  // namespace

std::string PivotMdx(const CubeModel& model, const PivotLayout& layout) {
  const PivotLayout fitted = Fitted(model, layout);
  // COLUMNS cannot be left out: with no column field the measures stay there.
  const bool measures_on_rows = fitted.measures_on_rows && !fitted.columns.empty();
  const std::string non_empty = fitted.non_empty ? "NON EMPTY " : "";
  std::string mdx =
      "SELECT " + non_empty + AxisSet(model, fitted, false, !measures_on_rows) + " ON COLUMNS";
  if (!fitted.rows.empty() || measures_on_rows)
    mdx += ",\n  " + non_empty + AxisSet(model, fitted, true, measures_on_rows) + " ON ROWS";
  mdx += "\nFROM " + Bracketed(model.Catalog().name);
  std::vector<std::string> slicers;
  for (const PivotSlicer& slicer : fitted.slicers) slicers.push_back(SlicerSet(model, slicer));
  if (slicers.size() == 1) mdx += "\nWHERE " + slicers.front();
  if (slicers.size() > 1) mdx += "\nWHERE (" + Joined(slicers) + ")";
  return mdx;
}

}  // namespace cubemill::browse
