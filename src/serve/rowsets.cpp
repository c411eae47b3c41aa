#include "serve/rowsets.h"

#include <algorithm>

#include "serve/rowsets_producers.h"
#include "serve/rowsets_schema.h"
#include "serve/serve_error.h"

namespace cubemill::serve {
namespace {

// The catalogs a request may see: those its CATALOG_NAME restriction names, else the one its
// Catalog property names, else every one. Returns whether the request named them.
bool SelectCatalogs(const XmlaRequest& request, std::vector<std::string>& names) {
  std::vector<std::string> named;
  if (const auto* values = RestrictionValues(request.restrictions, "CATALOG_NAME")) named = *values;
  if (named.empty() && !request.Property("Catalog").empty())
    named.push_back(request.Property("Catalog"));
  if (named.empty()) return false;
  std::erase_if(names, [&](const std::string& name) {
    return std::find(named.begin(), named.end(), name) == named.end();
  });
  return true;
}

// A request's fault when it restricts a column the rowset does not offer as a restriction.
std::optional<Error> CheckRestrictions(const RowsetDefinition& definition,
                                       const std::vector<Restriction>& restrictions) {
  for (const Restriction& restriction : restrictions) {
    const int column = ColumnIndex(definition, restriction.name);
    if (column >= 0 && definition.columns[static_cast<std::size_t>(column)].restriction) continue;
    std::string known;
    for (const ColumnDefinition& c : definition.columns) {
      if (c.restriction) known += std::string(known.empty() ? "" : ", ") + c.name;
    }
    return ServeError("the rowset " + std::string(definition.name) + " has no restriction " +
                      restriction.name + " (its restrictions: " + known + ")");
  }
  return std::nullopt;
}

// The element of one value: text, or for DISCOVER_SCHEMA_ROWSETS' Restrictions column the
// restrictions of the rowset the value names, each a <Restrictions> with its Name and Type.
void WriteValue(XmlWriter& out, const RowsetColumn& column, const std::string& value) {
  if (column.parts.empty()) {
    out.Element(XmlName(column.name), value);
    return;
  }
  const RowsetDefinition* definition = FindRowsetDefinition(value);
  if (definition == nullptr) return;
  for (const ColumnDefinition& restriction : definition->columns) {
    if (!restriction.restriction) continue;
    out.Open("Restrictions");
    out.Element("Name", restriction.name);
    // The type as the rowset's definition names it, without the schema's prefix: "string".
    std::string_view type = XsdName(restriction.type);
    if (type.starts_with("xsd:")) type.remove_prefix(4);
    out.Element("Type", type);
    out.Close();
  }
}

}  // namespace

Result<Rowset> Discover(const XmlaRequest& request, CubeCatalogs& catalogs,
                        const ServerFacts& facts) {
  const RowsetDefinition* definition = FindRowsetDefinition(request.request_type);
  if (definition == nullptr) return ServeError("unknown rowset " + request.request_type);
  if (auto fault = CheckRestrictions(*definition, request.restrictions)) return *fault;
  RowsetInput input{request, facts, catalogs.Names(), {}};
  const bool named = SelectCatalogs(request, input.catalog_names);
  if (definition->reads_cubes) {
    for (const std::string& name : input.catalog_names) {
      Result<std::shared_ptr<const OpenCube>> cube = catalogs.Open(name);
      // A catalog the request names must open; otherwise one that cannot is left out, so that
      // one broken job does not hide the others.
      if (cube) {
        input.cubes.push_back(std::move(*cube));
      } else if (named) {
        return cube.error();
      }
    }
  }
  RowsetRows rows(*definition);
  try {
    definition->produce(input, rows);
  } catch (const RowsetFault& fault) {
    return ServeError(fault.message);
  }
  rows.Restrict(request.restrictions);
  Rowset rowset;
  for (const ColumnDefinition& column : definition->columns) {
    if (column.restriction_only) continue;
    RowsetColumn written{column.name, std::string(XsdName(column.type))};
    if (column.type == ColumnType::kRestrictionList) written.parts = {"Name", "Type"};
    rowset.columns.push_back(std::move(written));
  }
  for (auto& row : rows.Rows()) {
    std::vector<std::optional<std::string>> kept;
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (!definition->columns[c].restriction_only) kept.push_back(std::move(row[c]));
    }
    rowset.rows.push_back(std::move(kept));
  }
  return rowset;
}

void WriteRowset(XmlWriter& out, const Rowset& rowset) {
  out.Open("root", {{"xmlns", "urn:schemas-microsoft-com:xml-analysis:rowset"},
                    {"xmlns:xsd", "http://www.w3.org/2001/XMLSchema"},
                    {"xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance"}});
  WriteRowsetSchema(out, rowset.columns);
  for (const auto& row : rowset.rows) {
    if (!out.Good()) break;
    out.Open("row");
    for (std::size_t c = 0; c < row.size() && c < rowset.columns.size(); ++c) {
      if (row[c]) WriteValue(out, rowset.columns[c], *row[c]);
    }
    out.Close();
  }
  out.Close();
}

}  // namespace cubemill::serve
