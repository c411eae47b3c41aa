// The key table: every key keeps the id it was first given, through growth, with keys of bytes
// and keys of any number of numbers, and agrees with std::unordered_map over random operations.
#include "common/key_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace cubemill {
namespace {

TEST(KeyTableTest, FindsEveryKeyByItsBytesNotByItsPrefix) {
  KeyTable table;
  std::vector<std::string> keys;
  for (int i = 0; i < 20000; ++i) {
    // Keys sharing a long prefix, differing in the last byte only, and prefixes of each other.
    std::string key = "Produkt-Kategorie " + std::to_string(i / 200) + "/";
    key.push_back(static_cast<char>(i % 200));
    keys.push_back(key);
  }
  keys.push_back("");
  keys.push_back("Produkt-Kategorie 1");
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::uint64_t hash = KeyTable::Hash(keys[i]);
    ASSERT_EQ(table.Find(keys[i], hash), KeyTable::npos) << i;
    ASSERT_EQ(table.Insert(keys[i], hash), i);
    ASSERT_EQ(table.Insert(keys[i], hash), i);  // found, not added twice
  }
  EXPECT_EQ(table.Size(), keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    ASSERT_EQ(table.Find(keys[i], KeyTable::Hash(keys[i])), i) << i;
  }
  const std::string missing = "Produkt-Kategorie 1/";
  EXPECT_EQ(table.Find(missing, KeyTable::Hash(missing)), KeyTable::npos);
}

TEST(KeyTableTest, KeysOfEveryWidthKeepTheirIdsThroughEveryGrowth) {
  // From 16 slots, 5,000 keys grow the table nine times; sized for them, it never grows.
  const struct {
    std::size_t width;
    std::size_t expected;
  } cases[] = {{1, 0}, {2, 0}, {3, 5000}, {9, 0}, {9, 100}};
  for (const auto& c : cases) {
    KeyTable table(c.width, c.expected);
    std::vector<std::uint32_t> key(c.width);
    auto make = [&](std::uint32_t i) {
      // Keys alike but for their last number, all of them small numbers that a weak mix would
      // pile into few slots.
      for (std::size_t n = 0; n < c.width; ++n) key[n] = n + 1 == c.width ? i : i % 7;
      return key.data();
    };
    constexpr std::uint32_t kKeys = 5000;
    for (std::uint32_t i = 0; i < kKeys; ++i) {
      ASSERT_EQ(table.Find(make(i)), KeyTable::npos) << c.width << " " << i;
      ASSERT_EQ(table.Insert(make(i)), i) << c.width;
      ASSERT_EQ(table.Insert(make(i)), i) << c.width;
    }
    EXPECT_EQ(table.Size(), kKeys);
    for (std::uint32_t i = 0; i < kKeys; ++i) {
      ASSERT_EQ(table.Find(make(i)), i) << c.width;
      const std::uint32_t* held = table.KeyOf(i);
      ASSERT_EQ(std::vector<std::uint32_t>(held, held + c.width), key) << c.width;
    }
    EXPECT_EQ(table.Find(make(kKeys)), KeyTable::npos) << c.width;
  }
}

TEST(KeyTableTest, KeysOfNoNumbersAreOneKey) {
  // A query's tuple over no hierarchy: every such tuple is the same one.
  KeyTable table(0);
  EXPECT_EQ(table.Find(nullptr), KeyTable::npos);
  EXPECT_EQ(table.Insert(nullptr), 0u);
  EXPECT_EQ(table.Insert(nullptr), 0u);
  EXPECT_EQ(table.Find(nullptr), 0u);
  EXPECT_EQ(table.Size(), 1u);
}

TEST(KeyTableTest, AgreesWithAnUnorderedMapOverRandomOperations) {
  // Keys drawn from small ranges, so that lookups of held keys, of missing keys and additions
  // all happen often; every answer is checked against the map of the keys added so far.
  // Per width, a range of numbers that makes about 20,000 keys.
  const std::uint32_t ranges[] = {20000, 140, 27, 12};
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    std::mt19937 random(seed);
    const std::size_t width = seed;
    const std::uint32_t range = ranges[seed - 1];
    KeyTable numbers(width);
    KeyTable bytes;
    std::unordered_map<std::string, std::size_t> number_ids, byte_ids;
    std::vector<std::uint32_t> key(width);
    for (int step = 0; step < 40000; ++step) {
      const bool insert = random() % 2 == 0;
      for (std::uint32_t& n : key) n = static_cast<std::uint32_t>(random() % range);
      const std::string as_text(reinterpret_cast<const char*>(key.data()), width * 4);
      std::string text(random() % 6, 'x');
      for (char& ch : text) ch = static_cast<char>('a' + random() % 8);
      const std::uint64_t hash = KeyTable::Hash(text);

      auto number_at = number_ids.find(as_text);
      auto byte_at = byte_ids.find(text);
      if (insert) {
        if (number_at == number_ids.end())
          number_at = number_ids.emplace(as_text, number_ids.size()).first;
        if (byte_at == byte_ids.end()) byte_at = byte_ids.emplace(text, byte_ids.size()).first;
        ASSERT_EQ(numbers.Insert(key.data()), number_at->second) << seed << " " << step;
        ASSERT_EQ(bytes.Insert(text, hash), byte_at->second) << seed << " " << step;
      } else {
        ASSERT_EQ(numbers.Find(key.data()),
                  number_at == number_ids.end() ? KeyTable::npos : number_at->second)
            << seed << " " << step;
        ASSERT_EQ(bytes.Find(text, hash),
                  byte_at == byte_ids.end() ? KeyTable::npos : byte_at->second)
            << seed << " " << step;
      }
      ASSERT_EQ(numbers.Size(), number_ids.size());
      ASSERT_EQ(bytes.Size(), byte_ids.size());
    }
    for (const auto& [text, id] : number_ids) {
      const auto* held = reinterpret_cast<const char*>(numbers.KeyOf(id));
      ASSERT_EQ(std::string(held, width * 4), text) << seed << " " << id;
    }
  }
}

}  // namespace
}  // namespace cubemill
