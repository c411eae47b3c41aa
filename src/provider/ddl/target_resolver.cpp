#include "provider/ddl/target_resolver.h"

#include "common/quoted_text.h"
#include "platform/ascii_text.h"
#include "provider/ddl/statement_reader.h"
#include "provider/ddl/tokenizer.h"

namespace cubemill::provider::ddl {
namespace {

ColumnBinding LevelBinding(std::size_t d, std::size_t h, std::size_t l) {
  ColumnBinding binding;
  binding.role = ColumnRole::kLevel;
  binding.dimension = d;
  binding.hierarchy = h;
  binding.level = l;
  return binding;
}

ColumnBinding TimeBinding(std::size_t d, std::size_t h) {
  ColumnBinding binding;
  binding.role = ColumnRole::kTime;
  binding.dimension = d;
  binding.hierarchy = h;
  return binding;
}

void AddMeasures(const CubeSchema& schema, const std::string& name,
                 std::vector<ColumnBinding>& found) {
  for (std::size_t m = 0; m < schema.measures.size(); ++m) {
    if (!platform::EqualsIgnoringCase(schema.measures[m].name, name)) continue;
    ColumnBinding binding;
    binding.role = ColumnRole::kMeasure;
    binding.measure = m;
    found.push_back(binding);
  }
}

// Adds the levels called `name` in dimension `d`, in `only_hierarchy` or in every hierarchy.
void AddLevels(const CubeSchema& schema, std::size_t d, const std::string& name,
               std::vector<ColumnBinding>& found, const std::string* only_hierarchy = nullptr) {
  const Dimension& dimension = schema.dimensions[d];
  for (std::size_t h = 0; h < dimension.hierarchies.size(); ++h) {
    const Hierarchy& hierarchy = dimension.hierarchies[h];
    if (only_hierarchy != nullptr &&
        !(dimension.named_hierarchies &&
          platform::EqualsIgnoringCase(hierarchy.name, *only_hierarchy)))
      continue;
    for (std::size_t l = 0; l < hierarchy.levels.size(); ++l)
      if (platform::EqualsIgnoringCase(hierarchy.levels[l].name, name))
        found.push_back(LevelBinding(d, h, l));
  }
}

}  // namespace

std::vector<ColumnBinding> ResolveTargetPath(const CubeSchema& schema,
                                             const std::vector<std::string>& parts) {
  std::vector<ColumnBinding> found;
  const std::size_t dimensions = schema.dimensions.size();
  if (parts.size() == 1) {
    AddMeasures(schema, parts[0], found);
    for (std::size_t d = 0; d < dimensions; ++d) {
      AddLevels(schema, d, parts[0], found);
      if (schema.dimensions[d].is_time &&
          platform::EqualsIgnoringCase(schema.dimensions[d].name, parts[0]))
        found.push_back(TimeBinding(d, kAllHierarchies));
    }
  } else if (parts.size() == 2) {
    if (platform::EqualsIgnoringCase(parts[0], "Measures")) AddMeasures(schema, parts[1], found);
    for (std::size_t d = 0; d < dimensions; ++d) {
      const Dimension& dimension = schema.dimensions[d];
      if (!platform::EqualsIgnoringCase(dimension.name, parts[0])) continue;
      AddLevels(schema, d, parts[1], found);
      if (!dimension.is_time || !dimension.named_hierarchies) continue;
      for (std::size_t h = 0; h < dimension.hierarchies.size(); ++h)
        if (platform::EqualsIgnoringCase(dimension.hierarchies[h].name, parts[1]))
          found.push_back(TimeBinding(d, h));
    }
  } else if (parts.size() == 3) {
    for (std::size_t d = 0; d < dimensions; ++d)
      if (platform::EqualsIgnoringCase(schema.dimensions[d].name, parts[0]))
        AddLevels(schema, d, parts[2], found, &parts[1]);
  }
  return found;
}

std::string DescribeLevel(const CubeSchema& schema, std::size_t dimension, std::size_t hierarchy,
                          std::size_t level) {
  const Dimension& d = schema.dimensions[dimension];
  const Hierarchy& h = d.hierarchies[hierarchy];
  std::string text = Bracketed(d.name) + ".";
  if (d.named_hierarchies) text += Bracketed(h.name) + ".";
  return text + Bracketed(h.levels[level].name);
}

std::string DescribeBinding(const CubeSchema& schema, const ColumnBinding& binding) {
  switch (binding.role) {
    case ColumnRole::kSkip:
      return "SKIPONECOLUMN";
    case ColumnRole::kMeasure:
      return MeasureUniqueName(schema.measures[binding.measure].name);
    case ColumnRole::kTime: {
      const Dimension& d = schema.dimensions[binding.dimension];
      if (binding.hierarchy == kAllHierarchies) return Bracketed(d.name);
      return Bracketed(d.name) + "." + Bracketed(d.hierarchies[binding.hierarchy].name);
    }
    case ColumnRole::kLevel:
    case ColumnRole::kLevelKey:
    case ColumnRole::kLevelName:
      break;
  }
  std::string text = DescribeLevel(schema, binding.dimension, binding.hierarchy, binding.level);
  if (binding.role == ColumnRole::kLevelKey) text += ".KEY";
  if (binding.role == ColumnRole::kLevelName) text += ".NAME";
  return text;
}

}  // namespace cubemill::provider::ddl
