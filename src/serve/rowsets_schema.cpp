#include "serve/rowsets_schema.h"

#include "platform/ascii_text.h"
#include "serve/rowsets_producers.h"

namespace cubemill::serve {

namespace {

using enum ColumnType;

// A column the rows carry; one a request may restrict; a restriction the rows do not carry.
constexpr ColumnDefinition Column(const char* name, ColumnType type = kString) {
  return {name, type, false, false};
}
constexpr ColumnDefinition Restricted(const char* name, ColumnType type = kString) {
  return {name, type, true, false};
}
constexpr ColumnDefinition RestrictionOnly(const char* name, ColumnType type) {
  return {name, type, true, true};
}

constexpr ColumnDefinition kDataSources[] = {
    Restricted("DataSourceName"),    Column("DataSourceDescription"), Restricted("URL"),
    Column("DataSourceInfo"),        Restricted("ProviderName"),      Restricted("ProviderType"),
    Restricted("AuthenticationMode")};
constexpr ColumnDefinition kProperties[] = {
    Restricted("PropertyName"),   Column("PropertyDescription"),  Column("PropertyType"),
    Column("PropertyAccessType"), Column("IsRequired", kBoolean), Column("Value")};
constexpr ColumnDefinition kSchemaRowsets[] = {
    Restricted("SchemaName"), Column("SchemaGuid", kUuid), Column("Restrictions", kRestrictionList),
    Column("Description")};
constexpr ColumnDefinition kEnumerators[] = {
    Restricted("EnumName"), Column("EnumDescription"),    Column("EnumType"),
    Column("ElementName"),  Column("ElementDescription"), Column("ElementValue")};
constexpr ColumnDefinition kKeywords[] = {Restricted("Keyword")};
constexpr ColumnDefinition kLiterals[] = {
    Restricted("LiteralName"), Column("LiteralValue"), Column("LiteralInvalidChars"),
    Column("LiteralInvalidStartingChars"), Column("LiteralMaxLength", kInt)};
constexpr ColumnDefinition kCatalogs[] = {Restricted("CATALOG_NAME"), Column("DESCRIPTION"),
                                          Column("ROLES"), Column("DATE_MODIFIED", kDateTime)};
constexpr ColumnDefinition kTables[] = {Restricted("TABLE_CATALOG"),
                                        Restricted("TABLE_SCHEMA"),
                                        Restricted("TABLE_NAME"),
                                        Restricted("TABLE_TYPE"),
                                        Column("TABLE_GUID", kUuid),
                                        Column("DESCRIPTION"),
                                        Column("TABLE_PROPID", kUnsignedInt),
                                        Column("DATE_CREATED", kDateTime),
                                        Column("DATE_MODIFIED", kDateTime)};
constexpr ColumnDefinition kColumns[] = {Restricted("TABLE_CATALOG"),
                                         Restricted("TABLE_SCHEMA"),
                                         Restricted("TABLE_NAME"),
                                         Restricted("COLUMN_NAME"),
                                         Column("ORDINAL_POSITION", kUnsignedInt),
                                         Column("COLUMN_HAS_DEFAULT", kBoolean),
                                         Column("COLUMN_FLAGS", kUnsignedInt),
                                         Column("IS_NULLABLE", kBoolean),
                                         Column("DATA_TYPE", kUnsignedShort),
                                         Column("CHARACTER_MAXIMUM_LENGTH", kUnsignedInt),
                                         Column("CHARACTER_OCTET_LENGTH", kUnsignedInt),
                                         Column("NUMERIC_PRECISION", kUnsignedShort),
                                         Column("NUMERIC_SCALE", kShort)};
constexpr ColumnDefinition kCubes[] = {Restricted("CATALOG_NAME"),
                                       Restricted("SCHEMA_NAME"),
                                       Restricted("CUBE_NAME"),
                                       Restricted("CUBE_TYPE"),
                                       Column("CUBE_GUID", kUuid),
                                       Column("CREATED_ON", kDateTime),
                                       Column("LAST_SCHEMA_UPDATE", kDateTime),
                                       Column("SCHEMA_UPDATED_BY"),
                                       Column("LAST_DATA_UPDATE", kDateTime),
                                       Column("DATA_UPDATED_BY"),
                                       Column("DESCRIPTION"),
                                       Column("IS_DRILLTHROUGH_ENABLED", kBoolean),
                                       Column("IS_LINKABLE", kBoolean),
                                       Column("IS_WRITE_ENABLED", kBoolean),
                                       Column("IS_SQL_ENABLED", kBoolean),
                                       Column("CUBE_CAPTION"),
                                       Restricted("BASE_CUBE_NAME"),
                                       RestrictionOnly("CUBE_SOURCE", kUnsignedShort)};
constexpr ColumnDefinition kDimensions[] = {
    Restricted("CATALOG_NAME"),
    Restricted("SCHEMA_NAME"),
    Restricted("CUBE_NAME"),
    Restricted("DIMENSION_NAME"),
    Restricted("DIMENSION_UNIQUE_NAME"),
    Column("DIMENSION_GUID", kUuid),
    Column("DIMENSION_CAPTION"),
    Column("DIMENSION_ORDINAL", kUnsignedInt),
    Column("DIMENSION_TYPE", kShort),
    Column("DIMENSION_CARDINALITY", kUnsignedInt),
    Column("DEFAULT_HIERARCHY"),
    Column("DESCRIPTION"),
    Column("IS_VIRTUAL", kBoolean),
    Column("IS_READWRITE", kBoolean),
    Column("DIMENSION_UNIQUE_SETTINGS", kInt),
    Column("DIMENSION_MASTER_UNIQUE_NAME"),
    Column("DIMENSION_IS_VISIBLE", kBoolean),
    RestrictionOnly("CUBE_SOURCE", kUnsignedShort),
    RestrictionOnly("DIMENSION_VISIBILITY", kUnsignedShort)};
constexpr ColumnDefinition kHierarchies[] = {
    Restricted("CATALOG_NAME"),
    Restricted("SCHEMA_NAME"),
    Restricted("CUBE_NAME"),
    Restricted("DIMENSION_UNIQUE_NAME"),
    Restricted("HIERARCHY_NAME"),
    Restricted("HIERARCHY_UNIQUE_NAME"),
    Column("HIERARCHY_GUID", kUuid),
    Column("HIERARCHY_CAPTION"),
    Column("DIMENSION_TYPE", kShort),
    Column("HIERARCHY_CARDINALITY", kUnsignedInt),
    Column("DEFAULT_MEMBER"),
    Column("ALL_MEMBER"),
    Column("DESCRIPTION"),
    Column("STRUCTURE", kShort),
    Column("IS_VIRTUAL", kBoolean),
    Column("IS_READWRITE", kBoolean),
    Column("DIMENSION_UNIQUE_SETTINGS", kInt),
    Column("DIMENSION_IS_VISIBLE", kBoolean),
    Column("HIERARCHY_IS_VISIBLE", kBoolean),
    Column("HIERARCHY_ORDINAL", kUnsignedInt),
    Column("DIMENSION_IS_SHARED", kBoolean),
    Column("PARENT_CHILD", kBoolean),
    RestrictionOnly("CUBE_SOURCE", kUnsignedShort),
    RestrictionOnly("HIERARCHY_VISIBILITY", kUnsignedShort)};
constexpr ColumnDefinition kLevels[] = {Restricted("CATALOG_NAME"),
                                        Restricted("SCHEMA_NAME"),
                                        Restricted("CUBE_NAME"),
                                        Restricted("DIMENSION_UNIQUE_NAME"),
                                        Restricted("HIERARCHY_UNIQUE_NAME"),
                                        Restricted("LEVEL_NAME"),
                                        Restricted("LEVEL_UNIQUE_NAME"),
                                        Column("LEVEL_GUID", kUuid),
                                        Column("LEVEL_CAPTION"),
                                        Column("LEVEL_NUMBER", kUnsignedInt),
                                        Column("LEVEL_CARDINALITY", kUnsignedInt),
                                        Column("LEVEL_TYPE", kInt),
                                        Column("DESCRIPTION"),
                                        Column("CUSTOM_ROLLUP_SETTINGS", kInt),
                                        Column("LEVEL_UNIQUE_SETTINGS", kInt),
                                        Column("LEVEL_IS_VISIBLE", kBoolean),
                                        RestrictionOnly("CUBE_SOURCE", kUnsignedShort),
                                        RestrictionOnly("LEVEL_VISIBILITY", kUnsignedShort)};
constexpr ColumnDefinition kMeasures[] = {Restricted("CATALOG_NAME"),
                                          Restricted("SCHEMA_NAME"),
                                          Restricted("CUBE_NAME"),
                                          Restricted("MEASURE_NAME"),
                                          Restricted("MEASURE_UNIQUE_NAME"),
                                          Column("MEASURE_CAPTION"),
                                          Column("MEASURE_GUID", kUuid),
                                          Column("MEASURE_AGGREGATOR", kInt),
                                          Column("DATA_TYPE", kUnsignedShort),
                                          Column("NUMERIC_PRECISION", kUnsignedShort),
                                          Column("NUMERIC_SCALE", kShort),
                                          Column("MEASURE_UNITS"),
                                          Column("DESCRIPTION"),
                                          Column("EXPRESSION"),
                                          Column("MEASURE_IS_VISIBLE", kBoolean),
                                          Column("LEVELS_LIST"),
                                          Column("MEASURE_NAME_SQL_COLUMN_NAME"),
                                          Column("MEASURE_UNQUALIFIED_CAPTION"),
                                          Restricted("MEASUREGROUP_NAME"),
                                          Column("DEFAULT_FORMAT_STRING"),
                                          RestrictionOnly("CUBE_SOURCE", kUnsignedShort),
                                          RestrictionOnly("MEASURE_VISIBILITY", kUnsignedShort)};
constexpr ColumnDefinition kMembers[] = {Restricted("CATALOG_NAME"),
                                         Restricted("SCHEMA_NAME"),
                                         Restricted("CUBE_NAME"),
                                         Restricted("DIMENSION_UNIQUE_NAME"),
                                         Restricted("HIERARCHY_UNIQUE_NAME"),
                                         Restricted("LEVEL_UNIQUE_NAME"),
                                         Restricted("LEVEL_NUMBER", kUnsignedInt),
                                         Column("MEMBER_ORDINAL", kUnsignedInt),
                                         Restricted("MEMBER_NAME"),
                                         Restricted("MEMBER_UNIQUE_NAME"),
                                         Restricted("MEMBER_TYPE", kInt),
                                         Column("MEMBER_GUID", kUuid),
                                         Restricted("MEMBER_CAPTION"),
                                         Column("CHILDREN_CARDINALITY", kUnsignedInt),
                                         Column("PARENT_LEVEL", kUnsignedInt),
                                         Column("PARENT_UNIQUE_NAME"),
                                         Column("PARENT_COUNT", kUnsignedInt),
                                         Column("DESCRIPTION"),
                                         Column("EXPRESSION"),
                                         Column("MEMBER_KEY"),
                                         Column("DEPTH", kUnsignedInt),
                                         RestrictionOnly("CUBE_SOURCE", kUnsignedShort),
                                         RestrictionOnly("TREE_OP", kInt)};
constexpr ColumnDefinition kMemberProperties[] = {
    Restricted("CATALOG_NAME"),
    Restricted("SCHEMA_NAME"),
    Restricted("CUBE_NAME"),
    Restricted("DIMENSION_UNIQUE_NAME"),
    Restricted("HIERARCHY_UNIQUE_NAME"),
    Restricted("LEVEL_UNIQUE_NAME"),
    Restricted("MEMBER_UNIQUE_NAME"),
    Restricted("PROPERTY_NAME"),
    Column("PROPERTY_CAPTION"),
    Restricted("PROPERTY_TYPE", kShort),
    Column("DATA_TYPE", kUnsignedShort),
    Column("CHARACTER_MAXIMUM_LENGTH", kUnsignedInt),
    Column("CHARACTER_OCTET_LENGTH", kUnsignedInt),
    Column("NUMERIC_PRECISION", kUnsignedShort),
    Column("NUMERIC_SCALE", kShort),
    Column("DESCRIPTION"),
    Restricted("PROPERTY_CONTENT_TYPE", kShort),
    Column("SQL_COLUMN_NAME"),
    Column("LANGUAGE", kUnsignedShort),
    Restricted("PROPERTY_ORIGIN", kUnsignedShort),
    Column("PROPERTY_IS_VISIBLE", kBoolean),
    RestrictionOnly("CUBE_SOURCE", kUnsignedShort),
    RestrictionOnly("PROPERTY_VISIBILITY", kUnsignedShort)};
constexpr ColumnDefinition kSets[] = {Restricted("CATALOG_NAME"), Restricted("SCHEMA_NAME"),
                                      Restricted("CUBE_NAME"),    Restricted("SET_NAME"),
                                      Restricted("SCOPE", kInt),  Column("DESCRIPTION"),
                                      Column("EXPRESSION"),       Column("DIMENSIONS"),
                                      Column("SET_CAPTION"),      Column("SET_DISPLAY_FOLDER")};
constexpr ColumnDefinition kFunctions[] = {
    Restricted("FUNCTION_NAME"),  Column("DESCRIPTION"),      Column("PARAMETER_LIST"),
    Column("RETURN_TYPE", kInt),  Restricted("ORIGIN", kInt), Restricted("INTERFACE_NAME"),
    Restricted("LIBRARY_NAME"),   Column("DLL_NAME"),         Column("HELP_FILE"),
    Column("HELP_CONTEXT", kInt), Column("OBJECT"),           Column("CAPTION")};
constexpr ColumnDefinition kMeasureGroups[] = {
    Restricted("CATALOG_NAME"),    Restricted("SCHEMA_NAME"),
    Restricted("CUBE_NAME"),       Restricted("MEASUREGROUP_NAME"),
    Column("DESCRIPTION"),         Column("IS_WRITE_ENABLED", kBoolean),
    Column("MEASUREGROUP_CAPTION")};
constexpr ColumnDefinition kMeasureGroupDimensions[] = {
    Restricted("CATALOG_NAME"),
    Restricted("SCHEMA_NAME"),
    Restricted("CUBE_NAME"),
    Restricted("MEASUREGROUP_NAME"),
    Column("MEASUREGROUP_CARDINALITY"),
    Restricted("DIMENSION_UNIQUE_NAME"),
    Column("DIMENSION_CARDINALITY"),
    Column("DIMENSION_IS_VISIBLE", kBoolean),
    Column("DIMENSION_IS_FACT_DIMENSION", kBoolean),
    Column("DIMENSION_GRANULARITY"),
    RestrictionOnly("DIMENSION_VISIBILITY", kUnsignedShort)};

constexpr RowsetDefinition kDefinitions[] = {
    {"DISCOVER_DATASOURCES", "The data source this server is, and how to reach it.", kDataSources,
     false, ProduceDataSources},
    {"DISCOVER_PROPERTIES", "The XMLA properties the server knows, and their values.", kProperties,
     false, ProduceProperties},
    {"DISCOVER_SCHEMA_ROWSETS",
     "The rowsets a Discover request may ask for, and their restrictions.", kSchemaRowsets, false,
     ProduceSchemaRowsets},
    {"DISCOVER_ENUMERATORS", "The values of the enumerations the other rowsets use.", kEnumerators,
     false, ProduceEnumerators},
    {"DISCOVER_KEYWORDS", "The words MDX reserves.", kKeywords, false, ProduceKeywords},
    {"DISCOVER_LITERALS", "How names and literals are written in MDX.", kLiterals, false,
     ProduceLiterals},
    {"DBSCHEMA_CATALOGS", "The catalogs: one a cube file.", kCatalogs, false, ProduceCatalogs},
    {"DBSCHEMA_TABLES", "Each cube as a table of flat rows.", kTables, true, ProduceTables},
    {"DBSCHEMA_COLUMNS", "The columns of each cube's table: its levels and measures.", kColumns,
     true, ProduceColumns},
    {"MDSCHEMA_CUBES", "The cubes of each catalog.", kCubes, true, ProduceCubes},
    {"MDSCHEMA_DIMENSIONS", "The dimensions of each cube, Measures first.", kDimensions, true,
     ProduceDimensions},
    {"MDSCHEMA_HIERARCHIES", "The hierarchies of each dimension.", kHierarchies, true,
     ProduceHierarchies},
    {"MDSCHEMA_LEVELS", "The levels of each hierarchy.", kLevels, true, ProduceLevels},
    {"MDSCHEMA_MEASURES", "The measures of each cube.", kMeasures, true, ProduceMeasures},
    {"MDSCHEMA_MEMBERS", "The members of each level, and the measures.", kMembers, true,
     ProduceMembers},
    {"MDSCHEMA_PROPERTIES", "The properties a query may ask of members and cells.",
     kMemberProperties, true, ProduceMemberProperties},
    {"MDSCHEMA_SETS", "Named sets stored with a cube: cube files hold none.", kSets, true,
     ProduceSets},
    {"MDSCHEMA_FUNCTIONS", "The MDX functions a query may call.", kFunctions, false,
     ProduceFunctions},
    {"MDSCHEMA_MEASUREGROUPS", "The measure group of each cube: all its measures.", kMeasureGroups,
     true, ProduceMeasureGroups},
    {"MDSCHEMA_MEASUREGROUP_DIMENSIONS", "The dimensions each measure group is broken down by.",
     kMeasureGroupDimensions, true, ProduceMeasureGroupDimensions},
};

}  // namespace

std::string_view XsdName(ColumnType type) {
  switch (type) {
    case kBoolean:
      return "xsd:boolean";
    case kInt:
      return "xsd:int";
    case kUnsignedInt:
      return "xsd:unsignedInt";
    case kShort:
      return "xsd:short";
    case kUnsignedShort:
      return "xsd:unsignedShort";
    case kDateTime:
      return "xsd:dateTime";
    case kUuid:
      return "uuid";
    case kString:
    case kRestrictionList:
      break;
  }
  return "xsd:string";
}

std::span<const RowsetDefinition> RowsetDefinitions() { return kDefinitions; }

const RowsetDefinition* FindRowsetDefinition(std::string_view name) {
  for (const RowsetDefinition& definition : kDefinitions) {
    if (platform::EqualsIgnoringCase(name, definition.name)) return &definition;
  }
  return nullptr;
}

int ColumnIndex(const RowsetDefinition& definition, std::string_view name) {
  for (std::size_t i = 0; i < definition.columns.size(); ++i) {
    if (name == definition.columns[i].name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace cubemill::serve
