// What the fuzz targets share: a scratch file for parsers that read from disk, a progress list
// that keeps its lines, and the check that turns a broken property into a crash the fuzzer keeps.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/progress_list.h"

namespace cubemill::fuzz {

// Writes `bytes` to a file in this process's own temporary directory (made on first use and
// removed when the process ends) and returns the file's path. Every call replaces the file.
std::string WriteScratchFile(std::string_view bytes);

// Prints `what` and `detail` on standard error and aborts when `condition` is false, so that
// libFuzzer reports the input as a crash and saves it.
void Check(bool condition, std::string_view what, std::string_view detail = "");

// Returns how often `needle` (not empty) occurs in `text`, occurrences not overlapping.
std::size_t CountOccurrences(std::string_view text, std::string_view needle);

// Keeps every line a job adds; the other calls are counted only.
class RecordingList : public ProgressList {
 public:
  void AddLine(const std::string& text) override { lines.push_back(text); }
  void listSetLast() override { ++other_calls; }
  void listSetRed() override { ++other_calls; }

  std::vector<std::string> lines;
  int other_calls = 0;
};

}  // namespace cubemill::fuzz
