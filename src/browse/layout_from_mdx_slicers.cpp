// LayoutFromMdx's reading of the WHERE clause (slicers, the measure) and of the rows' sort.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "browse/layout_from_mdx_reader.h"
#include "browse/pivot_members.h"

namespace cubemill::browse::mdx_layout {

using query::MdxExpression;
using query::NameRef;
using Kind = MdxExpression::Kind;

// A column's value as Order, TopCount or Filter names it: a member and a measure, or a tuple of
// members and a measure; refused as `what` otherwise.
std::vector<std::string> MdxReader::ColumnNames(const MdxExpression& value,
                                                const char* what) const {
  const std::vector<MdxExpression> single{value};
  const auto& names = value.kind == Kind::kTuple ? value.operands : single;
  std::vector<std::string> column;
  for (const MdxExpression& name : names) {
    if (name.kind != Kind::kName)
      Refuse(std::string(what) + " by a column's tuple of members and a measure", name.position);
    const NameRef ref = Resolved(name);
    // An ALL level or a hierarchy stands for its ALL member, as the engine reads them.
    std::size_t all = npos;
    if (ref.kind == NameRef::Kind::kLevel && model_.Catalog().levels[ref.index].is_all)
      all = AllMemberOf(model_, model_.LevelHierarchy(ref.index));
    if (ref.kind == NameRef::Kind::kHierarchy) all = AllMemberOf(model_, ref.index);
    if (all != npos)
      column.push_back(model_.UniqueName(all));
    else if (ref.kind == NameRef::Kind::kMember)
      column.push_back(model_.UniqueName(ref.index));
    else if (ref.kind == NameRef::Kind::kMeasure)
      column.push_back(MeasureName(model_, ref.index));
    else
      Refuse(std::string(what) + " by a column's tuple of members and a measure", name.position);
  }
  return column;
}

void MdxReader::ReadSort(const MdxExpression& e) {
  if (!sort_allowed_) Refuse("the pivot sorts its rows only, not its columns", e.position);
  PivotSort sort;
  sort.descending = false;  // Order's default
  if (e.operands.size() > 2) {
    const std::string& flag = e.operands[2].parts.front().text;
    if (flag != "ASC" && flag != "DESC") {
      Refuse("the pivot sorts within each parent (ASC or DESC), not by value alone (" + flag + ")",
             e.operands[2].position);
    }
    sort.descending = flag == "DESC";
  }
  sort.column = ColumnNames(e.operands[1], "the pivot sorts");
  if (sort_ && *sort_ != sort)
    Refuse("the pivot sorts all rows by one column in one direction", e.position);
  sort_ = sort;
}

namespace {

// A number written in a query, with its sign; nothing for any other expression.
std::optional<double> NumberOf(const MdxExpression& e) {
  if (e.kind == Kind::kNumber) return e.number.real;
  if (e.kind == Kind::kUnary && e.parts.front().text == "-" &&
      e.operands.front().kind == Kind::kNumber)
    return -e.operands.front().number.real;
  return std::nullopt;
}

}  // namespace

// TopCount(set, count, value), BottomCount(...) and Filter(set, value > bound) (or <) over the
// rows (columns): the rows' (columns') filter.
void MdxReader::ReadFilter(const MdxExpression& e) {
  if (!filter_allowed_) Refuse("the pivot filters its rows or its columns only", e.position);
  PivotFilter filter;
  if (e.Calls("Filter")) {
    const MdxExpression& test = e.operands.size() == 2 ? e.operands[1] : e;
    const std::string op = test.kind == Kind::kBinary ? test.parts.front().text : "";
    const auto bound = op == ">" || op == "<" ? NumberOf(test.operands[1]) : std::nullopt;
    if (!bound) Refuse("the pivot filters rows by a column's value > or < a number", test.position);
    filter.kind = op == ">" ? PivotFilter::Kind::kAbove : PivotFilter::Kind::kBelow;
    filter.column = ColumnNames(test.operands[0], "the pivot filters");
    filter.amount = *bound;
  } else {
    const auto count = e.operands.size() == 3 ? NumberOf(e.operands[1]) : std::nullopt;
    if (!count || !e.operands[1].number.whole || *count < 1)
      Refuse("the pivot keeps a count (from 1) of rows by a column's value", e.position);
    filter.kind = e.Calls("TopCount") ? PivotFilter::Kind::kTop : PivotFilter::Kind::kBottom;
    filter.column = ColumnNames(e.operands[2], "the pivot keeps rows");
    filter.amount = *count;
  }
  if (filter_ && *filter_ != filter)
    Refuse("the pivot filters all rows by one column in one way", e.position);
  filter_ = filter;
}

// WHERE: a member, a set of one hierarchy's members, or a tuple or cross join of those; each
// hierarchy becomes a slicer, a measure the measure shown.
void MdxReader::ReadWhere(const MdxExpression& where, PivotLayout& layout, std::size_t& measure) {
  sort_allowed_ = false;
  filter_allowed_ = false;
  const std::vector<MdxExpression> single{where};
  const bool crossed = where.kind == Kind::kTuple || where.Calls("CrossJoin") ||
                       (where.kind == Kind::kBinary && where.parts.front().text == "*");
  for (const MdxExpression& operand : crossed ? where.operands : single) {
    const std::size_t first_new = layout.slicers.size();
    for (const Block& block : Blocks(operand)) {
      if (block.size() != 1) {
        Refuse("a set of tuples in WHERE: the pivot slices each hierarchy by itself",
               operand.position);
      }
      const Factor& f = block.front();
      if (f.current) Refuse(".CurrentMember in WHERE", operand.position);
      if (f.hierarchy == Factor::kMeasures) {
        for (std::size_t m : f.measures) {
          if (measure != npos && measure != m)
            Refuse("WHERE names more than one measure", operand.position);
          measure = m;
        }
        continue;
      }
      // The ALL member and other members of one hierarchy come as two blocks of one set.
      const auto slicer =
          std::find_if(layout.slicers.begin(), layout.slicers.end(),
                       [&](const PivotSlicer& s) { return s.hierarchy == f.hierarchy; });
      if (slicer != layout.slicers.end() &&
          static_cast<std::size_t>(slicer - layout.slicers.begin()) < first_new)
        Refuse("WHERE names " + model_.HierarchyName(f.hierarchy) + " twice", operand.position);
      if (FieldOf(layout, f.hierarchy) != nullptr) {
        Refuse(model_.HierarchyName(f.hierarchy) + " is on an axis and in WHERE", operand.position);
      }
      auto& members = slicer != layout.slicers.end()
                          ? slicer->members
                          : layout.slicers.emplace_back(PivotSlicer{f.hierarchy, {}}).members;
      for (const Group& g : f.groups) {
        std::vector<std::size_t> named{g.index};
        if (g.of == Group::Of::kLevel) named = model_.MembersOf(g.index);
        if (g.of == Group::Of::kChildren) named = model_.ChildrenOf(g.index);
        for (std::size_t m : named)
          if (std::find(members.begin(), members.end(), m) == members.end()) members.push_back(m);
      }
    }
  }
}

}  // namespace cubemill::browse::mdx_layout
