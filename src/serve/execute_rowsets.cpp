#include "serve/execute_rowsets.h"

#include "serve/cell_text.h"
#include "serve/xml_names.h"

namespace cubemill::serve {

using provider::cubefile::CellValue;
using query::QueryResult;

void WriteTabular(const QueryResult& result, const std::vector<std::string>& row_hierarchies,
                  XmlWriter& out) {
  std::vector<std::string> headers;
  for (const std::string& hierarchy : row_hierarchies)
    headers.push_back(hierarchy + ".[MEMBER_CAPTION]");
  const std::size_t row_headers = headers.size();
  for (const std::vector<std::string>& tuple : result.column_unique_names) {
    std::string header;
    for (const std::string& name : tuple) header += (header.empty() ? "" : ".") + name;
    headers.push_back(header);
  }
  out.Open("root", {{"xmlns", "urn:schemas-microsoft-com:xml-analysis:rowset"},
                    {"xmlns:xsd", "http://www.w3.org/2001/XMLSchema"},
                    {"xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance"}});
  WriteRowsetSchema(out, headers);
  for (std::size_t r = 0; r < result.cells.size() && out.Good(); ++r) {
    out.Open("row");
    for (std::size_t k = 0; k < row_headers && r < result.rows.size(); ++k)
      out.Element(XmlName(headers[k]), result.rows[r][k]);
    for (std::size_t c = 0; c < result.columns.size(); ++c) {
      const bool text = HasText(result, r, c);
      if (!text && result.cells[r][c].kind == CellValue::Kind::kNull) continue;
      if (text) {
        out.Element(XmlName(headers[row_headers + c]), result.texts[r][c],
                    {{"xsi:type", "xsd:string"}});
      } else {
        out.Element(XmlName(headers[row_headers + c]), XsdDouble(result.cells[r][c]),
                    {{"xsi:type", "xsd:double"}});
      }
    }
    out.Close();
  }
  out.Close();
}

void WriteDrillthrough(const query::DrillthroughResult& rows, XmlWriter& out) {
  std::vector<RowsetColumn> columns;
  for (std::size_t k = 0; k < rows.columns.size(); ++k)
    columns.push_back({rows.columns[k], k < rows.level_columns ? "xsd:string" : "xsd:double"});
  out.Open("root", {{"xmlns", "urn:schemas-microsoft-com:xml-analysis:rowset"},
                    {"xmlns:xsd", "http://www.w3.org/2001/XMLSchema"},
                    {"xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance"}});
  WriteRowsetSchema(out, columns);
  for (std::size_t r = 0; r < rows.members.size() && out.Good(); ++r) {
    out.Open("row");
    for (std::size_t k = 0; k < rows.level_columns; ++k)
      out.Element(XmlName(rows.columns[k]), rows.members[r][k]);
    for (std::size_t k = rows.level_columns; k < rows.columns.size(); ++k) {
      const CellValue& value = rows.values[r][k - rows.level_columns];
      if (value.kind != CellValue::Kind::kNull)
        out.Element(XmlName(rows.columns[k]), XsdDouble(value), {{"xsi:type", "xsd:double"}});
    }
    out.Close();
  }
  out.Close();
}

}  // namespace cubemill::serve
