// The member properties a query asks for with DIMENSION PROPERTIES, and the cell properties of
// CELL PROPERTIES.
#pragma once

#include <string>
#include <vector>

#include "query/binder/cube_model.h"
#include "query/execution/tuple_list.h"
#include "query/parser/mdx_query.h"

namespace cubemill::query {

// The properties each member of an axis carries when asked: MEMBER_UNIQUE_NAME, MEMBER_NAME,
// MEMBER_CAPTION, MEMBER_KEY, LEVEL_NUMBER (0 for the top level), LEVEL_UNIQUE_NAME,
// PARENT_UNIQUE_NAME ("" for a member without a parent), CHILDREN_CARDINALITY,
// HIERARCHY_UNIQUE_NAME, MEMBER_TYPE (1 a member, 2 an ALL member, 3 a measure, 4 a calculated
// member), MEMBER_ORDINAL (the place in hierarchy order) and DISPLAY_INFO (see
// AxisPropertyValue). The names as written (any letter case) in their canonical spelling, KEY,
// NAME, CAPTION and UNIQUENAME as the MEMBER_ ones; any other name is kept as written, and its
// value is empty.
std::vector<std::string> DimensionPropertyNames(const std::vector<NamePart>& written);

// Whether `name` (canonical) has a number as its value.
bool IsNumericProperty(const std::string& name);

// Property `name` (canonical) of member or measure `item` of `hierarchy` (kMeasuresHierarchy for a
// measure), both of the cube; "" ("0" for a number) for a property it does not have.
std::string PropertyValue(const CubeModel& model, std::size_t hierarchy, std::size_t item,
                          const std::string& name);

// Property `name` of member `i` of tuple `t` of an axis's `tuples`: PropertyValue, and
// DISPLAY_INFO, which depends on the tuples around it: the member's children (at most 0xFFFF),
// plus 0x10000 when the next tuple holds one of its children and 0x20000 when the tuple before
// holds a member of the same parent.
std::string AxisPropertyValue(const CubeModel& model, const TupleList& tuples, std::size_t t,
                              std::size_t i, const std::string& name);

// The cell properties (VALUE, FORMATTED_VALUE, FORMAT_STRING, CELL_ORDINAL, LANGUAGE,
// BACK_COLOR, FORE_COLOR, FONT_FLAGS and the other names of the XMLA standard), canonical;
// throws QueryFailure naming an unknown one.
std::vector<std::string> CellPropertyNames(const std::vector<NamePart>& written);

}  // namespace cubemill::query
