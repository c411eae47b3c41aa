#include "provider/cubefile/engine_case_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string_view>

#include "provider/engine_error.h"
#include "support/sqlite_query.h"

namespace cubemill::test {
namespace {

namespace fs = std::filesystem;

// The engine's case files, or the MDX cases, which add sections of their own.
enum class CaseFileKind { kEngine, kMdx };

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) joined += (i ? separator : "") + parts[i];
  return joined;
}

// The cells of a row line, split at every "|" outside a quoted cell; sets `problem` when a cell
// cannot be read.
std::vector<SqliteCell> SplitCells(const std::string& line, std::string& problem) {
  std::vector<SqliteCell> cells;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = start;
    while (end < line.size() && IsBlank(line[end])) ++end;
    if (end < line.size() && line[end] == '\'') {
      for (++end; end < line.size(); ++end) {
        if (line[end] != '\'') continue;
        if (end + 1 < line.size() && line[end + 1] == '\'') {
          ++end;  // doubled: stands for itself
          continue;
        }
        ++end;
        break;
      }
    }
    end = std::min(line.find('|', end), line.size());
    auto cell = ParseCell(line.substr(start, end - start), problem);
    if (!cell) return {};
    cells.push_back(*cell);
    if (end == line.size()) return cells;
    start = end + 1;
  }
}

const struct {
  const char* kind;
  long number;
} kErrorKinds[] = {
    {"statement", provider::kStatementErrorNumber}, {"property", provider::kPropertyErrorNumber},
    {"source", provider::kSourceErrorNumber},       {"data", provider::kDataErrorNumber},
    {"cube-file", provider::kCubeFileErrorNumber},
};

// Reads a section's body into `rows`: the header line, then the rows, each normalised.
void ReadRows(const std::vector<std::string>& body, CaseRows& rows, std::string& problem) {
  std::size_t width = 0;
  for (std::size_t r = 0; r < body.size(); ++r) {
    const std::vector<SqliteCell> cells = SplitCells(body[r], problem);
    if (!problem.empty()) return;
    if (r == 0) width = cells.size();
    if (cells.size() != width) {
      problem = "row \"" + body[r] + "\" has " + std::to_string(cells.size()) +
                " cells, the header " + std::to_string(width);
      return;
    }
    std::vector<std::string> texts;
    for (const SqliteCell& cell : cells) texts.push_back(CellText(cell));
    rows.lines.push_back(Join(texts, " | "));
  }
  if (rows.lines.empty()) problem = "the header line is missing";
}

// The body lines of `body` before and after a line "----".
bool SplitAtDashes(const std::vector<std::string>& body, std::vector<std::string>& before,
                   std::vector<std::string>& after) {
  const auto dashes = std::find(body.begin(), body.end(), "----");
  if (dashes == body.end()) return false;
  before.assign(body.begin(), dashes);
  after.assign(dashes + 1, body.end());
  return !before.empty() && !after.empty();
}

// True for the sections that make a case's cube: its statements, its source and what is run on
// the cube file.
bool IsCubeSection(const std::string& header) {
  return header == "create cube" || header == "insert into" || header == "connection" ||
         header == "cube sql" || header.starts_with("source ");
}

// Reads the options of an MDX case into `query`; returns what is wrong, or "".
std::string ReadOptions(const std::vector<std::string>& body, CaseMdxQuery& query) {
  for (const std::string& option : body) {
    const std::size_t blank = option.find(' ');
    const std::string name = option.substr(0, blank);
    const std::string value = blank == std::string::npos ? "" : Trim(option.substr(blank));
    std::size_t* limit = name == "max_axis_tuples" ? &query.max_axis_tuples
                         : name == "max_cells"     ? &query.max_cells
                                                   : nullptr;
    if (name == "pending" && value.empty()) {
      query.pending = true;
    } else if (limit != nullptr && !value.empty() &&
               value.find_first_not_of("0123456789") == std::string::npos && value.size() < 10) {
      *limit = std::stoul(value);
    } else {
      return "unknown option \"" + option + "\" (known: pending, max_axis_tuples N, max_cells N)";
    }
  }
  return "";
}

