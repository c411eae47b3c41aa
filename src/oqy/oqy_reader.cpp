#include "oqy/oqy_reader.h"

#include <algorithm>
#include <optional>

#include "common/quoted_text.h"
#include "platform/ascii_text.h"
#include "platform/text_file.h"
#include "provider/odbc_text/passwords.h"

namespace cubemill::oqy {
namespace {

struct Extraction {
  const char* key;
  const char* terminator;
  const char* label;
  int start_back;
  int length_extra;
  std::string CubeJob::*field;
};

// The eight values of a connection line, in the order they are cut out.
const Extraction kExtractions[] = {
    {"Provider=", ";", "Data Provider", 0, 0, &CubeJob::Provider},
    {"Initial Catalog=", ";", "Initial Catalog", 0, 0, &CubeJob::InitialCatalog},
    {"Data Source=", ";", "Output Location", 0, 0, &CubeJob::CubeFile},
    {"CreateCube=", ";", "Create Statement", 0, 1, &CubeJob::CreateCubeStmt},
    {"InsertInto=", "SELECT", "Insert Statement", 0, 0, &CubeJob::InsertIntoStmt},
    {"SELECT ", ";", "Select Statement", 7, 7, &CubeJob::SelectStmt},
    {"Source_DSN=\"", "\"", "Source DSN", 0, 0, &CubeJob::SourceDsn},
    {"DBQ=", ";", "DBQ", 0, 0, &CubeJob::Dbq},
};

constexpr std::string_view kInsertIntoKey = "InsertInto=";
constexpr std::string_view kSelectWord = "SELECT";

// Letters, digits, "_" and the bytes of non-ASCII letters continue a word.
bool IsWordCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Returns the position of the first SELECT keyword in `line` at or after `from`: the word in any
// letter case, with no letter, digit or "_" beside it, outside [names] (where "]]" stands for
// "]") and outside '...' and "..." literals. Returns npos when there is none.
std::size_t FindSelectKeyword(std::string_view line, std::size_t from) {
  std::size_t i = from;
  while (i < line.size()) {
    const char c = line[i];
    if (c == '[' || c == '\'' || c == '"') {
      i = ScanQuoted(line, i, c == '[' ? ']' : c).end;
      continue;
    }
    if (IsWordCharacter(c)) {
      const std::size_t start = i;
      while (i < line.size() && IsWordCharacter(line[i])) ++i;
      if (platform::EqualsIgnoringCase(line.substr(start, i - start), kSelectWord)) return start;
      continue;
    }
    ++i;
  }
  return std::string_view::npos;
}

// Where the INSERT INTO value ends and the SELECT begins: at the SELECT keyword after
// "InsertInto=", so that a name holding "select" ([Selected Qty]) stays in the INSERT INTO.
// Returns the start of the INSERT INTO value and the keyword's position, or nothing when the line
// has no "InsertInto=" or no SELECT keyword after it.
struct SelectSplit {
  std::size_t insert_into = 0;
  std::size_t select = 0;
};

std::optional<SelectSplit> SplitAtSelect(const std::string& line) {
  const std::size_t found = platform::UpperAscii(line).find(platform::UpperAscii(kInsertIntoKey));
  if (found == std::string::npos) return std::nullopt;
  const std::size_t value = found + kInsertIntoKey.size();
  const std::size_t select = FindSelectKeyword(line, value);
  if (select == std::string_view::npos) return std::nullopt;
  return SelectSplit{value, select};
}

// Cuts the value of `key` out of `line` as ExtractValue describes; nothing when the key is
// missing.
std::optional<std::string> CutValue(const std::string& line, std::string_view key,
                                    std::string_view terminator, int start_back, int length_extra) {
  const std::string upper = platform::UpperAscii(line);
  const std::size_t found = upper.find(platform::UpperAscii(key));
  if (found == std::string::npos || key.empty()) return std::nullopt;
  const std::size_t after_key = found + key.size();
  const std::size_t end = upper.find(platform::UpperAscii(terminator), after_key);
  const long start = static_cast<long>(after_key) - start_back;
  const std::size_t first = std::min(static_cast<std::size_t>(std::max(0L, start)), line.size());
  if (end == std::string::npos) return line.substr(first);
  const long length = static_cast<long>(end) - static_cast<long>(after_key) + length_extra;
  return line.substr(first, static_cast<std::size_t>(std::max(0L, length)));
}

// Reports a value in the list: "<label>(OK): <shown>", or the not-found message.
void Report(ProgressList& list, std::string_view label, std::string_view key,
            const std::optional<std::string>& shown) {
  if (shown) {
    list.AddLine(std::string(label) + "(OK): " + *shown);
  } else {
    list.AddLine(std::string(label) + "(NOK) Search Entry: ''" + std::string(key) + "'' not found");
  }
}

}  // namespace

bool ReadOqyConnection(CubeJob& job) {
  auto lines = platform::ReadTextLines(job.OqyFile);
  if (!lines) return false;
  for (const std::string& line : *lines) {
    if (platform::UpperAscii(line).find("CONNECTION=") != std::string::npos)
      job.ConnectionLine = line;
  }
  return true;
}

bool HasConnectionLine(const CubeJob& job) {
  CubeJob probe;
  probe.OqyFile = job.OqyFile;
  return ReadOqyConnection(probe) && !probe.ConnectionLine.empty();
}

std::string ExtractValue(ProgressList& list, const CubeJob& job, std::string_view key,
                         std::string_view terminator, std::string_view label, int start_back,
                         int length_extra) {
  const std::optional<std::string> value =
      CutValue(job.ConnectionLine, key, terminator, start_back, length_extra);
  Report(list, label, key, value);
  return value.value_or("");
}

bool ParseConnection(ProgressList& list, CubeJob& job) {
  const std::string& line = job.ConnectionLine;
  const std::optional<SelectSplit> split = SplitAtSelect(line);
  for (const Extraction& step : kExtractions) {
    std::optional<std::string> value;
    if (split && step.field == &CubeJob::InsertIntoStmt) {
      value = line.substr(split->insert_into, split->select - split->insert_into);
    } else if (split && step.field == &CubeJob::SelectStmt) {
      const std::size_t end = line.find(';', split->select + kSelectWord.size());
      value = line.substr(split->select, end == std::string::npos ? end : end - split->select);
    } else {
      value = CutValue(line, step.key, step.terminator, step.start_back, step.length_extra);
    }
    job.*step.field = value.value_or("");
    // The list shows the source without its passwords; the job keeps them for the build.
    if (value && step.field == &CubeJob::SourceDsn) {
      value = provider::odbc_text::MaskPasswords(*value).text;
    }
    Report(list, step.label, step.key, value);
  }
  return true;
}

}  // namespace cubemill::oqy
