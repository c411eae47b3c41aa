// The one hash table and its mixer: every key added is found again with its own number, through
// growth, collisions, clearing and keys that differ in one byte or one number.
#include "common/hash_slots.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "common/hash_mix.h"

namespace cubemill {
namespace {

// Entries of one number each, kept as the table's users keep theirs; `hash` may be a poor one,
// to force collisions.
struct NumberSet {
  explicit NumberSet(std::uint64_t (*hash_fn)(std::uint64_t) = HashWord) : hash(hash_fn) {}

  auto HashOf() {
    return [this](std::size_t entry) { return hash(keys[entry]); };
  }
  std::size_t FindOrAdd(std::uint64_t key) {
    const std::uint64_t h = hash(key);
    const HashSlots::Probe probe =
        slots.Find(h, [&](std::size_t entry) { return keys[entry] == key; });
    if (probe.entry != HashSlots::kNone) return probe.entry;
    keys.push_back(key);
    return slots.Add(probe, h, HashOf());
  }
  std::size_t Find(std::uint64_t key) const {
    return slots.Find(hash(key), [&](std::size_t entry) { return keys[entry] == key; }).entry;
  }
  void Clear() {
    slots.Clear(HashOf());
    keys.clear();
  }

  std::uint64_t (*hash)(std::uint64_t);
  HashSlots slots;
  std::vector<std::uint64_t> keys;
};

TEST(HashSlotsTest, NumbersKeysInOrderOfAdditionThroughEveryGrowth) {
  NumberSet set;
  constexpr std::uint64_t kKeys = 100000;
  for (std::uint64_t key = 0; key < kKeys; ++key) {
    // Keys spread out and clustered alike: multiples of a power of two collide in low bits.
    ASSERT_EQ(set.FindOrAdd(key << 20), key);
    ASSERT_EQ(set.FindOrAdd(key << 20), key);  // found at once, not added twice
  }
  EXPECT_EQ(set.slots.size(), kKeys);
  for (std::uint64_t key = 0; key < kKeys; ++key) ASSERT_EQ(set.Find(key << 20), key);
  EXPECT_EQ(set.Find(kKeys << 20), HashSlots::kNone);
  EXPECT_EQ(set.Find(1), HashSlots::kNone);
}

TEST(HashSlotsTest, KeysOfOneHashAreToldApartByTheirEntries) {
  // Every key the same hash: same home slot and same tag, one long probe run.
  NumberSet same([](std::uint64_t) { return std::uint64_t{0x1234'5678'9ABC'DEF0}; });
  for (std::uint64_t key = 0; key < 500; ++key) ASSERT_EQ(same.FindOrAdd(key * 7), key);
  for (std::uint64_t key = 0; key < 500; ++key) ASSERT_EQ(same.Find(key * 7), key);
  EXPECT_EQ(same.Find(3), HashSlots::kNone);

  // One tag, different homes; and one home, different tags.
  NumberSet tag_only([](std::uint64_t key) { return key << 40 | 0x77; });
  NumberSet home_only([](std::uint64_t key) { return key & 0xFFFFFFFF; });
  for (std::uint64_t key = 0; key < 3000; ++key) {
    ASSERT_EQ(tag_only.FindOrAdd(key), key);
    ASSERT_EQ(home_only.FindOrAdd(key), key);
  }
  for (std::uint64_t key = 0; key < 3000; ++key) {
    ASSERT_EQ(tag_only.Find(key), key);
    ASSERT_EQ(home_only.Find(key), key);
  }
}

TEST(HashSlotsTest, ClearingForgetsEveryKeyWhetherTheTableIsFullOrNearlyEmpty) {
  NumberSet set;
  // A large table first, then runs of few keys in it: those are cleared slot by slot, and a
  // slot left behind would be found by the next run.
  for (std::uint64_t key = 0; key < 5000; ++key) set.FindOrAdd(key);
  set.Clear();
  EXPECT_EQ(set.slots.size(), 0u);
  EXPECT_EQ(set.Find(17), HashSlots::kNone);
  for (std::uint64_t run = 0; run < 200; ++run) {
    const std::uint64_t first = run * 1000;
    for (std::uint64_t key = first; key < first + 1 + run % 37; ++key) {
      ASSERT_EQ(set.FindOrAdd(key), key - first);
    }
    set.Clear();
    for (std::uint64_t key = first; key < first + 1 + run % 37; ++key) {
      ASSERT_EQ(set.Find(key), HashSlots::kNone) << key;
    }
  }
  // Keys of one hash, cleared from a large table: their probe run must come apart whole.
  NumberSet same([](std::uint64_t) { return std::uint64_t{42}; });
  for (std::uint64_t key = 0; key < 2000; ++key) same.FindOrAdd(key);
  same.Clear();
  for (int round = 0; round < 3; ++round) {
    for (std::uint64_t key = 0; key < 20; ++key) ASSERT_EQ(same.FindOrAdd(key + 100), key);
    same.Clear();
    for (std::uint64_t key = 0; key < 20; ++key) ASSERT_EQ(same.Find(key + 100), HashSlots::kNone);
  }
}

TEST(HashSlotsTest, TakenMemoryLeavesAnEmptyTableThatWorks) {
  NumberSet set;
  for (std::uint64_t key = 0; key < 3000; ++key) set.FindOrAdd(key);
  const std::vector<std::uint64_t> memory = set.slots.TakeMemory();
  EXPECT_TRUE(memory.empty());
  EXPECT_GE(memory.capacity(), 3000u);
  set.keys.clear();
  EXPECT_EQ(set.Find(5), HashSlots::kNone);
  for (std::uint64_t key = 0; key < 100; ++key) ASSERT_EQ(set.FindOrAdd(key + 9), key);
}

TEST(HashMixTest, KeysDifferingInOneByteOrOneNumberHashApart) {
  // Every length up to 40 (each of the short forms and the overlapping last word), each byte
  // position changed: no two hashes may agree, nor may a key agree with itself one byte longer
  // or with its bytes in another order.
  std::set<std::uint64_t> seen;
  std::size_t keys = 0;
  for (std::size_t size = 0; size <= 40; ++size) {
    std::string key(size, 'a');
    seen.insert(HashBytes(key));
    ++keys;
    for (std::size_t at = 0; at < size; ++at) {
      std::string changed = key;
      changed[at] = 'b';
      seen.insert(HashBytes(changed));
      changed[at] = '\0';
      seen.insert(HashBytes(changed));
      keys += 2;
    }
  }
  EXPECT_EQ(seen.size(), keys);
  EXPECT_NE(HashBytes("ab"), HashBytes("ba"));
  EXPECT_NE(HashBytes(std::string("\0", 1)), HashBytes(""));

  // Combinations of member numbers: the same numbers in another order, or one number moved
  // from one coordinate to the next, are other cells.
  const std::uint32_t a[] = {1, 2, 3}, b[] = {2, 1, 3}, c[] = {1, 2, 4}, d[] = {1, 2};
  EXPECT_NE(HashNumbers(a, 3), HashNumbers(b, 3));
  EXPECT_NE(HashNumbers(a, 3), HashNumbers(c, 3));
  EXPECT_NE(HashNumbers(a, 3), HashNumbers(d, 2));
  // Wide numbers (a query's tuples of ids) count every bit, the upper half too.
  const std::uint64_t low[] = {7, 1}, high[] = {7, 1 | std::uint64_t{1} << 40};
  EXPECT_NE(HashNumbers(low, 2), HashNumbers(high, 2));
}

TEST(HashMixTest, SmallNumbersSpreadOverTagsAndHomes) {
  // Member numbers are small and dense: their hashes must not share tags (the low half) or top
  // bits (the home slot) much more than random ones would.
  constexpr std::uint32_t kCount = 1 << 16;
  std::set<std::uint32_t> tags;
  std::vector<int> homes(1 << 12, 0);
  for (std::uint32_t i = 0; i < kCount; ++i) {
    const std::uint32_t pair[] = {i & 0xFF, i >> 8};
    const std::uint64_t hash = HashNumbers(pair, 2);
    tags.insert(static_cast<std::uint32_t>(hash));
    ++homes[hash >> 52];
  }
  EXPECT_GT(tags.size(), kCount - 8);            // 2^16 of 2^32 tags: about 0.5 repeats expected
  for (int count : homes) ASSERT_LT(count, 64);  // 16 expected per home
}

}  // namespace
}  // namespace cubemill
