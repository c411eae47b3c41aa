#include "query/result_format.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "platform/ascii_text.h"
#include "query/binder/member_properties.h"
#include "query/value_format.h"

namespace cubemill::query {

namespace {

using provider::cubefile::CellValue;

// The text of a cell whose value is a string or a truth value, else null.
const std::string* TextOf(const QueryResult& result, std::size_t r, std::size_t c) {
  if (result.texts.empty() || result.texts[r][c].empty()) return nullptr;
  return &result.texts[r][c];
}

// The grid every format writes: header lines, then one line per row.
struct Grid {
  std::vector<std::vector<std::string>> lines;
  std::vector<std::vector<bool>> numeric;
};

// The grid, each cell as `cell_text` gives it.
template <typename CellText>
Grid MakeGrid(const QueryResult& result, const CellText& cell_text) {
  const std::size_t row_depth = result.rows.empty() ? 0 : result.rows.front().size();
  const std::size_t column_depth = result.columns.empty() ? 0 : result.columns.front().size();
  Grid grid;
  for (std::size_t level = 0; level < column_depth; ++level) {
    std::vector<std::string> line(row_depth);
    for (const auto& column : result.columns) line.push_back(column[level]);
    grid.lines.push_back(std::move(line));
    grid.numeric.emplace_back(grid.lines.back().size(), false);
  }
  for (std::size_t r = 0; r < result.rows.size(); ++r) {
    std::vector<std::string> line = result.rows[r];
    std::vector<bool> numeric(line.size(), false);
    for (std::size_t c = 0; c < result.cells[r].size(); ++c) {
      line.push_back(cell_text(r, c));
      numeric.push_back(TextOf(result, r, c) == nullptr);
    }
    grid.lines.push_back(std::move(line));
    grid.numeric.push_back(std::move(numeric));
  }
  return grid;
}

// Cell texts: the full value.
auto FullValues(const QueryResult& result) {
  return [&result](std::size_t r, std::size_t c) {
    const std::string* text = TextOf(result, r, c);
    return text != nullptr ? *text : ValueText(result.cells[r][c]);
  };
}

// Cell texts: as a person reads them, each as its measure asks.
auto FormattedValues(const QueryResult& result, const MeasureFormats& formats,
                     const platform::NumberSeparators& separators) {
  return [&result, &formats, &separators](std::size_t r, std::size_t c) {
    return FormattedCell(result, formats, r, c, separators);
  };
}

// UTF-8 characters in `text`, for alignment.
std::size_t Width(const std::string& text) {
  std::size_t width = 0;
  for (char c : text) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return width;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string Csv(const Grid& grid) {
  std::string csv;
  for (const auto& line : grid.lines) {
    for (std::size_t i = 0; i < line.size(); ++i) csv += (i ? "," : "") + CsvField(line[i]);
    csv += "\r\n";
  }
  return csv;
}

std::string JsonNames(const std::vector<std::vector<std::string>>& tuples) {
  std::string json = "[";
  for (std::size_t t = 0; t < tuples.size(); ++t) {
    json += t ? ", [" : "[";
    for (std::size_t i = 0; i < tuples[t].size(); ++i)
      json += (i ? ", " : "") + platform::JsonString(tuples[t][i]);
    json += "]";
  }
  return json + "]";
}

// The cells as a JSON array of arrays, each as `cell` writes it.
template <typename Cell>
std::string JsonCells(const QueryResult& result, const Cell& cell) {
  std::string json = "[";
  for (std::size_t r = 0; r < result.cells.size(); ++r) {
    json += r ? ", [" : "[";
    for (std::size_t c = 0; c < result.cells[r].size(); ++c) json += (c ? ", " : "") + cell(r, c);
    json += "]";
  }
  return json + "]";
}

// The members' unique names, where the answer has them.
std::string UniqueNames(const QueryResult& result) {
  if (result.column_unique_names.empty() && result.row_unique_names.empty()) return "";
  return ", \"column_unique_names\": " + JsonNames(result.column_unique_names) +
         ", \"row_unique_names\": " + JsonNames(result.row_unique_names);
}

// DIMENSION PROPERTIES of an axis: per tuple, per member, an object of the properties asked for.
std::string JsonProperties(const char* key, const std::vector<std::string>& names,
                           const std::vector<std::vector<std::vector<std::string>>>& tuples) {
  if (names.empty()) return "";
  std::string json = ", \"" + std::string(key) + "\": [";
  for (std::size_t t = 0; t < tuples.size(); ++t) {
    json += t ? ", [" : "[";
    for (std::size_t m = 0; m < tuples[t].size(); ++m) {
      json += m ? ", {" : "{";
      for (std::size_t p = 0; p < names.size(); ++p) {
        const std::string& value = tuples[t][m][p];
        json += (p ? ", " : "") + platform::JsonString(names[p]) + ": " +
                (IsNumericProperty(names[p]) ? value : platform::JsonString(value));
      }
      json += "}";
    }
    json += "]";
  }
  return json + "]";
}

// A paged answer's pages: their names, unique names and properties.
std::string JsonPages(const QueryResult& result) {
  if (!result.paged) return "";
  return ", \"pages\": " + JsonNames(result.pages) +
         (result.page_unique_names.empty()
              ? ""
              : ", \"page_unique_names\": " + JsonNames(result.page_unique_names)) +
         JsonProperties("page_properties", result.page_property_names, result.page_properties);
}

std::string JsonGrid(const QueryResult& result) {
  return "{\"columns\": " + JsonNames(result.columns) + ", \"rows\": " + JsonNames(result.rows) +
         UniqueNames(result) +
         JsonProperties("column_properties", result.column_property_names,
                        result.column_properties) +
         JsonProperties("row_properties", result.row_property_names, result.row_properties) +
         JsonPages(result) +
         ", \"cells\": " + JsonCells(result, [&result](std::size_t r, std::size_t c) {
           if (const std::string* text = TextOf(result, r, c)) return platform::JsonString(*text);
           const CellValue& value = result.cells[r][c];
           if (value.kind == CellValue::Kind::kNull) return std::string("null");
           const std::string text = ValueText(value);
           const bool finite = value.kind == CellValue::Kind::kInteger || std::isfinite(value.real);
           return finite ? text : platform::JsonString(text);
         });
}

// Page `p` of a paged answer as an answer of its own: its rows' cells, its measure as the
// WHERE clause's.
QueryResult PageOf(const QueryResult& result, std::size_t p) {
  QueryResult page = result;
  page.paged = false;
  page.pages.clear();
  page.page_unique_names.clear();
  page.page_measure.clear();
  page.page_properties.clear();
  const std::size_t rows = result.rows.size();
  const auto first = static_cast<std::ptrdiff_t>(p * rows);
  const auto last = first + static_cast<std::ptrdiff_t>(rows);
  page.cells.assign(result.cells.begin() + first, result.cells.begin() + last);
  if (!result.texts.empty())
    page.texts.assign(result.texts.begin() + first, result.texts.begin() + last);
  if (result.page_measure[p] != QueryResult::npos) page.slicer_measure = result.page_measure[p];
  return page;
}

// A paged answer as each page's names on a line of their own and the page's grid, as `format`
// writes it, the pages one after another; an answer without pages as `format` writes it.
template <typename Format>
std::string Paged(const QueryResult& result, const Format& format, const char* line_end) {
  if (!result.paged) return format(result);
  std::string text;
  for (std::size_t p = 0; p < result.pages.size(); ++p) {
    std::string names;
    for (const std::string& name : result.pages[p]) names += (names.empty() ? "" : "  ") + name;
    text += (p > 0 ? std::string(line_end) : std::string()) + names + line_end +
            format(PageOf(result, p));
  }
  return text;
}

// The text table of an answer without pages.
// The grid as aligned text: names left-aligned, numbers right-aligned, two blanks between.
std::string AlignedText(const Grid& grid) {
  std::vector<std::size_t> widths;
  for (const auto& line : grid.lines) {
    if (widths.size() < line.size()) widths.resize(line.size(), 0);
    for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], Width(line[i]));
  }
  std::string text;
  for (std::size_t l = 0; l < grid.lines.size(); ++l) {
    std::string out;
    for (std::size_t i = 0; i < grid.lines[l].size(); ++i) {
      const std::string& field = grid.lines[l][i];
      const std::string pad(widths[i] - Width(field), ' ');
      if (i > 0) out += "  ";
      out += grid.numeric[l][i] ? pad + field : field + pad;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    text += out + "\n";
  }
  return text;
}

std::string TextTable(const QueryResult& result, const MeasureFormats& formats,
                      const platform::NumberSeparators& separators) {
  return AlignedText(MakeGrid(result, FormattedValues(result, formats, separators)));
}

// A drillthrough as a grid: a line of the columns' unique names, then a line per row, each
// value in full.
Grid DrillthroughGrid(const DrillthroughResult& drilled) {
  Grid grid;
  grid.lines.push_back(drilled.columns);
  grid.numeric.emplace_back(drilled.columns.size(), false);
  for (std::size_t r = 0; r < drilled.members.size(); ++r) {
    std::vector<std::string> line = drilled.members[r];
    std::vector<bool> numeric(line.size(), false);
    for (const CellValue& value : drilled.values[r]) {
      line.push_back(ValueText(value));
      numeric.push_back(true);
    }
    grid.lines.push_back(std::move(line));
    grid.numeric.push_back(std::move(numeric));
  }
  return grid;
}

}  // namespace

std::string_view CellFormat(const QueryResult& result, const MeasureFormats& formats,
                            std::size_t row, std::size_t column) {
  // A calculated measure is numbered after the cube's and has its FORMAT_STRING in the answer.
  const std::size_t measure = result.MeasureAt(row, column);
  if (measure < formats.size()) return formats[measure].format;
  const std::size_t calculated = measure - formats.size();
  return calculated < result.calculated_formats.size()
             ? std::string_view(result.calculated_formats[calculated])
             : std::string_view();
}

std::string FormattedCell(const QueryResult& result, const MeasureFormats& formats, std::size_t row,
                          std::size_t column, const platform::NumberSeparators& separators) {
  if (const std::string* text = TextOf(result, row, column)) return *text;
  const std::size_t measure = result.MeasureAt(row, column);
  const std::optional<int> decimals =
      measure < formats.size() ? formats[measure].decimals : std::nullopt;
  return ReadableValue(result.cells[row][column], CellFormat(result, formats, row, column),
                       decimals, separators);
}

MeasureFormats FormatsOf(const provider::cubefile::CubeCatalog& catalog) {
  MeasureFormats formats;
  for (const auto& measure : catalog.measures)
    formats.push_back({measure.format, measure.decimals});
  return formats;
}

std::string FormatText(const QueryResult& result, const MeasureFormats& formats,
                       const platform::NumberSeparators& separators) {
  return Paged(
      result, [&](const QueryResult& page) { return TextTable(page, formats, separators); }, "\n");
}

std::string FormatCsv(const QueryResult& result) {
  return Paged(
      result, [](const QueryResult& page) { return Csv(MakeGrid(page, FullValues(page))); },
      "\r\n");
}

std::string FormatCsv(const QueryResult& result, const MeasureFormats& formats,
                      const platform::NumberSeparators& separators) {
  return Paged(
      result,
      [&](const QueryResult& page) {
        return Csv(MakeGrid(page, FormattedValues(page, formats, separators)));
      },
      "\r\n");
}

std::string FormatJson(const QueryResult& result) { return JsonGrid(result) + "}\n"; }

std::string FormatJson(const QueryResult& result, const MeasureFormats& formats,
                       const platform::NumberSeparators& separators) {
  const auto formatted = FormattedValues(result, formats, separators);
  return JsonGrid(result) + ", \"formatted\": " +
         JsonCells(result,
                   [&](std::size_t r, std::size_t c) {
                     return result.cells[r][c].kind == CellValue::Kind::kNull &&
                                    TextOf(result, r, c) == nullptr
                                ? std::string("null")
                                : platform::JsonString(formatted(r, c));
                   }) +
         "}\n";
}

std::string FormatDrillthroughText(const DrillthroughResult& drilled) {
  return AlignedText(DrillthroughGrid(drilled));
}

std::string FormatDrillthroughCsv(const DrillthroughResult& drilled) {
  return Csv(DrillthroughGrid(drilled));
}

std::string FormatDrillthroughJson(const DrillthroughResult& drilled) {
  std::string json = "{\"columns\": [";
  for (std::size_t c = 0; c < drilled.columns.size(); ++c)
    json += (c ? ", " : "") + platform::JsonString(drilled.columns[c]);
  json += "], \"rows\": [";
  for (std::size_t r = 0; r < drilled.members.size(); ++r) {
    json += r ? ", [" : "[";
    std::string fields;
    for (const std::string& name : drilled.members[r])
      fields += (fields.empty() ? "" : ", ") + platform::JsonString(name);
    for (const CellValue& value : drilled.values[r]) {
      const std::string text = value.kind == CellValue::Kind::kNull ? "null" : ValueText(value);
      const bool finite = value.kind != CellValue::Kind::kReal || std::isfinite(value.real);
      fields += (fields.empty() ? "" : ", ") + (finite ? text : platform::JsonString(text));
    }
    json += fields + "]";
  }
  return json + "], \"truncated\": " + (drilled.truncated ? "true" : "false") + "}\n";
}

}  // namespace cubemill::query
