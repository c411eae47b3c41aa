// The builder's work per row allocates nothing once the row's members and cell exist: this
// program counts every allocation made through operator new.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "provider/aggregate/cube_builder.h"
#include "provider/aggregate/cube_fixtures.h"

namespace {

std::atomic<long> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
// GCC takes the free() in a replaced operator delete for a mismatch with operator new.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace cubemill::provider::aggregate {
namespace {

using namespace provider::test;  // NOLINT

TEST(RowAllocationTest, RowsOfKnownMembersAllocateNothing) {
  CubeSchema schema;
  schema.dimensions.push_back(MakeDimension(
      "Time",
      {AllLevel("All"), MakeLevel("Year", LevelType::kYear),
       MakeLevel("Quarter", LevelType::kQuarter), MakeLevel("Month", LevelType::kMonth)},
      /*is_time=*/true));
  schema.dimensions.push_back(MakeDimension("Store", {MakeLevel("Country"), MakeLevel("City")}));
  schema.dimensions.push_back(MakeDimension("Product", {MakeLevel("Item")}));
  schema.measures = {
      MakeMeasure("Amount"), MakeMeasure("Price", AggregateFunction::kSum, "DBTYPE_R8"),
      MakeMeasure("Orders", AggregateFunction::kCount),
      MakeMeasure("Least", AggregateFunction::kMin), MakeMeasure("Most", AggregateFunction::kMax)};
  const InsertInto insert = MakeInsert(
      "X", {TimeColumn(0, kAllHierarchies, "Time"), LevelColumn(1, 0, 0, "Country"),
            LevelColumn(1, 0, 1, "City"), KeyColumn(2, 0, 0, "Item.KEY"),
            NameColumn(2, 0, 0, "Item.NAME"), MeasureColumn(0, "Amount"), MeasureColumn(1, "Price"),
            MeasureColumn(2, "Orders"), MeasureColumn(3, "Least"), MeasureColumn(4, "Most")});
  // Names longer than a string keeps in itself, one city name under several countries.
  std::vector<std::string> countries, cities, items;
  for (int i = 0; i < 4; ++i) countries.push_back("Country number " + std::to_string(i));
  for (int i = 0; i < 6; ++i) cities.push_back("A city with a long name " + std::to_string(i));
  for (int i = 0; i < 5; ++i) items.push_back("Item " + std::to_string(i));
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 600; ++i) {
    const Value date = i % 7 == 0 ? kNull : Value{Date{2020 + i % 3, 1u + i % 12, 1u + i % 28}};
    const Value city = i % 11 == 0 ? kNull : Value{std::string_view(cities[i % 6])};
    rows.push_back({date, std::string_view(countries[i % 4]), city, Int(i % 5),
                    std::string_view(items[i % 5]), i % 13 == 0 ? kNull : Int(i), Value{i * 0.25},
                    Int(1), Int(i % 17), Value{i * 1.5}});
  }
  CubeBuilder builder(schema, insert);
  for (const auto& row : rows) ASSERT_FALSE(builder.AddRow(row).has_value());

  // The same rows again, in runs and shuffled, so that both the remembered values and the
  // lookups are used.
  std::vector<std::vector<Value>> again = rows;
  std::shuffle(again.begin(), again.end(), std::mt19937(7));
  again.insert(again.end(), rows.begin(), rows.end());
  bool failed = false;
  const long before = allocations.load();
  for (const auto& row : again) failed = builder.AddRow(row).has_value() || failed;
  const long during = allocations.load() - before;
  EXPECT_FALSE(failed);
  EXPECT_EQ(during, 0);
  EXPECT_TRUE(builder.Finish().ok());
}

}  // namespace
}  // namespace cubemill::provider::aggregate
