#include "ui/console_list.h"

#include <unistd.h>

#include <cstdlib>

namespace cubemill::ui {

ConsoleList::ConsoleList(std::FILE* out, std::FILE* progress)
    : out_(out),
      progress_(progress),
      colour_(::isatty(::fileno(out)) != 0 && std::getenv("NO_COLOR") == nullptr),
      progress_is_terminal_(::isatty(::fileno(progress)) != 0) {}

void ConsoleList::AddLine(const std::string& text) {
  ClearProgress();
  if (red_ && colour_) {
    std::fprintf(out_, "\033[31m%s\033[0m\n", text.c_str());
  } else {
    std::fprintf(out_, "%s\n", text.c_str());
  }
  std::fflush(out_);
}

void ConsoleList::ShowRowsRead(std::uint64_t rows) {
  if (!progress_is_terminal_) return;
  std::fprintf(progress_, "\r%llu rows read", static_cast<unsigned long long>(rows));
  std::fflush(progress_);
  progress_shown_ = true;
}

void ConsoleList::ClearProgress() {
  if (!progress_shown_) return;
  std::fprintf(progress_, "\r\033[K");
  std::fflush(progress_);
  progress_shown_ = false;
}

}  // namespace cubemill::ui
