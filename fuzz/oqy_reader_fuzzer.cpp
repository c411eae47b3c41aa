// Fuzzes the OQY reader and the value extraction: the input is the OQY file. Its connection
// line goes through ParseConnection, then through ExtractValue once more with a key, terminator
// and offsets taken from the input's last bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "oqy/oqy_reader.h"

namespace {

using cubemill::fuzz::Check;

// The labels ParseConnection reports, in its order.
constexpr std::string_view kLabels[] = {
    "Data Provider",    "Initial Catalog",  "Output Location", "Create Statement",
    "Insert Statement", "Select Statement", "Source DSN",      "DBQ"};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  cubemill::CubeJob job;
  job.OqyFile = cubemill::fuzz::WriteScratchFile(bytes);
  Check(cubemill::oqy::ReadOqyConnection(job), "a readable OQY file was not read");
  Check(job.ConnectionLine.find('\n') == std::string::npos, "connection line holds a line feed",
        job.ConnectionLine);

  cubemill::fuzz::RecordingList list;
  Check(cubemill::oqy::ParseConnection(list, job), "ParseConnection returned false");
  Check(list.lines.size() == std::size(kLabels), "ParseConnection did not report eight lines");
  for (std::size_t i = 0; i < list.lines.size(); ++i) {
    const std::string label(kLabels[i]);
    Check(StartsWith(list.lines[i], label + "(OK): ") || StartsWith(list.lines[i], label + "(NOK)"),
          "unexpected report line", list.lines[i]);
  }
  for (const std::string* value :
       {&job.Provider, &job.InitialCatalog, &job.CubeFile, &job.CreateCubeStmt, &job.InsertIntoStmt,
        &job.SelectStmt, &job.SourceDsn, &job.Dbq}) {
    Check(job.ConnectionLine.find(*value) != std::string::npos,
          "an extracted value is not part of the connection line", *value);
  }

  // One more extraction with parameters from the input: key and terminator are the two texts
  // before the input's last two bytes, split at its first tab; those bytes give the offsets.
  if (size < 3) return 0;
  const int start_back = static_cast<std::int8_t>(data[size - 2]);
  const int length_extra = static_cast<std::int8_t>(data[size - 1]);
  const std::string_view rest = bytes.substr(0, size - 2);
  const std::size_t tab = rest.find('\t');
  const std::string_view key = rest.substr(0, std::min<std::size_t>(tab, 24));
  const std::string_view terminator = tab == std::string_view::npos ? ";" : rest.substr(tab + 1, 8);
  list.lines.clear();
  const std::string value =
      cubemill::oqy::ExtractValue(list, job, key, terminator, "Fuzz", start_back, length_extra);
  Check(list.lines.size() == 1, "ExtractValue did not report one line");
  Check(job.ConnectionLine.find(value) != std::string::npos,
        "the extracted value is not part of the connection line", value);
  return 0;
}
