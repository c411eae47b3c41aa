// The pivot table of cubemill-browse without its widgets: what the user has laid out (fields on
// rows and columns, drilled members, slicers, measures, sort), the MDX query that asks for it,
// and the grid of its answer with the headers a pivot shows (indent, + and -, totals).
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/error.h"
#include "platform/number_locale.h"
#include "provider/cubefile/cube_reader.h"
#include "query/binder/cube_model.h"
#include "query/query_evaluator.h"
#include "query/result_format.h"

namespace cubemill::browse {

inline constexpr std::size_t npos = static_cast<std::size_t>(-1);

// A hierarchy placed on an axis, shown from `level` (an index into the catalog's levels, a level
// of that hierarchy below ALL) down to wherever the user drilled.
struct PivotField {
  std::size_t hierarchy = 0;  // index into the catalog's hierarchies
  std::size_t level = 0;
  bool operator==(const PivotField&) const = default;
};

// The members of one hierarchy that the answer is restricted to; several members aggregate
// over all of them (each stored row once), as a WHERE set does.
struct PivotSlicer {
  std::size_t hierarchy = 0;
  std::vector<std::size_t> members;  // member indexes of the CubeModel; empty: the whole
  bool operator==(const PivotSlicer&) const = default;
};

// Rows ordered by the values of one column of the answer, the column named by its tuple's
// unique names (so that the order survives a drill-down that adds columns).
struct PivotSort {
  std::vector<std::string> column;  // the column tuple's unique names, measure included
  bool descending = true;
  bool operator==(const PivotSort&) const = default;
};

// Rows kept by their values in one column of the answer, the column named as PivotSort's: the
// `amount` rows with the largest (kTop) or smallest (kBottom) values, or the rows whose value is
// above (kAbove) or below (kBelow) `amount`. The grand total row stays (the total of all rows).
// As the columns' filter, it keeps columns by their values in one row, `column` then naming the
// row's tuple: its members and one measure.
struct PivotFilter {
  enum class Kind { kTop, kBottom, kAbove, kBelow };
  Kind kind = Kind::kTop;
  std::vector<std::string> column;  // the column tuple's unique names, measure included
  double amount = 10;               // kTop, kBottom: a count, a whole number from 1; else the bound
  bool operator==(const PivotFilter&) const = default;
};

// Everything the user has chosen; a pure value, compared to decide whether to ask again.
struct PivotLayout {
  std::vector<PivotField> rows, columns;  // outermost first
  std::vector<std::size_t> measures;      // indexes into the catalog's measures; at least one
  bool measures_on_rows = false;          // where the measures nest when there are several
  std::vector<PivotSlicer> slicers;       // at most one per hierarchy, none on an axis
  std::set<std::size_t> expanded;         // members drilled into (+), on either axis
  bool non_empty = true;
  bool totals = true;  // a grand total row and column
  // With nested row fields, each outer member's rows followed by its subtotal; none while a
  // filter is set (the subtotal would count rows the filter hides)
  bool subtotals = true;
  std::optional<PivotSort> sort;
  std::optional<PivotFilter> filter;         // of the rows; none without a row field
  std::optional<PivotFilter> column_filter;  // of the columns; none without a column field
  bool operator==(const PivotLayout&) const = default;
};

// The layout the browser opens a cube with: two hierarchies at their top levels, the first on
// rows, the second (if any) on columns, the first measure, nothing drilled. The hierarchies are
// the first two in the cube's order whose top level has at most 100 members, or where fewer
// have, the smallest of the others.
PivotLayout DefaultLayout(const query::CubeModel& model);

// Whether `layout` fits `model`: each field a hierarchy of the cube at one of its levels below
// ALL, no hierarchy twice among the fields and the slicers, the slicers' members of their
// hierarchies, at least one measure and each once, drilled members of the cube, the sort's names
// unique names, the filter's too and its amount a count from 1 (or a finite bound). Returns
// nothing, or what is wrong. AnswerPivot refuses a layout that fails;
// PivotMdx leaves out what does not fit.
std::optional<Error> CheckLayout(const query::CubeModel& model, const PivotLayout& layout);

// Changes the layout as the window's gestures do. Each keeps the layout valid: a field moved to
// an axis leaves the other axis and the slicers; a field's level must belong to its hierarchy;
// the last measure cannot be removed. They return false (and change nothing) for an index out
// of range or a change that would break the layout.
// - PlaceField puts the hierarchy at `level` at `position` among the axis's other fields (at the
//   end for npos or beyond); placed where it is, it moves or changes its level.
// - RemoveField takes the hierarchy off its axis or its slicer; false when it is on neither.
//   Its drilled members stay in `expanded`, unshown, until the next edit that takes the model.
// - SetSlicer restricts the answer to `members` (each once, of that hierarchy, any level); the
//   hierarchy leaves its axis; no members removes the slicer.
// - ToggleMeasure adds the measure (last) or removes it.
// - SwapAxes exchanges rows and columns, the measures' axis too, and drops the sort and filter.
// - SetFilter filters the rows by a column of the answer (as the sort names it); nothing
//   removes the filter. False for a column that is not the answer's, for no row field, or for an
//   amount that does not fit.
// - Expand drills into a member shown on an axis that has children; Collapse closes it and the
//   drills below it.
// The edits that take the model also drop drilled members no field shows any more, and the sort
// when its column is no longer one of the answer's (a column field removed, its member
// collapsed away, its measure removed), and the filter likewise or when no row field is left.
bool PlaceField(PivotLayout& layout, const query::CubeModel& model, bool on_rows,
                std::size_t hierarchy, std::size_t level, std::size_t position = npos);
bool RemoveField(PivotLayout& layout, std::size_t hierarchy);
bool SetSlicer(PivotLayout& layout, const query::CubeModel& model, std::size_t hierarchy,
               std::vector<std::size_t> members);
bool ToggleMeasure(PivotLayout& layout, const query::CubeModel& model, std::size_t measure);
void SwapAxes(PivotLayout& layout);
bool SetFilter(PivotLayout& layout, const query::CubeModel& model,
               std::optional<PivotFilter> filter);
// - SetColumnFilter filters the columns by a row of the answer: the row's members (a member of
//   each row field or its ALL member) and one of the layout's measures; nothing removes it. False
//   for a row that is not the answer's, no column field, or an amount that does not fit. It goes
//   with a row field removed and as the row filter does otherwise.
bool SetColumnFilter(PivotLayout& layout, const query::CubeModel& model,
                     std::optional<PivotFilter> filter);
bool Expand(PivotLayout& layout, const query::CubeModel& model, std::size_t member);
bool Collapse(PivotLayout& layout, const query::CubeModel& model, std::size_t member);

// The MDX query for `layout`, as cubemill-query accepts it: the text the browser shows and the
// text it sends to the engine. Each axis is the CrossJoin of its fields' sets, the measures
// innermost on their axis (always one, also for a single measure, so that each column or row
// names its measure; with no column field they stay on COLUMNS, which a query cannot leave
// out). The grand total is the tuple of the axis's ALL members, last; an axis with a hierarchy
// that has no ALL level shows no total (a calculated one would give every query a calculation
// step). Without a sort the query is one scan; a sort orders each
// row field with Order, nested fields within their outer member (Generate), the total last. A
// filter keeps rows with TopCount, BottomCount or Filter over the rows' set (sorted or not), the
// total outside it; the columns' filter likewise over the column fields' set. Subtotals (nested
// row fields, no filter of the rows) come with Generate: after the rows of each member of an
// outer field, the tuple of that member and the inner fields' ALL members (none for an outer
// field when an inner hierarchy has no ALL level).
std::string PivotMdx(const query::CubeModel& model, const PivotLayout& layout);

// The layout that shows `mdx` (a query given on the command line) as it asks: each axis's
// hierarchies at the highest level the axis names of them, drilled members where a member's
// children (or members further down) are on the axis too, the WHERE members as slicers, the
// measures of an axis or of WHERE. The pivot shows whole levels: a set that names some members
// of a level shows all of them. Fails naming what the pivot cannot show (a calculated member, a
// subselect, a set function it cannot lay out, a subtotal other than the pivot's, tuples that
// are no cross join);
// the browser then shows the error and the default layout. The rows' Order, TopCount,
// BottomCount and Filter are read as the sort and the filter; the columns' TopCount,
// BottomCount and Filter as the columns' filter. LayoutFromMdx(PivotMdx(layout))
// gives the layout back, its sort and filter too, but for what the query does not say: drilled
// members no field shows, measures_on_rows without a column field (false), `totals` where no
// axis could show a total (true) and `subtotals` where the rows could show none (true).
Result<PivotLayout> LayoutFromMdx(const query::CubeModel& model, const std::string& mdx);

// One header of the grid: a member of a row's or a column's tuple.
struct PivotHeader {
  std::string caption;
  std::size_t member = npos;   // CubeModel member index; npos for a measure or a total
  std::size_t measure = npos;  // catalog measure index for a measure header
  int indent = 0;              // levels below the field's level: 0 at the field's level
  bool can_expand = false;     // the member has children and is not drilled: show +
  bool expanded = false;       // drilled: show -
  bool total = false;          // the grand total ("Total")
  bool operator==(const PivotHeader&) const = default;
};

// The answer as the pivot shows it.
struct PivotGrid {
  std::vector<std::vector<PivotHeader>> row_headers;          // [row][row field or measure]
  std::vector<std::vector<PivotHeader>> column_headers;       // [column][column field or measure]
  std::vector<std::vector<std::string>> column_unique_names;  // [column] for PivotSort
  std::vector<std::vector<std::string>> row_unique_names;     // [row] for the columns' filter
  std::vector<std::vector<provider::cubefile::CellValue>> cells;  // [row][column]
  // [row][column] as a person reads it: as the measure's FORMAT asks, else with its decimals and
  // `separators` (query::ReadableValue)
  std::vector<std::vector<std::string>> texts;
  std::vector<std::size_t> column_measure, row_measure;  // as in query::QueryResult
  query::MeasureFormats measure_formats;  // the catalog's measures' FORMATs and decimals
  platform::NumberSeparators separators;  // what `texts` separate thousands and decimals with
  std::size_t slicer_measure = 0;
  std::string mdx;  // the query that gave it
  std::size_t Rows() const { return row_headers.size(); }
  std::size_t Columns() const { return column_headers.size(); }
  // The measure (catalog index) of the cell at row, column: the column's, else the row's, else
  // the slicer's.
  std::size_t MeasureAt(std::size_t row, std::size_t column) const;
  // The FORMAT of that measure; "" for none.
  const std::string& FormatAt(std::size_t row, std::size_t column) const;
  // The decimals of that measure; nothing when the cube does not say.
  std::optional<int> DecimalsAt(std::size_t row, std::size_t column) const;
};

// Asks the query engine for `layout` (PivotMdx) and lays the answer out as a grid, its texts
// separated by `separators`. `cancel`, when given and set from another thread, ends the query
// early with the error "Cancelled". The reader is used from the calling thread only.
Result<PivotGrid> AnswerPivot(const provider::cubefile::CubeReader& reader,
                              const query::CubeModel& model, const PivotLayout& layout,
                              const std::atomic<bool>* cancel = nullptr,
                              const platform::NumberSeparators& separators = {});

}  // namespace cubemill::browse
