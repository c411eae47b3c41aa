#include "query/binder/member_properties.h"

#include <algorithm>
#include <iterator>

#include "platform/unicode_case.h"
#include "query/binder/binder.h"
#include "query/execution/tuple_list.h"
#include "query/query_failure.h"

namespace cubemill::query {

namespace {

constexpr const char* kDimensionProperties[] = {
    "MEMBER_UNIQUE_NAME",    "MEMBER_NAME",       "MEMBER_CAPTION",     "MEMBER_KEY",
    "LEVEL_NUMBER",          "LEVEL_UNIQUE_NAME", "PARENT_UNIQUE_NAME", "CHILDREN_CARDINALITY",
    "HIERARCHY_UNIQUE_NAME", "MEMBER_TYPE",       "MEMBER_ORDINAL",     "DISPLAY_INFO"};
// The short names a client writes for some of them: [Geography].[Country].[Key].
constexpr std::pair<const char*, const char*> kShortNames[] = {
    {"KEY", "MEMBER_KEY"},
    {"NAME", "MEMBER_NAME"},
    {"CAPTION", "MEMBER_CAPTION"},
    {"UNIQUENAME", "MEMBER_UNIQUE_NAME"}};
// The cell properties of the XMLA standard; those the cube holds nothing for come back empty.
constexpr const char* kCellProperties[] = {"VALUE",
                                           "FORMATTED_VALUE",
                                           "FORMAT_STRING",
                                           "CELL_ORDINAL",
                                           "LANGUAGE",
                                           "BACK_COLOR",
                                           "FORE_COLOR",
                                           "FONT_NAME",
                                           "FONT_SIZE",
                                           "FONT_FLAGS",
                                           "ACTION_TYPE",
                                           "UPDATEABLE",
                                           "CELL_EVALUATION_LIST",
                                           "SOLVE_ORDER",
                                           "NON_EMPTY_BEHAVIOR"};

// The known name `written` stands for, nullptr for none.
template <std::size_t N>
const char* Known(const NamePart& written, const char* const (&known)[N]) {
  const auto* found = std::find_if(std::begin(known), std::end(known), [&](const char* name) {
    return platform::EqualsFolded(written.text, name);
  });
  return found == std::end(known) ? nullptr : *found;
}

// The DISPLAY_INFO of tuple `t`'s member `i` on its axis: its children (at most 0xFFFF), and
// the flags a client draws its +/- boxes and indents from: 0x10000 when the next tuple holds
// one of its children (drilled down), 0x20000 when the tuple before holds a member of the same
// parent.
std::string DisplayInfo(const CubeModel& model, const TupleList& tuples, std::size_t t,
                        std::size_t i) {
  const std::size_t m = tuples.At(t)[i];
  const auto cube = [&](std::size_t item) {
    return tuples.shape[i] != kMeasuresHierarchy && item < model.MemberCount();
  };
  if (!cube(m)) return "0";
  std::size_t info = std::min<std::size_t>(model.ChildrenOf(m).size(), 0xFFFF);
  if (t + 1 < tuples.count) {
    const std::size_t next = tuples.At(t + 1)[i];
    if (cube(next) && model.ParentOf(next) == m) info |= 0x10000;
  }
  if (t > 0) {
    const std::size_t before = tuples.At(t - 1)[i];
    if (cube(before) && model.ParentOf(before) == model.ParentOf(m)) info |= 0x20000;
  }
  return std::to_string(info);
}

}  // namespace

std::vector<std::string> DimensionPropertyNames(const std::vector<NamePart>& written) {
  std::vector<std::string> names;
  for (const NamePart& part : written) {
    const char* known = Known(part, kDimensionProperties);
    for (const auto& [short_name, canonical] : kShortNames) {
      if (known == nullptr && platform::EqualsFolded(part.text, short_name)) known = canonical;
    }
    const std::string name = known != nullptr ? known : part.text;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

std::vector<std::string> CellPropertyNames(const std::vector<NamePart>& written) {
  std::vector<std::string> names;
  for (const NamePart& part : written) {
    const char* known = Known(part, kCellProperties);
    if (known == nullptr) {
      std::string list;
      for (const char* name : kCellProperties) list += std::string(list.empty() ? "" : ", ") + name;
      throw QueryFailure("unknown cell property " + part.text + " (known: " + list + ")",
                         part.position);
    }
    if (std::find(names.begin(), names.end(), known) == names.end()) names.emplace_back(known);
  }
  return names;
}

bool IsNumericProperty(const std::string& name) {
  return name == "LEVEL_NUMBER" || name == "CHILDREN_CARDINALITY" || name == "MEMBER_TYPE" ||
         name == "MEMBER_ORDINAL" || name == "DISPLAY_INFO";
}

std::string AxisPropertyValue(const CubeModel& model, const TupleList& tuples, std::size_t t,
                              std::size_t i, const std::string& name) {
  if (name == "DISPLAY_INFO") return DisplayInfo(model, tuples, t, i);
  return PropertyValue(model, tuples.shape[i], tuples.At(t)[i], name);
}

std::string PropertyValue(const CubeModel& model, std::size_t hierarchy, std::size_t item,
                          const std::string& name) {
  if (hierarchy == kMeasuresHierarchy) {
    const std::string& measure = model.Catalog().measures[item].name;
    if (name == "MEMBER_UNIQUE_NAME") return MeasureUniqueName(measure);
    if (name == "MEMBER_NAME" || name == "MEMBER_CAPTION" || name == "MEMBER_KEY") return measure;
    if (name == "LEVEL_UNIQUE_NAME") return MeasureUniqueName("MeasuresLevel");
    if (name == "HIERARCHY_UNIQUE_NAME") return "[Measures]";
    if (name == "MEMBER_TYPE") return "3";
    if (name == "MEMBER_ORDINAL") return std::to_string(item);
    return IsNumericProperty(name) ? "0" : "";
  }
  const auto& member = model.Member(item);
  const std::size_t level = model.LevelOf(item);
  const std::size_t parent = model.ParentOf(item);
  if (name == "MEMBER_UNIQUE_NAME") return model.UniqueName(item);
  if (name == "MEMBER_NAME" || name == "MEMBER_CAPTION") return member.name;
  if (name == "MEMBER_KEY") return member.key.value_or("");
  if (name == "LEVEL_NUMBER") return std::to_string(model.DepthOf(item) - 1);
  if (name == "LEVEL_UNIQUE_NAME")
    return model.HierarchyName(model.LevelHierarchy(level)) + "." +
           Bracketed(model.Catalog().levels[level].name);
  if (name == "PARENT_UNIQUE_NAME")
    return parent == CubeModel::npos ? "" : model.UniqueName(parent);
  if (name == "CHILDREN_CARDINALITY") return std::to_string(model.ChildrenOf(item).size());
  if (name == "HIERARCHY_UNIQUE_NAME") return model.HierarchyName(hierarchy);
  if (name == "MEMBER_TYPE") return model.Catalog().levels[level].is_all ? "2" : "1";
  if (name == "MEMBER_ORDINAL") return std::to_string(model.HierarchyOrder(item));
  return IsNumericProperty(name) ? "0" : "";
}

}  // namespace cubemill::query
