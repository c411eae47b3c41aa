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
    // Arguments that are no set.
    kNumber,  // parts[0].text: an integer in decimal, "-" first when negative
    kFlag,    // parts[0].text: a flag word in capitals: ALL, SELF, AFTER, LEAVES...
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
  bool operator==(const MdxAxis&) const = default;
};

struct MdxQuery {
  MdxAxis columns;
  std::optional<MdxAxis> rows;
  std::string cube;
  std::size_t cube_position = 0;
  std::optional<MdxExpression> where;
  bool operator==(const MdxQuery&) const = default;
};

// `parts` written back as a unique name: [Geography].&[7].[Valencia].
std::string NameText(const std::vector<NamePart>& parts);

}  // namespace cubemill::query
