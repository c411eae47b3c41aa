// What the Discover rowsets' producers share: their input, the fault a request's restriction
// value gives, the names they write, and each producer, by file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "serve/cube_catalogs.h"
#include "serve/rowsets.h"
#include "serve/rowsets_rows.h"

namespace cubemill::serve {

// What a rowset's rows are made from.
struct RowsetInput {
  const XmlaRequest& request;
  const ServerFacts& facts;
  // The catalogs the request may see: those its CATALOG_NAME restriction or Catalog property
  // names, else every one; and, for a rowset that reads cubes, their cubes.
  std::vector<std::string> catalog_names;
  std::vector<std::shared_ptr<const OpenCube>> cubes;
};

// A restriction value the rowset cannot take (TREE_OP 64): the request's fault, with its text.
struct RowsetFault {
  std::string message;
};

// The index of hierarchy `hierarchy`'s dimension in the cube's dimensions; a level's unique name
// as queries write it ([Time].[Calendar].[Year]); the unique name of the measures' one level.
std::size_t DimensionOf(const query::CubeModel& model, std::size_t hierarchy);
std::string LevelUniqueName(const query::CubeModel& model, std::size_t level);
std::string MeasuresLevelName();

// Starts a row of `rows` with the columns every row about a cube begins with: CATALOG_NAME,
// SCHEMA_NAME (a catalog holds one schema, named as the catalog) and CUBE_NAME.
void AddCubeRow(RowsetRows& rows, const OpenCube& cube);

// rowsets_discover.cpp
void ProduceDataSources(const RowsetInput& input, RowsetRows& rows);
void ProduceProperties(const RowsetInput& input, RowsetRows& rows);
void ProduceSchemaRowsets(const RowsetInput& input, RowsetRows& rows);
void ProduceEnumerators(const RowsetInput& input, RowsetRows& rows);
void ProduceKeywords(const RowsetInput& input, RowsetRows& rows);
void ProduceLiterals(const RowsetInput& input, RowsetRows& rows);
void ProduceFunctions(const RowsetInput& input, RowsetRows& rows);
// rowsets_tables.cpp
void ProduceCatalogs(const RowsetInput& input, RowsetRows& rows);
void ProduceTables(const RowsetInput& input, RowsetRows& rows);
void ProduceColumns(const RowsetInput& input, RowsetRows& rows);
void ProduceMemberProperties(const RowsetInput& input, RowsetRows& rows);
// rowsets_cube.cpp
void ProduceCubes(const RowsetInput& input, RowsetRows& rows);
void ProduceDimensions(const RowsetInput& input, RowsetRows& rows);
void ProduceHierarchies(const RowsetInput& input, RowsetRows& rows);
void ProduceLevels(const RowsetInput& input, RowsetRows& rows);
void ProduceMeasures(const RowsetInput& input, RowsetRows& rows);
void ProduceSets(const RowsetInput& input, RowsetRows& rows);
void ProduceMeasureGroups(const RowsetInput& input, RowsetRows& rows);
void ProduceMeasureGroupDimensions(const RowsetInput& input, RowsetRows& rows);
// rowsets_members.cpp
void ProduceMembers(const RowsetInput& input, RowsetRows& rows);

}  // namespace cubemill::serve
