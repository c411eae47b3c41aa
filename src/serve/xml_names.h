// XML names for the columns of a rowset, and the schema that describes a rowset's rows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "serve/xml_writer.h"

namespace cubemill::serve {

// `name` as an XML element name, as XML for Analysis encodes column names: each character that
// may not stand in a name (at its place) written as _xHHHH_ (its UTF-16 code in hex), and a "_x"
// that would read as such a code written with its "_" encoded: [Measures].[Amount] becomes
// _x005B_Measures_x005D_._x005B_Amount_x005D_.
std::string XmlName(std::string_view name);

// A column of a rowset: its name, its XML Schema type, and whether a row may lack it.
struct RowsetColumn {
  std::string name;
  std::string type = "xsd:string";
  bool optional = true;
  // For a column whose values are elements of their own, repeated (DISCOVER_SCHEMA_ROWSETS'
  // Restrictions): the string elements each holds. `type` is then unused.
  std::vector<std::string> parts = {};
};

// The <xsd:schema> of a rowset whose rows have `columns`, each an element of its XmlName with
// its name as sql:field.
void WriteRowsetSchema(XmlWriter& out, const std::vector<RowsetColumn>& columns);
// The same for columns that are all optional strings.
void WriteRowsetSchema(XmlWriter& out, const std::vector<std::string>& column_names);

}  // namespace cubemill::serve
