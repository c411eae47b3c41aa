#include "serve/xml_names.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/ascii_text.h"

namespace cubemill::serve {
namespace {

// The code point of the UTF-8 sequence at `text[i]`, its length in `length`; a byte that starts
// no sequence stands for itself.
std::uint32_t CodePoint(std::string_view text, std::size_t i, std::size_t& length) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (lead < 0xC0 || i + length > text.size()) {
    length = 1;
    return lead;
  }
  std::uint32_t code = lead & (0xFFu >> (length + 1));
  for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (byte(i + k) & 0x3Fu);
  return code;
}

void AppendCode(std::string& out, std::uint32_t code) {
  char buffer[16];
  if (code > 0xFFFF) {
    // Outside the BMP: the UTF-16 surrogate pair, each encoded.
    code -= 0x10000;
    AppendCode(out, 0xD800 + (code >> 10));
    AppendCode(out, 0xDC00 + (code & 0x3FF));
    return;
  }
  std::snprintf(buffer, sizeof buffer, "_x%04X_", static_cast<unsigned>(code));
  out += buffer;
}

}  // namespace

std::string XmlName(std::string_view name) {
  std::string encoded;
  for (std::size_t i = 0; i < name.size();) {
    std::size_t length = 1;
    const std::uint32_t code = CodePoint(name, i, length);
    const char c = name[i];
    const bool first = encoded.empty();
    const bool allowed = code >= 0x80 || platform::IsAsciiLetter(c) || c == '_' ||
                         (!first && (platform::IsAsciiDigit(c) || c == '-' || c == '.'));
    const bool escape_like = c == '_' && i + 1 < name.size() && name[i + 1] == 'x';
    if (allowed && !escape_like) {
      encoded.append(name, i, length);
    } else {
      AppendCode(encoded, code);
    }
    i += length;
  }
  return encoded;
}

void WriteRowsetSchema(XmlWriter& out, const std::vector<RowsetColumn>& columns) {
  out.Open("xsd:schema", {{"targetNamespace", "urn:schemas-microsoft-com:xml-analysis:rowset"},
                          {"xmlns:sql", "urn:schemas-microsoft-com:xml-sql"},
                          {"elementFormDefault", "qualified"}});
  out.Open("xsd:element", {{"name", "root"}});
  out.Open("xsd:complexType");
  out.Open("xsd:sequence");
  out.Empty("xsd:element",
            {{"name", "row"}, {"type", "row"}, {"minOccurs", "0"}, {"maxOccurs", "unbounded"}});
  out.Close();
  out.Close();
  out.Close();
  // A GUID column's type, declared where a column has it.
  if (std::any_of(columns.begin(), columns.end(),
                  [](const RowsetColumn& column) { return column.type == "uuid"; })) {
    out.Open("xsd:simpleType", {{"name", "uuid"}});
    out.Open("xsd:restriction", {{"base", "xsd:string"}});
    out.Empty("xsd:pattern", {{"value",
                               "[0-9a-zA-Z]{8}-[0-9a-zA-Z]{4}-[0-9a-zA-Z]{4}-[0-9a-zA-Z]{4}-"
                               "[0-9a-zA-Z]{12}"}});
    out.Close();
    out.Close();
  }
  out.Open("xsd:complexType", {{"name", "row"}});
  out.Open("xsd:sequence");
  for (const RowsetColumn& column : columns) {
    const std::string element = XmlName(column.name);
    if (!column.parts.empty()) {
      out.Open("xsd:element", {{"sql:field", column.name},
                               {"name", element},
                               {"minOccurs", "0"},
                               {"maxOccurs", "unbounded"}});
      out.Open("xsd:complexType");
      out.Open("xsd:sequence");
      for (const std::string& part : column.parts)
        out.Empty("xsd:element", {{"name", XmlName(part)}, {"type", "xsd:string"}});
      out.Close();
      out.Close();
      out.Close();
    } else if (column.optional) {
      out.Empty("xsd:element", {{"sql:field", column.name},
                                {"name", element},
                                {"type", column.type},
                                {"minOccurs", "0"}});
    } else {
      out.Empty("xsd:element",
                {{"sql:field", column.name}, {"name", element}, {"type", column.type}});
    }
  }
  out.Close();
  out.Close();
  out.Close();
}

void WriteRowsetSchema(XmlWriter& out, const std::vector<std::string>& column_names) {
  std::vector<RowsetColumn> columns;
  for (const std::string& name : column_names) columns.push_back({name});
  WriteRowsetSchema(out, columns);
}

}  // namespace cubemill::serve