// Reads one section of an MDX case that is not one of its cube's; returns what is wrong with
// it, or "", or nothing for a header it does not know.
std::optional<std::string> ReadMdxSection(const std::string& header,
                                          const std::vector<std::string>& body, int line,
                                          EngineCase& mdx_case) {
  const auto one_line = [&body](const std::string& name) -> std::string {
    return body.empty() ? "" : name + " takes no lines under it";
  };
  if (header.starts_with("cube ")) {
    mdx_case.cube = Trim(header.substr(5));
    return one_line("cube");
  }
  if (!mdx_case.query) mdx_case.query.emplace();
  CaseMdxQuery& query = *mdx_case.query;
  std::string problem;
  if (header == "mdx") {
    query.line = line;
    query.mdx = Join(body, " ");
    if (query.mdx.empty()) return "the mdx section holds no query";
  } else if (header == "options") {
    return ReadOptions(body, query);
  } else if (header == "expect answer") {
    query.answer.emplace();
    ReadRows(body, *query.answer, problem);
  } else if (header == "expect mdx error") {
    query.error = Join(body, " ");
    if (query.error->empty()) return "expect mdx error needs the message";
  } else if (header == "expect sql" || header == "expect sql ordered") {
    query.sql = Join(body, " ");
    query.ordered = header == "expect sql ordered";
    if (query.sql.empty()) return header + " needs a query on the source";
  } else if (header.starts_with("expect table ")) {
    query.table = Trim(header.substr(13));
    return one_line("expect table");
  } else {
    return std::nullopt;
  }
  return problem;
}

// Reads one section of `engine_case`; returns what is wrong with it, or "".
std::string ReadSection(const std::string& header, const std::vector<std::string>& body, int line,
                        CaseFileKind kind, EngineCase& engine_case) {
  std::string problem;
  if (kind == CaseFileKind::kMdx && !IsCubeSection(header))
    return ReadMdxSection(header, body, line, engine_case)
        .value_or("unknown section \"" + header + "\"");
  if (header == "cube sql" && kind == CaseFileKind::kMdx) {
    engine_case.cube_sql.push_back(Join(body, "\n"));
  } else if (header == "create cube") {
    engine_case.create_cube = Join(body, " ");
  } else if (header == "insert into") {
    engine_case.insert_into = Join(body, " ");
  } else if (header == "connection") {
    engine_case.connection = Join(body, ";");
  } else if (header == "source sql") {
    engine_case.source_sql.push_back(Join(body, "\n"));
  } else if (header.starts_with("refresh ")) {
    engine_case.refresh_column = Trim(header.substr(8));
    if (!body.empty()) return "refresh takes no lines under it";
  } else if (header == "append sql") {
    engine_case.appends.push_back(Join(body, "\n"));
  } else if (header == "expect refresh") {
    engine_case.refresh_lines = body;
  } else if (header.starts_with("source ")) {
    CaseTable table{Trim(header.substr(7)), {}, {}};
    if (body.empty()) return "the table's header line is missing";
    for (const SqliteCell& column : SplitCells(body[0], problem))
      table.columns.push_back(column.value_or("NULL"));
    for (std::size_t r = 1; problem.empty() && r < body.size(); ++r) {
      table.rows.push_back(SplitCells(body[r], problem));
      if (problem.empty() && table.rows.back().size() != table.columns.size())
        problem = "row " + std::to_string(r) + " of table " + table.name + " has " +
                  std::to_string(table.rows.back().size()) + " values for " +
                  std::to_string(table.columns.size()) + " columns";
    }
    engine_case.tables.push_back(std::move(table));
  } else if (header == "expect cube_flat") {
    engine_case.cube_flat.emplace();
    ReadRows(body, *engine_case.cube_flat, problem);
  } else if (header == "expect warnings") {
    engine_case.warnings = body;
  } else if (header == "expect query") {
    CaseQuery query;
    query.line = line;
    std::vector<std::string> sql, rows;
    if (!SplitAtDashes(body, sql, rows)) return "expect query needs SQL, a line ----, and rows";
    query.sql = Join(sql, " ");
    ReadRows(rows, query.expected, problem);
    engine_case.queries.push_back(std::move(query));
  } else if (header == "expect mdx") {
    CaseMdx mdx;
    mdx.line = line;
    std::vector<std::string> query, answer;
    if (!SplitAtDashes(body, query, answer))
      return "expect mdx needs an MDX query, a line ----, and the answer";
    mdx.mdx = Join(query, " ");
    ReadRows(answer, mdx.expected, problem);
    engine_case.mdx.push_back(std::move(mdx));
  } else if (header == "expect same") {
    std::vector<std::string> cube, source;
    if (!SplitAtDashes(body, cube, source))
      return "expect same needs a query on the cube, a line ----, and one on the source";
    engine_case.same.push_back(CaseSame{line, Join(cube, " "), Join(source, " ")});
  } else if (header.starts_with("expect error")) {
    CaseError error;
    error.kind = Trim(header.substr(12));
    for (const auto& known : kErrorKinds) {
      if (error.kind == known.kind) error.number = known.number;
    }
    if (error.number == 0) return "unknown error kind \"" + error.kind + "\"";
    error.description = Join(body, " ");
    engine_case.error = std::move(error);
  } else {
    return "unknown section \"" + header + "\"";
  }
  return problem;
}

