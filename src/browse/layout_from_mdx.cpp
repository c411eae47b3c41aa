// The pivot layout that shows an MDX query. Each axis is read as a union of blocks, each block a
// cross join of factors: a factor names one hierarchy's members (members, a level's members, a
// member's children) or measures. Blocks of the same hierarchies merge, a block of ALL members
// only is the grand total, and what remains must be one block: the axis's fields, outermost
// first. Within a field, the highest level named is the field's level, and every member named
// below it is shown by drilling into its ancestors.
#include <algorithm>
#include <string>
#include <vector>

#include "browse/layout_from_mdx_reader.h"
#include "browse/pivot.h"
#include "browse/pivot_members.h"
#include "common/quoted_text.h"
#include "platform/unicode_case.h"
#include "query/parser/mdx_parser.h"
#include "query/query_failure.h"

namespace cubemill::browse {
namespace mdx_layout {

using query::CubeModel;
using query::MdxExpression;

namespace {

// Whether `block` is the grand total: ALL members only, beside the measures.
bool IsTotal(const Block& block) {
  bool any = false;
  for (const Factor& f : block) {
    if (f.hierarchy == Factor::kMeasures) continue;
    if (!f.total) return false;
    any = true;
  }
  return any;
}

// Whether `block` is a subtotal of the fields of `main`: the same hierarchies, members of the
// outer ones and the ALL members of the inner ones.
bool IsSubtotalOf(const Block& block, const Block& main) {
  if (block.size() != main.size()) return false;
  bool member = false, all = false;
  for (std::size_t i = 0; i < block.size(); ++i) {
    const Factor& f = block[i];
    if (f.hierarchy != main[i].hierarchy || f.current) return false;
    if (f.hierarchy == Factor::kMeasures) continue;
    if (f.total) {
      all = true;
    } else if (all) {
      return false;
    } else {
      member = true;
    }
  }
  return member && all;
}

}  // namespace

[[noreturn]] void Refuse(const std::string& what, std::size_t position) {
  throw Refusal{what + " at " + std::to_string(position)};
}

PivotLayout MdxReader::Read(const query::MdxQuery& query) {
  if (!query.formulas.empty()) {
    Refuse("the pivot cannot show calculated members or named sets (WITH)",
           query.formulas.front().position);
  }
  if (!query.subselect.empty()) {
    Refuse("the pivot cannot show a subselect: use WHERE",
           query.subselect.front().columns.set.position);
  }
  if (query.columns.set.kind == MdxExpression::Kind::kTuple && query.columns.set.operands.empty())
    Refuse("the pivot cannot show a query without axes", query.columns.set.position);
  if (query.pages)
    Refuse("the pivot cannot show a PAGES axis: use WHERE", query.pages->set.position);
  if (!platform::EqualsFolded(query.cube, model_.Catalog().name)) {
    Refuse(query::UnknownCube(query.cube, model_.Catalog().name), query.cube_position);
  }
  PivotLayout layout;
  bool could_total = false, totals = false;
  std::vector<std::size_t> axis_measures[2];
  for (int axis = 0; axis < 2; ++axis) {
    const bool rows = axis == 1;
    if (rows && !query.rows) break;
    const query::MdxAxis& mdx_axis = rows ? *query.rows : query.columns;
    sort_.reset();
    filter_.reset();
    sort_allowed_ = rows;
    filter_allowed_ = true;
    auto& fields = rows ? layout.rows : layout.columns;
    bool total = false;
    ReadAxis(mdx_axis.set, fields, axis_measures[axis], total, layout.expanded);
    if (rows) layout.sort = sort_;
    (rows ? layout.filter : layout.column_filter) = filter_;
    if (rows) {
      // Subtotals the rows could show but the query does not ask for: switched off.
      const bool could_subtotal =
          fields.size() >= 2 && !filter_ && AllMemberOf(model_, fields.back().hierarchy) != npos;
      layout.subtotals = subtotals_read_ || !could_subtotal;
    }
    totals = totals || total;
    could_total = could_total || CouldTotal(fields);
  }
  // The pivot asks NON EMPTY of both axes or of neither.
  layout.non_empty = query.columns.non_empty || (query.rows && query.rows->non_empty);
  layout.totals = totals || !could_total;
  if (!axis_measures[0].empty() && !axis_measures[1].empty())
    Refuse("the measures are on both axes", query.columns.set.position);
  layout.measures_on_rows = !axis_measures[1].empty();
  layout.measures = layout.measures_on_rows ? axis_measures[1] : axis_measures[0];
  std::size_t where_measure = npos;
  if (query.where) ReadWhere(*query.where, layout, where_measure);
  if (where_measure != npos) {
    if (!layout.measures.empty())
      Refuse("the measures are on an axis and in WHERE", query.where->position);
    layout.measures.push_back(where_measure);
  }
  if (layout.measures.empty() && !model_.Catalog().measures.empty())
    layout.measures.push_back(0);  // the engine's measure where a query names none
  KeepShownDrills(model_, layout);
  return layout;
}

void MdxReader::ReadAxis(const MdxExpression& set, std::vector<PivotField>& fields,
                         std::vector<std::size_t>& measures, bool& total,
                         std::set<std::size_t>& expanded) {
  const std::vector<Block> blocks = Merged(Blocks(set));
  // The axis's fields: the block with no ALL member (the first, if the others only refuse).
  const auto main_at = std::find_if(blocks.begin(), blocks.end(), [](const Block& block) {
    return !HasTotal(block) && !IsTotal(block);
  });
  const Block* main = main_at != blocks.end() ? &*main_at : nullptr;
  for (const Block& block : blocks) {
    for (const Factor& f : block) {
      for (std::size_t m : f.measures) {
        if (std::find(measures.begin(), measures.end(), m) == measures.end()) measures.push_back(m);
      }
    }
    if (IsTotal(block)) {
      total = true;
      continue;
    }
    if (&block == main) continue;
    // The rows' subtotals, as the pivot asks for them.
    if (sort_allowed_ && main != nullptr && IsSubtotalOf(block, *main)) {
      subtotals_read_ = true;
      continue;
    }
    if (main != nullptr && SameHierarchies(*main, block)) RefuseSubtotal(block);
    if (main != nullptr || HasTotal(block)) {
      if (HasTotal(block)) RefuseSubtotal(block);
      Refuse("the axis's tuples cross different hierarchies, which the pivot cannot lay out",
             set.position);
    }
  }
  if (main == nullptr) return;
  for (const Factor& f : *main) {
    if (f.hierarchy == Factor::kMeasures) continue;
    if (f.current) {
      Refuse("the pivot cannot lay out " + model_.HierarchyName(f.hierarchy) +
                 ".CurrentMember outside the Generate over it",
             set.position);
    }
    if (f.total) RefuseSubtotal(*main);
    fields.push_back(Field(f, expanded));
  }
}

bool MdxReader::SameHierarchies(const Block& a, const Block& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](const Factor& x, const Factor& y) { return x.hierarchy == y.hierarchy; });
}

