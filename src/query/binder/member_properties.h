// The member properties a query asks for with DIMENSION PROPERTIES, and the cell properties of
// CELL PROPERTIES.
#pragma once

#include <string>
#include <vector>

#include "query/binder/cube_model.h"
#include "query/parser/mdx_query.h"

namespace cubemill::query {

// The properties each member of an axis carries when asked: MEMBER_UNIQUE_NAME, MEMBER_NAME,
// MEMBER_CAPTION, MEMBER_KEY, LEVEL_NUMBER (0 for the top level), LEVEL_UNIQUE_NAME,
// PARENT_UNIQUE_NAME ("" for a member without a parent), CHILDREN_CARDINALITY. The names as
// written (any letter case) in their canonical spelling; throws QueryFailure naming an unknown one
// and where it stands.
std::vector<std::string> DimensionPropertyNames(const std::vector<NamePart>& written);

// Whether `name` (canonical) has a number as its value.
bool IsNumericProperty(const std::string& name);

// Property `name` (canonical) of member or measure `item` of `hierarchy` (kMeasuresHierarchy for a
// measure), both of the cube.
std::string PropertyValue(const CubeModel& model, std::size_t hierarchy, std::size_t item,
                          const std::string& name);

// The cell properties VALUE, FORMATTED_VALUE, FORMAT_STRING and CELL_ORDINAL, canonical; throws
// QueryFailure naming an unknown one.
std::vector<std::string> CellPropertyNames(const std::vector<NamePart>& written);

}  // namespace cubemill::query
