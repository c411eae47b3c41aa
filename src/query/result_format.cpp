#include "query/result_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/ascii_text.h"

namespace cubemill::query {

namespace {

using provider::cubefile::CellValue;

// The grid every format writes: header lines, then one line per row.
struct Grid {
  std::vector<std::vector<std::string>> lines;
  std::vector<std::vector<bool>> numeric;
};

Grid MakeGrid(const QueryResult& result) {
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
    for (const CellValue& value : result.cells[r]) {
      line.push_back(ValueText(value));
      numeric.push_back(true);
    }
    grid.lines.push_back(std::move(line));
    grid.numeric.push_back(std::move(numeric));
  }
  return grid;
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

}  // namespace

std::string ValueText(const CellValue& value) {
  switch (value.kind) {
    case CellValue::Kind::kNull:
      return "";
    case CellValue::Kind::kInteger:
      return std::to_string(value.integer);
    case CellValue::Kind::kReal:
      break;
  }
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value.real);
  return std::string(buffer, end.ptr);
}

std::string FormatText(const QueryResult& result) {
  const Grid grid = MakeGrid(result);
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

std::string FormatCsv(const QueryResult& result) {
  std::string csv;
  for (const auto& line : MakeGrid(result).lines) {
    for (std::size_t i = 0; i < line.size(); ++i) csv += (i ? "," : "") + CsvField(line[i]);
    csv += "\r\n";
  }
  return csv;
}

std::string FormatJson(const QueryResult& result) {
  std::string json = "{\"columns\": " + JsonNames(result.columns) +
                     ", \"rows\": " + JsonNames(result.rows) + ", \"cells\": [";
  for (std::size_t r = 0; r < result.cells.size(); ++r) {
    json += r ? ", [" : "[";
    for (std::size_t c = 0; c < result.cells[r].size(); ++c) {
      const CellValue& value = result.cells[r][c];
      const bool null = value.kind == CellValue::Kind::kNull ||
                        (value.kind == CellValue::Kind::kReal && !std::isfinite(value.real));
      json += (c ? ", " : "") + (null ? std::string("null") : ValueText(value));
    }
    json += "]";
  }
  return json + "]}\n";
}

}  // namespace cubemill::query
