#include "bench/query_answers.h"

#include <cmath>
#include <cstdlib>

namespace cubemill::bench {
namespace {

std::string Key(const std::string& year, const std::string& country, const std::string& measure) {
  return year + " / " + country + " / " + measure;
}

// Numbers the names of columns met again: the n-th "Quarter 1" (n > 1) is "Quarter 1 #n".
class ColumnNames {
 public:
  std::string Next(const std::string& name) {
    const int turn = ++seen_[name];
    return turn == 1 ? name : name + " #" + std::to_string(turn);
  }

 private:
  std::map<std::string, int> seen_;
};

bool IsInteger(const std::string& text) {
  if (text.empty()) return false;
  std::size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

}  // namespace

// True when `a` and `b` are the same number: equal as integers, or within `relative` when
// either is written as a real.
bool SameNumber(const std::string& a, const std::string& b, double relative) {
  if (a == b) return true;
  if (a.empty() || b.empty() || (IsInteger(a) && IsInteger(b))) return false;
  char* end_a = nullptr;
  char* end_b = nullptr;
  const double x = std::strtod(a.c_str(), &end_a);
  const double y = std::strtod(b.c_str(), &end_b);
  if (*end_a != '\0' || *end_b != '\0') return false;
  return std::fabs(x - y) <= relative * std::fmax(1.0, std::fmax(std::fabs(x), std::fabs(y)));
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& csv) {
  std::vector<std::vector<std::string>> lines;
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false;
  bool any = false;  // the line has begun
  for (std::size_t i = 0; i < csv.size(); ++i) {
    const char c = csv[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < csv.size() && csv[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
      continue;
    }
    any = true;
    if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.push_back(std::move(field));
      field.clear();
    } else if (c == '\n') {
      if (!field.empty() && field.back() == '\r') field.pop_back();
      fields.push_back(std::move(field));
      field.clear();
      lines.push_back(std::move(fields));
      fields.clear();
      any = false;
    } else {
      field += c;
    }
  }
  if (any) {
    fields.push_back(std::move(field));
    lines.push_back(std::move(fields));
  }
  return lines;
}

std::optional<Answers> ReadMdxAnswers(const std::string& csv, std::string& error) {
  const auto lines = ReadCsv(csv);
  if (lines.empty() || lines[0].size() < 3) {
    error = "cubemill-query: expected a header line with two row fields and the years";
    return std::nullopt;
  }
  const std::vector<std::string>& header = lines[0];
  Answers answers;
  for (std::size_t l = 1; l < lines.size(); ++l) {
    const std::vector<std::string>& line = lines[l];
    if (line.size() != header.size()) {
      error = "cubemill-query: line " + std::to_string(l + 1) + " has " +
              std::to_string(line.size()) + " fields, the header " + std::to_string(header.size());
      return std::nullopt;
    }
    for (std::size_t f = 2; f < line.size(); ++f)
      answers[Key(header[f], line[0], line[1])] = line[f];
  }
  return answers;
}

std::optional<Answers> ReadGroupByAnswers(const std::string& csv,
                                          const std::vector<std::string>& measures,
                                          std::string& error) {
  Answers answers;
  const auto lines = ReadCsv(csv);
  for (std::size_t l = 0; l < lines.size(); ++l) {
    const std::vector<std::string>& line = lines[l];
    if (line.size() != 2 + measures.size()) {
      error = "sqlite3: line " + std::to_string(l + 1) + " has " + std::to_string(line.size()) +
              " fields, expected " + std::to_string(2 + measures.size());
      return std::nullopt;
    }
    for (std::size_t m = 0; m < measures.size(); ++m)
      answers[Key(line[0], line[1], measures[m])] = line[2 + m];
  }
  return answers;
}

std::optional<Answers> ReadMdxGrid(const std::string& csv, std::size_t row_fields,
                                   std::string& error) {
  const auto lines = ReadCsv(csv);
  if (lines.empty() || lines[0].size() < row_fields) {
    error = "cubemill-query: expected a header line with " + std::to_string(row_fields) +
            " row fields and the column names";
    return std::nullopt;
  }
  ColumnNames names;
  std::vector<std::string> columns;
  for (std::size_t f = row_fields; f < lines[0].size(); ++f)
    columns.push_back(names.Next(lines[0][f]));
  Answers answers;
  for (std::size_t l = 1; l < lines.size(); ++l) {
    const std::vector<std::string>& line = lines[l];
    if (line.size() != lines[0].size()) {
      error = "cubemill-query: line " + std::to_string(l + 1) + " has " +
              std::to_string(line.size()) + " fields, the header " +
              std::to_string(lines[0].size());
      return std::nullopt;
    }
    std::string row;
    for (std::size_t f = 0; f < row_fields; ++f) row += " / " + line[f];
    for (std::size_t c = 0; c < columns.size(); ++c)
      answers[columns[c] + row] = line[row_fields + c];
  }
  return answers;
}

std::optional<Answers> ReadGroupByGrid(const std::string& csv, bool column_field,
                                       std::size_t row_fields,
                                       const std::vector<std::string>& measures,
                                       std::string& error) {
  const std::size_t values = column_field ? 1 : measures.size();
  const std::size_t fields = (column_field ? 1 : 0) + row_fields + values;
  ColumnNames names;
  std::string previous, column;
  Answers answers;
  const auto lines = ReadCsv(csv);
  for (std::size_t l = 0; l < lines.size(); ++l) {
    const std::vector<std::string>& line = lines[l];
    if (line.size() != fields) {
      error = "sqlite3: line " + std::to_string(l + 1) + " has " + std::to_string(line.size()) +
              " fields, expected " + std::to_string(fields);
      return std::nullopt;
    }
    std::size_t f = 0;
    if (column_field) {
      if (l == 0 || line[0] != previous) column = names.Next(line[0]);
      previous = line[0];
      f = 1;
    }
    std::string row;
    for (std::size_t r = 0; r < row_fields; ++r) row += " / " + line[f + r];
    f += row_fields;
    for (std::size_t v = 0; v < values; ++v)
      answers[(column_field ? column : measures[v]) + row] = line[f + v];
  }
  return answers;
}

std::vector<std::string> CompareAnswers(const Answers& got, const Answers& expected,
                                        double relative) {
  std::vector<std::string> differences;
  for (const auto& [key, value] : expected) {
    const auto found = got.find(key);
    if (found == got.end()) {
      differences.push_back(key + ": missing, expected " + value);
    } else if (!SameNumber(found->second, value, relative)) {
      differences.push_back(key + ": " + found->second + ", expected " + value);
    }
  }
  for (const auto& [key, value] : got) {
    if (expected.count(key) == 0) differences.push_back(key + ": " + value + ", expected none");
  }
  return differences;
}

}  // namespace cubemill::bench
