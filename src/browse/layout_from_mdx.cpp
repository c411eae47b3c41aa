// The pivot layout that shows an MDX query. Each axis is read as a union of blocks, each block a
// cross join of factors: a factor names one hierarchy's members (members, a level's members, a
// member's children) or measures. Blocks of the same hierarchies merge, a block of ALL members
// only is the grand total, and what remains must be one block: the axis's fields, outermost
// first. Within a field, the highest level named is the field's level, and every member named
// below it is shown by drilling into its ancestors.
#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "browse/pivot.h"
#include "browse/pivot_members.h"
#include "platform/unicode_case.h"
#include "query/functions/function.h"
#include "query/parser/mdx_parser.h"
#include "query/query_failure.h"

namespace cubemill::browse {

namespace {

using query::CubeModel;
using query::MdxExpression;
using query::NameRef;
using Kind = MdxExpression::Kind;

// A query the pivot cannot show: the message ends with the position, as the engine's do.
struct Refusal {
  std::string what;
};

[[noreturn]] void Refuse(const std::string& what, std::size_t position) {
  throw Refusal{what + " at " + std::to_string(position)};
}

// What a set of one hierarchy names.
struct Group {
  enum class Of { kMember, kLevel, kChildren };
  Of of = Of::kMember;
  std::size_t index = 0;  // the member, the level, or the member whose children
  std::size_t position = 0;
};

// One hierarchy's part of a block, or the measures' part.
struct Factor {
  static constexpr std::size_t kMeasures = npos - 1;
  std::size_t hierarchy = 0;  // kMeasures for the measures
  bool total = false;         // the hierarchy's ALL member alone
  bool current = false;       // .CurrentMember of the hierarchy, within a Generate
  std::vector<Group> groups;
  std::vector<std::size_t> measures;
  bool SameKind(const Factor& other) const {
    return hierarchy == other.hierarchy && total == other.total && current == other.current;
  }
};

using Block = std::vector<Factor>;

bool SameShape(const Block& a, const Block& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](const Factor& x, const Factor& y) { return x.SameKind(y); });
}

// Blocks of the same shape become one, each factor with the groups of both.
std::vector<Block> Merged(std::vector<Block> blocks) {
  std::vector<Block> merged;
  for (Block& block : blocks) {
    const auto same = std::find_if(merged.begin(), merged.end(),
                                   [&](const Block& b) { return SameShape(b, block); });
    if (same == merged.end()) {
      merged.push_back(std::move(block));
      continue;
    }
    for (std::size_t f = 0; f < block.size(); ++f) {
      Factor& into = (*same)[f];
      into.groups.insert(into.groups.end(), block[f].groups.begin(), block[f].groups.end());
      for (std::size_t m : block[f].measures) {
        if (std::find(into.measures.begin(), into.measures.end(), m) == into.measures.end())
          into.measures.push_back(m);
      }
    }
  }
  return merged;
}

bool IsTotal(const Block& block) {
  bool any = false;
  for (const Factor& f : block) {
    if (f.hierarchy == Factor::kMeasures) continue;
    if (!f.total) return false;
    any = true;
  }
  return any;
}

class MdxReader {
 public:
  explicit MdxReader(const CubeModel& model) : model_(model) {}

