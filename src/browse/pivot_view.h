// A saved view of cubemill-browse (a ".cmview" file): a pivot layout by the names of what it
// shows, the MDX that asks for it and the cube file it was made on. The names, not the indexes
// of one cube file, make a view outlive a rebuilt cube; a view opened on a cube that lacks some
// of them opens with the rest and says what it left out.
//
// The file is UTF-8 text, readable and writable by hand:
//
//   cubemill-view 1
//   cube = /home/ana/sales.cub
//   mdx = SELECT ...
//   measure = [Measures].[Quantity]
//   row = [Geography].[Country]
//   column = [Time].[Calendar].[Year]
//   expanded = [Geography].[Country].[Spain]
//   non-empty = yes
//   totals = yes
//   subtotals = yes
//   measures-on-rows = no
//   [slicer]
//   hierarchy = [Product]
//   member = [Product].[Category].[Bikes]
//   [sort]
//   order = descending
//   column = [Measures].[Quantity]
//   [filter]
//   kind = top
//   amount = 10
//   column = [Measures].[Quantity]
//
// The first line names the format and its version. Then "key = value" lines, each under the
// section above it ("[slicer]" once per slicer), blank lines and "#" comments. Keys and sections
// a reader does not know are skipped, so that a newer writer can add to a view that older readers
// still open; a version newer than the reader's is refused. In a value, "\\", "\n", "\r", "\t"
// stand for a backslash, line breaks and a tab, "\s" for a blank at either end of the value.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browse/pivot.h"
#include "common/error.h"
#include "query/binder/cube_model.h"

namespace cubemill::browse {

inline constexpr int kViewVersion = 1;
inline constexpr char kViewSuffix[] = ".cmview";

// A view as its file holds it: unique names as a query writes them.
struct PivotView {
  struct Slicer {
    std::string hierarchy;
    std::vector<std::string> members;
    bool operator==(const Slicer&) const = default;
  };
  std::string cube;  // the cube file it was made on: a hint, which the view opens without
  std::string mdx;   // the query of its layout (PivotMdx), for a person or another program
  std::vector<std::string> measures;       // measures' unique names
  std::vector<std::string> rows, columns;  // fields' levels, outermost first
  std::vector<std::string> expanded;       // members drilled into
  std::vector<Slicer> slicers;
  bool non_empty = true;
  bool totals = true;
  bool subtotals = true;  // a view written before subtotals existed shows them, as new ones do
  bool measures_on_rows = false;
  std::optional<PivotSort> sort;
  std::optional<PivotFilter> filter;
  bool operator==(const PivotView&) const = default;
};

// The file's text of `view`.
std::string ViewText(const PivotView& view);

// Reads a view's text. Fails with what is wrong and on which line: not a view, a newer version,
// a line that is no "key = value", a value that does not fit its key, a section that misses what
// it needs.
Result<PivotView> ParseView(std::string_view text);

// Reads the view file at `path`; the error names the file and what is wrong (it cannot be read,
// it is too large to be a view, ParseView's).
Result<PivotView> ReadViewFile(const std::string& path);

// Writes `view` to `path`, a complete file or none. Returns the failure.
std::optional<Error> WriteViewFile(const PivotView& view, const std::string& path);

// The view of `layout` over `model`, made on the cube file `cube`; drills no field shows are left
// out.
PivotView ViewOfLayout(const query::CubeModel& model, const PivotLayout& layout,
                       const std::string& cube);

// The layout a view shows on `model`, and what of the view the cube lacks (or the layout cannot
// keep), one short phrase each ("row field [Time].[Week]"). Without a measure of the cube, the
// layout takes the cube's first. An empty `dropped` means the layout is the view's whole.
struct ViewLayout {
  PivotLayout layout;
  std::vector<std::string> dropped;
};
ViewLayout LayoutOfView(const query::CubeModel& model, const PivotView& view);

}  // namespace cubemill::browse
