// The builder's table of byte strings: every key is found by all its bytes.
#include "provider/aggregate/key_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace cubemill::provider::aggregate {
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
    const auto number = static_cast<std::uint32_t>(i + 1);
    ASSERT_EQ(table.Find(keys[i], KeyTable::Hash(keys[i])), 0u) << i;
    table.Add(keys[i], KeyTable::Hash(keys[i]), number);
  }
  EXPECT_EQ(table.size(), keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    ASSERT_EQ(table.Find(keys[i], KeyTable::Hash(keys[i])), i + 1) << i;
  }
  const std::string missing = "Produkt-Kategorie 1/";
  EXPECT_EQ(table.Find(missing, KeyTable::Hash(missing)), 0u);
}

}  // namespace
}  // namespace cubemill::provider::aggregate