  PivotLayout Read(const query::MdxQuery& query) {
    if (!query.formulas.empty()) {
      Refuse("the pivot cannot show calculated members or named sets (WITH)",
             query.formulas.front().position);
    }
    if (!query.subselect.empty()) {
      Refuse("the pivot cannot show a subselect: use WHERE",
             query.subselect.front().columns.set.position);
    }
    if (!platform::EqualsFolded(query.cube, model_.Catalog().name)) {
      Refuse("unknown cube " + query::Bracketed(query.cube) + " (the file holds " +
                 query::Bracketed(model_.Catalog().name) + ")",
             query.cube_position);
    }
    PivotLayout layout;
    bool could_total = false, totals = false;
    std::vector<std::size_t> axis_measures[2];
    for (int axis = 0; axis < 2; ++axis) {
      const bool rows = axis == 1;
      if (rows && !query.rows) break;
      const query::MdxAxis& mdx_axis = rows ? *query.rows : query.columns;
      sort_.reset();
      sort_allowed_ = rows;
      auto& fields = rows ? layout.rows : layout.columns;
      bool total = false;
      ReadAxis(mdx_axis.set, fields, axis_measures[axis], total, layout.expanded);
      if (rows) layout.sort = sort_;
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

 private:
  void ReadAxis(const MdxExpression& set, std::vector<PivotField>& fields,
                std::vector<std::size_t>& measures, bool& total, std::set<std::size_t>& expanded) {
    const std::vector<Block> blocks = Merged(Blocks(set));
    const Block* main = nullptr;
    for (const Block& block : blocks) {
      for (const Factor& f : block) {
        for (std::size_t m : f.measures) {
          if (std::find(measures.begin(), measures.end(), m) == measures.end())
            measures.push_back(m);
        }
      }
      if (IsTotal(block)) {
        total = true;
        continue;
      }
      if (main != nullptr) {
        if (SameHierarchies(*main, block)) RefuseSubtotal(HasTotal(*main) ? *main : block);
        Refuse("the axis's tuples cross different hierarchies, which the pivot cannot lay out",
               set.position);
      }
      main = &block;
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

  static bool SameHierarchies(const Block& a, const Block& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](const Factor& x, const Factor& y) { return x.hierarchy == y.hierarchy; });
  }

  static bool HasTotal(const Block& block) {
    return std::any_of(block.begin(), block.end(), [](const Factor& f) { return f.total; });
  }

  // A block with ALL members beside other members: a subtotal, which the pivot does not show.
  [[noreturn]] static void RefuseSubtotal(const Block& block) {
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
  bool CouldTotal(const std::vector<PivotField>& fields) const {
    return !fields.empty() && std::all_of(fields.begin(), fields.end(), [&](const PivotField& f) {
      return AllMemberOf(model_, f.hierarchy) != npos;
    });
  }

  std::vector<Block> Blocks(const MdxExpression& e) {
    if (e.Calls("Order")) {
      ReadSort(e);
      return Blocks(e.operands.front());
    }
    if (e.Calls("Generate")) return Generated(e);
    const bool joins = e.kind == Kind::kTuple || e.Calls("CrossJoin");
    const bool lists = e.kind == Kind::kSet || e.Calls("Union") || e.Calls("Hierarchize");
    switch (lists ? Kind::kSet : joins ? Kind::kTuple : e.kind) {
      case Kind::kSet: {
        std::vector<Block> blocks;
        for (const MdxExpression& operand : e.operands) {
          if (operand.kind == Kind::kFlag) continue;  // Union's ALL
          for (Block& block : Blocks(operand)) blocks.push_back(std::move(block));
        }
        return Merged(std::move(blocks));
      }
      case Kind::kTuple: {
        std::vector<Block> crossed{Block{}};
        for (const MdxExpression& operand : e.operands) crossed = Crossed(crossed, Blocks(operand));
        return Merged(std::move(crossed));
      }
      case Kind::kBinary:
        if (e.parts.front().text == "*")
          return Merged(Crossed(Blocks(e.operands[0]), Blocks(e.operands[1])));
        if (e.parts.front().text == "+") {
          std::vector<Block> blocks = Blocks(e.operands[0]);
          for (Block& block : Blocks(e.operands[1])) blocks.push_back(std::move(block));
          return Merged(std::move(blocks));
        }
        break;
      default:
        break;
    }
    return {Block{Leaf(e)}};
  }

  static std::vector<Block> Crossed(const std::vector<Block>& outer,
                                    const std::vector<Block>& inner) {
    std::vector<Block> crossed;
    for (const Block& a : outer) {
      for (const Block& b : inner) {
        Block block = a;
        block.insert(block.end(), b.begin(), b.end());
        crossed.push_back(std::move(block));
      }
    }
    return crossed;
  }

  // Generate(outer, CrossJoin({H.CurrentMember}, inner)): the outer set's fields, then the
  // inner set's, as the sorted pivot asks for nested fields.
  std::vector<Block> Generated(const MdxExpression& e) {
    const std::vector<Block> outer = Blocks(e.operands[0]);
    const std::vector<Block> inner = Blocks(e.operands[1]);
    std::vector<Block> crossed;
    for (const Block& a : outer) {
      for (const Block& b : inner) {
        Block block = a;
        for (const Factor& f : b) {
          if (!f.current) {
            block.push_back(f);
            continue;
          }
          if (std::none_of(a.begin(), a.end(),
                           [&](const Factor& g) { return g.hierarchy == f.hierarchy; })) {
            Refuse("the pivot cannot lay out " + model_.HierarchyName(f.hierarchy) +
                       ".CurrentMember outside the Generate over it",
                   e.position);
          }
        }
        crossed.push_back(std::move(block));
      }
    }
    return Merged(std::move(crossed));
  }

  void ReadSort(const MdxExpression& e) {
    if (!sort_allowed_) Refuse("the pivot sorts its rows only, not its columns", e.position);
    PivotSort sort;
    sort.descending = false;  // Order's default
    if (e.operands.size() > 2) {
      const std::string& flag = e.operands[2].parts.front().text;
      if (flag != "ASC" && flag != "DESC") {
        Refuse(
            "the pivot sorts within each parent (ASC or DESC), not by value alone (" + flag + ")",
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

  NameRef Resolved(const MdxExpression& name) const {
    try {
      return model_.Resolve(name.parts, name.position);
    } catch (const query::QueryFailure& failure) {
      throw Refusal{failure.what()};
    }
  }

  Factor MemberFactor(std::size_t m, std::size_t position) const {
    Factor f;
    f.hierarchy = model_.HierarchyOf(m);
    f.total = m == AllMemberOf(model_, f.hierarchy);
    f.groups.push_back({Group::Of::kMember, m, position});
    return f;
  }

  Factor LevelFactor(std::size_t level, std::size_t position) const {
    if (model_.Catalog().levels[level].is_all && !model_.MembersOf(level).empty())
      return MemberFactor(model_.MembersOf(level).front(), position);
    Factor f;
    f.hierarchy = model_.LevelHierarchy(level);
    f.groups.push_back({Group::Of::kLevel, level, position});
    return f;
  }

  // A set of one hierarchy's members, or of measures.
  Factor Leaf(const MdxExpression& e) {
    if (e.kind == Kind::kName) return NameFactor(e);
    const MdxExpression* of =
        e.kind == Kind::kCall && !e.operands.empty() ? &e.operands.front() : nullptr;
    if (of != nullptr && of->kind == Kind::kName) {
      const NameRef ref = Resolved(*of);
      if (e.Calls("Members")) {
        if (ref.kind == NameRef::Kind::kLevel) return LevelFactor(ref.index, e.position);
        if (ref.kind == NameRef::Kind::kMeasures) {
          Factor f;
          f.hierarchy = Factor::kMeasures;
          for (std::size_t m = 0; m < model_.Catalog().measures.size(); ++m)
            f.measures.push_back(m);
          return f;
        }
        if (ref.kind == NameRef::Kind::kHierarchy) {
          Refuse(model_.HierarchyName(ref.index) +
                     ".Members holds every level: the pivot shows one level, as " +
                     model_.HierarchyName(ref.index) + ".[Level].Members",
                 e.position);
        }
      } else if (e.Calls("Children") && ref.kind == NameRef::Kind::kMember) {
        Factor f;
        f.hierarchy = model_.HierarchyOf(ref.index);
        f.groups.push_back({Group::Of::kChildren, ref.index, e.position});
        return f;
      } else if (e.Calls("CurrentMember") && ref.kind == NameRef::Kind::kHierarchy) {
        Factor f;
        f.hierarchy = ref.index;
        f.current = true;
        return f;
      }
    }
    Refuse("the pivot cannot lay out " +
               (e.kind == Kind::kCall ? std::string(e.function->name) : "this expression") +
               " (it shows levels, members, .Members, .Children, CrossJoin, Hierarchize and "
               "Order)",
           e.position);
  }

  // A name: a member, a level, a dimension's ALL member or a measure.
  Factor NameFactor(const MdxExpression& e) {
    const NameRef ref = Resolved(e);
    switch (ref.kind) {
      case NameRef::Kind::kMember:
        return MemberFactor(ref.index, e.position);
      case NameRef::Kind::kLevel:
        return LevelFactor(ref.index, e.position);
      case NameRef::Kind::kHierarchy: {
        const std::size_t all = AllMemberOf(model_, ref.index);
        if (all == npos) {
          Refuse(model_.HierarchyName(ref.index) + " has no ALL member: name one of its levels",
                 e.position);
        }
        return MemberFactor(all, e.position);
      }
      case NameRef::Kind::kMeasure: {
        Factor f;
        f.hierarchy = Factor::kMeasures;
        f.measures.push_back(ref.index);
        return f;
      }
      case NameRef::Kind::kMeasures:
        break;
    }
    Refuse("[Measures] alone is no set: use [Measures].Members or name a measure", e.position);
  }

  // The field a factor's groups make, and the members it drills into to show them all.
  PivotField Field(const Factor& f, std::set<std::size_t>& expanded) const {
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

  // WHERE: a member, a set of one hierarchy's members, or a tuple or cross join of those; each
  // hierarchy becomes a slicer, a measure the measure shown.
  void ReadWhere(const MdxExpression& where, PivotLayout& layout, std::size_t& measure) {
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
          Refuse(model_.HierarchyName(f.hierarchy) + " is on an axis and in WHERE",
                 operand.position);
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

  const CubeModel& model_;
  std::optional<PivotSort> sort_;
  bool sort_allowed_ = false;
};

}  // namespace

Result<PivotLayout> LayoutFromMdx(const CubeModel& model, const std::string& mdx) {
  auto query = query::ParseMdx(mdx);
  if (!query.ok()) return query.error();
  try {
    PivotLayout layout = MdxReader(model).Read(*query);
    if (auto error = CheckLayout(model, layout)) return Error{error->description, 1, "MDX"};
    return layout;
  } catch (const Refusal& refusal) {
    return Error{refusal.what, 1, query::kQuerySource};
  }
}

}  // namespace cubemill::browse
