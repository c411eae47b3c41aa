// The grid laid out for a file: where it comes from and its slicers above it, one column (or
// header line) per level of each field, the ancestors' captions filled in, and the levels named.
#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "browse/pivot_export.h"
#include "browse/pivot_names.h"

namespace cubemill::browse {
namespace {

using query::CubeModel;

ExportCell Text(std::string text, bool total = false) {
  ExportCell cell;
  cell.kind = ExportCell::Kind::kHeader;
  cell.text = std::move(text);
  cell.total = total;
  return cell;
}

// The hierarchy as the window's fields name it: "Store", "Time.Fiscal".
std::string HierarchyLabel(const CubeModel& model, std::size_t h) {
  const auto& catalog = model.Catalog();
  const auto& stored = catalog.hierarchies[h];
  std::string dimension;
  for (const auto& d : catalog.dimensions) {
    if (d.id == stored.dimension) dimension = d.name;
  }
  return stored.name.empty() ? dimension : dimension + "." + stored.name;
}

// Where each header of an axis's tuples goes among the axis's export columns (lines).
struct AxisPlaces {
  std::vector<std::size_t> offset;  // per header position: its first column
  std::vector<std::size_t> span;    // per header position: its columns
  std::vector<int> top;             // per field: the depth of its level
  std::vector<std::string> names;   // per column: its level's name, or "Measures"
  std::size_t width = 0;
};

AxisPlaces PlacesOf(const CubeModel& model, const std::vector<PivotField>& fields,
                    const std::vector<std::vector<PivotHeader>>& tuples) {
  AxisPlaces places;
  const std::size_t positions = tuples.empty() ? fields.size() : tuples.front().size();
  for (std::size_t i = 0; i < positions; ++i) {
    std::size_t span = 1;
    if (i < fields.size()) {
      const std::size_t h = fields[i].hierarchy;
      const auto& levels = model.LevelsOf(h);
      const auto first = static_cast<std::size_t>(
          std::find(levels.begin(), levels.end(), fields[i].level) - levels.begin());
      places.top.push_back(model.Catalog().levels[fields[i].level].ordinal);
      for (const auto& tuple : tuples) {
        if (i >= tuple.size() || tuple[i].member == npos) continue;
        span = std::max(span, static_cast<std::size_t>(std::max(tuple[i].indent, 0)) + 1);
      }
      span =
          std::max<std::size_t>(1, std::min(span, levels.size() - std::min(first, levels.size())));
      for (std::size_t k = 0; k < span; ++k) {
        places.names.push_back(first + k < levels.size()
                                   ? model.Catalog().levels[levels[first + k]].name
                                   : std::string());
      }
    } else {
      places.names.emplace_back("Measures");
    }
    places.offset.push_back(places.width);
    places.span.push_back(span);
    places.width += span;
  }
  return places;
}

// The export cells of one tuple: each member in its level's column, its ancestors in the columns
// before it, below it nothing. Each is named in its context, less the ancestor in the column
// before it ("2024", "Q1" where the grid, without the year's column, says "2024 Q1").
std::vector<ExportCell> Place(const CubeModel& model, ContextNames& names, const AxisPlaces& places,
                              const std::vector<PivotHeader>& tuple) {
  std::vector<ExportCell> cells(places.width);
  for (std::size_t i = 0; i < tuple.size() && i < places.offset.size(); ++i) {
    const PivotHeader& header = tuple[i];
    const std::size_t at = places.offset[i];
    if (header.total || header.member == npos || i >= places.top.size()) {
      cells[at] = Text(header.caption, header.total);
      continue;
    }
    const std::size_t depth =
        std::min(static_cast<std::size_t>(std::max(header.indent, 0)), places.span[i] - 1);
    std::size_t beside = npos;
    for (std::size_t k = 0; k < depth; ++k) {
      const std::size_t ancestor =
          model.AncestorAt(header.member, places.top[i] + static_cast<int>(k));
      if (ancestor == npos) continue;
      cells[at + k] = Text(names.Name(ancestor, beside));
      beside = ancestor;
    }
    cells[at + depth] = Text(names.Name(header.member, beside));
  }
  return cells;
}

// The lines above the table: the cube file and each slicer, then a blank line.
std::vector<std::vector<ExportCell>> ContextLines(const CubeModel& model, ContextNames& names,
                                                  const PivotLayout& layout,
                                                  const std::string& cube) {
  std::vector<std::vector<ExportCell>> lines;
  lines.push_back({Text("Cube"), Text(cube)});
  for (const PivotSlicer& slicer : layout.slicers) {
    if (slicer.hierarchy >= model.HierarchyCount() || slicer.members.empty()) continue;
    std::vector<ExportCell> line{Text(HierarchyLabel(model, slicer.hierarchy))};
    for (std::size_t m : slicer.members) {
      if (m < model.MemberCount()) line.push_back(Text(names.Name(m)));
    }
    lines.push_back(std::move(line));
  }
  lines.emplace_back();
  return lines;
}

}  // namespace

ExportSheet PivotExport(const PivotGrid& grid, const CubeModel& model, const PivotLayout& layout,
                        const std::string& cube) {
  const AxisPlaces rows = PlacesOf(model, layout.rows, grid.row_headers);
  const AxisPlaces columns = PlacesOf(model, layout.columns, grid.column_headers);
  ContextNames names(model);
  ExportSheet sheet;
  sheet.table = ContextLines(model, names, layout, cube);
  sheet.context_lines = sheet.table.size();
  const std::size_t width = rows.width + grid.Columns();

  // The column headers, one line per level, with the row fields' level names on the last.
  const std::size_t header_lines = std::max<std::size_t>(columns.width, rows.width > 0 ? 1 : 0);
  std::vector<std::vector<ExportCell>> header(header_lines, std::vector<ExportCell>(width));
  for (std::size_t c = 0; c < grid.Columns(); ++c) {
    const auto cells = Place(model, names, columns, grid.column_headers[c]);
    for (std::size_t line = 0; line < cells.size(); ++line)
      header[line][rows.width + c] = cells[line];
  }
  for (std::size_t line = 0; line < header_lines && rows.width > 0; ++line) {
    if (line + 1 == header_lines) {
      for (std::size_t k = 0; k < rows.width; ++k) header[line][k] = Text(rows.names[k]);
    } else if (line < columns.names.size()) {
      header[line][rows.width - 1] = Text(columns.names[line]);
    }
  }
  for (auto& line : header) sheet.table.push_back(std::move(line));
  sheet.frozen_lines = sheet.table.size();
  sheet.frozen_columns = rows.width;

  const std::size_t grid_lines = ColumnHeaderLines(grid);
  const std::size_t grid_columns = RowHeaderColumns(grid);
  for (std::size_t r = 0; r < grid.Rows(); ++r) {
    std::vector<ExportCell> line = Place(model, names, rows, grid.row_headers[r]);
    line.reserve(width);
    for (std::size_t c = 0; c < grid.Columns(); ++c)
      line.push_back(TableCell(grid, grid_lines + r, grid_columns + c));
    sheet.table.push_back(std::move(line));
  }
  return sheet;
}

std::optional<Error> WritePivotFile(const PivotGrid& grid, const CubeModel& model,
                                    const PivotLayout& layout, const std::string& cube_path,
                                    const std::string& path, bool workbook,
                                    const ExportProgress& progress) {
  const std::string cube = std::filesystem::path(cube_path).filename().string();
  const ExportSheet sheet = PivotExport(grid, model, layout, cube);
  if (progress && !progress(0, sheet.table.size())) return Error{"Cancelled", 0, "Export"};
  return workbook ? WriteWorkbook(sheet, path, progress) : WriteCsv(sheet.table, path, progress);
}

}  // namespace cubemill::browse
