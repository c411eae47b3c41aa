// Streams source rows into the members of every level and the aggregated leaf cells of a cube.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "common/error.h"
#include "provider/aggregate/built_cube.h"
#include "provider/aggregate/cube_seed.h"
#include "provider/cube_schema.h"
#include "provider/row_source.h"

namespace cubemill::provider::aggregate {

// What each row given to a CubeBuilder stands for.
enum class RowShape {
  kSourceRows,   // one row of the SELECT each
  kGroupedRows,  // one group of the SELECT's rows each, as the source grouped them (the
                 // statement connection::GroupedSelect makes): the measures' SUM, COUNT, MIN or
                 // MAX over the group, and one more column, the group's number of rows
};

// Builds one cube in one pass over the source rows. Memory grows with the distinct members and
// leaf cells, never with the number of rows.
class CubeBuilder {
 public:
  // Prepares a build of `schema` whose SELECT columns feed it as `insert`, as ParseInsertInto
  // returned it for `schema`, says (see PlanColumns; both are copied), from rows of `shape`. A
  // level below ALL or a measure that no column feeds is reported by the first AddRow or Finish.
  CubeBuilder(const CubeSchema& schema, const InsertInto& insert,
              RowShape shape = RowShape::kSourceRows);
  ~CubeBuilder();
  CubeBuilder(CubeBuilder&&) noexcept;
  CubeBuilder& operator=(CubeBuilder&&) noexcept;

  // Returns how the source should deliver each column: kInteger or kReal for a SUM, MIN or MAX
  // measure whose TYPE says so, kDateTime for a column feeding a TIME dimension, kAny otherwise;
  // for grouped rows also kInteger for a COUNT and for the closing count of rows.
  std::vector<ColumnHint> Hints() const;

  // Takes the scale the source declares for each of its columns (the digits after the point of a
  // DECIMAL or NUMERIC column; nothing for the others): a SUM, MIN or MAX measure fed by a column
  // with one is shown with that many decimals, rather than as many as its values show. Call it
  // before the first row, for source rows only (a group's sums are another column's).
  void DeclareScales(const std::vector<std::optional<int>>& scales);

  // Takes the members, cells, row count, warnings and decimals of a cube built before from the
  // same statements (an incremental refresh's base), after DeclareScales and before the first
  // row: the rows that follow merge into them as if they came after the base's own rows.
  // Returns an error when the seed does not fit the schema (a member of a level it lacks, a cell
  // of unknown members); the build cannot go on after one.
  std::optional<Error> Seed(const SeedCube& seed);

  // After a Seed: a new member of a level fed by columns, under a parent fed by columns, whose key
  // the seed has under another parent, described (its parent may have changed, which would
  // change the base's rows too); "" when there is none (MemberIndex::MovedMember).
  std::string MovedMember() const;

  // Adds the next row (one value per SELECT column, and the count of rows after them for grouped
  // rows). A group's SUM, MIN and MAX are merged as values of one row are, its COUNT is added,
  // and a count of 0 adds no value. Returns an error naming the row (1-based), the column and
  // the value when a value cannot be converted, or a UNIQUE level sees one key under two
  // parents; the build cannot go on after an error.
  std::optional<Error> AddRow(const std::vector<Value>& row);

  // Number of rows given to AddRow so far (groups, for grouped rows).
  std::int64_t RowCount() const;

  // Orders the members, assigns their ids and returns the cube. The builder is spent after it.
  Result<BuiltCube> Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace cubemill::provider::aggregate
