#include "provider/cubefile/cube_tables.h"

#include <algorithm>
#include <string>
#include <vector>

#include "provider/cubefile/cube_file_layout.h"
#include "provider/odbc_text/passwords.h"

namespace cubemill::provider::cubefile {
namespace {

using namespace aggregate;  // NOLINT: the cells and members this file writes

// Binds a member key (or a watermark) as the value it is: NULL, an integer, a real or text.
void BindKey(sqlite3_stmt* statement, int index, const aggregate::MemberKey& key) {
  switch (key.index()) {
    case 0:
      sqlite3_bind_null(statement, index);
      break;
    case 1:
      sqlite3_bind_int64(statement, index, std::get<std::int64_t>(key));
      break;
    case 2:
      sqlite3_bind_double(statement, index, std::get<double>(key));
      break;
    default:
      SqliteDatabase::BindText(statement, index, std::get<std::string>(key));
      break;
  }
}

// Writes the tables of one cube into an open, empty database.
class TableWriter {
 public:
  TableWriter(SqliteDatabase& database, const CubeSchema& schema, const BuiltCube& cube,
              const BuildInfo& info, const RollupsWhenReady& rollups)
      : database_(database), schema_(schema), cube_(cube), info_(info), rollups_(rollups) {
    for (std::size_t m = 0; m < schema.measures.size(); ++m) {
      if (HasRestColumn(schema.measures[m])) rest_measures_.push_back(m);
    }
  }

  bool Write() {
    // The journal goes off first: the file is new and renamed into place only when complete, so
    // a journal would only be one more file that a killed writer leaves behind. The rows are
    // appended, table after table: large pages cost fewer page changes per row, and a small
    // cache is enough, since a full page is never needed again once written out.
    const std::string header =
        "PRAGMA journal_mode = OFF;\n"
        "PRAGMA page_size = 65536;\n"
        "PRAGMA application_id = " +
        std::to_string(kCubeFileApplicationId) +
        ";\nPRAGMA user_version = " + std::to_string(kCubeFileFormatVersion) +
        ";\n"
        "PRAGMA synchronous = OFF;\n"
        "PRAGMA locking_mode = EXCLUSIVE;\n"
        "PRAGMA temp_store = MEMORY;\n"
        "PRAGMA cache_size = -8192;\n";
    if (!database_.Execute(header)) return false;
    if (!database_.Execute("BEGIN")) return false;
    if (!database_.Execute(CubeTablesSql(schema_))) return false;
    if (!database_.Execute(RollupTablesSql())) return false;
    if (!WriteMetadata() || !WriteMembers() || !WriteCells(std::string(kCellsTable), cube_.cells))
      return false;
    // The rollups may still be being computed from the cells on another thread: they are asked
    // for only now, after the cells, so that the two overlap.
    if (!WriteRollups(rollups_())) return false;
    if (!database_.Execute(FlatViewSql(schema_)) || !database_.Execute(FlatKeysViewSql(schema_)))
      return false;
    if (!database_.Execute("COMMIT")) return false;
    return true;
  }

 private:
  // The cube's own rows, its dimensions, hierarchies and levels, and its measures.
  bool WriteMetadata() { return WriteCubeRow() && WriteDimensions() && WriteMeasures(); }

