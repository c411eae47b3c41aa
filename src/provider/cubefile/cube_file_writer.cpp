#include "provider/cubefile/cube_file_writer.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/durable_file.h"
#include "platform/text_file.h"
#include "provider/cubefile/cube_file_layout.h"
#include "provider/engine_error.h"
#include "provider/odbc_text/passwords.h"

namespace cubemill::provider::cubefile {
namespace {

// A failure inside the writer: what was being done and why it failed.
struct WriteFailure {
  std::string what;
};

std::string SystemMessage(int error_number) { return std::strerror(error_number); }

struct DatabaseCloser {
  void operator()(sqlite3* database) const { sqlite3_close(database); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Writes the tables of one cube into an open, empty database.
class TableWriter {
 public:
  TableWriter(sqlite3* database, const CubeSchema& schema, const BuiltCube& cube,
              const BuildInfo& info)
      : database_(database), schema_(schema), cube_(cube), info_(info) {}

  std::optional<WriteFailure> Write() {
    // The journal goes off first: the file is new and renamed into place only when complete, so
    // a journal would only be one more file that a killed writer leaves behind.
    const std::string header =
        "PRAGMA journal_mode = OFF;\n"
        "PRAGMA application_id = " +
        std::to_string(kCubeFileApplicationId) +
        ";\nPRAGMA user_version = " + std::to_string(kCubeFileFormatVersion) +
        ";\n"
        "PRAGMA synchronous = OFF;\n"
        "PRAGMA locking_mode = EXCLUSIVE;\n"
        "PRAGMA temp_store = MEMORY;\n"
        "PRAGMA cache_size = -65536;\n";
    if (!Execute(header)) return failure_;
    if (!Execute("BEGIN")) return failure_;
    if (!Execute(CubeTablesSql(schema_))) return failure_;
    if (!WriteMetadata() || !WriteMembers() || !WriteCells()) return failure_;
    if (!Execute(FlatViewSql(schema_))) return failure_;
    if (!Execute("COMMIT")) return failure_;
    return std::nullopt;
  }

 private:
  bool Fail(const std::string& doing) {
    failure_ = WriteFailure{doing + ": " + ErrorText(sqlite3_errmsg(database_))};
    return false;
  }

  // SQLite's message, followed by the system's when a system call failed underneath (so a
  // file-size limit reads "File too large", not only "disk I/O error").
  std::string ErrorText(const char* message) const {
    std::string text = message;
    const int code = sqlite3_extended_errcode(database_) & 0xff;
    const int system_error = sqlite3_system_errno(database_);
    if ((code == SQLITE_IOERR || code == SQLITE_FULL) && system_error != 0) {
      text += " (" + SystemMessage(system_error) + ")";
    }
    return text;
  }

  bool Execute(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(database_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      failure_ = WriteFailure{ErrorText(message != nullptr ? message : sqlite3_errmsg(database_))};
      sqlite3_free(message);
      return false;
    }
    return true;
  }

  bool Prepare(const std::string& sql, Statement& statement) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(database_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
      return Fail("preparing the cube file");
    }
    statement.reset(raw);
    return true;
  }

  // Runs a statement whose values are bound, then clears it for the next row.
  bool Step(sqlite3_stmt* statement, const char* doing) {
    if (sqlite3_step(statement) != SQLITE_DONE) return Fail(doing);
    sqlite3_reset(statement);
    return true;
  }

  static void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }

