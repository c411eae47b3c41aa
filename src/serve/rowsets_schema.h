// The Discover rowsets as data: each rowset's name, its columns in order with their XML types,
// which columns a request may restrict, and the function that makes its rows. Discover, the
// restriction check, the XML schema of a response and DISCOVER_SCHEMA_ROWSETS all read this one
// table.
#pragma once

#include <span>
#include <string_view>

namespace cubemill::serve {

struct RowsetInput;
class RowsetRows;

// The XML type a column's values are written as.
enum class ColumnType {
  kString,
  kBoolean,
  kInt,
  kUnsignedInt,
  kShort,
  kUnsignedShort,
  kDateTime,
  kUuid,
  // DISCOVER_SCHEMA_ROWSETS' Restrictions: one <Restrictions> element (Name, Type) for each
  // restriction of the rowset the row names.
  kRestrictionList,
};

// The schema type of `type`: "xsd:string", "xsd:int", "uuid"...
std::string_view XsdName(ColumnType type);

struct ColumnDefinition {
  const char* name;
  ColumnType type = ColumnType::kString;
  // Whether a request may restrict the rowset by this column.
  bool restriction = false;
  // A restriction the rows do not carry (CUBE_SOURCE, TREE_OP, the *_VISIBILITY ones).
  bool restriction_only = false;
};

struct RowsetDefinition {
  const char* name;  // "MDSCHEMA_LEVELS"
  const char* description;
  std::span<const ColumnDefinition> columns;
  // Whether its rows describe the cubes of catalogs (which must then be opened).
  bool reads_cubes;
  // Adds the rows to `rows`, before the restrictions are applied. May throw RowsetFault.
  void (*produce)(const RowsetInput& input, RowsetRows& rows);
};

// Every rowset the server answers, in the order DISCOVER_SCHEMA_ROWSETS lists them.
std::span<const RowsetDefinition> RowsetDefinitions();

// The rowset named `name`, compared without regard to letter case; nullptr for none.
const RowsetDefinition* FindRowsetDefinition(std::string_view name);

// The index of column `name` (compared exactly) of `definition`; -1 for none.
int ColumnIndex(const RowsetDefinition& definition, std::string_view name);

}  // namespace cubemill::serve