  // The row of the cube (its statements and its source without passwords) and its warnings.
  bool WriteCubeRow() {
    Statement statement;
    if (!database_.Prepare("INSERT INTO cube VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", statement))
      return false;
    const odbc_text::CleanConnection source = odbc_text::RemovePasswords(info_.source);
    SqliteDatabase::BindText(statement.get(), 1, schema_.name);
    sqlite3_bind_int(statement.get(), 2, kCubeFileFormatVersion);
    SqliteDatabase::BindText(statement.get(), 3, info_.built_at);
    SqliteDatabase::BindText(statement.get(), 4, info_.create_cube);
    SqliteDatabase::BindText(statement.get(), 5, info_.insert_into);
    SqliteDatabase::BindText(statement.get(), 6, source.text);
    sqlite3_bind_int64(statement.get(), 7, info_.source_rows);
    sqlite3_bind_int64(statement.get(), 8, static_cast<sqlite3_int64>(cube_.cells.size()));
    // A cube built for incremental refresh: its refresh column and the highest value it read.
    if (!info_.refresh_column.empty()) {
      SqliteDatabase::BindText(statement.get(), 9, info_.refresh_column);
      BindKey(statement.get(), 10, info_.watermark);
    }
    if (!database_.Step(statement.get(), "writing the cube")) return false;

    Statement warnings;
    if (!database_.Prepare("INSERT INTO warnings (text) VALUES (?)", warnings)) return false;
    for (const std::string& warning : cube_.warnings) {
      SqliteDatabase::BindText(warnings.get(), 1, warning);
      if (!database_.Step(warnings.get(), "writing the warnings")) return false;
    }
    if (source.shortened) {
      const std::string warning = kSourceShortenedWarning;  // bound without a copy
      SqliteDatabase::BindText(warnings.get(), 1, warning);
      if (!database_.Step(warnings.get(), "writing the warnings")) return false;
    }
    return true;
  }

  // The dimensions, their hierarchies with the cells' column of each, and their levels with the
  // flat view's column of each.
  bool WriteDimensions() {
    Statement dimensions, hierarchies, levels;
    if (!database_.Prepare("INSERT INTO dimensions VALUES (?, ?, ?, ?)", dimensions) ||
        !database_.Prepare("INSERT INTO hierarchies VALUES (?, ?, ?, ?, ?)", hierarchies) ||
        !database_.Prepare("INSERT INTO levels VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", levels)) {
      return false;
    }
    int hierarchy_id = 0;
    int level_id = 0;
    for (std::size_t d = 0; d < schema_.dimensions.size(); ++d) {
      const Dimension& dimension = schema_.dimensions[d];
      sqlite3_bind_int64(dimensions.get(), 1, static_cast<sqlite3_int64>(d + 1));
      SqliteDatabase::BindText(dimensions.get(), 2, dimension.name);
      sqlite3_bind_int(dimensions.get(), 3, dimension.is_time ? 1 : 0);
      sqlite3_bind_int(dimensions.get(), 4, dimension.named_hierarchies ? 1 : 0);
      if (!database_.Step(dimensions.get(), "writing the dimensions")) return false;
      for (std::size_t h = 0; h < dimension.hierarchies.size(); ++h) {
        const Hierarchy& hierarchy = dimension.hierarchies[h];
        ++hierarchy_id;
        const std::string cell_column = HierarchyColumn(static_cast<std::size_t>(hierarchy_id));
        sqlite3_bind_int(hierarchies.get(), 1, hierarchy_id);
        sqlite3_bind_int64(hierarchies.get(), 2, static_cast<sqlite3_int64>(d + 1));
        sqlite3_bind_int64(hierarchies.get(), 3, static_cast<sqlite3_int64>(h + 1));
        SqliteDatabase::BindText(hierarchies.get(), 4, hierarchy.name);
        SqliteDatabase::BindText(hierarchies.get(), 5, cell_column);
        if (!database_.Step(hierarchies.get(), "writing the hierarchies")) return false;
        for (std::size_t l = 0; l < hierarchy.levels.size(); ++l) {
          const Level& level = hierarchy.levels[l];
          const std::string options = LevelOptionsText(level);
          const std::string flat_column = FlatColumnName(dimension, hierarchy, level);
          sqlite3_bind_int(levels.get(), 1, ++level_id);
          sqlite3_bind_int(levels.get(), 2, hierarchy_id);
          sqlite3_bind_int64(levels.get(), 3, static_cast<sqlite3_int64>(l + 1));
          SqliteDatabase::BindText(levels.get(), 4, level.name);
          SqliteDatabase::BindText(levels.get(), 5, KeywordOf(kLevelTypeKeywords, level.type));
          SqliteDatabase::BindText(levels.get(), 6, MemberOrderKeywordOf(level.order).file_word);
          sqlite3_bind_int(levels.get(), 7, level.unique_key ? 1 : 0);
          sqlite3_bind_int(levels.get(), 8, level.unique_name ? 1 : 0);
          SqliteDatabase::BindText(levels.get(), 9, options);
          if (level.type == LevelType::kAll) {
            sqlite3_bind_null(levels.get(), 10);
          } else {
            SqliteDatabase::BindText(levels.get(), 10, flat_column);
          }
          if (!database_.Step(levels.get(), "writing the levels")) return false;
        }
      }
    }
    return true;
  }