bool MdxReader::HasTotal(const Block& block) {
  return std::any_of(block.begin(), block.end(), [](const Factor& f) { return f.total; });
}

// A block with ALL members beside other members: a subtotal, which the pivot does not show.
[[noreturn]] void MdxReader::RefuseSubtotal(const Block& block) {
  std::size_t position = 0;
  for (const Factor& f : block) {
    if (f.total && !f.groups.empty()) {
      position = f.groups.front().position;
      break;
    }
  }
  Refuse("an ALL member beside other members (a subtotal): the pivot shows the grand total only",
         position);
}

// Whether the pivot would give `fields` a total: some field, each with an ALL member.
bool MdxReader::CouldTotal(const std::vector<PivotField>& fields) const {
  return !fields.empty() && std::all_of(fields.begin(), fields.end(), [&](const PivotField& f) {
    return AllMemberOf(model_, f.hierarchy) != npos;
  });
}

// The field a factor's groups make, and the members it drills into to show them all.
PivotField MdxReader::Field(const Factor& f, std::set<std::size_t>& expanded) const {
  const auto& levels = model_.Catalog().levels;
  // The level of the members each group names.
  const auto level_of = [&](const Group& g) -> std::size_t {
    switch (g.of) {
      case Group::Of::kLevel:
        return g.index;
      case Group::Of::kMember:
        return model_.LevelOf(g.index);
      case Group::Of::kChildren: {
        const auto& children = model_.ChildrenOf(g.index);
        if (!children.empty()) return model_.LevelOf(children.front());
        const auto& all = model_.LevelsOf(f.hierarchy);
        const auto at = std::find(all.begin(), all.end(), model_.LevelOf(g.index));
        return at + 1 < all.end() ? *(at + 1) : npos;
      }
    }
    return npos;
  };
  std::size_t field_level = npos;
  for (const Group& g : f.groups) {
    const std::size_t level = level_of(g);
    if (level == npos) Refuse("the member has no level below it", g.position);
    if (field_level == npos || levels[level].ordinal < levels[field_level].ordinal)
      field_level = level;
  }
  const int top = levels[field_level].ordinal;
  // Each member from `m` up to the field's level is drilled into.
  const auto drill = [&](std::size_t m) {
    for (; m != CubeModel::npos && model_.DepthOf(m) >= top; m = model_.ParentOf(m))
      expanded.insert(m);
  };
  for (const Group& g : f.groups) {
    if (g.of == Group::Of::kChildren) {
      drill(g.index);
    } else if (g.of == Group::Of::kMember) {
      drill(model_.ParentOf(g.index));
    } else if (levels[g.index].ordinal > top) {
      for (std::size_t m : model_.MembersOf(g.index)) drill(model_.ParentOf(m));
    }
  }
  return {f.hierarchy, field_level};
}

}  // namespace mdx_layout

Result<PivotLayout> LayoutFromMdx(const query::CubeModel& model, const std::string& mdx) {
  auto query = query::ParseMdx(mdx);
  if (!query.ok()) return query.error();
  try {
    PivotLayout layout = mdx_layout::MdxReader(model).Read(*query);
    if (auto error = CheckLayout(model, layout)) return Error{error->description, 1, "MDX"};
    return layout;
  } catch (const mdx_layout::Refusal& refusal) {
    return Error{refusal.what, 1, query::kQuerySource};
  }
}

}  // namespace cubemill::browse
