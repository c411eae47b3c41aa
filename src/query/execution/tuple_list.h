// What sets evaluate to: lists of tuples over the cube's members and measures, and members.
#pragma once

#include <cstddef>
#include <vector>

namespace cubemill::query {

// The "hierarchy" of a tuple's measure coordinate.
inline constexpr std::size_t kMeasuresHierarchy = static_cast<std::size_t>(-1);

// Tuples that all hold the same hierarchies in the same order, stored flat: tuple t's
// coordinates are items[t * Arity()] onwards, each a member index, or a measure index where
// the shape says kMeasuresHierarchy. A member or measure the WITH clause defines is numbered
// after the cube's own (model.MemberCount() + k, measures.size() + k).
struct TupleList {
  std::vector<std::size_t> shape;  // hierarchy index of each coordinate
  std::vector<std::size_t> items;
  std::size_t count = 0;

  std::size_t Arity() const { return shape.size(); }
  const std::size_t* At(std::size_t t) const { return items.data() + t * shape.size(); }
  // The measure tuple `t` names, npos when it names none.
  std::size_t MeasureOf(std::size_t t) const;
  bool operator==(const TupleList&) const = default;
};

// A member expression's value: a member of `hierarchy`, or the null member (npos) where a
// navigation ran off its level or its hierarchy.
struct MemberValue {
  std::size_t member = static_cast<std::size_t>(-1);
  std::size_t hierarchy = 0;
};

// The tuples `first` onwards, at most `count` of them, of `list`.
TupleList Slice(const TupleList& list, std::size_t first, std::size_t count);
// The tuples of `list` at `order`, in that order.
TupleList Picked(const TupleList& list, const std::vector<std::size_t>& order);
// `list` with each tuple only where it first comes.
TupleList Deduplicated(const TupleList& list);
// The tuples of `a` that are in `b` (`common`) or not in it, each once, in `a`'s order.
TupleList Compared(const TupleList& a, const TupleList& b, bool common);
// A set of one tuple of one member.
inline TupleList One(std::size_t hierarchy, std::size_t index) { return {{hierarchy}, {index}, 1}; }

}  // namespace cubemill::query
