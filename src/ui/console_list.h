// The console front end's progress list: every line goes to standard output at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "job/progress_list.h"

namespace cubemill::ui {

class ConsoleList : public job::ProgressList {
 public:
  // Writes lines to `out` and the source progress to `progress`. Colours and the progress line
  // are used only when the stream is a terminal and NO_COLOR is not set (colours) respectively.
  explicit ConsoleList(std::FILE* out = stdout, std::FILE* progress = stderr);

  void AddLine(const std::string& text) override;
  void listSetLast() override {}
  void listSetRed() override { red_ = true; }
  void ImageCubeMoveDown() override {}
  void Unload() override {}

  // Shows how many source rows a running build has read, on one line of the progress stream
  // that the next list line replaces. Does nothing when that stream is not a terminal.
  void ShowRowsRead(std::uint64_t rows);

 private:
  void ClearProgress();

  std::FILE* out_;
  std::FILE* progress_;
  bool colour_;
  bool progress_is_terminal_;
  bool progress_shown_ = false;
  bool red_ = false;
};

}  // namespace cubemill::ui
