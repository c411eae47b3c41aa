// cubemill-browse --export: the window's export of a layout, written without a window.
#include <algorithm>
#include <cstdio>
#include <string>

#include "browse/pivot_export.h"
#include "browse/pivot_view.h"
#include "platform/ascii_text.h"
#include "platform/number_locale.h"
#include "ui/browse_cube.h"
#include "ui/browse_front_end.h"

namespace cubemill::ui {
namespace {

int Fail(const std::string& reason) {
  std::string line = reason;
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  std::fprintf(stderr, "cubemill-browse: %s\n", line.c_str());
  return 1;
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         platform::EqualsIgnoringCase(std::string_view(text).substr(text.size() - end.size()), end);
}

}  // namespace

int ExportWithoutWindow(const std::string& file, const std::string& cube, const std::string& mdx) {
  auto opened = OpenBrowseCube(cube);
  if (!opened) return Fail(opened.error().description);
  const BrowseCube& open = **opened;
  browse::PivotLayout layout = browse::DefaultLayout(*open.model);
  if (EndsWithIgnoringCase(mdx, browse::kViewSuffix)) {
    auto view = browse::ReadViewFile(mdx);
    if (!view) return Fail(view.error().description);
    browse::ViewLayout of_view = browse::LayoutOfView(*open.model, *view);
    // A scheduled report without a slicer or a field would be a wrong report: none is written.
    if (!of_view.dropped.empty()) {
      std::string dropped;
      for (const std::string& what : of_view.dropped)
        dropped += (dropped.empty() ? "" : "; ") + what;
      return Fail("the view " + mdx + " names what the cube lacks: " + dropped);
    }
    layout = std::move(of_view.layout);
  } else if (mdx.find_first_not_of(" \t\r\n") != std::string::npos) {
    auto from_mdx = browse::LayoutFromMdx(*open.model, mdx);
    if (!from_mdx) {
      return Fail("the query cannot be shown as a pivot: " + from_mdx.error().description);
    }
    layout = std::move(*from_mdx);
  }
  // The figures' texts as the window makes them (they size the workbook's columns).
  auto grid = browse::AnswerPivot(*open.reader, *open.model, layout, nullptr,
                                  platform::LocaleNumberSeparators());
  if (!grid) return Fail("the query failed: " + grid.error().description);
  const bool workbook = EndsWithIgnoringCase(file, ".xlsx");
  if (auto error = browse::WritePivotFile(*grid, *open.model, layout, open.path, file, workbook))
    return Fail("cannot export to " + file + ": " + error->description);
  return 0;
}

}  // namespace cubemill::ui
