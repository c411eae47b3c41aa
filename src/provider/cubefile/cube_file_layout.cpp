#include "provider/cubefile/cube_file_layout.h"

namespace cubemill::provider::cubefile {

std::string HierarchyColumn(std::size_t hierarchy) { return "h" + std::to_string(hierarchy); }

std::string MeasureColumn(std::size_t measure) { return "m" + std::to_string(measure); }

std::string RestColumn(std::size_t measure) { return "r" + std::to_string(measure); }

std::string RollupTableName(std::size_t rollup) { return "rollup_" + std::to_string(rollup); }

std::string QuoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted.push_back(c);
    if (c == '"') quoted.push_back('"');
  }
  quoted.push_back('"');
  return quoted;
}

std::string LevelOptionsText(const Level& level) {
  // SORTBYNAME is the default order, which a statement need not write.
  std::string text(level.order == MemberOrder::kByName ? ""
                                                       : MemberOrderKeywordOf(level.order).option);
  auto add = [&text](const char* option) {
    if (!text.empty()) text += ", ";
    text += option;
  };
  if (level.unique_key) add("UNIQUE_KEY");
  if (level.unique_name) add("UNIQUE_NAME");
  return text;
}

std::string FlatColumnName(const Dimension& dimension, const Hierarchy& hierarchy,
                           const Level& level) {
  if (dimension.named_hierarchies) return dimension.name + "." + hierarchy.name + "." + level.name;
  return dimension.name + "." + level.name;
}

std::string CubeTablesSql(const CubeSchema& schema) {
  std::string sql =
      "CREATE TABLE cube (\n"
      "  name TEXT NOT NULL,\n"
      "  format_version INTEGER NOT NULL,\n"
      "  built_at TEXT NOT NULL,\n"
      "  create_cube TEXT NOT NULL,\n"
      "  insert_into TEXT NOT NULL,\n"
      "  source TEXT NOT NULL,\n"
      "  source_rows INTEGER NOT NULL,\n"
      "  cell_count INTEGER NOT NULL,\n"
      "  refresh_column TEXT,\n"
      "  watermark);\n"
      "CREATE TABLE dimensions (\n"
      "  id INTEGER PRIMARY KEY,\n"
      "  name TEXT NOT NULL,\n"
      "  is_time INTEGER NOT NULL,\n"
      "  named_hierarchies INTEGER NOT NULL);\n"
      "CREATE TABLE hierarchies (\n"
      "  id INTEGER PRIMARY KEY,\n"
      "  dimension INTEGER NOT NULL REFERENCES dimensions(id),\n"
      "  ordinal INTEGER NOT NULL,\n"
      "  name TEXT NOT NULL,\n"
      "  cell_column TEXT NOT NULL);\n"
      "CREATE TABLE levels (\n"
      "  id INTEGER PRIMARY KEY,\n"
      "  hierarchy INTEGER NOT NULL REFERENCES hierarchies(id),\n"
      "  ordinal INTEGER NOT NULL,\n"
      "  name TEXT NOT NULL,\n"
      "  type TEXT NOT NULL,\n"
      "  member_order TEXT NOT NULL,\n"
      "  unique_key INTEGER NOT NULL,\n"
      "  unique_name INTEGER NOT NULL,\n"
      "  options TEXT NOT NULL,\n"
      "  flat_column TEXT);\n"
      "CREATE TABLE measures (\n"
      "  id INTEGER PRIMARY KEY,\n"
      "  name TEXT NOT NULL,\n"
      "  function TEXT NOT NULL,\n"
      "  format TEXT NOT NULL,\n"
      "  type TEXT NOT NULL,\n"
      "  cell_column TEXT NOT NULL,\n"
      "  decimals INTEGER);\n"
      "CREATE TABLE warnings (\n"
      "  id INTEGER PRIMARY KEY,\n"
      "  text TEXT NOT NULL);\n"
      "CREATE TABLE members (\n"
      "  id INTEGER PRIMARY KEY,\n"
      "  level INTEGER NOT NULL REFERENCES levels(id),\n"
      "  parent INTEGER REFERENCES members(id),\n"
      "  key,\n"
      "  name TEXT NOT NULL,\n"
      "  position INTEGER NOT NULL);\n";
  std::size_t hierarchies = 0;
  for (const Dimension& dimension : schema.dimensions) hierarchies += dimension.hierarchies.size();
  return sql + CellTableSql(std::string(kCellsTable), hierarchies, schema.measures);
}

