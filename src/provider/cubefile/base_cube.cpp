#include "provider/cubefile/base_cube.h"

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "provider/cubefile/cube_file_layout.h"
#include "provider/cubefile/cube_reader.h"

namespace cubemill::provider::cubefile {
namespace {

constexpr char kSource[] = "cube file";

struct DatabaseCloser {
  void operator()(sqlite3* database) const { sqlite3_close_v2(database); }
};
struct StatementCloser {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

// A second, read-only handle on the file for what CubeReader does not return: the typed keys
// and the `cube` row.
class RawFile {
 public:
  std::optional<Error> Open(const std::string& path) {
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    database_.reset(raw);
    if (opened != SQLITE_OK) return Failure("opening it");
    return std::nullopt;
  }

  // Runs `sql` and calls `on_row` for each row; returns the failure.
  std::optional<Error> ForEachRow(const char* sql,
                                  const std::function<void(sqlite3_stmt*)>& on_row) const {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(database_.get(), sql, -1, &raw, nullptr) != SQLITE_OK)
      return Failure("reading it");
    std::unique_ptr<sqlite3_stmt, StatementCloser> statement(raw);
    int step;
    while ((step = sqlite3_step(raw)) == SQLITE_ROW) on_row(raw);
    if (step != SQLITE_DONE) return Failure("reading it");
    return std::nullopt;
  }

 private:
  Error Failure(const std::string& doing) const {
    return Error{doing + ": " + sqlite3_errmsg(database_.get()), 0, kSource};
  }
  std::unique_ptr<sqlite3, DatabaseCloser> database_;
};

std::string Text(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text == nullptr
             ? std::string()
             : std::string(reinterpret_cast<const char*>(text),
                           static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

// A column's value as the member key (or watermark) it was written from.
aggregate::MemberKey KeyOf(sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
      return std::int64_t{sqlite3_column_int64(statement, column)};
    case SQLITE_FLOAT:
      return sqlite3_column_double(statement, column);
    case SQLITE_NULL:
      return std::monostate{};
    default:
      return Text(statement, column);
  }
}

aggregate::CellValue SeedValue(const CellValue& stored) {
  aggregate::CellValue value;
  switch (stored.kind) {
    case CellValue::Kind::kNull:
      break;
    case CellValue::Kind::kInteger:
      value.state = aggregate::CellState::kInteger;
      value.integer = stored.integer;
      break;
    case CellValue::Kind::kReal:
      value.state = aggregate::CellState::kReal;
      value.real = stored.real;
      value.rest = stored.rest;
      break;
  }
  return value;
}

// The members of the catalog as seed members, their keys read again as stored.
std::optional<Error> ReadMembers(const CubeCatalog& catalog, const RawFile& file,
                                 aggregate::SeedCube& seed) {
  std::unordered_map<std::int64_t, std::size_t> coordinate;
  for (std::size_t h = 0; h < catalog.hierarchies.size(); ++h)
    coordinate[catalog.hierarchies[h].id] = h;
  std::unordered_map<std::int64_t, const StoredLevel*> levels;
  for (const StoredLevel& level : catalog.levels) levels[level.id] = &level;
  seed.members.resize(catalog.members.size());
  for (std::size_t i = 0; i < catalog.members.size(); ++i) {
    const StoredMember& stored = catalog.members[i];
    const StoredLevel* level = levels.at(stored.level);
    if (stored.id != static_cast<std::int64_t>(i + 1) || level->ordinal < 1)
      return Error{"damaged cube file (member " + std::to_string(stored.id) + ")", 0, kSource};
    aggregate::SeedMember& member = seed.members[i];
    member.parent = stored.parent;
    member.hierarchy = coordinate.at(level->hierarchy);
    member.level = static_cast<std::size_t>(level->ordinal - 1);
    member.name = stored.name;
  }
  return file.ForEachRow("SELECT id, key FROM members ORDER BY id", [&](sqlite3_stmt* s) {
    const std::int64_t id = sqlite3_column_int64(s, 0);
    if (id >= 1 && static_cast<std::size_t>(id) <= seed.members.size())
      seed.members[static_cast<std::size_t>(id - 1)].key = KeyOf(s, 1);
  });
}

}  // namespace

Result<BaseCube> ReadBaseCube(const std::string& path) {
  auto reader = CubeReader::Open(path);
  if (!reader) return reader.error();
  const CubeCatalog& catalog = (*reader)->Catalog();
  RawFile file;
  if (auto error = file.Open(path)) return *error;
  std::int64_t version = 0;
  if (auto error = file.ForEachRow("PRAGMA user_version",
                                   [&](sqlite3_stmt* s) { version = sqlite3_column_int64(s, 0); }))
    return *error;
  if (version != kCubeFileFormatVersion) {
    return Error{"its format version is " + std::to_string(version) + ", not " +
                     std::to_string(kCubeFileFormatVersion),
                 0, kSource};
  }
  BaseCube base;
  if (auto error = file.ForEachRow(
          "SELECT create_cube, insert_into, refresh_column, watermark, source_rows FROM cube",
          [&](sqlite3_stmt* s) {
            base.create_cube = Text(s, 0);
            base.insert_into = Text(s, 1);
            base.refresh_column = Text(s, 2);
            base.watermark = KeyOf(s, 3);
            base.seed.source_rows = sqlite3_column_int64(s, 4);
          })) {
    return *error;
  }
  if (auto error = file.ForEachRow("SELECT text FROM warnings ORDER BY id", [&](sqlite3_stmt* s) {
        base.seed.warnings.push_back(Text(s, 0));
      })) {
    return *error;
  }
  for (const StoredMeasure& measure : catalog.measures)
    base.seed.decimals.push_back(measure.decimals);
  if (auto error = ReadMembers(catalog, file, base.seed)) return *error;
  // The cells stay in the file until the builder takes them, one at a time: a copy of them all
  // would take as much memory again as the builder's and the time to fill it.
  base.seed.cell_count = catalog.cell_count;
  const std::size_t measures = catalog.measures.size();
  std::shared_ptr<const CubeReader> cells(std::move(*reader));
  base.seed.for_each_cell = [cells, measures](const aggregate::SeedCube::CellVisitor& visit) {
    std::vector<aggregate::CellValue> values(measures);
    return cells->ForEachCell(std::string(kCellsTable),
                              [&](const std::int64_t* members, const CellValue* stored) {
                                for (std::size_t m = 0; m < measures; ++m)
                                  values[m] = SeedValue(stored[m]);
                                return visit(members, values.data());
                              });
  };
  return base;
}

}  // namespace cubemill::provider::cubefile
