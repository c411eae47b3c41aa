// A hash table from byte strings (a level's encoded member keys) to member numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace cubemill::provider::aggregate {

// Open addressing over one buffer of the strings, so that a lookup allocates nothing and an
// addition allocates only when a buffer grows.
class KeyTable {
 public:
  // Returns the hash of `key` that Find and Add take.
  static std::uint64_t Hash(std::string_view key) {
    const char* at = key.data();
    const std::size_t size = key.size();
    std::uint64_t hash = 0x9E3779B97F4A7C15ULL ^ size;
    auto mix = [&hash](std::uint64_t word) {
      hash = (hash ^ word) * 0xBF58476D1CE4E5B9ULL;
      hash ^= hash >> 29;
    };
    if (size >= 8) {
      std::size_t done = 0;
      for (; done + 8 <= size; done += 8) mix(Load<std::uint64_t>(at + done));
      // The last bytes as the last eight: some are mixed twice, which only the size could
      // tell apart, and the size is mixed in.
      if (done < size) mix(Load<std::uint64_t>(at + size - 8));
    } else if (size >= 4) {
      mix(std::uint64_t{Load<std::uint32_t>(at)} << 32 | Load<std::uint32_t>(at + size - 4));
    } else {
      for (std::size_t i = 0; i < size; ++i) mix(static_cast<unsigned char>(at[i]));
    }
    hash ^= hash >> 31;
    hash *= 0xBF58476D1CE4E5B9ULL;
    return hash ^ (hash >> 32);
  }

  // Returns the number stored for `key` (whose Hash is `hash`), or 0 when there is none.
  std::uint32_t Find(std::string_view key, std::uint64_t hash) const;

  // Stores `number` (not 0) for `key`, which the table does not hold.
  void Add(std::string_view key, std::uint64_t hash, std::uint32_t number);

  std::size_t size() const { return entries_.size(); }

 private:
  template <typename Word>
  static Word Load(const char* at) {
    Word word;
    std::memcpy(&word, at, sizeof word);
    return word;
  }

  struct Entry {
    std::uint64_t offset;  // of the key in bytes_
    std::uint32_t size;
    std::uint32_t number;
  };
  // The high half of a slot is the high half of its key's hash, the low half the entry's index
  // + 1; 0 is a free slot.
  static std::uint64_t SlotOf(std::uint64_t hash, std::size_t entry) {
    return (hash & 0xFFFFFFFF00000000ULL) | (entry + 1);
  }
  void Place(std::uint64_t hash, std::size_t entry);

  std::vector<std::uint64_t> slots_;  // a power of two, at most half used
  std::vector<Entry> entries_;
  std::string bytes_;
};

}  // namespace cubemill::provider::aggregate