EngineCase NamedCase(const std::string& file, int line, const std::string& name) {
  EngineCase engine_case;
  engine_case.file = file;
  engine_case.line = line;
  engine_case.name = name;
  return engine_case;
}

// What a complete MDX case lacks, or "".
std::string CheckCompleteMdx(const EngineCase& mdx_case) {
  const bool own_cube = !mdx_case.create_cube.empty() || !mdx_case.insert_into.empty() ||
                        !mdx_case.tables.empty() || !mdx_case.source_sql.empty() ||
                        !mdx_case.cube_sql.empty() || !mdx_case.connection.empty();
  if (own_cube && !mdx_case.cube.empty())
    return "the case names a cube and has sections of a cube of its own";
  if (!own_cube && mdx_case.cube.empty())
    return "the case has no cube: a cube line or the create cube and insert into sections";
  if (own_cube && (mdx_case.create_cube.empty() || mdx_case.insert_into.empty()))
    return "the case's cube needs both a create cube and an insert into section";
  if (!mdx_case.query || mdx_case.query->mdx.empty()) return "the case has no mdx section";
  const CaseMdxQuery& query = *mdx_case.query;
  if (query.error && (query.answer || !query.sql.empty() || !query.table.empty()))
    return "a case that expects an error cannot expect an answer as well";
  if (!query.error && !query.answer && query.sql.empty()) return "the case expects nothing";
  return "";
}

// What a complete case lacks, or "".
std::string CheckComplete(const EngineCase& engine_case, CaseFileKind kind) {
  if (kind == CaseFileKind::kMdx) return CheckCompleteMdx(engine_case);
  if (engine_case.create_cube.empty()) return "the case has no create cube section";
  if (engine_case.insert_into.empty()) return "the case has no insert into section";
  const bool expects_cube = engine_case.cube_flat || !engine_case.queries.empty() ||
                            !engine_case.same.empty() || !engine_case.mdx.empty() ||
                            !engine_case.warnings.empty();
  if (engine_case.error && expects_cube)
    return "a case that expects an error cannot expect a cube as well";
  if (!engine_case.error && !expects_cube) return "the case expects nothing";
  if (engine_case.refresh_column.empty() != engine_case.appends.empty())
    return "a refresh case needs both a refresh line and at least one append sql section";
  return "";
}

// The lines of the file at `path`, without their line ends; sets `read` to false when the file
// cannot be read.
std::vector<std::string> ReadLines(const std::string& path, bool& read) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  read = in.eof() && !lines.empty();
  return lines;
}

bool IsSkipped(const std::string& line) {
  const std::string text = Trim(line);
  return text.empty() || text.front() == '#';
}

// Gives each MDX case that names a cube the file defines the sections of that cube. A cube
// defined twice, or one whose definition is faulty, fails the cases that name it; a faulty
// cube no case names is reported as a case of its own.
void ResolveCubes(std::vector<EngineCase>& cases, const std::vector<EngineCase>& cubes) {
  std::map<std::string, EngineCase> by_name;
  for (const EngineCase& cube : cubes) {
    const auto [at, added] = by_name.emplace(cube.name, cube);
    if (!added && at->second.problem.empty()) at->second.problem = "the cube is defined twice";
    EngineCase& kept = at->second;
    if (!kept.problem.empty() && !kept.problem.starts_with(kept.file + ":"))
      kept.problem =
          kept.file + ":" + std::to_string(cube.line) + ": cube " + kept.name + ": " + kept.problem;
  }
  std::set<std::string> named;
  for (EngineCase& mdx_case : cases) {
    const auto at = by_name.find(mdx_case.cube);
    if (mdx_case.cube.empty() || at == by_name.end()) continue;  // a shared cube, or none
    named.insert(mdx_case.cube);
    const EngineCase& cube = at->second;
    if (mdx_case.problem.empty()) mdx_case.problem = cube.problem;
    mdx_case.create_cube = cube.create_cube;
    mdx_case.insert_into = cube.insert_into;
    mdx_case.connection = cube.connection;
    mdx_case.tables = cube.tables;
    mdx_case.source_sql = cube.source_sql;
    mdx_case.cube_sql = cube.cube_sql;
  }
  for (const auto& [name, cube] : by_name) {
    if (!cube.problem.empty() && named.count(name) == 0) cases.push_back(cube);
  }
}

