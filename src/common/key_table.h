// A hash table from keys to ids 0, 1, 2, ... in the order the keys were first added: keys of
// bytes (a level's encoded member keys and names while a cube is built) or of a fixed number of
// 32-bit numbers (a query's tuples and cells).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/hash_mix.h"
#include "common/hash_slots.h"

namespace cubemill {

// The keys lie in one buffer, so that a lookup allocates nothing and an addition allocates only
// when a buffer grows; the slots are HashSlots'. What its user keeps per key it keeps in arrays
// of its own, indexed by the key's id. A table holds one kind of key, chosen when it is made.
class KeyTable {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  // A table of byte strings of any length, looked up with their Hash.
  KeyTable() = default;
  // A table of keys of `width` numbers each, with room for `expected` keys before it grows.
  explicit KeyTable(std::size_t width, std::size_t expected = 0)
      : width_(width), slots_(HashSlots::BitsFor(expected)) {
    words_.reserve(expected * width);
  }

  // Number of keys: their ids are 0 to Size() - 1.
  std::size_t Size() const { return slots_.size(); }

  // Keys of numbers, in a table made with a width.
  // Returns the id of the key at `key` (`width` numbers), or npos when the table does not hold it.
  std::size_t Find(const std::uint32_t* key) const {
    return slots_.Find(HashNumbers(key, width_), [&](std::size_t id) { return Equal(id, key); })
        .entry;
  }
  // Returns the id of the key at `key`, adding it with the next id when it is new. Throws
  // std::length_error when the table is full (HashSlots::kMaxEntries keys).
  std::size_t Insert(const std::uint32_t* key);
  // Returns the `width` numbers of the key with id `id`.
  const std::uint32_t* KeyOf(std::size_t id) const { return words_.data() + id * width_; }

  // Keys of bytes, in a table made without a width.
  // Returns the hash of `key` that Find and Insert take.
  static std::uint64_t Hash(std::string_view key) { return HashBytes(key); }
  // Returns the id of `key`, whose Hash is `hash`, or npos when the table does not hold it.
  std::size_t Find(std::string_view key, std::uint64_t hash) const {
    return slots_.Find(hash, [&](std::size_t id) { return BytesOf(id) == key; }).entry;
  }
  // Returns the id of `key`, whose Hash is `hash`, adding it with the next id when it is new.
  // Throws as the other Insert.
  std::size_t Insert(std::string_view key, std::uint64_t hash);

 private:
  static constexpr std::size_t kAnyLength = npos;  // width_ of a table of byte strings

  bool Equal(std::size_t id, const std::uint32_t* key) const {
    return std::equal(key, key + width_, KeyOf(id));
  }
  std::string_view BytesOf(std::size_t id) const {
    const std::size_t begin = id == 0 ? 0 : ends_[id - 1];
    return std::string_view(bytes_.data() + begin, ends_[id] - begin);
  }

  std::size_t width_ = kAnyLength;
  HashSlots slots_;
  std::vector<std::uint32_t> words_;  // keys of numbers, `width_` each, by id
  std::string bytes_;                 // keys of bytes, one after the other, by id
  std::vector<std::size_t> ends_;     // where each key of bytes ends in bytes_
};

inline std::size_t KeyTable::Insert(const std::uint32_t* key) {
  const std::uint64_t hash = HashNumbers(key, width_);
  const HashSlots::Probe probe = slots_.Find(hash, [&](std::size_t id) { return Equal(id, key); });
  if (probe.entry != HashSlots::kNone) return probe.entry;
  words_.insert(words_.end(), key, key + width_);
  return slots_.Add(probe, hash, [this](std::size_t id) { return HashNumbers(KeyOf(id), width_); });
}

inline std::size_t KeyTable::Insert(std::string_view key, std::uint64_t hash) {
  const HashSlots::Probe probe =
      slots_.Find(hash, [&](std::size_t id) { return BytesOf(id) == key; });
  if (probe.entry != HashSlots::kNone) return probe.entry;
  bytes_.append(key);
  ends_.push_back(bytes_.size());
  return slots_.Add(probe, hash, [this](std::size_t id) { return HashBytes(BytesOf(id)); });
}

}  // namespace cubemill
