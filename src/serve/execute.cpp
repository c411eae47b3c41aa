#include "serve/execute.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "common/quoted_text.h"
#include "query/parser/mdx_parser.h"
#include "query/result_format.h"
#include "query/value_format.h"
#include "serve/cell_text.h"
#include "serve/execute_rowsets.h"
#include "serve/xml_names.h"

namespace cubemill::serve {
namespace {

using provider::cubefile::CellValue;
using query::QueryResult;

constexpr std::string_view kMeasuresHierarchy = "[Measures]";
constexpr std::size_t kNoMember = query::CubeModel::npos;

// What a member of an axis shows: the five standard properties and where it stands.
struct AxisMember {
  std::string hierarchy;  // "[Geography]", "[Time].[Calendar]", "[Measures]"
  std::string unique_name, caption, level_name;
  int level_number = 0;
  std::size_t children = 0;
  std::size_t member = kNoMember;  // the cube's member, kNoMember for a measure or calculation
};

// The hierarchy a unique name starts with, for a name that is no stored member (a calculated
// member of a hierarchy): the longest hierarchy name that prefixes it.
std::string HierarchyByPrefix(const query::CubeModel& model, const std::string& unique_name) {
  std::string best;
  for (std::size_t h = 0; h < model.HierarchyCount(); ++h) {
    const std::string name = model.HierarchyName(h);
    if (unique_name.size() > name.size() && unique_name.starts_with(name) &&
        unique_name[name.size()] == '.' && name.size() > best.size())
      best = name;
  }
  return best.empty() ? std::string(kMeasuresHierarchy) : best;
}

AxisMember Describe(const OpenCube& cube, const std::string& unique_name,
                    const std::string& caption) {
  const query::CubeModel& model = cube.Model();
  AxisMember member;
  member.unique_name = unique_name;
  member.caption = caption;
  member.member = cube.MemberNamed(unique_name);
  if (member.member == kNoMember) {
    member.hierarchy = unique_name.starts_with("[Measures].")
                           ? std::string(kMeasuresHierarchy)
                           : HierarchyByPrefix(model, unique_name);
    member.level_name = member.hierarchy == kMeasuresHierarchy
                            ? "[Measures].[MeasuresLevel]"
                            : member.hierarchy + ".[(calculated)]";
    return member;
  }
  const std::size_t level = model.LevelOf(member.member);
  member.hierarchy = model.HierarchyName(model.HierarchyOf(member.member));
  member.level_name = member.hierarchy + "." + Bracketed(cube.Catalog().levels[level].name);
  member.level_number = model.DepthOf(member.member) - 1;
  member.children = model.ChildrenOf(member.member).size();
  return member;
}

// The members of each tuple of an axis.
using AxisTuples = std::vector<std::vector<AxisMember>>;

AxisTuples DescribeAxis(const OpenCube& cube, const std::vector<std::vector<std::string>>& captions,
                        const std::vector<std::vector<std::string>>& unique_names) {
  AxisTuples tuples(unique_names.size());
  for (std::size_t t = 0; t < unique_names.size(); ++t) {
    for (std::size_t k = 0; k < unique_names[t].size(); ++k)
      tuples[t].push_back(Describe(cube, unique_names[t][k], captions[t][k]));
  }
  return tuples;
}

// DISPLAY_INFO: the children's count (at most 0xFFFF), 0x10000 when the next tuple shows this
// member's child at the same place (drilled down), 0x20000 when the previous tuple's member at
// that place has the same parent.
std::uint32_t DisplayInfo(const query::CubeModel& model, const AxisTuples& tuples, std::size_t t,
                          std::size_t k) {
  const AxisMember& member = tuples[t][k];
  std::uint32_t info = static_cast<std::uint32_t>(std::min<std::size_t>(member.children, 0xFFFF));
  if (member.member == kNoMember) return info;
  if (t + 1 < tuples.size() && k < tuples[t + 1].size() && tuples[t + 1][k].member != kNoMember &&
      model.ParentOf(tuples[t + 1][k].member) == member.member)
    info |= 0x10000u;
  if (t > 0 && k < tuples[t - 1].size() && tuples[t - 1][k].member != kNoMember &&
      model.ParentOf(tuples[t - 1][k].member) == model.ParentOf(member.member))
    info |= 0x20000u;
  return info;
}

// The element a DIMENSION PROPERTY has in a Member: the five standard ones have short names.
std::string_view PropertyElement(std::string_view property) {
  if (property == "MEMBER_UNIQUE_NAME") return "UName";
  if (property == "MEMBER_CAPTION") return "Caption";
  if (property == "LEVEL_UNIQUE_NAME") return "LName";
  if (property == "LEVEL_NUMBER") return "LNum";
  if (property == "DISPLAY_INFO") return "DisplayInfo";
  return {};
}

struct AxisView {
  std::string name;  // Axis0, Axis1, SlicerAxis
  AxisTuples tuples;
  const std::vector<std::string>* property_names = nullptr;
  const std::vector<std::vector<std::vector<std::string>>>* properties = nullptr;
};

void WriteHierarchyInfo(XmlWriter& out, const std::string& hierarchy,
                        const std::vector<std::string>* property_names) {
  out.Open("HierarchyInfo", {{"name", hierarchy}});
  const auto field = [&](std::string_view element, std::string_view property,
                         std::string_view type) {
    const std::string name = hierarchy + ".[" + std::string(property) + "]";
    out.Empty(element, {{"name", name}, {"type", type}});
  };
  field("UName", "MEMBER_UNIQUE_NAME", "xsd:string");
  field("Caption", "MEMBER_CAPTION", "xsd:string");
  field("LName", "LEVEL_UNIQUE_NAME", "xsd:string");
  field("LNum", "LEVEL_NUMBER", "xsd:int");
  field("DisplayInfo", "DISPLAY_INFO", "xsd:unsignedInt");
  if (property_names != nullptr) {
    for (const std::string& property : *property_names) {
      if (PropertyElement(property).empty()) field(XmlName(property), property, "xsd:string");
    }
  }
  out.Close();
}

void WriteAxisInfo(XmlWriter& out, const AxisView& axis) {
  out.Open("AxisInfo", {{"name", axis.name}});
  if (!axis.tuples.empty()) {
    for (const AxisMember& member : axis.tuples.front())
      WriteHierarchyInfo(out, member.hierarchy, axis.property_names);
  }
  out.Close();
}

void WriteAxis(XmlWriter& out, const query::CubeModel& model, const AxisView& axis) {
  out.Open("Axis", {{"name", axis.name}});
  out.Open("Tuples");
  for (std::size_t t = 0; t < axis.tuples.size() && out.Good(); ++t) {
    out.Open("Tuple");
    for (std::size_t k = 0; k < axis.tuples[t].size(); ++k) {
      const AxisMember& member = axis.tuples[t][k];
      out.Open("Member", {{"Hierarchy", member.hierarchy}});
      out.Element("UName", member.unique_name);
      out.Element("Caption", member.caption);
      out.Element("LName", member.level_name);
      out.Element("LNum", std::to_string(member.level_number));
      out.Element("DisplayInfo", std::to_string(DisplayInfo(model, axis.tuples, t, k)));
      if (axis.property_names != nullptr && axis.properties != nullptr &&
          t < axis.properties->size() && k < (*axis.properties)[t].size()) {
        for (std::size_t p = 0; p < axis.property_names->size(); ++p) {
          const std::string& property = (*axis.property_names)[p];
          if (PropertyElement(property).empty() && p < (*axis.properties)[t][k].size())
            out.Element(XmlName(property), (*axis.properties)[t][k][p]);
        }
      }
      out.Close();
    }
    out.Close();
  }
  out.Close();
  out.Close();
}

// The cell properties an answer carries: those the query's CELL PROPERTIES names, else VALUE,
// FORMATTED_VALUE and FORMAT_STRING.
std::vector<std::string> CellProperties(const QueryResult& result) {
  if (!result.cell_properties.empty()) return result.cell_properties;
  return {"VALUE", "FORMATTED_VALUE", "FORMAT_STRING"};
}

// The element of a cell property in CellInfo and in a Cell.
std::string CellElement(const std::string& property) {
  static const std::pair<const char*, const char*> kElements[] = {{"VALUE", "Value"},
                                                                  {"FORMATTED_VALUE", "FmtValue"},
                                                                  {"FORMAT_STRING", "FormatString"},
                                                                  {"CELL_ORDINAL", "CellOrdinal"},
                                                                  {"LANGUAGE", "Language"},
                                                                  {"BACK_COLOR", "BackColor"},
                                                                  {"FORE_COLOR", "ForeColor"},
                                                                  {"FONT_NAME", "FontName"},
                                                                  {"FONT_SIZE", "FontSize"},
                                                                  {"FONT_FLAGS", "FontFlags"}};
  for (const auto& [name, element] : kElements) {
    if (property == name) return element;
  }
  return XmlName(property);
}

void WriteCellInfo(XmlWriter& out, const std::vector<std::string>& properties) {
  out.Open("CellInfo");
  for (const std::string& property : properties) {
    if (property != "CELL_ORDINAL") out.Empty(CellElement(property), {{"name", property}});
  }
  out.Close();
}

// Each cell that has a value, with the properties asked for that the cube holds (VALUE,
// FORMATTED_VALUE, FORMAT_STRING); the others (colours, fonts, language) are left out, which
// a client reads as empty. The ordinal counts columns fastest, then rows, then pages.
void WriteCells(XmlWriter& out, const OpenCube& cube, const QueryResult& result) {
  const query::MeasureFormats formats = query::FormatsOf(cube.Catalog());
  const std::vector<std::string> properties = CellProperties(result);
  const auto asked = [&](std::string_view name) {
    return std::find(properties.begin(), properties.end(), name) != properties.end();
  };
  const bool value = asked("VALUE"), formatted = asked("FORMATTED_VALUE"),
             format_string = asked("FORMAT_STRING");
  const std::size_t columns = result.columns.size();
  out.Open("CellData");
  for (std::size_t r = 0; r < result.cells.size() && out.Good(); ++r) {
    for (std::size_t c = 0; c < columns; ++c) {
      const bool text = HasText(result, r, c);
      const CellValue& cell = result.cells[r][c];
      if (!text && cell.kind == CellValue::Kind::kNull) continue;
      out.Open("Cell", {{"CellOrdinal", std::to_string(r * columns + c)}});
      if (value && text) out.Element("Value", result.texts[r][c], {{"xsi:type", "xsd:string"}});
      if (value && !text) out.Element("Value", XsdDouble(cell), {{"xsi:type", "xsd:double"}});
      if (formatted) out.Element("FmtValue", query::FormattedCell(result, formats, r, c));
      // A measure without a FORMAT has no format string: its FmtValue shows its own decimals.
      const std::string_view format = query::CellFormat(result, formats, r, c);
      if (format_string && !format.empty()) out.Element("FormatString", format);
      out.Close();
    }
  }
  out.Close();
}

// One tuple of the slicer axis: the hierarchies no axis shows, each at the member its cells count
// (the WHERE tuple's, else its ALL member), and the measure when no axis shows measures (the WHERE
// tuple's, else the default one). A hierarchy without an ALL level that the query names nowhere
// counts all its members, which no one member stands for: it is left out rather than shown at a
// member whose value the cells do not hold.
std::vector<AxisMember> SlicerTuple(const OpenCube& cube, const std::vector<std::string>& named,
                                    const std::vector<std::string>& shown) {
  const query::CubeModel& model = cube.Model();
  const auto& measures = cube.Catalog().measures;
  const auto on_axis = [&](const std::string& hierarchy) {
    return std::find(shown.begin(), shown.end(), hierarchy) != shown.end();
  };
  std::map<std::string, AxisMember> sliced;
  std::optional<AxisMember> measure;
  if (!measures.empty()) {
    const std::string& name = measures.front().name;
    measure = Describe(cube, query::MeasureUniqueName(name), name);
  }
  for (const std::string& unique_name : named) {
    if (const std::size_t m = cube.MemberNamed(unique_name); m != kNoMember) {
      AxisMember member = Describe(cube, unique_name, model.Member(m).name);
      sliced.emplace(member.hierarchy, std::move(member));
    } else if (unique_name.starts_with("[Measures].")) {
      // A stored or a calculated measure: its caption is its name without the brackets.
      const std::size_t open = sizeof("[Measures].") - 1;
      measure = Describe(cube, unique_name, ScanQuoted(unique_name, open, ']').value);
    }
  }
  std::vector<AxisMember> tuple;
  for (std::size_t h = 0; h < model.HierarchyCount(); ++h) {
    const std::string hierarchy = model.HierarchyName(h);
    if (on_axis(hierarchy) || model.MembersOfHierarchy(h).empty()) continue;
    if (const auto found = sliced.find(hierarchy); found != sliced.end()) {
      tuple.push_back(found->second);
      continue;
    }
    if (!cube.Catalog().levels[model.LevelsOf(h).front()].is_all) continue;
    const std::size_t all = model.MembersOfHierarchy(h).front();
    tuple.push_back(Describe(cube, model.UniqueName(all), model.Member(all).name));
  }
  if (!on_axis(std::string(kMeasuresHierarchy)) && measure) tuple.push_back(*measure);
  return tuple;
}

// The slicer axis: one tuple per tuple of the WHERE clause (a set in WHERE lists each of its
// tuples, as the cells add them up), one tuple without a WHERE clause.
AxisTuples SlicerTuples(const OpenCube& cube, const QueryResult& result,
                        const std::vector<const AxisTuples*>& axes) {
  std::vector<std::string> shown;
  for (const AxisTuples* axis : axes) {
    if (!axis->empty()) {
      for (const AxisMember& member : axis->front()) shown.push_back(member.hierarchy);
    }
  }
  AxisTuples slicer;
  if (result.slicer_tuples.empty()) slicer.push_back(SlicerTuple(cube, {}, shown));
  for (const auto& named : result.slicer_tuples) slicer.push_back(SlicerTuple(cube, named, shown));
  return slicer;
}

void WriteMultidimensional(const OpenCube& cube, const QueryResult& result, XmlWriter& out) {
  // An axis the query does not have answers as one tuple of no member: it is left out.
  const auto present = [](const std::vector<std::vector<std::string>>& names) {
    return !(names.size() == 1 && names.front().empty());
  };
  std::vector<AxisView> axes;
  if (present(result.column_unique_names)) {
    axes.push_back({"Axis0", DescribeAxis(cube, result.columns, result.column_unique_names),
                    &result.column_property_names, &result.column_properties});
  }
  if (present(result.row_unique_names)) {
    axes.push_back({"Axis1", DescribeAxis(cube, result.rows, result.row_unique_names),
                    &result.row_property_names, &result.row_properties});
  }
  if (result.paged) {
    axes.push_back({"Axis2", DescribeAxis(cube, result.pages, result.page_unique_names),
                    &result.page_property_names, &result.page_properties});
  }
  std::vector<const AxisTuples*> shown;
  for (const AxisView& axis : axes) shown.push_back(&axis.tuples);
  axes.push_back({"SlicerAxis", SlicerTuples(cube, result, shown), nullptr, nullptr});

  out.Open("root", {{"xmlns", "urn:schemas-microsoft-com:xml-analysis:mddataset"},
                    {"xmlns:xsd", "http://www.w3.org/2001/XMLSchema"},
                    {"xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance"}});
  out.Open("OlapInfo");
  out.Open("CubeInfo");
  out.Open("Cube");
  out.Element("CubeName", cube.Catalog().name);
  out.Close();
  out.Close();
  out.Open("AxesInfo");
  for (const AxisView& axis : axes) WriteAxisInfo(out, axis);
  out.Close();
  WriteCellInfo(out, CellProperties(result));
  out.Close();
  out.Open("Axes");
  for (const AxisView& axis : axes) WriteAxis(out, cube.Model(), axis);
  out.Close();
  WriteCells(out, cube, result);
  out.Close();
}

// The hierarchy of each member of the rows' tuples, for the flat rowset's headers.
std::vector<std::string> RowHierarchies(const OpenCube& cube, const QueryResult& result) {
  std::vector<std::string> hierarchies;
  const AxisTuples rows = DescribeAxis(cube, result.rows, result.row_unique_names);
  if (!rows.empty()) {
    for (const AxisMember& member : rows.front()) hierarchies.push_back(member.hierarchy);
  }
  return hierarchies;
}

}  // namespace

Result<ExecuteAnswer> AnswerStatement(const OpenCube::Lease& lease, const std::string& mdx,
                                      const query::QueryOptions& options, bool tabular) {
  if (query::IsDrillthrough(mdx)) {
    Result<query::DrillthroughResult> rows =
        query::EvaluateDrillthrough(lease.Reader(), mdx, options);
    if (!rows) return rows.error();
    ExecuteAnswer answer;
    answer.tabular = true;
    answer.drillthrough = std::move(*rows);
    return answer;
  }
  query::QueryOptions asked = options;
  asked.unique_names = true;
  Result<QueryResult> result = query::EvaluateMdx(lease.Reader(), lease.Cube().Model(), mdx, asked);
  if (!result) return result.error();
  return ExecuteAnswer{std::move(*result), tabular, std::nullopt};
}

void WriteAnswer(const OpenCube& cube, const ExecuteAnswer& answer, XmlWriter& out) {
  if (answer.drillthrough) {
    WriteDrillthrough(*answer.drillthrough, out);
  } else if (answer.tabular) {
    WriteTabular(answer.result, RowHierarchies(cube, answer.result), out);
  } else {
    WriteMultidimensional(cube, answer.result, out);
  }
}

std::size_t CellCount(const ExecuteAnswer& answer) {
  if (answer.drillthrough) return answer.drillthrough->members.size();
  return answer.result.cells.size() * answer.result.columns.size();
}

}  // namespace cubemill::serve
