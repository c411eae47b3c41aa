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
    "MEMBER_UNIQUE_NAME", "MEMBER_NAME",       "MEMBER_CAPTION",     "MEMBER_KEY",
    "LEVEL_NUMBER",       "LEVEL_UNIQUE_NAME", "PARENT_UNIQUE_NAME", "CHILDREN_CARDINALITY"};
constexpr const char* kCellProperties[] = {"VALUE", "FORMATTED_VALUE", "FORMAT_STRING",
                                           "CELL_ORDINAL"};

template <std::size_t N>
std::vector<std::string> Canonical(const std::vector<NamePart>& written,
                                   const char* const (&known)[N], const char* what) {
  std::vector<std::string> names;
  for (const NamePart& part : written) {
    const auto* found = std::find_if(std::begin(known), std::end(known), [&](const char* name) {
      return platform::EqualsFolded(part.text, name);
    });
    if (found == std::end(known)) {
      std::string list;
      for (const char* name : known) list += std::string(list.empty() ? "" : ", ") + name;
      throw QueryFailure(
          "unknown " + std::string(what) + " " + part.text + " (known: " + list + ")",
          part.position);
    }
    if (std::find(names.begin(), names.end(), *found) == names.end()) names.emplace_back(*found);
  }
  return names;
}

}  // namespace

std::vector<std::string> DimensionPropertyNames(const std::vector<NamePart>& written) {
  return Canonical(written, kDimensionProperties, "dimension property");
}

std::vector<std::string> CellPropertyNames(const std::vector<NamePart>& written) {
  return Canonical(written, kCellProperties, "cell property");
}

bool IsNumericProperty(const std::string& name) {
  return name == "LEVEL_NUMBER" || name == "CHILDREN_CARDINALITY";
}

std::string PropertyValue(const CubeModel& model, std::size_t hierarchy, std::size_t item,
                          const std::string& name) {
  if (hierarchy == kMeasuresHierarchy) {
    const std::string& measure = model.Catalog().measures[item].name;
    if (name == "MEMBER_UNIQUE_NAME") return MeasureUniqueName(measure);
    if (name == "MEMBER_NAME" || name == "MEMBER_CAPTION" || name == "MEMBER_KEY") return measure;
    if (name == "LEVEL_UNIQUE_NAME") return MeasureUniqueName("MeasuresLevel");
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
  return std::to_string(model.ChildrenOf(item).size());  // CHILDREN_CARDINALITY
}

}  // namespace cubemill::query
