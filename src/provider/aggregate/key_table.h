// A hash table from byte strings (a level's encoded member keys, its UNIQUE keys and names) to
// member numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/hash_mix.h"
#include "common/hash_slots.h"

namespace cubemill::provider::aggregate {

// The strings lie in one buffer, so that a lookup allocates nothing and an addition allocates
// only when a buffer grows.
class KeyTable {
 public:
  // Returns the hash of `key` that Find and Add take.
  static std::uint64_t Hash(std::string_view key) { return HashBytes(key); }

  // Returns the number stored for `key` (whose Hash is `hash`), or 0 when there is none.
  std::uint32_t Find(std::string_view key, std::uint64_t hash) const;

  // Stores `number` (not 0) for `key`, which the table does not hold.
  void Add(std::string_view key, std::uint64_t hash, std::uint32_t number);

  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    std::uint64_t offset;  // of the key in bytes_
    std::uint32_t size;
    std::uint32_t number;
  };
  std::string_view KeyOf(const Entry& entry) const {
    return std::string_view(bytes_.data() + entry.offset, entry.size);
  }

  HashSlots slots_;
  std::vector<Entry> entries_;
  std::string bytes_;
};

}  // namespace cubemill::provider::aggregate
