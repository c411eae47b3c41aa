#include "provider/cubefile/engine_case_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string_view>

#include "provider/engine_error.h"

namespace cubemill::test {
namespace {

namespace fs = std::filesystem;

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

// Reads one section of `engine_case`; returns what is wrong with it, or "".
std::string ReadSection(const std::string& header, const std::vector<std::string>& body, int line,
                        EngineCase& engine_case) {
  std::string problem;
  if (header == "create cube") {
    engine_case.create_cube = Join(body, " ");
  } else if (header == "insert into") {
    engine_case.insert_into = Join(body, " ");
  } else if (header == "connection") {
    engine_case.connection = Join(body, ";");
  } else if (header == "source sql") {
    engine_case.source_sql.push_back(Join(body, "\n"));
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

// What a complete case lacks, or "".
std::string CheckComplete(const EngineCase& engine_case) {
  if (engine_case.create_cube.empty()) return "the case has no create cube section";
  if (engine_case.insert_into.empty()) return "the case has no insert into section";
  const bool expects_cube = engine_case.cube_flat || !engine_case.queries.empty() ||
                            !engine_case.same.empty() || !engine_case.mdx.empty() ||
                            !engine_case.warnings.empty();
  if (engine_case.error && expects_cube)
    return "a case that expects an error cannot expect a cube as well";
  if (!engine_case.error && !expects_cube) return "the case expects nothing";
  return "";
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
  const std::string file = fs::path(path).filename().string();
  std::vector<EngineCase> cases;
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  auto fail = [&](int line, const std::string& problem) {
    if (cases.empty()) cases.push_back(NamedCase(file, line, "file"));
    EngineCase& last = cases.back();
    if (last.problem.empty()) last.problem = file + ":" + std::to_string(line) + ": " + problem;
  };
  if (!in.eof() || lines.empty()) fail(1, "cannot read the file, or it is empty");

  auto is_skipped = [](const std::string& line) {
    const std::string text = Trim(line);
    return text.empty() || text.front() == '#';
  };
  std::size_t i = 0;
  while (i < lines.size()) {
    if (is_skipped(lines[i])) {
      ++i;
      continue;
    }
    const int line = static_cast<int>(i) + 1;
    const std::string header = Trim(lines[i]);
    if (header.starts_with("case ")) {
      if (!cases.empty() && cases.back().problem.empty())
        cases.back().problem = CheckComplete(cases.back());
      cases.push_back(NamedCase(file, line, Trim(header.substr(5))));
      ++i;
      continue;
    }
    // A section's body runs to the next blank line; comment lines in it are left out.
    std::vector<std::string> body;
    for (++i; i < lines.size() && !Trim(lines[i]).empty(); ++i) {
      if (!is_skipped(lines[i])) body.push_back(Trim(lines[i]));
    }
    if (cases.empty()) {
      fail(line, "a section before the first case line");
      continue;
    }
    const std::string problem = ReadSection(header, body, line, cases.back());
    if (!problem.empty()) fail(line, problem);
  }
  if (!cases.empty() && cases.back().problem.empty())
    cases.back().problem = CheckComplete(cases.back());
  for (EngineCase& engine_case : cases) {
    if (!engine_case.problem.empty() && !engine_case.problem.starts_with(file + ":"))
      engine_case.problem =
          file + ":" + std::to_string(engine_case.line) + ": " + engine_case.problem;
  }
  return cases;
}

std::vector<EngineCase> ReadEngineCases(const std::string& directory) {
  std::vector<std::string> paths;
  std::error_code failure;
  for (const auto& entry : fs::directory_iterator(directory, failure)) {
    if (entry.path().extension() == ".test") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<EngineCase> cases;
  if (paths.empty()) {
    cases.push_back(NamedCase("(none)", 0, "no case files"));
    cases.back().problem = "no *.test file in " + directory;
  }
  std::set<std::string> names;
  for (const std::string& path : paths) {
    for (EngineCase& engine_case : ReadEngineCaseFile(path)) {
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
