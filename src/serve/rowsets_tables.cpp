// DBSCHEMA_CATALOGS (the catalogs: one a cube file), DBSCHEMA_TABLES and DBSCHEMA_COLUMNS (each
// cube as a table of its flat rows: a column per level below ALL and per measure) and
// MDSCHEMA_PROPERTIES (the properties a query's CELL PROPERTIES may ask for; cube files hold no
// member properties of their own).
#include <string>

#include "common/quoted_text.h"
#include "serve/rowsets_producers.h"

namespace cubemill::serve {

namespace {

// DATA_TYPE (OLE DB): DBTYPE_R8, DBTYPE_I8, DBTYPE_WSTR.
constexpr int kDoubleType = 5;
constexpr int kBigIntType = 20;
constexpr int kTextType = 130;
// PROPERTY_TYPE: MDPROP_CELL.
constexpr int kCellProperty = 2;

struct CellProperty {
  const char* name;
  int data_type;
  const char* description;
};
constexpr CellProperty kCellProperties[] = {
    {"VALUE", 12, "The cell's value"},
    {"FORMATTED_VALUE", kTextType, "The cell's value as its measure's FORMAT shows it"},
    {"FORMAT_STRING", kTextType, "The FORMAT the value is shown with"},
    {"CELL_ORDINAL", 19, "The cell's place in the answer, row by row"},
};

void AddTableRow(RowsetRows& rows, const OpenCube& cube) {
  rows.Add();
  rows.Set("TABLE_CATALOG", cube.CatalogName());
  rows.Set("TABLE_SCHEMA", cube.CatalogName());
  rows.Set("TABLE_NAME", cube.Model().Catalog().name);
}

void AddColumn(RowsetRows& rows, const OpenCube& cube, const std::string& name, int ordinal,
               int data_type) {
  AddTableRow(rows, cube);
  rows.Set("COLUMN_NAME", name);
  rows.SetNumber("ORDINAL_POSITION", ordinal);
  rows.SetFlag("COLUMN_HAS_DEFAULT", false);
  rows.SetNumber("COLUMN_FLAGS", 0);
  rows.SetFlag("IS_NULLABLE", true);
  rows.SetNumber("DATA_TYPE", data_type);
}

}  // namespace

void ProduceCatalogs(const RowsetInput& input, RowsetRows& rows) {
  for (const std::string& name : input.catalog_names) {
    rows.Add();
    rows.Set("CATALOG_NAME", name);
  }
}

void ProduceTables(const RowsetInput& input, RowsetRows& rows) {
  for (const auto& held : input.cubes) {
    const OpenCube& cube = *held;
    AddTableRow(rows, cube);
    rows.Set("TABLE_TYPE", "TABLE");
    rows.Set("DESCRIPTION", "The cube's flat rows: a column per level and measure");
  }
}

void ProduceColumns(const RowsetInput& input, RowsetRows& rows) {
  for (const auto& held : input.cubes) {
    const OpenCube& cube = *held;
    const query::CubeModel& model = cube.Model();
    int ordinal = 0;
    for (std::size_t h = 0; h < model.HierarchyCount(); ++h) {
      for (std::size_t level : model.LevelsOf(h)) {
        if (model.Catalog().levels[level].is_all) continue;
        AddColumn(rows, cube, LevelUniqueName(model, level), ++ordinal, kTextType);
      }
    }
    for (const auto& measure : model.Catalog().measures) {
      AddColumn(rows, cube, MeasureUniqueName(measure.name), ++ordinal,
                measure.function == "COUNT" ? kBigIntType : kDoubleType);
    }
  }
}

void ProduceMemberProperties(const RowsetInput& input, RowsetRows& rows) {
  for (const auto& held : input.cubes) {
    const OpenCube& cube = *held;
    for (const CellProperty& property : kCellProperties) {
      rows.Add();
      rows.Set("CATALOG_NAME", cube.CatalogName());
      rows.Set("SCHEMA_NAME", cube.CatalogName());
      rows.Set("CUBE_NAME", cube.Model().Catalog().name);
      rows.Set("PROPERTY_NAME", property.name);
      rows.Set("PROPERTY_CAPTION", property.name);
      rows.SetNumber("PROPERTY_TYPE", kCellProperty);
      rows.SetNumber("DATA_TYPE", property.data_type);
      rows.Set("DESCRIPTION", property.description);
      rows.SetFlag("PROPERTY_IS_VISIBLE", true);
    }
  }
}

}  // namespace cubemill::serve
