#include "browse/pivot_export.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>

#include "platform/ascii_text.h"
#include "platform/durable_file.h"
#include "query/value_format.h"

namespace cubemill::browse {
namespace {

using provider::cubefile::CellValue;

constexpr char kSource[] = "Export";

// A spreadsheet holds a number's 15 significant digits, and shows at most 30 decimals.
constexpr int kMaxXlsxDecimals = 30;

ExportCell HeaderCell(const PivotHeader& header) {
  ExportCell cell;
  cell.kind = ExportCell::Kind::kHeader;
  cell.text = header.caption;
  cell.indent = header.indent;
  cell.total = header.total;
  return cell;
}

bool AnyTotal(const std::vector<PivotHeader>& headers) {
  for (const auto& header : headers) {
    if (header.total) return true;
  }
  return false;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

void AppendCsvLine(std::string& csv, const std::vector<ExportCell>& line) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (i > 0) csv += ',';
    const ExportCell& cell = line[i];
    csv +=
        CsvField(cell.kind == ExportCell::Kind::kValue ? query::ValueText(cell.value) : cell.text);
  }
  csv += "\r\n";
}

// The text of a cell as it goes into tab-separated text: one line, no tab.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// A spreadsheet keeps a number as a double: an integer past 2^53 would come back as another
// number.
bool FitsDouble(std::int64_t value) {
  constexpr std::int64_t kLimit = std::int64_t{1} << 53;
  return value >= -kLimit && value <= kLimit;
}

// The workbook, dropped without being written when this goes: only a close that is asked for
// writes it.
struct WorkbookFreer {
  void operator()(lxw_workbook* workbook) const {
    if (workbook != nullptr) lxw_workbook_free(workbook);
  }
};

Error Cancelled() { return Error{"Cancelled", 0, kSource}; }

// Asks `progress` every this many lines whether to go on.
constexpr std::size_t kProgressLines = 512;

bool GoOn(const ExportProgress& progress, std::size_t done, std::size_t total) {
  return !progress || (done % kProgressLines != 0 && done != total) || progress(done, total);
}

// libxlsxwriter writes the file when the workbook is closed, which takes about twice as long as
// setting its cells: the cells count as the first third of a workbook's progress.
constexpr std::size_t kCloseShare = 3;

// The characters (not bytes) of UTF-8 text.
std::size_t Characters(const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// Each column's width in characters, fitted to its longest text below the context lines.
std::vector<double> ColumnWidths(const ExportSheet& sheet) {
  constexpr std::size_t kLeast = 6, kMost = 60;
  std::vector<std::size_t> longest;
  for (std::size_t r = sheet.context_lines; r < sheet.table.size(); ++r) {
    const auto& line = sheet.table[r];
    if (line.size() > longest.size()) longest.resize(line.size(), kLeast);
    for (std::size_t c = 0; c < line.size(); ++c) {
      const ExportCell& cell = line[c];
      std::size_t length = Characters(cell.kind == ExportCell::Kind::kValue && cell.text.empty()
                                          ? query::ValueText(cell.value)
                                          : cell.text);
      if (cell.kind == ExportCell::Kind::kHeader)
        length += 2 * static_cast<std::size_t>(std::max(cell.indent, 0));
      longest[c] = std::max(longest[c], std::min(length, kMost));
    }
  }
  std::vector<double> widths;
  for (std::size_t length : longest) widths.push_back(static_cast<double>(length) + 2);
  return widths;
}

Error XlsxError(const std::string& doing, lxw_error error) {
  return Error{doing + ": " + lxw_strerror(error), static_cast<long>(error), kSource};
}

}  // namespace

std::size_t ColumnHeaderLines(const PivotGrid& grid) {
  return grid.column_headers.empty() ? 0 : grid.column_headers.front().size();
}

std::size_t RowHeaderColumns(const PivotGrid& grid) {
  return grid.row_headers.empty() ? 0 : grid.row_headers.front().size();
}

ExportCell TableCell(const PivotGrid& grid, std::size_t line, std::size_t column) {
  const std::size_t header_lines = ColumnHeaderLines(grid);
  const std::size_t header_columns = RowHeaderColumns(grid);
  if (line < header_lines) {
    if (column < header_columns || column - header_columns >= grid.Columns()) return {};
    const auto& headers = grid.column_headers[column - header_columns];
    return line < headers.size() ? HeaderCell(headers[line]) : ExportCell{};
  }
  const std::size_t r = line - header_lines;
  if (r >= grid.Rows()) return {};
  const auto& headers = grid.row_headers[r];
  if (column < header_columns)
    return column < headers.size() ? HeaderCell(headers[column]) : ExportCell{};
  const std::size_t c = column - header_columns;
  if (c >= grid.Columns()) return {};
  ExportCell cell;
  cell.kind = ExportCell::Kind::kValue;
  if (r < grid.cells.size() && c < grid.cells[r].size()) cell.value = grid.cells[r][c];
  if (r < grid.texts.size() && c < grid.texts[r].size()) cell.text = grid.texts[r][c];
  cell.format = grid.FormatAt(r, c);
  cell.decimals = grid.DecimalsAt(r, c);
  cell.total = AnyTotal(headers) || AnyTotal(grid.column_headers[c]);
  return cell;
}

ExportTable PivotTable(const PivotGrid& grid) {
  const std::size_t lines = ColumnHeaderLines(grid) + grid.Rows();
  const std::size_t width = RowHeaderColumns(grid) + grid.Columns();
  ExportTable table(lines);
  for (std::size_t line = 0; line < lines; ++line) {
    table[line].reserve(width);
    for (std::size_t column = 0; column < width; ++column)
      table[line].push_back(TableCell(grid, line, column));
  }
  return table;
}

std::string TabSeparated(const PivotGrid& grid, const std::vector<std::size_t>& lines,
                         const std::vector<std::size_t>& columns) {
  std::string text;
  for (std::size_t line : lines) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) text += '\t';
      text += OneLine(TableCell(grid, line, columns[i]).text);
    }
    text += '\n';
  }
  return text;
}

