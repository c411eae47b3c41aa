// The one hash function of the project's hash tables: words mixed into a running hash one by one,
// and a last step that spreads every bit of it over both halves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace cubemill {

// The running hash before the first word.
inline constexpr std::uint64_t kHashStart = 0x9E3779B97F4A7C15ULL;

// Returns `hash` with `word` mixed in.
inline std::uint64_t HashStep(std::uint64_t hash, std::uint64_t word) {
  hash = (hash ^ word) * 0xBF58476D1CE4E5B9ULL;
  return hash ^ (hash >> 31);
}

// Returns the finished hash: its top bits pick a slot (HashSlots) and its low half is the tag,
// so both must depend on every word.
inline std::uint64_t HashEnd(std::uint64_t hash) {
  hash *= 0x94D049BB133111EBULL;
  return hash ^ (hash >> 32);
}

// The hash of one number.
inline std::uint64_t HashWord(std::uint64_t word) { return HashEnd(HashStep(kHashStart, word)); }

// The hash of `count` numbers at `numbers` (unsigned, of at most 64 bits): member numbers, ids.
template <typename Number>
inline std::uint64_t HashNumbers(const Number* numbers, std::size_t count) {
  static_assert(std::is_unsigned_v<Number> && sizeof(Number) <= sizeof(std::uint64_t));
  std::uint64_t hash = kHashStart;
  for (std::size_t i = 0; i < count; ++i) hash = HashStep(hash, numbers[i]);
  return HashEnd(hash);
}

// The hash of the bytes of `bytes`, eight at a time.
inline std::uint64_t HashBytes(std::string_view bytes) {
  auto load64 = [](const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
  };
  auto load32 = [](const char* at) {
    std::uint32_t word;
    std::memcpy(&word, at, sizeof word);
    return std::uint64_t{word};
  };
  const char* at = bytes.data();
  const std::size_t size = bytes.size();
  // The size goes in first: the short forms below read some bytes twice, which only the size
  // tells apart.
  std::uint64_t hash = HashStep(kHashStart, size);
  if (size >= 8) {
    std::size_t done = 0;
    for (; done + 8 <= size; done += 8) hash = HashStep(hash, load64(at + done));
    if (done < size) hash = HashStep(hash, load64(at + size - 8));
  } else if (size >= 4) {
    hash = HashStep(hash, load32(at) << 32 | load32(at + size - 4));
  } else if (size > 0) {
    // First, middle and last byte: all three of up to three bytes.
    hash = HashStep(hash, std::uint64_t{static_cast<unsigned char>(at[0])} << 16 |
                              std::uint64_t{static_cast<unsigned char>(at[size / 2])} << 8 |
                              static_cast<unsigned char>(at[size - 1]));
  }
  return HashEnd(hash);
}

}  // namespace cubemill