namespace {

// The SELECT of cube_flat, and with `keys` that of cube_flat_keys: the same columns, then the key
// and position of each level's member.
std::string FlatSelectSql(const CubeSchema& schema, bool keys) {
  std::string columns;
  std::string key_columns;
  std::string joins;
  auto add_column = [](std::string& to, const std::string& expression, const std::string& name) {
    to += to.empty() ? "\n  " : ",\n  ";
    to += expression + " AS " + QuoteIdentifier(name);
  };
  std::size_t hierarchy_number = 0;
  for (const Dimension& dimension : schema.dimensions) {
    for (const Hierarchy& hierarchy : dimension.hierarchies) {
      const std::string number = std::to_string(++hierarchy_number);
      std::size_t first = 0;
      while (first < hierarchy.levels.size() && hierarchy.levels[first].type == LevelType::kAll) {
        ++first;
      }
      const std::size_t count = hierarchy.levels.size();
      // The leaf member comes from the cell; each level above it is its child's parent.
      for (std::size_t l = count; l-- > first;) {
        const std::string alias = "h" + number + "_" + std::to_string(l + 1);
        const std::string on = l + 1 == count
                                   ? "c." + HierarchyColumn(hierarchy_number)
                                   : "h" + number + "_" + std::to_string(l + 2) + ".parent";
        joins += "\n  JOIN members " + alias + " ON " + alias + ".id = " + on;
      }
      for (std::size_t l = first; l < count; ++l) {
        const std::string alias = "h" + number + "_" + std::to_string(l + 1);
        const std::string name = FlatColumnName(dimension, hierarchy, hierarchy.levels[l]);
        add_column(columns, alias + ".name", name);
        add_column(key_columns, alias + ".key", name + ".key");
        add_column(key_columns, alias + ".position", name + ".position");
      }
    }
  }
  for (std::size_t m = 0; m < schema.measures.size(); ++m) {
    add_column(columns, "c." + MeasureColumn(m + 1), schema.measures[m].name);
  }
  if (columns.empty()) columns = "\n  c.id AS id";
  if (keys && !key_columns.empty()) columns += "," + key_columns;
  return " AS SELECT" + columns + "\nFROM " + std::string(kCellsTable) + " c" + joins + ";\n";
}

}  // namespace

std::string FlatViewSql(const CubeSchema& schema) {
  return "CREATE VIEW cube_flat" + FlatSelectSql(schema, false);
}

std::string FlatKeysViewSql(const CubeSchema& schema) {
  return "CREATE VIEW cube_flat_keys" + FlatSelectSql(schema, true);
}

std::string RollupTablesSql() {
  return "CREATE TABLE rollups (\n"
         "  id INTEGER PRIMARY KEY,\n"
         "  table_name TEXT NOT NULL,\n"
         "  cell_count INTEGER NOT NULL);\n"
         "CREATE TABLE rollup_levels (\n"
         "  rollup INTEGER NOT NULL REFERENCES rollups(id),\n"
         "  hierarchy INTEGER NOT NULL REFERENCES hierarchies(id),\n"
         "  level INTEGER NOT NULL REFERENCES levels(id));\n";
}

std::string CellTableSql(const std::string& table, std::size_t hierarchies,
                         const std::vector<Measure>& measures) {
  std::string sql = "CREATE TABLE " + table + " (\n  id INTEGER PRIMARY KEY";
  for (std::size_t h = 0; h < hierarchies; ++h) {
    sql += ",\n  " + HierarchyColumn(h + 1) + " INTEGER NOT NULL REFERENCES members(id)";
  }
  for (std::size_t m = 0; m < measures.size(); ++m) {
    sql += ",\n  " + MeasureColumn(m + 1);  // no declared type: values stay as stored
  }
  for (std::size_t m = 0; m < measures.size(); ++m) {
    if (HasRestColumn(measures[m])) sql += ",\n  " + RestColumn(m + 1) + " REAL";
  }
  return sql + ");\n";
}

bool HasRestColumn(const Measure& measure) { return measure.function == AggregateFunction::kSum; }

}  // namespace cubemill::provider::cubefile
