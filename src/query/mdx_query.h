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
    kCrossJoin,  // CrossJoin(a, b) and a * b
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
