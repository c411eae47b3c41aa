// The Discover rowsets of XML for Analysis: what a server offers (data sources, properties,
// schema rowsets) and what its catalogs hold (cubes, dimensions, hierarchies, levels, members,
// measures), each a list of columns and the rows the request's restrictions keep.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "serve/cube_catalogs.h"
#include "serve/soap_request.h"
#include "serve/xml_names.h"
#include "serve/xml_writer.h"

namespace cubemill::serve {

struct Rowset {
  std::vector<RowsetColumn> columns;
  // Each row's value of each column; nothing where the row has none (the element is left out).
  std::vector<std::vector<std::optional<std::string>>> rows;
};

// What the server says of itself in DISCOVER_DATASOURCES and DISCOVER_PROPERTIES.
struct ServerFacts {
  std::string data_source_name = "Cubemill";
  std::string url;  // where clients reach it: http://127.0.0.1:8080/xmla
  std::string product_version;
};

// The rowset `request` asks for (its RequestType, compared without regard to letter case), of the
// catalog its CATALOG_NAME restriction or Catalog property names where the rowset describes a
// cube (every catalog where it names none). Fails for an unknown rowset, a restriction the rowset
// does not have (naming it), or a catalog that cannot be opened.
Result<Rowset> Discover(const XmlaRequest& request, CubeCatalogs& catalogs,
                        const ServerFacts& facts);

// Writes `rowset` as a <root> in the rowset namespace: its schema, then a <row> per row.
void WriteRowset(XmlWriter& out, const Rowset& rowset);

}  // namespace cubemill::serve