// Every case of the case file at `path`, in order.
std::vector<EngineCase> ReadCaseFile(const std::string& path, CaseFileKind kind) {
  const std::string file = fs::path(path).filename().string();
  std::vector<EngineCase> cases;
  std::vector<EngineCase> cubes;  // the cubes an MDX case file defines
  bool in_cube = false;           // the sections read belong to cubes.back()
  const auto block = [&]() -> EngineCase* {
    if (in_cube) return &cubes.back();
    return cases.empty() ? nullptr : &cases.back();
  };
  const auto fail = [&](int line, const std::string& problem) {
    if (block() == nullptr) cases.push_back(NamedCase(file, line, "file"));
    EngineCase& last = *block();
    if (last.problem.empty()) last.problem = file + ":" + std::to_string(line) + ": " + problem;
  };
  // Checks the block that ends: a case must be complete, a cube must have its statements.
  const auto finish = [&]() {
    EngineCase* last = block();
    if (last == nullptr || !last->problem.empty()) return;
    if (in_cube && (last->create_cube.empty() || last->insert_into.empty()))
      last->problem = "the cube needs both a create cube and an insert into section";
    else if (!in_cube)
      last->problem = CheckComplete(*last, kind);
  };
  bool read = false;
  const std::vector<std::string> lines = ReadLines(path, read);
  if (!read) fail(1, "cannot read the file, or it is empty");

  std::size_t i = 0;
  while (i < lines.size()) {
    if (IsSkipped(lines[i])) {
      ++i;
      continue;
    }
    const int line = static_cast<int>(i) + 1;
    const std::string header = Trim(lines[i]);
    const bool defines_cube = kind == CaseFileKind::kMdx && header.starts_with("define cube ");
    if (header.starts_with("case ") || defines_cube) {
      finish();
      in_cube = defines_cube;
      (in_cube ? cubes : cases)
          .push_back(NamedCase(file, line, Trim(header.substr(in_cube ? 12 : 5))));
      ++i;
      continue;
    }
    // A section's body runs to the next blank line; comment lines in it are left out.
    std::vector<std::string> body;
    for (++i; i < lines.size() && !Trim(lines[i]).empty(); ++i) {
      if (!IsSkipped(lines[i])) body.push_back(Trim(lines[i]));
    }
    if (block() == nullptr) {
      fail(line, "a section before the first case line");
      continue;
    }
    if (in_cube && !IsCubeSection(header)) {
      fail(line, "a cube's definition holds only the sections of a cube, not \"" + header + "\"");
      continue;
    }
    const std::string problem = ReadSection(header, body, line, kind, *block());
    if (!problem.empty()) fail(line, problem);
  }
  finish();
  if (kind == CaseFileKind::kMdx) ResolveCubes(cases, cubes);
  for (EngineCase& engine_case : cases) {
    if (!engine_case.problem.empty() && !engine_case.problem.starts_with(file + ":"))
      engine_case.problem =
          file + ":" + std::to_string(engine_case.line) + ": " + engine_case.problem;
  }
  return cases;
}

// The cases of every *.test file in `directory` (only of the file `only` when it is not ""),
// files in name order, each case's test name unique.
std::vector<EngineCase> ReadCases(const std::string& directory, CaseFileKind kind,
                                  const std::string& only) {
  std::vector<std::string> paths;
  std::error_code failure;
  for (const auto& entry : fs::directory_iterator(directory, failure)) {
    const bool chosen = only.empty() || entry.path().filename().string() == only;
    if (entry.path().extension() == ".test" && chosen) paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<EngineCase> cases;
  if (paths.empty()) {
    cases.push_back(NamedCase("(none)", 0, "no case files"));
    cases.back().problem = "no *.test file " + (only.empty() ? "" : only + " ") + "in " + directory;
  }
  std::set<std::string> names;
  for (const std::string& path : paths) {
    for (EngineCase& engine_case : ReadCaseFile(path, kind)) {
      if (!names.insert(CaseTestName(engine_case)).second) {
        engine_case.problem = engine_case.file + ":" + std::to_string(engine_case.line) +
                              ": another case has the name \"" + engine_case.name + "\"";
        engine_case.name += " " + std::to_string(engine_case.line);
      }
      cases.push_back(std::move(engine_case));
    }
  }
  return cases;
}

}  // namespace

