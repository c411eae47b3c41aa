#include "query/execution/tuple_list.h"

#include <algorithm>
#include <unordered_set>

#include "common/hash_mix.h"

namespace cubemill::query {

namespace {

struct TupleHash {
  std::size_t operator()(const std::vector<std::size_t>& tuple) const {
    return static_cast<std::size_t>(HashNumbers(tuple.data(), tuple.size()));
  }
};
using TupleSet = std::unordered_set<std::vector<std::size_t>, TupleHash>;

std::vector<std::size_t> TupleAt(const TupleList& list, std::size_t t) {
  return {list.At(t), list.At(t) + list.Arity()};
}

}  // namespace

std::size_t TupleList::MeasureOf(std::size_t t) const {
  for (std::size_t i = 0; i < shape.size(); ++i)
    if (shape[i] == kMeasuresHierarchy) return At(t)[i];
  return static_cast<std::size_t>(-1);
}

TupleList Slice(const TupleList& list, std::size_t first, std::size_t count) {
  TupleList slice{list.shape, {}, 0};
  if (first >= list.count) return slice;
  slice.count = std::min(count, list.count - first);
  slice.items.assign(list.At(first), list.At(first) + slice.count * list.Arity());
  return slice;
}

TupleList Picked(const TupleList& list, const std::vector<std::size_t>& order) {
  TupleList picked{list.shape, {}, order.size()};
  picked.items.reserve(order.size() * list.Arity());
  for (std::size_t t : order)
    picked.items.insert(picked.items.end(), list.At(t), list.At(t) + list.Arity());
  return picked;
}

TupleList Deduplicated(const TupleList& list) {
  TupleSet seen;
  std::vector<std::size_t> kept;
  for (std::size_t t = 0; t < list.count; ++t)
    if (seen.insert(TupleAt(list, t)).second) kept.push_back(t);
  return Picked(list, kept);
}

TupleList Compared(const TupleList& a, const TupleList& b, bool common) {
  TupleSet in_b;
  for (std::size_t t = 0; t < b.count; ++t) in_b.insert(TupleAt(b, t));
  std::vector<std::size_t> kept;
  for (std::size_t t = 0; t < a.count; ++t)
    if (in_b.contains(TupleAt(a, t)) == common) kept.push_back(t);
  return Deduplicated(Picked(a, kept));
}

}  // namespace cubemill::query
