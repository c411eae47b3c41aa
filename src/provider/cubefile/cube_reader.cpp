#include "provider/cubefile/cube_reader.h"

#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <unordered_set>

#include "platform/ascii_text.h"
#include "platform/text_file.h"
#include "provider/cubefile/cube_file_layout.h"

namespace cubemill::provider::cubefile {

namespace {

constexpr char kSource[] = "cube file";

struct StatementCloser {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using ReadStatement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

std::string Text(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text == nullptr
             ? std::string()
             : std::string(reinterpret_cast<const char*>(text),
                           static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

}  // namespace

struct CubeReader::Handle {
  sqlite3* database = nullptr;
  ~Handle() { sqlite3_close_v2(database); }

  Error Failure(const std::string& doing) const {
    return Error{doing + ": " + sqlite3_errmsg(database), 0, kSource};
  }

  // Runs `sql` and calls `on_row` for each row; returns the failure.
  std::optional<Error> ForEachRow(const std::string& sql,
                                  const std::function<void(sqlite3_stmt*)>& on_row) const {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(database, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
      return Failure("reading the cube file");
    ReadStatement statement(raw);
    int step;
    while ((step = sqlite3_step(raw)) == SQLITE_ROW) on_row(raw);
    if (step != SQLITE_DONE) return Failure("reading the cube file");
    return std::nullopt;
  }

  // Whether the file has a table `name`; false also when it cannot be read.
  bool HasTable(std::string_view name) const {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(database,
                           "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", -1,
                           &raw, nullptr) != SQLITE_OK) {
      return false;
    }
    ReadStatement statement(raw);
    sqlite3_bind_text(raw, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    return sqlite3_step(raw) == SQLITE_ROW;
  }

  // Fails unless the file is a SQLite database whose application id is that of a cube file (or
  // unset) and whose format version is one this program reads.
  std::optional<Error> CheckFormat() const {
    std::int64_t application_id = 0;
    std::int64_t version = 0;
    auto error = ForEachRow("PRAGMA application_id",
                            [&](sqlite3_stmt* s) { application_id = sqlite3_column_int64(s, 0); });
    if (!error) {
      error = ForEachRow("PRAGMA user_version",
                         [&](sqlite3_stmt* s) { version = sqlite3_column_int64(s, 0); });
    }
    if (error)
      return Error{"not a cube file (" + std::string(sqlite3_errmsg(database)) + ")", 0, kSource};
    if (application_id != 0 && application_id != kCubeFileApplicationId) {
      return Error{"not a cube file (its application id is " + std::to_string(application_id) +
                       ", a cube file's is " + std::to_string(kCubeFileApplicationId) + ")",
                   0, kSource};
    }
    // A file that carries the cube's id also carries its version, which starts at 1.
    if (version < 0 || (version == 0 && application_id == kCubeFileApplicationId)) {
      return Error{"damaged cube file (its format version reads " + std::to_string(version) +
                       "; a cube file's is 1 to " + std::to_string(kCubeFileFormatVersion) + ")",
                   0, kSource};
    }
    if (version > kCubeFileFormatVersion) {
      return Error{"cube file format version " + std::to_string(version) +
                       " is newer than this program reads (" +
                       std::to_string(kCubeFileFormatVersion) + "); use a newer Cubemill",
                   0, kSource};
    }
    return std::nullopt;
  }

  // Fails when the file is shorter than its own header says: a copy or a transfer cut short,
  // which SQLite would otherwise find only on reading the missing pages, if ever.
  std::optional<Error> CheckLength(const std::string& path) const {
    std::int64_t pages = 0;
    std::int64_t page_size = 0;
    auto error = ForEachRow("PRAGMA page_count",
                            [&](sqlite3_stmt* s) { pages = sqlite3_column_int64(s, 0); });
    if (!error) {
      error = ForEachRow("PRAGMA page_size",
                         [&](sqlite3_stmt* s) { page_size = sqlite3_column_int64(s, 0); });
    }
    if (error) return error;
    std::error_code size_error;
    const auto length = std::filesystem::file_size(path, size_error);
    const auto expected = static_cast<std::uintmax_t>(pages * page_size);
    if (!size_error && length < expected) {
      return Error{"damaged cube file (cut short: " + std::to_string(length) + " of its " +
                       std::to_string(expected) + " bytes)",
                   0, kSource};
    }
    return std::nullopt;
  }

  bool HasColumn(const std::string& table, const std::string& column) const {
    bool found = false;
    ForEachRow("PRAGMA table_info(" + QuoteIdentifier(table) + ")", [&](sqlite3_stmt* s) {
      if (Text(s, 1) == column) found = true;
    });
    return found;
  }
};

namespace {

// Whether the catalog's rows refer to one another as a cube file's do: a hierarchy to its
// dimension, a level to its hierarchy, a member to its level and parent, a rollup to its levels.
// A file whose metadata was changed by hand fails here, not with an out-of-range lookup later.
std::optional<Error> CheckCatalog(const CubeCatalog& c) {
  const auto damaged = [](const std::string& what) {
    return Error{"damaged cube file (" + what + ")", 0, kSource};
  };
  std::unordered_set<std::int64_t> dimensions, hierarchies, levels, members;
  for (const auto& d : c.dimensions) dimensions.insert(d.id);
  for (const auto& h : c.hierarchies) {
    if (dimensions.count(h.dimension) == 0)
      return damaged("hierarchy " + std::to_string(h.id) + " names no dimension of the file");
    hierarchies.insert(h.id);
  }
  if (c.levels.empty()) return damaged("no levels");
  for (const auto& l : c.levels) {
    if (hierarchies.count(l.hierarchy) == 0)
      return damaged("level " + std::to_string(l.id) + " names no hierarchy of the file");
    levels.insert(l.id);
  }
  for (const auto& m : c.members) {
    if (levels.count(m.level) == 0)
      return damaged("member " + std::to_string(m.id) + " names no level of the file");
    members.insert(m.id);
  }
  for (const auto& m : c.members) {
    if (m.parent != 0 && members.count(m.parent) == 0)
      return damaged("member " + std::to_string(m.id) + " names no parent of the file");
  }
  for (const auto& r : c.rollups) {
    for (std::int64_t level : r.levels) {
      if (levels.count(level) == 0)
        return damaged("rollup " + std::to_string(r.id) + " names no level of the file");
    }
  }
  return std::nullopt;
}

}  // namespace

CubeReader::CubeReader(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
CubeReader::~CubeReader() = default;

Result<std::unique_ptr<CubeReader>> CubeReader::Open(const std::string& path) {
  if (path.empty()) return Error{"no cube file named (the path is empty)", 0, kSource};
  // Only a regular file: SQLite would wait for ever on a FIFO and call a folder an I/O error.
  if (auto kind = platform::NotARegularFile(path)) {
    return Error{"cannot open the cube file " + path + ": " + *kind, 0, kSource};
  }
  auto handle = std::make_unique<Handle>();
  const int opened = sqlite3_open_v2(path.c_str(), &handle->database,
                                     SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  if (opened != SQLITE_OK) {
    const std::string reason =
        handle->database != nullptr ? sqlite3_errmsg(handle->database) : sqlite3_errstr(opened);
    return Error{"cannot open the cube file " + path + ": " + reason, 0, kSource};
  }
  std::unique_ptr<CubeReader> reader(new CubeReader(std::move(handle)));
  auto error = reader->handle_->CheckFormat();
  if (!error) error = reader->handle_->CheckLength(path);
  if (!error) error = reader->ReadCatalog();
  if (!error) error = CheckCatalog(reader->catalog_);
  if (error) {
    error->description = path + ": " + error->description;
    return *error;
  }
  return reader;
}

bool CubeReader::HasTable(std::string_view name) const { return handle_->HasTable(name); }

std::optional<Error> CubeReader::ReadCatalog() {
  const Handle& db = *handle_;
  for (std::string_view table : kCubeFileTables) {
    if (!db.HasTable(table))
      return Error{"not a cube file (no table " + std::string(table) + ")", 0, kSource};
  }
  CubeCatalog& c = catalog_;
  std::optional<Error> error;
  const auto run = [&](const std::string& sql, const std::function<void(sqlite3_stmt*)>& on_row) {
    if (!error) error = db.ForEachRow(sql, on_row);
  };
  run("SELECT name, cell_count FROM cube", [&](sqlite3_stmt* s) {
    c.name = Text(s, 0);
    c.cell_count = sqlite3_column_int64(s, 1);
  });
  const std::string is_time_column = db.HasColumn("dimensions", "is_time") ? "is_time" : "0";
  run("SELECT id, name, " + is_time_column + " FROM dimensions ORDER BY id", [&](sqlite3_stmt* s) {
    c.dimensions.push_back({sqlite3_column_int64(s, 0), Text(s, 1), sqlite3_column_int(s, 2) != 0});
  });
  run("SELECT id, dimension, name FROM hierarchies ORDER BY id", [&](sqlite3_stmt* s) {
    c.hierarchies.push_back({sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1), Text(s, 2)});
  });
  run("SELECT id, hierarchy, ordinal, name, type FROM levels ORDER BY id", [&](sqlite3_stmt* s) {
    c.levels.push_back({sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1),
                        sqlite3_column_int(s, 2), Text(s, 3), Text(s, 4) == "ALL", Text(s, 4)});
  });
  // Files written before measures had a format lack the column: their measures have none.
  const std::string format_column = db.HasColumn("measures", "format") ? "format" : "''";
  // Files before version 3 do not say how many decimals a measure shows.
  const std::string decimals_column = db.HasColumn("measures", "decimals") ? "decimals" : "NULL";
  run("SELECT id, name, function, " + format_column + ", " + decimals_column +
          " FROM measures ORDER BY id",
      [&](sqlite3_stmt* s) {
        StoredMeasure measure{sqlite3_column_int64(s, 0), Text(s, 1), Text(s, 2), Text(s, 3),
                              std::nullopt};
        const sqlite3_int64 decimals = sqlite3_column_int64(s, 4);
        if (sqlite3_column_type(s, 4) == SQLITE_INTEGER && decimals >= 0 &&
            decimals <= kMaxMeasureDecimals)
          measure.decimals = static_cast<int>(decimals);
        c.measures.push_back(std::move(measure));
      });
  run("SELECT id, level, parent, key, name, position FROM members ORDER BY id",
      [&](sqlite3_stmt* s) {
        StoredMember m{sqlite3_column_int64(s, 0),
                       sqlite3_column_int64(s, 1),
                       sqlite3_column_int64(s, 2),
                       std::nullopt,
                       Text(s, 4),
                       sqlite3_column_int64(s, 5)};
        if (sqlite3_column_type(s, 3) != SQLITE_NULL) m.key = Text(s, 3);
        c.members.push_back(std::move(m));
      });
  if (!error && db.HasTable(kRollupsTable) && db.HasTable(kRollupLevelsTable)) {
    run("SELECT id, table_name, cell_count FROM rollups ORDER BY id", [&](sqlite3_stmt* s) {
      c.rollups.push_back({sqlite3_column_int64(s, 0), Text(s, 1), sqlite3_column_int64(s, 2), {}});
    });
    for (StoredRollup& rollup : c.rollups) {
      run("SELECT level FROM rollup_levels WHERE rollup = " + std::to_string(rollup.id) +
              " ORDER BY hierarchy",
          [&](sqlite3_stmt* s) { rollup.levels.push_back(sqlite3_column_int64(s, 0)); });
    }
  }
  return error;
}

std::optional<Error> CubeReader::ForEachCell(const std::string& table,
                                             const CellVisitor& on_cell) const {
  const std::size_t hierarchies = catalog_.hierarchies.size();
  const std::size_t measures = catalog_.measures.size();
  std::string sql = "SELECT ";
  for (std::size_t h = 1; h <= hierarchies; ++h) sql += HierarchyColumn(h) + ", ";
  for (std::size_t m = 1; m <= measures; ++m) sql += MeasureColumn(m) + ", ";
  // The rests of the real sums, where the table has them (files before format version 3 do not).
  std::vector<std::size_t> rests;  // the measures, counted from 0
  for (std::size_t m = 0; m < measures; ++m) {
    if (platform::EqualsIgnoringCase(catalog_.measures[m].function, "SUM") &&
        handle_->HasColumn(table, RestColumn(m + 1))) {
      sql += RestColumn(m + 1) + ", ";
      rests.push_back(m);
    }
  }
  sql += "id FROM " + QuoteIdentifier(table) + " ORDER BY id";
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(handle_->database, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
    return handle_->Failure("reading the cube file");
  ReadStatement statement(raw);
  // One row at a time into these, reused: the table is never held in memory.
  std::vector<std::int64_t> members(hierarchies);
  std::vector<CellValue> values(measures);
  int step;
  while ((step = sqlite3_step(raw)) == SQLITE_ROW) {
    for (std::size_t h = 0; h < hierarchies; ++h)
      members[h] = sqlite3_column_int64(raw, static_cast<int>(h));
    for (std::size_t m = 0; m < measures; ++m) {
      const int column = static_cast<int>(hierarchies + m);
      CellValue& value = values[m];
      value = CellValue{};
      switch (sqlite3_column_type(raw, column)) {
        case SQLITE_INTEGER:
          value.kind = CellValue::Kind::kInteger;
          value.integer = sqlite3_column_int64(raw, column);
          break;
        case SQLITE_NULL:
          break;
        default:
          value.kind = CellValue::Kind::kReal;
          value.real = sqlite3_column_double(raw, column);
      }
    }
    for (std::size_t r = 0; r < rests.size(); ++r) {
      CellValue& value = values[rests[r]];
      const int column = static_cast<int>(hierarchies + measures + r);
      if (value.kind == CellValue::Kind::kReal && sqlite3_column_type(raw, column) != SQLITE_NULL)
        value.rest = sqlite3_column_double(raw, column);
    }
    if (!on_cell(members.data(), values.data())) return std::nullopt;
  }
  if (step != SQLITE_DONE) return handle_->Failure("reading the cube file");
  return std::nullopt;
}

Result<CellRows> CubeReader::ReadCells(const std::string& table) const {
  const std::size_t hierarchies = catalog_.hierarchies.size();
  const std::size_t measures = catalog_.measures.size();
  CellRows rows;
  auto error = ForEachCell(table, [&](const std::int64_t* members, const CellValue* values) {
    rows.members.emplace_back(members, members + hierarchies);
    rows.values.emplace_back(values, values + measures);
    return true;
  });
  if (error) return *error;
  return rows;
}

}  // namespace cubemill::provider::cubefile
