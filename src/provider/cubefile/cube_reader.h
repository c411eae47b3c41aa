// Reads a cube file back into plain records: its dimensions, hierarchies, levels, measures and
// members, the stored rollups, and the cells of the leaf table or of one rollup.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"

namespace cubemill::provider::cubefile {

// One measure value of a cell: NULL, an integer or a real, as the file stores it.
// A measure's value in a cell table. A real sum carries in `rest` what `real` could not hold of
// the exact sum (0 for every other value, and for files older than the rest columns), so that
// sums of stored sums stay exact.
struct CellValue {
  enum class Kind { kNull, kInteger, kReal };
  Kind kind = Kind::kNull;
  std::int64_t integer = 0;
  double real = 0;
  double rest = 0;
  bool operator==(const CellValue&) const = default;
};

struct StoredDimension {
  std::int64_t id = 0;
  std::string name;
  bool is_time = false;  // declared TYPE TIME; false where the file does not say
  bool operator==(const StoredDimension&) const = default;
};

struct StoredHierarchy {
  std::int64_t id = 0;
  std::int64_t dimension = 0;
  std::string name;  // "" for the one unnamed hierarchy of a dimension
  bool operator==(const StoredHierarchy&) const = default;
};

struct StoredLevel {
  std::int64_t id = 0;
  std::int64_t hierarchy = 0;
  int ordinal = 0;  // 1 for the top level
  std::string name;
  bool is_all = false;
  std::string type;  // its TYPE as the file writes it: REGULAR, ALL, YEAR, QUARTER, MONTH...
  bool operator==(const StoredLevel&) const = default;
};

struct StoredMeasure {
  std::int64_t id = 0;
  std::string name;
  std::string function;  // SUM, COUNT, MIN or MAX
  std::string format;    // the FORMAT string for display; "" when none or not stored
  // The decimals its figures show by default (without a FORMAT): 0 to kMaxMeasureDecimals; nothing
  // when the file does not say (format versions 1 and 2) or says something else.
  std::optional<int> decimals;
  bool operator==(const StoredMeasure&) const = default;
};

struct StoredMember {
  std::int64_t id = 0;
  std::int64_t level = 0;
  std::int64_t parent = 0;         // 0 when the member has none
  std::optional<std::string> key;  // the key as text; nothing for a NULL key
  std::string name;
  std::int64_t position = 0;
  bool operator==(const StoredMember&) const = default;
};

// A stored rollup: its table, its cell count, and the level (levels.id) its column holds for
// each hierarchy, in hierarchy order.
struct StoredRollup {
  std::int64_t id = 0;
  std::string table;
  std::int64_t cell_count = 0;
  std::vector<std::int64_t> levels;
  bool operator==(const StoredRollup&) const = default;
};

// Everything of a cube file but its cells. Each list is in id order.
struct CubeCatalog {
  std::string name;
  std::int64_t cell_count = 0;
  std::vector<StoredDimension> dimensions;
  std::vector<StoredHierarchy> hierarchies;
  std::vector<StoredLevel> levels;
  std::vector<StoredMeasure> measures;
  std::vector<StoredMember> members;
  std::vector<StoredRollup> rollups;  // empty when the file has no rollups
};

// The rows of a cell table: members[i] holds the member of each hierarchy of row i (hierarchy
// order), values[i] each measure's value.
struct CellRows {
  std::vector<std::vector<std::int64_t>> members;
  std::vector<std::vector<CellValue>> values;
};

// An open cube file, read-only.
class CubeReader {
 public:
  // Opens the cube file at `path` and reads its catalog. Fails when the file is missing, is not
  // a SQLite database, has another application id or lacks the tables of a cube file ("not a
  // cube file"), or has a format version newer than kCubeFileFormatVersion.
  static Result<std::unique_ptr<CubeReader>> Open(const std::string& path);
  ~CubeReader();
  CubeReader(const CubeReader&) = delete;
  CubeReader& operator=(const CubeReader&) = delete;

  const CubeCatalog& Catalog() const { return catalog_; }
  // Whether the file has a table called `name` (compared as SQLite compares table names).
  bool HasTable(std::string_view name) const;
  // Reads every row of `table` ("cells" or a rollup's table named in the catalog).
  Result<CellRows> ReadCells(const std::string& table) const;
  // Called for each row of a cell table with the member id of each hierarchy and the value of
  // each measure (hierarchy and measure order); returns false to stop reading.
  using CellVisitor = std::function<bool(const std::int64_t* members, const CellValue* values)>;
  // Reads the rows of `table` one at a time, in id order, without holding them: calls
  // `on_cell` for each until it returns false. Returns the failure to read the table.
  std::optional<Error> ForEachCell(const std::string& table, const CellVisitor& on_cell) const;

 private:
  struct Handle;
  explicit CubeReader(std::unique_ptr<Handle> handle);
  std::optional<Error> ReadCatalog();

  std::unique_ptr<Handle> handle_;
  CubeCatalog catalog_;
};

}  // namespace cubemill::provider::cubefile