  bool WriteMetadata() {
    Statement statement;
    if (!Prepare("INSERT INTO cube VALUES (?, ?, ?, ?, ?, ?, ?, ?)", statement)) return false;
    const odbc_text::CleanConnection source = odbc_text::RemovePasswords(info_.source);
    BindText(statement.get(), 1, schema_.name);
    sqlite3_bind_int(statement.get(), 2, kCubeFileFormatVersion);
    BindText(statement.get(), 3, info_.built_at);
    BindText(statement.get(), 4, info_.create_cube);
    BindText(statement.get(), 5, info_.insert_into);
    BindText(statement.get(), 6, source.text);
    sqlite3_bind_int64(statement.get(), 7, info_.source_rows);
    sqlite3_bind_int64(statement.get(), 8, static_cast<sqlite3_int64>(cube_.cell_count));
    if (!Step(statement.get(), "writing the cube")) return false;

    Statement warnings;
    if (!Prepare("INSERT INTO warnings (text) VALUES (?)", warnings)) return false;
    for (const std::string& warning : cube_.warnings) {
      BindText(warnings.get(), 1, warning);
      if (!Step(warnings.get(), "writing the warnings")) return false;
    }
    if (source.shortened) {
      const std::string warning = kSourceShortenedWarning;  // bound without a copy
      BindText(warnings.get(), 1, warning);
      if (!Step(warnings.get(), "writing the warnings")) return false;
    }

    Statement dimensions, hierarchies, levels, measures;
    if (!Prepare("INSERT INTO dimensions VALUES (?, ?, ?, ?)", dimensions) ||
        !Prepare("INSERT INTO hierarchies VALUES (?, ?, ?, ?, ?)", hierarchies) ||
        !Prepare("INSERT INTO levels VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", levels) ||
        !Prepare("INSERT INTO measures VALUES (?, ?, ?, ?, ?, ?)", measures)) {
      return false;
    }
    int hierarchy_id = 0;
    int level_id = 0;
    for (std::size_t d = 0; d < schema_.dimensions.size(); ++d) {
      const Dimension& dimension = schema_.dimensions[d];
      sqlite3_bind_int64(dimensions.get(), 1, static_cast<sqlite3_int64>(d + 1));
      BindText(dimensions.get(), 2, dimension.name);
      sqlite3_bind_int(dimensions.get(), 3, dimension.is_time ? 1 : 0);
      sqlite3_bind_int(dimensions.get(), 4, dimension.named_hierarchies ? 1 : 0);
      if (!Step(dimensions.get(), "writing the dimensions")) return false;
      for (std::size_t h = 0; h < dimension.hierarchies.size(); ++h) {
        const Hierarchy& hierarchy = dimension.hierarchies[h];
        ++hierarchy_id;
        const std::string cell_column = "h" + std::to_string(hierarchy_id);
        sqlite3_bind_int(hierarchies.get(), 1, hierarchy_id);
        sqlite3_bind_int64(hierarchies.get(), 2, static_cast<sqlite3_int64>(d + 1));
        sqlite3_bind_int64(hierarchies.get(), 3, static_cast<sqlite3_int64>(h + 1));
        BindText(hierarchies.get(), 4, hierarchy.name);
        BindText(hierarchies.get(), 5, cell_column);
        if (!Step(hierarchies.get(), "writing the hierarchies")) return false;
        for (std::size_t l = 0; l < hierarchy.levels.size(); ++l) {
          const Level& level = hierarchy.levels[l];
          const std::string options = LevelOptionsText(level);
          const std::string flat_column = FlatColumnName(dimension, hierarchy, level);
          sqlite3_bind_int(levels.get(), 1, ++level_id);
          sqlite3_bind_int(levels.get(), 2, hierarchy_id);
          sqlite3_bind_int64(levels.get(), 3, static_cast<sqlite3_int64>(l + 1));
          BindText(levels.get(), 4, level.name);
          sqlite3_bind_text(levels.get(), 5, LevelTypeName(level.type), -1, SQLITE_STATIC);
          sqlite3_bind_text(levels.get(), 6, level.order == MemberOrder::kByKey ? "KEY" : "NAME",
                            -1, SQLITE_STATIC);
          sqlite3_bind_int(levels.get(), 7, level.unique_key ? 1 : 0);
          sqlite3_bind_int(levels.get(), 8, level.unique_name ? 1 : 0);
          BindText(levels.get(), 9, options);
          if (level.type == LevelType::kAll) {
            sqlite3_bind_null(levels.get(), 10);
          } else {
            BindText(levels.get(), 10, flat_column);
          }
          if (!Step(levels.get(), "writing the levels")) return false;
        }
      }
    }
    for (std::size_t m = 0; m < schema_.measures.size(); ++m) {
      const Measure& measure = schema_.measures[m];
      const std::string cell_column = "m" + std::to_string(m + 1);
      sqlite3_bind_int64(measures.get(), 1, static_cast<sqlite3_int64>(m + 1));
      BindText(measures.get(), 2, measure.name);
      sqlite3_bind_text(measures.get(), 3, FunctionName(measure.function), -1, SQLITE_STATIC);
      BindText(measures.get(), 4, measure.format);
      BindText(measures.get(), 5, measure.type);
      BindText(measures.get(), 6, cell_column);
      if (!Step(measures.get(), "writing the measures")) return false;
    }
    return true;
  }

  bool WriteMembers() {
    // Level ids in the order the levels table numbered them.
    std::vector<std::vector<std::vector<int>>> level_ids(schema_.dimensions.size());
    int level_id = 0;
    for (std::size_t d = 0; d < schema_.dimensions.size(); ++d) {
      for (const Hierarchy& hierarchy : schema_.dimensions[d].hierarchies) {
        level_ids[d].emplace_back();
        for (std::size_t l = 0; l < hierarchy.levels.size(); ++l) {
          level_ids[d].back().push_back(++level_id);
        }
      }
    }
    Statement statement;
    if (!Prepare("INSERT INTO members VALUES (?, ?, ?, ?, ?, ?)", statement)) return false;
    sqlite3_stmt* insert = statement.get();
    for (const Member& member : cube_.members) {
      sqlite3_bind_int64(insert, 1, member.id);
      sqlite3_bind_int(insert, 2, level_ids[member.dimension][member.hierarchy][member.level]);
      if (member.parent == 0) {
        sqlite3_bind_null(insert, 3);
      } else {
        sqlite3_bind_int64(insert, 3, member.parent);
      }
      switch (member.key.index()) {
        case 0:
          sqlite3_bind_null(insert, 4);
          break;
        case 1:
          sqlite3_bind_int64(insert, 4, std::get<std::int64_t>(member.key));
          break;
        case 2:
          sqlite3_bind_double(insert, 4, std::get<double>(member.key));
          break;
        default:
          BindText(insert, 4, std::get<std::string>(member.key));
          break;
      }
      BindText(insert, 5, member.name);
      sqlite3_bind_int64(insert, 6, member.position);
      if (!Step(insert, "writing the members")) return false;
    }
    return true;
  }

