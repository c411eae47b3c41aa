// The pivot grid as a table to hand on: tab-separated text for the clipboard, CSV, and a
// spreadsheet workbook (.xlsx) whose cells are numbers in their measure's number format.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browse/pivot.h"
#include "common/error.h"
#include "query/binder/cube_model.h"

namespace cubemill::browse {

// One cell of the exported table. The table has one line per member of a column's tuple (the
// column headers, a blank corner on their left) and then one line per row of the grid: the row
// tuple's captions, then the cells.
struct ExportCell {
  enum class Kind { kBlank, kHeader, kValue };
  Kind kind = Kind::kBlank;
  std::string text;                     // the header's caption; the value as its FORMAT shows it
  provider::cubefile::CellValue value;  // kValue: the value in full
  std::string format;                   // kValue: the measure's FORMAT ("" for none)
  std::optional<int> decimals;          // kValue: the measure's decimals, where the cube says
  int indent = 0;                       // kHeader: levels below its field's level
  bool total = false;                   // a header or a value of the grand total
  bool operator==(const ExportCell&) const = default;
};

using ExportTable = std::vector<std::vector<ExportCell>>;

// The whole grid as a table: ColumnHeaderLines(grid) lines of column headers, then grid.Rows()
// lines; each line has RowHeaderColumns(grid) row headers, then grid.Columns() cells.
ExportTable PivotTable(const PivotGrid& grid);
// The line count above the grid's rows and the column count left of its cells in that table.
std::size_t ColumnHeaderLines(const PivotGrid& grid);
std::size_t RowHeaderColumns(const PivotGrid& grid);
// One cell of PivotTable(grid), without making the rest; blank outside the table.
ExportCell TableCell(const PivotGrid& grid, std::size_t line, std::size_t column);

// A table to write to a file, and the part of it that stays in view when scrolled: the lines
// above its first value and the columns left of it.
struct ExportSheet {
  ExportTable table;
  std::size_t frozen_lines = 0;
  std::size_t frozen_columns = 0;
  std::size_t context_lines = 0;  // the lines above the table, which no column width fits
};

// The grid answering `layout` as a file holds it, to be read without the window: first where it
// comes from (a line "Cube", `cube`) and each slicer (a line naming its hierarchy, then its
// members), a blank line, then the table. Each field spans one column (a line, on columns) per
// level it shows, headed by the level's name, and a member fills its ancestors' cells with
// their captions, so that a state and its cities never share a column. The header line just
// above the values names the row fields' levels (and "Measures" where the measures are on rows);
// a column-header line above it names its level in its last row-header cell. The captions are
// the grid's (a member's ancestor not in the grid: its name).
ExportSheet PivotExport(const PivotGrid& grid, const query::CubeModel& model,
                        const PivotLayout& layout, const std::string& cube);

// Told how far an export has gone (`done` of `total`: lines written; a workbook counts its
// closing, which writes the file, as twice its lines); returns false to stop it, which then
// fails with "Cancelled" and leaves the file as it was.
using ExportProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Writes the grid answering `layout` of the cube file at `cube_path` to `path` as the window's
// exports and `cubemill-browse --export` do: PivotExport (headed by the cube file's name) as a
// workbook or as CSV, a complete file or none. Returns the failure ("Cancelled" when stopped).
std::optional<Error> WritePivotFile(const PivotGrid& grid, const query::CubeModel& model,
                                    const PivotLayout& layout, const std::string& cube_path,
                                    const std::string& path, bool workbook,
                                    const ExportProgress& progress = {});

// Tab-separated text of the cells of PivotTable(grid) at `lines` x `columns` (in the order
// given), each as the grid shows it, each line ending in "\n". A tab or line break inside a
// caption becomes a blank, so that the text keeps its shape when pasted.
std::string TabSeparated(const PivotGrid& grid, const std::vector<std::size_t>& lines,
                         const std::vector<std::size_t>& columns);

// The whole table as CSV (RFC 4180: CRLF line ends, a field with a comma, a quote or a line
// break in quotes), each value in full as cubemill-query --csv gives it, NULL as an empty field.
std::string PivotCsv(const ExportTable& table);

// The workbook's number format for a measure's FORMAT: the named formats (Currency, Fixed,
// Standard, Percent, Scientific, General Number, General, Yes/No, True/False, On/Off, in any letter
// case) as a spreadsheet writes them, any other format as it is. For a measure without a FORMAT,
// its decimals grouped by thousands ("#,##0.00" for 2, "#,##0" for 0), or "" (General) when the
// cube does not say. The spreadsheet shows the separators of its own locale.
std::string XlsxNumberFormat(std::string_view format, std::optional<int> decimals = std::nullopt);

// Writes `table` as the one sheet ("Pivot") of an .xlsx workbook at `path`: values as numbers
// with their measure's number format (an integer too large for a spreadsheet's double, an infinity
// or NaN as text), headers as text (totals in bold, each level below its field's indented), NULL as
// an empty cell. The workbook is written to a temporary file beside `path` and renamed over it, so
// that `path` holds a complete workbook or what it held before. Returns the failure.
// The workbook of an ExportSheet also freezes its panes below and right of its headers and fits
// each column's width to its longest text.
std::optional<Error> WriteWorkbook(const ExportTable& table, const std::string& path);
std::optional<Error> WriteWorkbook(const ExportSheet& sheet, const std::string& path,
                                   const ExportProgress& progress = {});

// Writes `table` as PivotCsv does to `path` (a complete file or none). Returns the failure.
std::optional<Error> WriteCsv(const ExportTable& table, const std::string& path,
                              const ExportProgress& progress = {});

// Writes `text` to `path` the same way (a complete file or none). Returns the failure.
std::optional<Error> WriteTextFile(std::string_view text, const std::string& path);

}  // namespace cubemill::browse
