// LayoutFromMdx's reading of a set: blocks, each a cross join of factors (one hierarchy each).
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "browse/layout_from_mdx_reader.h"
#include "browse/pivot_members.h"
#include "query/functions/function.h"
#include "query/parser/mdx_parser.h"
#include "query/query_failure.h"

namespace cubemill::browse::mdx_layout {

using query::MdxExpression;
using query::NameRef;
using Kind = MdxExpression::Kind;

namespace {

bool SameShape(const Block& a, const Block& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](const Factor& x, const Factor& y) { return x.SameKind(y); });
}

}  // namespace

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

std::vector<Block> MdxReader::Blocks(const MdxExpression& e) {
  if (e.Calls("Order")) {
    ReadSort(e);
    return Blocks(e.operands.front());
  }
  if (e.Calls("TopCount") || e.Calls("BottomCount") || e.Calls("Filter")) {
    ReadFilter(e);
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

std::vector<Block> MdxReader::Crossed(const std::vector<Block>& outer,
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
std::vector<Block> MdxReader::Generated(const MdxExpression& e) {
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

NameRef MdxReader::Resolved(const MdxExpression& name) const {
  try {
    return model_.Resolve(name.parts, name.position);
  } catch (const query::QueryFailure& failure) {
    throw Refusal{failure.what()};
  }
}

Factor MdxReader::MemberFactor(std::size_t m, std::size_t position) const {
  Factor f;
  f.hierarchy = model_.HierarchyOf(m);
  f.total = m == AllMemberOf(model_, f.hierarchy);
  f.groups.push_back({Group::Of::kMember, m, position});
  return f;
}

Factor MdxReader::LevelFactor(std::size_t level, std::size_t position) const {
  if (model_.Catalog().levels[level].is_all && !model_.MembersOf(level).empty())
    return MemberFactor(model_.MembersOf(level).front(), position);
  Factor f;
  f.hierarchy = model_.LevelHierarchy(level);
  f.groups.push_back({Group::Of::kLevel, level, position});
  return f;
}

// A set of one hierarchy's members, or of measures.
Factor MdxReader::Leaf(const MdxExpression& e) {
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
        for (std::size_t m = 0; m < model_.Catalog().measures.size(); ++m) f.measures.push_back(m);
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
             " (it shows levels, members, .Members, .Children, CrossJoin, Hierarchize, "
             "Order, TopCount, BottomCount and Filter)",
         e.position);
}

// A name: a member, a level, a dimension's ALL member or a measure.
Factor MdxReader::NameFactor(const MdxExpression& e) {
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
  Refuse(query::kMeasuresAloneIsNoSet, e.position);
}

}  // namespace cubemill::browse::mdx_layout
