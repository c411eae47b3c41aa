// LayoutFromMdx's reading of the WHERE clause (slicers, the measure) and of the rows' sort.
#include <algorithm>
#include <string>
#include <vector>

#include "browse/layout_from_mdx_reader.h"
#include "browse/pivot_members.h"

namespace cubemill::browse::mdx_layout {

using query::MdxExpression;
using query::NameRef;
using Kind = MdxExpression::Kind;

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
  const MdxExpression& value = e.operands[1];
  const std::vector<MdxExpression> single{value};
  const auto& names = value.kind == Kind::kTuple ? value.operands : single;
  for (const MdxExpression& name : names) {
    if (name.kind != Kind::kName)
      Refuse("the pivot sorts by a column's tuple of members and a measure", name.position);
    const NameRef ref = Resolved(name);
    if (ref.kind == NameRef::Kind::kMember)
      sort.column.push_back(model_.UniqueName(ref.index));
    else if (ref.kind == NameRef::Kind::kMeasure)
      sort.column.push_back(MeasureName(model_, ref.index));
    else
      Refuse("the pivot sorts by a column's tuple of members and a measure", name.position);
  }
  if (sort_ && *sort_ != sort)
    Refuse("the pivot sorts all rows by one column in one direction", e.position);
  sort_ = sort;
}

// WHERE: a member, a set of one hierarchy's members, or a tuple or cross join of those; each
// hierarchy becomes a slicer, a measure the measure shown.
void MdxReader::ReadWhere(const MdxExpression& where, PivotLayout& layout, std::size_t& measure) {
  sort_allowed_ = false;
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
