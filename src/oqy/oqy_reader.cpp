#include "oqy/oqy_reader.h"

#include <algorithm>

#include "platform/ascii_text.h"
#include "platform/text_file.h"

namespace cubemill::oqy {
namespace {

struct Extraction {
  const char* key;
  const char* terminator;
  const char* label;
  int start_back;
  int length_extra;
  std::string job::CubeJob::*field;
};

// The eight values of a connection line, in the order they are cut out.
const Extraction kExtractions[] = {
    {"Provider=", ";", "Data Provider", 0, 0, &job::CubeJob::Provider},
    {"Initial Catalog=", ";", "Initial Catalog", 0, 0, &job::CubeJob::InitialCatalog},
    {"Data Source=", ";", "Output Location", 0, 0, &job::CubeJob::CubeFile},
    {"CreateCube=", ";", "Create Statement", 0, 1, &job::CubeJob::CreateCubeStmt},
    {"InsertInto=", "SELECT", "Insert Statement", 0, 0, &job::CubeJob::InsertIntoStmt},
    {"SELECT ", ";", "Select Statement", 7, 7, &job::CubeJob::SelectStmt},
    {"Source_DSN=\"", "\"", "Source DSN", 0, 0, &job::CubeJob::SourceDsn},
    {"DBQ=", ";", "DBQ", 0, 0, &job::CubeJob::Dbq},
};

}  // namespace

bool ReadOqyConnection(job::CubeJob& job) {
  auto lines = platform::ReadTextLines(job.OqyFile);
  if (!lines) return false;
  for (const std::string& line : *lines) {
    if (platform::UpperAscii(line).find("CONNECTION=") != std::string::npos)
      job.ConnectionLine = line;
  }
  return true;
}

std::string ExtractValue(job::ProgressList& list, const job::CubeJob& job, std::string_view key,
                         std::string_view terminator, std::string_view label, int start_back,
                         int length_extra) {
  const std::string& line = job.ConnectionLine;
  const std::string upper = platform::UpperAscii(line);
  const std::size_t found = upper.find(platform::UpperAscii(key));
  if (found == std::string::npos || key.empty()) {
    list.AddLine(std::string(label) + "(NOK) Search Entry: ''" + std::string(key) + "'' not found");
    return "";
  }
  const std::size_t after_key = found + key.size();
  const std::size_t end = upper.find(platform::UpperAscii(terminator), after_key);
  const long start = static_cast<long>(after_key) - start_back;
  const std::size_t first = static_cast<std::size_t>(std::max(0L, start));
  std::string value;
  if (end == std::string::npos) {
    value = line.substr(std::min(first, line.size()));
  } else {
    long length = static_cast<long>(end) - static_cast<long>(after_key) + length_extra;
    value =
        line.substr(std::min(first, line.size()), static_cast<std::size_t>(std::max(0L, length)));
  }
  list.AddLine(std::string(label) + "(OK): " + value);
  return value;
}

bool ParseConnection(job::ProgressList& list, job::CubeJob& job) {
  for (const Extraction& step : kExtractions) {
    job.*step.field = ExtractValue(list, job, step.key, step.terminator, step.label,
                                   step.start_back, step.length_extra);
  }
  return true;
}

}  // namespace cubemill::oqy
