#include "provider/cubefile/cube_file_layout.h"

namespace cubemill::provider::cubefile {

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
      "  cell_count INTEGER NOT NULL);\n"
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
      "  cell_column TEXT NOT NULL);\n"
      "CREATE TABLE warnings (\n"
      "  id INTEGER PRIMARY KEY,\n"
      "  text TEXT NOT NULL);\n"
      "CREATE TABLE members (\n"
      "  id INTEGER PRIMARY KEY,\n"
      "  level INTEGER NOT NULL REFERENCES levels(id),\n"
      "  parent INTEGER REFERENCES members(id),\n"
      "  key,\n"
      "  name TEXT NOT NULL,\n"
      "  position INTEGER NOT NULL);\n"
      "CREATE TABLE cells (\n"
      "  id INTEGER PRIMARY KEY";
  std::size_t hierarchy_number = 0;
  for (const Dimension& dimension : schema.dimensions) {
    for (std::size_t h = 0; h < dimension.hierarchies.size(); ++h) {
      sql += ",\n  h" + std::to_string(++hierarchy_number) +
             " INTEGER NOT NULL REFERENCES members(id)";
    }
  }
  for (std::size_t m = 0; m < schema.measures.size(); ++m) {
    sql += ",\n  m" + std::to_string(m + 1);  // no declared type: values stay as stored
  }
  sql += ");\n";
  return sql;
}

std::string FlatViewSql(const CubeSchema& schema) {
  std::string columns;
  std::string joins;
  auto add_column = [&columns](const std::string& expression, const std::string& name) {
    columns += columns.empty() ? "\n  " : ",\n  ";
    columns += expression + " AS " + QuoteIdentifier(name);
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
                                   ? "c.h" + number
                                   : "h" + number + "_" + std::to_string(l + 2) + ".parent";
        joins += "\n  JOIN members " + alias + " ON " + alias + ".id = " + on;
      }
      for (std::size_t l = first; l < count; ++l) {
        add_column("h" + number + "_" + std::to_string(l + 1) + ".name",
                   FlatColumnName(dimension, hierarchy, hierarchy.levels[l]));
      }
    }
  }
  for (std::size_t m = 0; m < schema.measures.size(); ++m) {
    add_column("c.m" + std::to_string(m + 1), schema.measures[m].name);
  }
  if (columns.empty()) columns = "\n  c.id AS id";
  return "CREATE VIEW cube_flat AS SELECT" + columns + "\nFROM cells c" + joins + ";\n";
}

}  // namespace cubemill::provider::cubefile
