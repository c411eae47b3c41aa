// A hash table from fixed-width keys of 32-bit numbers to dense ids 0, 1, 2, ... in the order
// the keys were first added: how the executor finds a row's tuples and an answer's cells
// without allocating per lookup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cubemill::query {

class KeyTable {
 public:
  // A table of keys of `width` numbers each, sized for about `expected` keys.
  explicit KeyTable(std::size_t width, std::size_t expected = 0);

  // The id of the key at `key` (`width` numbers), npos when it is not in the table.
  std::size_t Find(const std::uint32_t* key) const;
  // The id of the key at `key`, added with the next id when it is new.
  std::size_t Insert(const std::uint32_t* key);
  // The key of id `id`.
  const std::uint32_t* KeyOf(std::size_t id) const { return keys_.data() + id * width_; }
  std::size_t Size() const { return size_; }

  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

 private:
  std::size_t Hash(const std::uint32_t* key) const;
  bool Equal(std::size_t id, const std::uint32_t* key) const;
  void Grow();

  std::size_t width_;
  std::size_t size_ = 0;
  std::vector<std::uint32_t> keys_;   // the keys by id, `width_` numbers each
  std::vector<std::uint32_t> slots_;  // id + 1 of the key in each slot, 0 where free
};

}  // namespace cubemill::query
