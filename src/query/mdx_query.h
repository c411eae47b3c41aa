// The parsed form of an MDX query: its axes, its cube and its slicer, every part with the
// 1-based character offset in the query text where it starts.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace cubemill::query {

// One part of a unique name: `[Spain]`, `Measures` or the key part `&[7]`.
struct NamePart {
  std::string text;
  bool is_key = false;
  std::size_t position = 0;
  bool operator==(const NamePart&) const = default;
};

struct MdxExpression {
  enum class Kind {
    kName,       // parts: [Geography].[Spain]
    kMembers,    // operands[0].Members
    kChildren,   // operands[0].Children
    kParent,     // operands[0].Parent
    kSet,        // {operands...}
    kTuple,      // (operands...)
    kCrossJoin,  // CrossJoin(a, b, ...) and a * b
    // Members found from a member by its place in the hierarchy; each is the null member
    // where none is there (the PrevMember of a level's first member).
    kFirstChild,   // operands[0].FirstChild
    kLastChild,    // operands[0].LastChild
    kSiblings,     // operands[0].Siblings: a set
    kPrevMember,   // operands[0].PrevMember
    kNextMember,   // operands[0].NextMember
    kLag,          // operands[0].Lag(operands[1]), a kNumber
    kLead,         // operands[0].Lead(operands[1]), a kNumber
    kLevel,        // operands[0].Level: the member's level, as a set its members
    kRange,        // operands[0] : operands[1]
    kAncestor,     // Ancestor(member, level or kNumber distance)
    kDescendants,  // Descendants(member [, level or kNumber distance [, kFlag]])
    // Sets made from sets.
    kHead,         // Head(set [, kNumber count])
    kTail,         // Tail(set [, kNumber count])
    kSubset,       // Subset(set, kNumber start [, kNumber count])
    kUnion,        // Union(set, set, ... [, kFlag ALL])
    kExcept,       // Except(set, set)
    kIntersect,    // Intersect(set, set)
    kDistinct,     // Distinct(set)
    kHierarchize,  // Hierarchize(set)
    kExtract,      // Extract(set, hierarchy, ...)
    // Sets chosen or ordered by a value, each value an expression computed at every tuple.
    kTopCount,       // TopCount(set, kNumber count [, value])
    kBottomCount,    // BottomCount(set, kNumber count [, value])
    kTopPercent,     // TopPercent(set, kNumber percent, value)
    kBottomPercent,  // BottomPercent(set, kNumber percent, value)
    kTopSum,         // TopSum(set, kNumber sum, value)
    kBottomSum,      // BottomSum(set, kNumber sum, value)
    kOrder,          // Order(set, value [, kFlag ASC|DESC|BASC|BDESC])
    kFilter,         // Filter(set, condition)
    kNonEmpty,       // NonEmpty(set [, set])
    kGenerate,       // Generate(set, set [, kFlag ALL])
    // Time: members found from a level and a member (the current member of the level's
    // hierarchy when no member is given).
    kParallelPeriod,  // ParallelPeriod([level [, kNumber distance [, member]]])
    kPeriodsToDate,   // PeriodsToDate([level [, member]]): a set
    kYtd,             // Ytd([member]), kQtd, kMtd, kWtd likewise: sets
    kQtd,
    kMtd,
    kWtd,
    kOpeningPeriod,  // OpeningPeriod([level [, member]])
    kClosingPeriod,  // ClosingPeriod([level [, member]])
    kCurrentMember,  // operands[0].CurrentMember: operands[0] names a dimension or hierarchy
    // Values. A name, a tuple or a member stands for the value of the cell it points at.
    kString,         // parts[0].text: the text, its quotes taken off
    kUnary,          // parts[0].text "-" or "NOT", operands[0]
    kBinary,         // parts[0].text + - * / = <> < > <= >= AND OR XOR; for sets + is Union,
                     // - is Except and * is CrossJoin
    kProperty,       // operands[0].<parts[0].text>: Name, UniqueName, Caption, Ordinal, Value,
                     // Count (of a set or a level's .Members)
    kIif,            // IIf(condition, value, value)
    kCoalesceEmpty,  // CoalesceEmpty(value, value, ...)
    kIsEmpty,        // IsEmpty(value)
    kSum,            // Sum(set [, value]), kAvg, kMin, kMax likewise
    kAvg,
    kMin,
    kMax,
    kCount,      // Count(set [, kFlag EXCLUDEEMPTY|INCLUDEEMPTY])
    kAggregate,  // Aggregate(set [, value])
    // Arguments that are no set.
    kNumber,  // parts[0].text: a decimal number ("12", "-3", "0.25"), "-" first when negative
    kFlag,    // parts[0].text: a flag word in capitals: ALL, SELF, AFTER, LEAVES, ASC...
  };
  Kind kind = Kind::kName;
  std::size_t position = 0;
  std::vector<NamePart> parts;
  std::vector<MdxExpression> operands;
  bool operator==(const MdxExpression&) const = default;
};

struct MdxAxis {
  MdxExpression set;
  bool non_empty = false;
  // DIMENSION PROPERTIES after the set: each property's name as written, its last part
  // (MEMBER_UNIQUE_NAME, [Geography].[Country].[MEMBER_KEY] gives MEMBER_KEY).
  std::vector<NamePart> properties;
  bool operator==(const MdxAxis&) const = default;
};

// A calculated member or a named set of the WITH clause.
struct MdxFormula {
  enum class Kind { kMember, kSet };
  Kind kind = Kind::kMember;
  std::vector<NamePart> name;                // [Measures].[Share]; a set's name has one part
  MdxExpression expression;                  // AS <expression>, also when written in quotes
  std::size_t position = 0;                  // where MEMBER or SET stands
  int solve_order = 0;                       // SOLVE_ORDER = n
  std::optional<std::string> format_string;  // FORMAT_STRING = 'text'
  bool operator==(const MdxFormula&) const = default;
};

struct MdxQuery {
  std::vector<MdxFormula> formulas;  // WITH, in order
  MdxAxis columns;
  std::optional<MdxAxis> rows;
  std::string cube;
  std::size_t cube_position = 0;
  // FROM (SELECT ... FROM ...): the subselect, at most one; `cube` is then its cube's name.
  std::vector<MdxQuery> subselect;
  std::optional<MdxExpression> where;
  std::vector<NamePart> cell_properties;  // CELL PROPERTIES VALUE, FORMATTED_VALUE...
  bool operator==(const MdxQuery&) const = default;
};

// `parts` written back as a unique name: [Geography].&[7].[Valencia].
std::string NameText(const std::vector<NamePart>& parts);

}  // namespace cubemill::query
