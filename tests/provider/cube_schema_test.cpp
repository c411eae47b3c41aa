#include "provider/cube_schema.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace cubemill::provider {
namespace {

// Every value of each enum has one keyword of its own, so the cube file can tell them apart.
TEST(CubeSchemaTest, GivesEveryEnumValueOneKeyword) {
  std::set<std::string_view> level_words;
  for (int v = static_cast<int>(LevelType::kRegular); v <= static_cast<int>(LevelType::kSecond);
       ++v) {
    const std::string_view word = KeywordOf(kLevelTypeKeywords, static_cast<LevelType>(v));
    EXPECT_FALSE(word.empty()) << v;
    level_words.insert(word);
  }
  EXPECT_EQ(level_words.size(), std::size(kLevelTypeKeywords));
  std::set<std::string_view> function_words;
  for (AggregateFunction function : {AggregateFunction::kSum, AggregateFunction::kCount,
                                     AggregateFunction::kMin, AggregateFunction::kMax}) {
    function_words.insert(KeywordOf(kAggregateFunctionKeywords, function));
  }
  EXPECT_EQ(function_words.size(), 4u);
  EXPECT_FALSE(function_words.count(""));
  EXPECT_EQ(MemberOrderKeywordOf(MemberOrder::kByKey).file_word, "KEY");
  EXPECT_EQ(MemberOrderKeywordOf(MemberOrder::kByName).option, "SORTBYNAME");
}

}  // namespace
}  // namespace cubemill::provider