  bool WriteCells() {
    const std::size_t width = cube_.coordinates.size();
    const std::size_t measure_count = cube_.measure_count;
    std::string sql = "INSERT INTO cells VALUES (?";
    for (std::size_t i = 0; i < width + measure_count; ++i) sql += ", ?";
    sql += ")";
    Statement statement;
    if (!Prepare(sql, statement)) return false;
    sqlite3_stmt* insert = statement.get();
    for (std::size_t cell = 0; cell < cube_.cell_count; ++cell) {
      int index = 1;
      sqlite3_bind_int64(insert, index++, static_cast<sqlite3_int64>(cell + 1));
      for (std::size_t i = 0; i < width; ++i) {
        sqlite3_bind_int64(insert, index++, cube_.cell_members[cell * width + i]);
      }
      for (std::size_t m = 0; m < measure_count; ++m) {
        const CellValue& value = cube_.cell_values[cell * measure_count + m];
        switch (value.index()) {
          case 0:
            sqlite3_bind_null(insert, index++);
            break;
          case 1:
            sqlite3_bind_int64(insert, index++, std::get<std::int64_t>(value));
            break;
          default:
            sqlite3_bind_double(insert, index++, std::get<double>(value));
            break;
        }
      }
      if (!Step(insert, "writing the cells")) return false;
    }
    return true;
  }

  sqlite3* database_;
  const CubeSchema& schema_;
  const BuiltCube& cube_;
  const BuildInfo& info_;
  WriteFailure failure_;
};

// The cube must have been built for the schema: the writer relies on these sizes.
std::optional<std::string> CheckShape(const CubeSchema& schema, const BuiltCube& cube) {
  std::size_t hierarchies = 0;
  for (const Dimension& dimension : schema.dimensions) hierarchies += dimension.hierarchies.size();
  if (cube.coordinates.size() != hierarchies || cube.measure_count != schema.measures.size() ||
      cube.cell_members.size() != cube.cell_count * hierarchies ||
      cube.cell_values.size() != cube.cell_count * cube.measure_count) {
    return "the built cube does not match its CREATE CUBE statement";
  }
  for (const Member& member : cube.members) {
    if (member.dimension >= schema.dimensions.size() ||
        member.hierarchy >= schema.dimensions[member.dimension].hierarchies.size() ||
        member.level >=
            schema.dimensions[member.dimension].hierarchies[member.hierarchy].levels.size()) {
      return "a member of the built cube belongs to no level of its CREATE CUBE statement";
    }
  }
  return std::nullopt;
}

std::optional<WriteFailure> WriteAndReplace(const std::string& target, const CubeSchema& schema,
                                            const BuiltCube& cube, const BuildInfo& info) {
  if (target.empty()) return WriteFailure{"no file name given"};
  std::error_code error;
  if (std::filesystem::is_directory(target, error)) return WriteFailure{"it is a directory"};
  if (auto shape = CheckShape(schema, cube)) return WriteFailure{*shape};

  auto pending = platform::PendingFile::Create(target);
  if (!pending) return WriteFailure{pending.error().description};
  {
    sqlite3* raw = nullptr;
    // One thread writes the file: no mutexes on the connection.
    int opened = sqlite3_open_v2((*pending)->path().c_str(), &raw,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    Database database(raw);
    if (opened != SQLITE_OK) {
      return WriteFailure{std::string("cannot open the temporary file: ") +
                          (raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(opened))};
    }
    if (auto failure = TableWriter(database.get(), schema, cube, info).Write()) return failure;
    raw = database.release();
    if (sqlite3_close(raw) != SQLITE_OK) {
      std::string message = sqlite3_errmsg(raw);
      sqlite3_close_v2(raw);
      return WriteFailure{"closing the temporary file: " + message};
    }
  }
  if (auto committed = (*pending)->Commit()) return WriteFailure{committed->description};
  return std::nullopt;
}

}  // namespace

std::optional<Error> WriteCubeFile(const std::string& location, const CubeSchema& schema,
                                   const BuiltCube& cube, const BuildInfo& info) {
  try {
    if (auto failure = WriteAndReplace(platform::NativePath(location), schema, cube, info)) {
      return EngineError("cannot write the cube file \"" + location + "\": " + failure->what,
                         kCubeFileErrorNumber);
    }
  } catch (const std::exception& exception) {
    return EngineError("cannot write the cube file \"" + location + "\": " + exception.what(),
                       kCubeFileErrorNumber);
  }
  return std::nullopt;
}

}  // namespace cubemill::provider::cubefile