std::string CellText(const SqliteCell& cell) {
  if (!cell) return "NULL";
  const std::string& text = *cell;
  const bool quote = text.empty() || text == "NULL" || text.front() == '\'' ||
                     text.front() == '#' || IsBlank(text.front()) || IsBlank(text.back()) ||
                     text.find('|') != std::string::npos;
  if (!quote) return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

std::optional<SqliteCell> ParseCell(const std::string& text, std::string& problem) {
  const std::string cell = Trim(text);
  if (cell == "NULL") return SqliteCell{};
  if (cell.empty() || cell.front() != '\'') return SqliteCell{cell};
  std::string value;
  std::size_t i = 1;
  for (; i < cell.size(); ++i) {
    if (cell[i] != '\'') {
      value += cell[i];
    } else if (i + 1 < cell.size() && cell[i + 1] == '\'') {
      value += '\'';
      ++i;
    } else {
      break;
    }
  }
  if (i + 1 != cell.size()) {
    problem = i >= cell.size() ? "the quote of " + cell + " is not closed"
                               : "text follows the closing quote in " + cell;
    return std::nullopt;
  }
  return SqliteCell{value};
}

std::vector<EngineCase> ReadEngineCaseFile(const std::string& path) {
  return ReadCaseFile(path, CaseFileKind::kEngine);
}

std::vector<EngineCase> ReadMdxCaseFile(const std::string& path) {
  return ReadCaseFile(path, CaseFileKind::kMdx);
}

std::vector<EngineCase> ReadEngineCases(const std::string& directory) {
  return ReadCases(directory, CaseFileKind::kEngine, "");
}

std::vector<EngineCase> ReadMdxCases(const std::string& directory, const std::string& only) {
  return ReadCases(directory, CaseFileKind::kMdx, only);
}

std::vector<std::string> AnswerLines(const query::QueryResult& answer) {
  using provider::cubefile::CellValue;
  const std::size_t row_depth = answer.rows.empty() ? 0 : answer.rows.front().size();
  const std::size_t column_depth = answer.columns.empty() ? 0 : answer.columns.front().size();
  std::vector<std::string> lines;
  const auto add = [&lines](const std::vector<std::string>& cells) {
    lines.push_back(Join(cells, " | "));
  };
  for (std::size_t level = 0; level < column_depth; ++level) {
    std::vector<std::string> cells(row_depth, CellText(std::string()));
    for (const auto& column : answer.columns) cells.push_back(CellText(column[level]));
    add(cells);
  }
  for (std::size_t r = 0; r < answer.rows.size(); ++r) {
    std::vector<std::string> cells;
    for (const std::string& name : answer.rows[r]) cells.push_back(CellText(name));
    for (std::size_t c = 0; c < answer.cells[r].size(); ++c) {
      const CellValue& value = answer.cells[r][c];
      const bool text = r < answer.texts.size() && !answer.texts[r][c].empty();
      cells.push_back(text                                      ? CellText(answer.texts[r][c])
                      : value.kind == CellValue::Kind::kNull    ? "NULL"
                      : value.kind == CellValue::Kind::kInteger ? std::to_string(value.integer)
                                                                : RealText(value.real));
    }
    add(cells);
  }
  return lines;
}

std::string CaseTestName(const EngineCase& engine_case) {
  std::string name = fs::path(engine_case.file).stem().string() + "_" + engine_case.name;
  std::string test_name;
  for (char c : name) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (word) {
      test_name += c;
    } else if (!test_name.empty() && test_name.back() != '_') {
      test_name += '_';
    }
  }
  while (!test_name.empty() && test_name.back() == '_') test_name.pop_back();
  return test_name;
}

void PrintTo(const EngineCase& engine_case, std::ostream* out) {
  *out << engine_case.file << ":" << engine_case.line << " " << engine_case.name;
}

}  // namespace cubemill::test
