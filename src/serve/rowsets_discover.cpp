// The rowsets about the server itself: its data source, properties, rowsets, enumerations,
// keywords, literals and MDX functions, and the cubes as tables of flat rows.
#include <cstring>
#include <span>
#include <string>

#include "common/quoted_text.h"
#include "query/functions/catalog.h"
#include "query/parser/parser.h"
#include "serve/rowsets_producers.h"

namespace cubemill::serve {

namespace {

struct Element {
  const char* name;
  const char* description;
  const char* value;
};
struct Enumeration {
  const char* name;
  const char* description;
  const char* type;
  std::vector<Element> elements;
};

const std::vector<Enumeration>& Enumerations() {
  static const std::vector<Enumeration> enumerations = {
      {"ProviderType",
       "The kinds of data a provider serves.",
       "string",
       {{"TDP", "tabular data", ""},
        {"MDP", "multidimensional data", ""},
        {"DMP", "data mining", ""}}},
      {"AuthenticationMode",
       "How a client proves who it is.",
       "string",
       {{"Unauthenticated", "no user name or password", ""},
        {"Authenticated", "a user name and password", ""},
        {"Integrated", "the operating system's credentials", ""}}},
      {"PropertyAccessType",
       "Whether a property may be read or written.",
       "string",
       {{"Read", "read only", ""}, {"Write", "write only", ""}, {"ReadWrite", "both", ""}}},
      {"StateSupport",
       "Whether the server keeps sessions.",
       "string",
       {{"None", "no sessions", ""}, {"Sessions", "sessions", ""}}},
      {"TreeOp",
       "The members MDSCHEMA_MEMBERS gives for a named member.",
       "int",
       {{"MDTREEOP_CHILDREN", "its children", "1"},
        {"MDTREEOP_SIBLINGS", "its siblings, itself left out", "2"},
        {"MDTREEOP_PARENT", "its parent", "4"},
        {"MDTREEOP_SELF", "itself", "8"},
        {"MDTREEOP_DESCENDANTS", "every member below it", "16"},
        {"MDTREEOP_ANCESTORS", "every member above it", "32"}}},
  };
  return enumerations;
}

constexpr char kProviderName[] = "Cubemill";

// The XMLA properties the server knows: what a request may send, and what the server is.
struct Property {
  const char* name;
  const char* description;
  const char* type;
  const char* access;
  const char* value;  // "" where PropertyValue computes it
};
constexpr Property kProperties[] = {
    {"DataSourceInfo", "The data source a request is meant for", "string", "ReadWrite", ""},
    {"Catalog", "The catalog (cube file) a request is meant for", "string", "ReadWrite", ""},
    {"Content", "What a response holds: None, Schema, Data or SchemaData", "string", "Write",
     "SchemaData"},
    {"Format", "How Execute answers: Multidimensional or Tabular", "string", "Write",
     "Multidimensional"},
    {"AxisFormat", "How a multidimensional answer's axes are written", "string", "Write",
     "TupleFormat"},
    {"LocaleIdentifier", "The locale of texts; answers are the same in every one", "unsignedInt",
     "ReadWrite", "1033"},
    {"ProviderName", "The provider's name", "string", "Read", kProviderName},
    {"ProviderVersion", "The provider's version", "string", "Read", ""},
    {"MdxSupport", "The MDX the server understands", "string", "Read", "Core"},
    {"StateSupport", "Whether sessions keep state: they are accepted and hold none", "string",
     "Read", "None"},
};

std::span<const Property> Properties() { return kProperties; }

std::string PropertyValue(const RowsetInput& input, const Property& property) {
  const std::string name = property.name;
  if (name == "DataSourceInfo") return input.facts.data_source_name;
  if (name == "Catalog") return input.request.Property("Catalog");
  if (name == "ProviderVersion") return input.facts.product_version;
  return property.value;
}

struct Literal {
  const char* name;
  const char* value;
  const char* invalid;
  const char* invalid_start;
};

// Names are written in brackets, a "]" in them doubled; any character may stand in one.
constexpr Literal kLiterals[] = {
    {"DBLITERAL_CATALOG_NAME", "", "", ""},   {"DBLITERAL_CATALOG_SEPARATOR", ".", "", ""},
    {"DBLITERAL_CUBE_NAME", "", "", ""},      {"DBLITERAL_DIMENSION_NAME", "", "", ""},
    {"DBLITERAL_HIERARCHY_NAME", "", "", ""}, {"DBLITERAL_LEVEL_NAME", "", "", ""},
    {"DBLITERAL_MEMBER_NAME", "", "", ""},    {"DBLITERAL_PROPERTY_NAME", "", "", ""},
    {"DBLITERAL_QUOTE_PREFIX", "[", "", ""},  {"DBLITERAL_QUOTE_SUFFIX", "]", "", ""},
};

// How a function's argument letters (functions/function.h) read in a parameter list.
const char* ArgumentName(char letter) {
  switch (letter) {
    case 'S':
      return "Set";
    case 'M':
      return "Member";
    case 'E':
      return "Level";
    case 'L':
      return "Level_or_Distance";
    case 'N':
      return "Index";
    case 'D':
      return "Numeric_Expression";
    case 'F':
      return "Flag";
    default:
      return "Value_Expression";
  }
}

std::string ParameterList(const query::functions::Function& function) {
  std::string list;
  for (const char* letter = function.required; *letter != '\0'; ++letter)
    list += std::string(list.empty() ? "" : ", ") + ArgumentName(*letter);
  if (function.repeats && *function.required != '\0')
    list += std::string(", ") +
            ArgumentName(function.required[std::strlen(function.required) - 1]) + "...";
  for (const char* letter = function.optional; *letter != '\0'; ++letter)
    list += std::string(list.empty() ? "[" : "[, ") + ArgumentName(*letter) + "]";
  return list;
}

const char* InterfaceName(query::functions::Returns returns) {
  switch (returns) {
    case query::functions::Returns::kSet:
      return "Set";
    case query::functions::Returns::kMember:
      return "Member";
    case query::functions::Returns::kLevel:
      return "Level";
    case query::functions::Returns::kValue:
      break;
  }
  return "Numeric";
}

}  // namespace

void ProduceDataSources(const RowsetInput& input, RowsetRows& rows) {
  rows.Add();
  rows.Set("DataSourceName", input.facts.data_source_name);
  rows.Set("DataSourceDescription", "Cube files served by cubemill-serve");
  rows.Set("URL", input.facts.url);
  rows.Set("DataSourceInfo", input.facts.data_source_name);
  rows.Set("ProviderName", kProviderName);
  rows.Set("ProviderType", "MDP");
  rows.Set("AuthenticationMode", "Unauthenticated");
}

void ProduceProperties(const RowsetInput& input, RowsetRows& rows) {
  for (const Property& property : Properties()) {
    rows.Add();
    rows.Set("PropertyName", property.name);
    rows.Set("PropertyDescription", property.description);
    rows.Set("PropertyType", property.type);
    rows.Set("PropertyAccessType", property.access);
    rows.SetFlag("IsRequired", false);
    rows.Set("Value", PropertyValue(input, property));
  }
}

void ProduceSchemaRowsets(const RowsetInput&, RowsetRows& rows) {
  for (const RowsetDefinition& definition : RowsetDefinitions()) {
    rows.Add();
    rows.Set("SchemaName", definition.name);
    rows.Set("Restrictions", definition.name);  // written as the rowset's restrictions
    rows.Set("Description", definition.description);
  }
}

void ProduceEnumerators(const RowsetInput&, RowsetRows& rows) {
  for (const Enumeration& enumeration : Enumerations()) {
    for (const Element& element : enumeration.elements) {
      rows.Add();
      rows.Set("EnumName", enumeration.name);
      rows.Set("EnumDescription", enumeration.description);
      rows.Set("EnumType", enumeration.type);
      rows.Set("ElementName", element.name);
      rows.Set("ElementDescription", element.description);
      if (*element.value != '\0') rows.Set("ElementValue", element.value);
    }
  }
}

void ProduceKeywords(const RowsetInput&, RowsetRows& rows) {
  for (const char* keyword : query::parser::kKeywords) {
    rows.Add();
    rows.Set("Keyword", keyword);
  }
}

void ProduceLiterals(const RowsetInput&, RowsetRows& rows) {
  for (const Literal& literal : kLiterals) {
    rows.Add();
    rows.Set("LiteralName", literal.name);
    rows.Set("LiteralValue", literal.value);
    rows.Set("LiteralInvalidChars", literal.invalid);
    rows.Set("LiteralInvalidStartingChars", literal.invalid_start);
    rows.SetNumber("LiteralMaxLength", -1);
  }
}

void ProduceFunctions(const RowsetInput&, RowsetRows& rows) {
  for (const query::functions::Function* function : query::functions::Catalog()) {
    rows.Add();
    rows.Set("FUNCTION_NAME", function->name);
    rows.Set("DESCRIPTION", function->summary);
    rows.Set("PARAMETER_LIST", ParameterList(*function));
    rows.SetNumber("RETURN_TYPE", function->returns == query::functions::Returns::kValue ? 12 : 9);
    rows.SetNumber("ORIGIN", 1);
    rows.Set("INTERFACE_NAME", InterfaceName(function->returns));
    rows.Set("CAPTION", function->name);
  }
}

}  // namespace cubemill::serve
