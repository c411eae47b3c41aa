#include "serve/rowsets.h"

#include <algorithm>
#include <functional>

#include "platform/ascii_text.h"
#include "serve/serve_error.h"

namespace cubemill::serve {
namespace {

// A column of a rowset definition, and whether a request may restrict it.
struct ColumnDefinition {
  const char* name;
  const char* type;
  bool restriction;
};

using Rows = std::vector<std::vector<std::optional<std::string>>>;

// What a rowset's rows are made from.
struct RowsetInput {
  CubeCatalogs& catalogs;
  const ServerFacts& facts;
  const XmlaRequest& request;
  // The catalogs a cube rowset reads: the one restricted or named, else all.
  std::vector<std::string> catalog_names;
  // Whether the request named them: then a cube that cannot be opened fails the request;
  // otherwise its catalog is left out, so that one broken job does not hide the others.
  bool named = false;
};

// The cubes of the catalogs `input` reads, each with its catalog's name.
Result<std::vector<std::shared_ptr<const OpenCube>>> CubesOf(const RowsetInput& input) {
  std::vector<std::shared_ptr<const OpenCube>> cubes;
  for (const std::string& name : input.catalog_names) {
    Result<std::shared_ptr<const OpenCube>> cube = input.catalogs.Open(name);
    if (cube) {
      cubes.push_back(std::move(*cube));
    } else if (input.named) {
      return cube.error();
    }
  }
  return cubes;
}

struct RowsetDefinition {
  const char* name;
  std::vector<ColumnDefinition> columns;
  std::function<Result<Rows>(const RowsetInput&)> rows;
};

Result<Rows> DataSources(const RowsetInput& input) {
  return Rows{{input.facts.data_source_name, input.facts.data_source_name, input.facts.url,
               std::nullopt, input.facts.data_source_name, "Cubemill", input.facts.product_version,
               "MDP", "Unauthenticated"}};
}

Result<Rows> Catalogs(const RowsetInput& input) {
  Rows rows;
  for (const std::string& name : input.catalog_names)
    rows.push_back({name, std::nullopt, std::nullopt, std::nullopt});
  return rows;
}

Result<Rows> Cubes(const RowsetInput& input) {
  auto cubes = CubesOf(input);
  if (!cubes) return cubes.error();
  Rows rows;
  for (const auto& cube : *cubes) {
    rows.push_back({cube->CatalogName(), std::nullopt, cube->Catalog().name, "CUBE", std::nullopt,
                    std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                    std::nullopt, "true", "true", "false", "false"});
  }
  return rows;
}

const std::vector<RowsetDefinition>& Definitions() {
  static const std::vector<RowsetDefinition> definitions = {
      {"DISCOVER_DATASOURCES",
       {{"DataSourceName", "xsd:string", true},
        {"DataSourceDescription", "xsd:string", false},
        {"URL", "xsd:string", true},
        {"DataSourceInfo", "xsd:string", false},
        {"ProviderName", "xsd:string", true},
        {"ProviderType", "xsd:string", true},
        {"ProviderVersion", "xsd:string", false},
        {"DataSourceType", "xsd:string", false},
        {"AuthenticationMode", "xsd:string", true}},
       DataSources},
      {"DBSCHEMA_CATALOGS",
       {{"CATALOG_NAME", "xsd:string", true},
        {"DESCRIPTION", "xsd:string", false},
        {"ROLES", "xsd:string", false},
        {"DATE_MODIFIED", "xsd:dateTime", false}},
       Catalogs},
      {"MDSCHEMA_CUBES",
       {{"CATALOG_NAME", "xsd:string", true},
        {"SCHEMA_NAME", "xsd:string", true},
        {"CUBE_NAME", "xsd:string", true},
        {"CUBE_TYPE", "xsd:string", true},
        {"CUBE_GUID", "uuid", false},
        {"CREATED_ON", "xsd:dateTime", false},
        {"LAST_SCHEMA_UPDATE", "xsd:dateTime", false},
        {"SCHEMA_UPDATED_BY", "xsd:string", false},
        {"LAST_DATA_UPDATE", "xsd:dateTime", false},
        {"DATA_UPDATED_BY", "xsd:string", false},
        {"DESCRIPTION", "xsd:string", false},
        {"IS_DRILLTHROUGH_ENABLED", "xsd:boolean", false},
        {"IS_LINKABLE", "xsd:boolean", false},
        {"IS_WRITE_ENABLED", "xsd:boolean", false},
        {"IS_SQL_ENABLED", "xsd:boolean", false}},
       Cubes},
  };
  return definitions;
}

// Whether `row` has, in every restricted column, one of the restriction's values.
bool Kept(const RowsetDefinition& definition, const std::vector<Restriction>& restrictions,
          const std::vector<std::optional<std::string>>& row) {
  for (const Restriction& restriction : restrictions) {
    for (std::size_t c = 0; c < definition.columns.size() && c < row.size(); ++c) {
      if (restriction.name != definition.columns[c].name) continue;
      if (!row[c] || std::find(restriction.values.begin(), restriction.values.end(), *row[c]) ==
                         restriction.values.end())
        return false;
    }
  }
  return true;
}

}  // namespace

Result<Rowset> Discover(const XmlaRequest& request, CubeCatalogs& catalogs,
                        const ServerFacts& facts) {
  const auto& definitions = Definitions();
  const auto definition =
      std::find_if(definitions.begin(), definitions.end(), [&](const RowsetDefinition& d) {
        return platform::EqualsIgnoringCase(d.name, request.request_type);
      });
  if (definition == definitions.end()) return ServeError("unknown rowset " + request.request_type);
  for (const Restriction& restriction : request.restrictions) {
    const bool known = std::any_of(
        definition->columns.begin(), definition->columns.end(),
        [&](const ColumnDefinition& c) { return c.restriction && restriction.name == c.name; });
    if (!known)
      return ServeError("the rowset " + std::string(definition->name) + " has no restriction " +
                        restriction.name);
  }
  RowsetInput input{catalogs, facts, request, catalogs.Names()};
  std::vector<std::string> named;
  for (const Restriction& restriction : request.restrictions) {
    if (restriction.name == "CATALOG_NAME") named = restriction.values;
  }
  if (named.empty() && !request.Property("Catalog").empty())
    named.push_back(request.Property("Catalog"));
  input.named = !named.empty();
  if (!named.empty()) {
    std::erase_if(input.catalog_names, [&](const std::string& name) {
      return std::find(named.begin(), named.end(), name) == named.end();
    });
  }
  Result<Rows> rows = definition->rows(input);
  if (!rows) return rows.error();
  Rowset rowset;
  for (const ColumnDefinition& column : definition->columns)
    rowset.columns.push_back({column.name, column.type, true});
  for (auto& row : *rows) {
    if (Kept(*definition, request.restrictions, row)) rowset.rows.push_back(std::move(row));
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
      if (row[c]) out.Element(XmlName(rowset.columns[c].name), *row[c]);
    }
    out.Close();
  }
  out.Close();
}

}  // namespace cubemill::serve