std::string PivotCsv(const ExportTable& table) {
  std::string csv;
  for (const auto& line : table) AppendCsvLine(csv, line);
  return csv;
}

std::string XlsxNumberFormat(std::string_view format, std::optional<int> decimals) {
  if (format.empty()) {
    if (!decimals) return "";
    const int places = std::clamp(*decimals, 0, kMaxXlsxDecimals);
    return places == 0 ? "#,##0" : "#,##0." + std::string(static_cast<std::size_t>(places), '0');
  }
  // The same sections as FormatValue gives each named format; a spreadsheet reads $, parentheses
  // and quoted text as literals, as FormatValue does.
  static const std::pair<const char*, const char*> kNamed[] = {
      {"General Number", ""},
      {"General", ""},
      {"Currency", "$#,##0.00;($#,##0.00)"},
      {"Fixed", "0.00"},
      {"Standard", "#,##0.00"},
      {"Percent", "0.00%"},
      {"Scientific", "0.00E+00"},
      {"Yes/No", "\"Yes\";\"Yes\";\"No\""},
      {"True/False", "\"True\";\"True\";\"False\""},
      {"On/Off", "\"On\";\"On\";\"Off\""},
  };
  for (const auto& [name, xlsx] : kNamed) {
    if (platform::EqualsIgnoringCase(format, name)) return xlsx;
  }
  return std::string(format);
}

std::optional<Error> WriteWorkbook(const ExportTable& table, const std::string& path) {
  return WriteWorkbook(ExportSheet{table, 0, 0, 0}, path);
}

