// The rowsets that describe the served cubes' structure: catalogs, cubes, dimensions,
// hierarchies, levels, measures, sets and measure groups.
#include <string>

#include "common/quoted_text.h"
#include "serve/rowsets_producers.h"

namespace cubemill::serve {

namespace {

using query::CubeModel;

// DIMENSION_TYPE: MD_DIMTYPE_TIME, MD_DIMTYPE_MEASURE, MD_DIMTYPE_OTHER.
constexpr int kTimeDimension = 1;
constexpr int kMeasureDimension = 2;
constexpr int kOtherDimension = 3;
// LEVEL_TYPE: MDLEVEL_TYPE_REGULAR.
constexpr int kRegularLevel = 0x0000;

// LEVEL_TYPE (MDLEVEL_TYPE_*) of a level by the TYPE the cube file gives it.
int LevelType(const std::string& type) {
  static constexpr struct {
    const char* type;
    int level_type;
  } kTypes[] = {{"ALL", 0x0001},    {"YEAR", 0x0014},   {"QUARTER", 0x0044},  {"MONTH", 0x0084},
                {"WEEK", 0x0104},   {"DAY", 0x0204},    {"DATE", 0x0204},     {"HOUR", 0x0304},
                {"MINUTE", 0x0404}, {"SECOND", 0x0804}, {"DAYOFWEEK", 0x1004}};
  for (const auto& known : kTypes) {
    if (type == known.type) return known.level_type;
  }
  return kRegularLevel;
}

int DimensionType(const CubeModel& model, std::size_t dimension) {
  return model.Catalog().dimensions[dimension].is_time ? kTimeDimension : kOtherDimension;
}
// STRUCTURE: MD_STRUCTURE_FULLYBALANCED.
constexpr int kBalanced = 0;
// DATA_TYPE (OLE DB): DBTYPE_R8, DBTYPE_I8.
constexpr int kDoubleType = 5;
constexpr int kBigIntType = 20;

std::int64_t Count(std::size_t count) { return static_cast<std::int64_t>(count); }

// MEASURE_AGGREGATOR: MDMEASURE_AGGR_SUM, _COUNT, _MIN, _MAX, or _UNKNOWN.
int Aggregator(const std::string& function) {
  if (function == "SUM") return 1;
  if (function == "COUNT") return 2;
  if (function == "MIN") return 3;
  if (function == "MAX") return 4;
  return 0;
}

// The flags every dimension and hierarchy row has: none virtual, writable or hidden.
void SetDimensionFlags(RowsetRows& rows) {
  rows.SetFlag("IS_VIRTUAL", false);
  rows.SetFlag("IS_READWRITE", false);
  rows.SetNumber("DIMENSION_UNIQUE_SETTINGS", 0);
  rows.SetFlag("DIMENSION_IS_VISIBLE", true);
}

void AddMeasuresDimension(RowsetRows& rows, const OpenCube& cube) {
  AddCubeRow(rows, cube);
  rows.Set("DIMENSION_NAME", "Measures");
  rows.Set("DIMENSION_UNIQUE_NAME", "[Measures]");
  rows.Set("DIMENSION_CAPTION", "Measures");
  rows.SetNumber("DIMENSION_ORDINAL", 0);
  rows.SetNumber("DIMENSION_TYPE", kMeasureDimension);
  rows.SetNumber("DIMENSION_CARDINALITY", Count(cube.Model().Catalog().measures.size()));
  rows.Set("DEFAULT_HIERARCHY", "[Measures]");
  SetDimensionFlags(rows);
}

void AddMeasuresHierarchy(RowsetRows& rows, const OpenCube& cube) {
  const auto& measures = cube.Model().Catalog().measures;
  AddCubeRow(rows, cube);
  rows.Set("DIMENSION_UNIQUE_NAME", "[Measures]");
  rows.Set("HIERARCHY_NAME", "Measures");
  rows.Set("HIERARCHY_UNIQUE_NAME", "[Measures]");
  rows.Set("HIERARCHY_CAPTION", "Measures");
  rows.SetNumber("DIMENSION_TYPE", kMeasureDimension);
  rows.SetNumber("HIERARCHY_CARDINALITY", Count(measures.size()));
  if (!measures.empty()) rows.Set("DEFAULT_MEMBER", MeasureUniqueName(measures.front().name));
  rows.SetNumber("STRUCTURE", kBalanced);
  SetDimensionFlags(rows);
  rows.SetFlag("HIERARCHY_IS_VISIBLE", true);
  rows.SetNumber("HIERARCHY_ORDINAL", 0);
  rows.SetFlag("DIMENSION_IS_SHARED", false);
  rows.SetFlag("PARENT_CHILD", false);
}

void AddHierarchy(RowsetRows& rows, const OpenCube& cube, std::size_t h) {
  const CubeModel& model = cube.Model();
  const std::size_t dimension = DimensionOf(model, h);
  const std::size_t top = model.LevelsOf(h).front();
  const auto& top_members = model.MembersOf(top);
  AddCubeRow(rows, cube);
  rows.Set("DIMENSION_UNIQUE_NAME", Bracketed(model.Catalog().dimensions[dimension].name));
  rows.Set("HIERARCHY_NAME", model.HierarchyCaption(h));
  rows.Set("HIERARCHY_UNIQUE_NAME", model.HierarchyName(h));
  rows.Set("HIERARCHY_CAPTION", model.HierarchyCaption(h));
  rows.SetNumber("DIMENSION_TYPE", DimensionType(model, dimension));
  rows.SetNumber("HIERARCHY_CARDINALITY", Count(model.MembersOfHierarchy(h).size()));
  if (!top_members.empty()) rows.Set("DEFAULT_MEMBER", model.UniqueName(top_members.front()));
  if (model.Catalog().levels[top].is_all && !top_members.empty())
    rows.Set("ALL_MEMBER", model.UniqueName(top_members.front()));
  rows.SetNumber("STRUCTURE", kBalanced);
  SetDimensionFlags(rows);
  rows.SetFlag("HIERARCHY_IS_VISIBLE", true);
  rows.SetNumber("HIERARCHY_ORDINAL", Count(h + 1));
  rows.SetFlag("DIMENSION_IS_SHARED", false);
  rows.SetFlag("PARENT_CHILD", false);
}

void AddLevel(RowsetRows& rows, const OpenCube& cube, std::size_t level) {
  const CubeModel& model = cube.Model();
  const auto& stored = model.Catalog().levels[level];
  const std::size_t h = model.LevelHierarchy(level);
  AddCubeRow(rows, cube);
  rows.Set("DIMENSION_UNIQUE_NAME",
           Bracketed(model.Catalog().dimensions[DimensionOf(model, h)].name));
  rows.Set("HIERARCHY_UNIQUE_NAME", model.HierarchyName(h));
  rows.Set("LEVEL_NAME", stored.name);
  rows.Set("LEVEL_UNIQUE_NAME", LevelUniqueName(model, level));
  rows.Set("LEVEL_CAPTION", stored.name);
  rows.SetNumber("LEVEL_NUMBER", stored.ordinal - 1);
  rows.SetNumber("LEVEL_CARDINALITY", Count(model.MembersOf(level).size()));
  rows.SetNumber("LEVEL_TYPE", LevelType(stored.type));
  rows.SetNumber("CUSTOM_ROLLUP_SETTINGS", 0);
  rows.SetNumber("LEVEL_UNIQUE_SETTINGS", 0);
  rows.SetFlag("LEVEL_IS_VISIBLE", true);
}

void AddMeasuresLevel(RowsetRows& rows, const OpenCube& cube) {
  AddCubeRow(rows, cube);
  rows.Set("DIMENSION_UNIQUE_NAME", "[Measures]");
  rows.Set("HIERARCHY_UNIQUE_NAME", "[Measures]");
  rows.Set("LEVEL_NAME", "MeasuresLevel");
  rows.Set("LEVEL_UNIQUE_NAME", MeasuresLevelName());
  rows.Set("LEVEL_CAPTION", "MeasuresLevel");
  rows.SetNumber("LEVEL_NUMBER", 0);
  rows.SetNumber("LEVEL_CARDINALITY", Count(cube.Model().Catalog().measures.size()));
  rows.SetNumber("LEVEL_TYPE", kRegularLevel);
  rows.SetNumber("CUSTOM_ROLLUP_SETTINGS", 0);
  rows.SetNumber("LEVEL_UNIQUE_SETTINGS", 0);
  rows.SetFlag("LEVEL_IS_VISIBLE", true);
}

}  // namespace

std::size_t DimensionOf(const CubeModel& model, std::size_t hierarchy) {
  const auto& catalog = model.Catalog();
  for (std::size_t d = 0; d < catalog.dimensions.size(); ++d) {
    if (catalog.dimensions[d].id == catalog.hierarchies[hierarchy].dimension) return d;
  }
  return 0;
}

void AddCubeRow(RowsetRows& rows, const OpenCube& cube) {
  rows.Add();
  rows.Set("CATALOG_NAME", cube.CatalogName());
  rows.Set("SCHEMA_NAME", cube.CatalogName());
  rows.Set("CUBE_NAME", cube.Model().Catalog().name);
}

std::string MeasuresLevelName() { return MeasureUniqueName("MeasuresLevel"); }

std::string LevelUniqueName(const CubeModel& model, std::size_t level) {
  return model.HierarchyName(model.LevelHierarchy(level)) + "." +
         Bracketed(model.Catalog().levels[level].name);
}

void ProduceCubes(const RowsetInput& input, RowsetRows& rows) {
  for (const auto& held : input.cubes) {
    const OpenCube& cube = *held;
    AddCubeRow(rows, cube);
    rows.Set("CUBE_TYPE", "CUBE");
    rows.Set("DESCRIPTION", "");
    rows.SetFlag("IS_DRILLTHROUGH_ENABLED", false);
    rows.SetFlag("IS_LINKABLE", false);
    rows.SetFlag("IS_WRITE_ENABLED", false);
    rows.SetFlag("IS_SQL_ENABLED", false);
    rows.Set("CUBE_CAPTION", cube.Model().Catalog().name);
  }
}

void ProduceDimensions(const RowsetInput& input, RowsetRows& rows) {
  for (const auto& held : input.cubes) {
    const OpenCube& cube = *held;
    const CubeModel& model = cube.Model();
    AddMeasuresDimension(rows, cube);
    const auto& dimensions = model.Catalog().dimensions;
    for (std::size_t d = 0; d < dimensions.size(); ++d) {
      std::size_t members = 0;
      std::string first;
      for (std::size_t h = 0; h < model.HierarchyCount(); ++h) {
        if (DimensionOf(model, h) != d) continue;
        if (first.empty()) first = model.HierarchyName(h);
        members += model.MembersOfHierarchy(h).size();
      }
      AddCubeRow(rows, cube);
      rows.Set("DIMENSION_NAME", dimensions[d].name);
      rows.Set("DIMENSION_UNIQUE_NAME", Bracketed(dimensions[d].name));
      rows.Set("DIMENSION_CAPTION", dimensions[d].name);
      rows.SetNumber("DIMENSION_ORDINAL", Count(d + 1));
      rows.SetNumber("DIMENSION_TYPE", DimensionType(model, d));
      rows.SetNumber("DIMENSION_CARDINALITY", Count(members));
      rows.Set("DEFAULT_HIERARCHY", first);
      SetDimensionFlags(rows);
    }
  }
}

void ProduceHierarchies(const RowsetInput& input, RowsetRows& rows) {
  for (const auto& held : input.cubes) {
    const OpenCube& cube = *held;
    AddMeasuresHierarchy(rows, cube);
    for (std::size_t h = 0; h < cube.Model().HierarchyCount(); ++h) AddHierarchy(rows, cube, h);
  }
}

void ProduceLevels(const RowsetInput& input, RowsetRows& rows) {
  for (const auto& held : input.cubes) {
    const OpenCube& cube = *held;
    AddMeasuresLevel(rows, cube);
    for (std::size_t h = 0; h < cube.Model().HierarchyCount(); ++h) {
      for (std::size_t level : cube.Model().LevelsOf(h)) AddLevel(rows, cube, level);
    }
  }
}

void ProduceMeasures(const RowsetInput& input, RowsetRows& rows) {
  for (const auto& held : input.cubes) {
    const OpenCube& cube = *held;
    for (const auto& measure : cube.Model().Catalog().measures) {
      AddCubeRow(rows, cube);
      rows.Set("MEASURE_NAME", measure.name);
      rows.Set("MEASURE_UNIQUE_NAME", MeasureUniqueName(measure.name));
      rows.Set("MEASURE_CAPTION", measure.name);
      rows.SetNumber("MEASURE_AGGREGATOR", Aggregator(measure.function));
      rows.SetNumber("DATA_TYPE", measure.function == "COUNT" ? kBigIntType : kDoubleType);
      rows.SetNumber("NUMERIC_PRECISION", measure.function == "COUNT" ? 19 : 15);
      if (measure.decimals) rows.SetNumber("NUMERIC_SCALE", *measure.decimals);
      rows.SetFlag("MEASURE_IS_VISIBLE", true);
      rows.Set("MEASURE_UNQUALIFIED_CAPTION", measure.name);
      rows.Set("MEASUREGROUP_NAME", cube.Model().Catalog().name);
      if (!measure.format.empty()) rows.Set("DEFAULT_FORMAT_STRING", measure.format);
    }
  }
}

// Cube files hold no named sets: a query's WITH SET lives as long as the query.
void ProduceSets(const RowsetInput&, RowsetRows&) {}

// One measure group per cube, named as the cube, holding all its measures.
void ProduceMeasureGroups(const RowsetInput& input, RowsetRows& rows) {
  for (const auto& held : input.cubes) {
    const OpenCube& cube = *held;
    AddCubeRow(rows, cube);
    rows.Set("MEASUREGROUP_NAME", cube.Model().Catalog().name);
    rows.Set("DESCRIPTION", "");
    rows.SetFlag("IS_WRITE_ENABLED", false);
    rows.Set("MEASUREGROUP_CAPTION", cube.Model().Catalog().name);
  }
}

// Every dimension breaks down the measure group at its leaf level.
void ProduceMeasureGroupDimensions(const RowsetInput& input, RowsetRows& rows) {
  for (const auto& held : input.cubes) {
    const OpenCube& cube = *held;
    const CubeModel& model = cube.Model();
    for (std::size_t h = 0; h < model.HierarchyCount(); ++h) {
      AddCubeRow(rows, cube);
      rows.Set("MEASUREGROUP_NAME", model.Catalog().name);
      rows.Set("MEASUREGROUP_CARDINALITY", "ONE");
      rows.Set("DIMENSION_UNIQUE_NAME",
               Bracketed(model.Catalog().dimensions[DimensionOf(model, h)].name));
      rows.Set("DIMENSION_CARDINALITY", "MANY");
      rows.SetFlag("DIMENSION_IS_VISIBLE", true);
      rows.SetFlag("DIMENSION_IS_FACT_DIMENSION", false);
      rows.Set("DIMENSION_GRANULARITY", LevelUniqueName(model, model.LevelsOf(h).back()));
    }
  }
}

}  // namespace cubemill::serve
