// The console front end's progress list: every line goes to standard output at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "job/front_end.h"

namespace cubemill::ui {

class ConsoleList : public job::JobFrontEnd {
 public:
  // Writes lines to `out` and the source progress to `progress`. Colours and the progress line
  // are used only when the stream is a terminal and NO_COLOR is not set (colours) respectively.
  // A `quiet` list shows nothing: no lines, no progress (the run log still gets every line).
  explicit ConsoleList(std::FILE* out = stdout, std::FILE* progress = stderr, bool quiet = false);

  void AddLine(const std::string& text) override;
  void listSetLast() override {}
  void listSetRed() override { red_ = true; }
  void ImageCubeMoveDown() override {}
  void Unload() override {}

  // Shows how many source rows a running build has read, how fast and for how long, on one line
  // of the progress stream that the next list line replaces. Does nothing when that stream is
  // not a terminal.
  void ShowRowsRead(std::uint64_t rows);

  // The progress line's text: "1200 rows read, 400 rows/s, 00:00:03".
  static std::string ProgressText(std::uint64_t rows, double seconds);

 private:
  void ClearProgress();

  std::FILE* out_;
  std::FILE* progress_;
  bool colour_;
  bool progress_is_terminal_;
  bool progress_shown_ = false;
  std::optional<std::chrono::steady_clock::time_point> reading_since_;
  std::uint64_t last_rows_ = 0;
  bool red_ = false;
  bool quiet_ = false;
};

}  // namespace cubemill::ui