  // The measures with the cells' column of each and the decimals their figures are shown with.
  bool WriteMeasures() {
    Statement measures;
    if (!database_.Prepare("INSERT INTO measures VALUES (?, ?, ?, ?, ?, ?, ?)", measures))
      return false;
    for (std::size_t m = 0; m < schema_.measures.size(); ++m) {
      const Measure& measure = schema_.measures[m];
      const std::string cell_column = MeasureColumn(m + 1);
      sqlite3_bind_int64(measures.get(), 1, static_cast<sqlite3_int64>(m + 1));
      SqliteDatabase::BindText(measures.get(), 2, measure.name);
      SqliteDatabase::BindText(measures.get(), 3,
                               KeywordOf(kAggregateFunctionKeywords, measure.function));
      SqliteDatabase::BindText(measures.get(), 4, measure.format);
      SqliteDatabase::BindText(measures.get(), 5, measure.type);
      SqliteDatabase::BindText(measures.get(), 6, cell_column);
      if (m < cube_.measure_decimals.size()) {
        sqlite3_bind_int(measures.get(), 7,
                         std::clamp(cube_.measure_decimals[m], 0, kMaxMeasureDecimals));
      } else {
        sqlite3_bind_null(measures.get(), 7);
      }
      if (!database_.Step(measures.get(), "writing the measures")) return false;
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
    if (!database_.Prepare("INSERT INTO members VALUES (?, ?, ?, ?, ?, ?)", statement))
      return false;
    sqlite3_stmt* insert = statement.get();
    for (const Member& member : cube_.members) {
      sqlite3_bind_int64(insert, 1, member.id);
      sqlite3_bind_int(insert, 2, level_ids[member.dimension][member.hierarchy][member.level]);
      if (member.parent == 0) {
        sqlite3_bind_null(insert, 3);
      } else {
        sqlite3_bind_int64(insert, 3, member.parent);
      }
      BindKey(insert, 4, member.key);
      SqliteDatabase::BindText(insert, 5, member.name);
      sqlite3_bind_int64(insert, 6, member.position);
      if (!database_.Step(insert, "writing the members")) return false;
    }
    return true;
  }

  // Binds the `cell`-th cell in order to the `columns` parameters of `insert` from `index` on;
  // returns the index after them.
  int BindCell(const CellRecords& cells, sqlite3_stmt* insert, int index, std::size_t cell) {
    // The records lie in the order the rows made them: ask for one a few cells ahead, so that
    // it is at hand when its turn comes.
    constexpr std::size_t kAhead = 8;
    if (cell + kAhead < cells.size()) __builtin_prefetch(cells.InOrder(cell + kAhead));
    const std::byte* record = cells.InOrder(cell);
    // The id is left to SQLite, which numbers a new table's rows 1, 2, ... as they come: the
    // cells' numbers in order, without the search for its place that an explicit id costs.
    sqlite3_bind_null(insert, index++);
    for (std::size_t i = 0; i < cells.width(); ++i) {
      sqlite3_bind_int64(insert, index++, cells.Member(record, i));
    }
    for (std::size_t m = 0; m < cells.measure_count(); ++m) {
      const CellValue value = cells.Value(record, m);
      switch (value.state) {
        case CellState::kNull:
          sqlite3_bind_null(insert, index++);
          break;
        case CellState::kInteger:
          sqlite3_bind_int64(insert, index++, value.integer);
          break;
        case CellState::kReal:
          sqlite3_bind_double(insert, index++, value.real);
          break;
      }
    }
    // The rests of the real sums; NULL where the real alone is the exact sum.
    for (std::size_t m : rest_measures_) {
      const CellValue value = cells.Value(record, m);
      if (value.state == CellState::kReal && value.rest != 0) {
        sqlite3_bind_double(insert, index++, value.rest);
      } else {
        sqlite3_bind_null(insert, index++);
      }
    }
    return index;
  }

  // Writes `cells` in their order into `table`, which has the columns of the cells table.
  bool WriteCells(const std::string& table, const CellRecords& cells) {
    const std::size_t columns = 1 + cells.width() + cells.measure_count() + rest_measures_.size();
    // Many cells per statement spare the cost of running one per cell; the parameters stay
    // within the 999 that every SQLite allows.
    const std::size_t batch = std::clamp<std::size_t>(999 / columns, 1, 64);
    auto insert_sql = [columns, &table](std::size_t rows) {
      std::string sql = "INSERT INTO " + table + " VALUES ";
      for (std::size_t row = 0; row < rows; ++row) {
        sql.append(row == 0 ? "(?" : ", (?");
        for (std::size_t i = 1; i < columns; ++i) sql.append(", ?");
        sql.append(")");
      }
      return sql;
    };
    const std::string doing = "writing the " + table;
    Statement many, one;
    if (!database_.Prepare(insert_sql(batch), many) || !database_.Prepare(insert_sql(1), one)) {
      return false;
    }
    std::size_t cell = 0;
    for (; cell + batch <= cells.size(); cell += batch) {
      int index = 1;
      for (std::size_t i = 0; i < batch; ++i) index = BindCell(cells, many.get(), index, cell + i);
      if (!database_.Step(many.get(), doing.c_str())) return false;
    }
    for (; cell < cells.size(); ++cell) {
      BindCell(cells, one.get(), 1, cell);
      if (!database_.Step(one.get(), doing.c_str())) return false;
    }
    return true;
  }

  // Writes each rollup's table rollup_<id> and its rows in rollups and rollup_levels.
  bool WriteRollups(const std::vector<Rollup>& stored) {
    // The level ids of each coordinate start after those of the hierarchies before it.
    std::vector<int> first_level;
    int level_id = 0;
    for (const Dimension& dimension : schema_.dimensions) {
      for (const Hierarchy& hierarchy : dimension.hierarchies) {
        first_level.push_back(level_id + 1);
        level_id += static_cast<int>(hierarchy.levels.size());
      }
    }
    Statement rollups, levels;
    if (!database_.Prepare("INSERT INTO rollups VALUES (?, ?, ?)", rollups) ||
        !database_.Prepare("INSERT INTO rollup_levels VALUES (?, ?, ?)", levels)) {
      return false;
    }
    for (std::size_t r = 0; r < stored.size(); ++r) {
      const Rollup& rollup = stored[r];
      const std::string table = RollupTableName(r + 1);
      sqlite3_bind_int64(rollups.get(), 1, static_cast<sqlite3_int64>(r + 1));
      SqliteDatabase::BindText(rollups.get(), 2, table);
      sqlite3_bind_int64(rollups.get(), 3, static_cast<sqlite3_int64>(rollup.cells.size()));
      if (!database_.Step(rollups.get(), "writing the rollups")) return false;
      for (std::size_t c = 0; c < rollup.levels.size() && c < first_level.size(); ++c) {
        sqlite3_bind_int64(levels.get(), 1, static_cast<sqlite3_int64>(r + 1));
        sqlite3_bind_int64(levels.get(), 2, static_cast<sqlite3_int64>(c + 1));
        sqlite3_bind_int64(levels.get(), 3,
                           first_level[c] + static_cast<sqlite3_int64>(rollup.levels[c]));
        if (!database_.Step(levels.get(), "writing the rollups")) return false;
      }
      const std::string create = CellTableSql(table, rollup.cells.width(), schema_.measures);
      if (!database_.Execute(create) || !WriteCells(table, rollup.cells)) return false;
    }
    return true;
  }

  SqliteDatabase& database_;
  const CubeSchema& schema_;
  const BuiltCube& cube_;
  const BuildInfo& info_;
  const RollupsWhenReady& rollups_;
  std::vector<std::size_t> rest_measures_;  // the measures whose cell tables have a rest column
};

}  // namespace

bool WriteCubeTables(SqliteDatabase& database, const CubeSchema& schema, const BuiltCube& cube,
                     const BuildInfo& info, const RollupsWhenReady& rollups) {
  return TableWriter(database, schema, cube, info, rollups).Write();
}

}  // namespace cubemill::provider::cubefile