std::optional<Error> WriteWorkbook(const ExportSheet& export_sheet, const std::string& path,
                                   const ExportProgress& progress) {
  const ExportTable& table = export_sheet.table;
  auto pending = platform::PendingFile::Create(path);
  if (!pending) return pending.error();
  {
    // libxlsxwriter writes the whole file when the workbook is closed; it opens the temporary
    // file itself and truncates it.
    std::unique_ptr<lxw_workbook, WorkbookFreer> workbook(workbook_new((*pending)->path().c_str()));
    if (workbook == nullptr)
      return Error{"cannot create the workbook " + (*pending)->path(), 0, kSource};
    lxw_worksheet* sheet = workbook_add_worksheet(workbook.get(), "Pivot");
    if (sheet == nullptr) return Error{"cannot add a worksheet", 0, kSource};
    const std::vector<double> widths = ColumnWidths(export_sheet);
    for (std::size_t c = 0; c < widths.size(); ++c) {
      const auto column = static_cast<lxw_col_t>(c);
      worksheet_set_column(sheet, column, column, widths[c], nullptr);
    }
    if (export_sheet.frozen_lines > 0 || export_sheet.frozen_columns > 0) {
      worksheet_freeze_panes(sheet, static_cast<lxw_row_t>(export_sheet.frozen_lines),
                             static_cast<lxw_col_t>(export_sheet.frozen_columns));
    }

    // One format per (number format, bold) for values and per (indent, bold) for headers:
    // libxlsxwriter keeps each format object until the workbook is closed.
    std::map<std::pair<std::string, bool>, lxw_format*> value_formats;
    std::map<std::pair<int, bool>, lxw_format*> header_formats;
    auto value_format = [&](const ExportCell& cell) {
      auto key = std::make_pair(XlsxNumberFormat(cell.format, cell.decimals), cell.total);
      auto found = value_formats.find(key);
      if (found != value_formats.end()) return found->second;
      lxw_format* format = workbook_add_format(workbook.get());
      if (!key.first.empty()) format_set_num_format(format, key.first.c_str());
      if (key.second) format_set_bold(format);
      return value_formats.emplace(key, format).first->second;
    };
    auto header_format = [&](const ExportCell& cell) {
      const auto key = std::make_pair(cell.indent, cell.total);
      auto found = header_formats.find(key);
      if (found != header_formats.end()) return found->second;
      lxw_format* format = workbook_add_format(workbook.get());
      if (key.first > 0) format_set_indent(format, static_cast<std::uint8_t>(key.first));
      if (key.second) format_set_bold(format);
      return header_formats.emplace(key, format).first->second;
    };

    for (std::size_t r = 0; r < table.size(); ++r) {
      if (!GoOn(progress, r, kCloseShare * table.size())) return Cancelled();
      for (std::size_t c = 0; c < table[r].size(); ++c) {
        const ExportCell& cell = table[r][c];
        const auto row = static_cast<lxw_row_t>(r);
        const auto column = static_cast<lxw_col_t>(c);
        lxw_error error = LXW_NO_ERROR;
        if (cell.kind == ExportCell::Kind::kHeader) {
          error =
              worksheet_write_string(sheet, row, column, cell.text.c_str(), header_format(cell));
        } else if (cell.kind == ExportCell::Kind::kValue) {
          const CellValue& value = cell.value;
          lxw_format* format = value_format(cell);
          if (value.kind == CellValue::Kind::kInteger && FitsDouble(value.integer)) {
            error = worksheet_write_number(sheet, row, column, static_cast<double>(value.integer),
                                           format);
          } else if (value.kind == CellValue::Kind::kReal && std::isfinite(value.real)) {
            error = worksheet_write_number(sheet, row, column, value.real, format);
          } else if (value.kind != CellValue::Kind::kNull) {
            error =
                worksheet_write_string(sheet, row, column, query::ValueText(value).c_str(), format);
          }
        }
        if (error != LXW_NO_ERROR) return XlsxError("writing the workbook", error);
      }
    }
    if (progress && !progress(table.size(), kCloseShare * table.size())) return Cancelled();
    const lxw_error closed = workbook_close(workbook.release());
    if (closed != LXW_NO_ERROR) return XlsxError("writing " + path, closed);
  }
  return (*pending)->Commit();
}

std::optional<Error> WriteCsv(const ExportTable& table, const std::string& path,
                              const ExportProgress& progress) {
  auto pending = platform::PendingFile::Create(path);
  if (!pending) return pending.error();
  constexpr std::size_t kChunk = 1 << 20;
  std::string text;
  for (std::size_t r = 0; r < table.size(); ++r) {
    if (!GoOn(progress, r, table.size())) return Cancelled();
    AppendCsvLine(text, table[r]);
    if (text.size() >= kChunk || r + 1 == table.size()) {
      if (auto error = (*pending)->Write(text)) return error;
      text.clear();
    }
  }
  return (*pending)->Commit();
}

std::optional<Error> WriteTextFile(std::string_view text, const std::string& path) {
  return platform::WriteFileAtomically(path, text);
}

}  // namespace cubemill::browse
