#include "ui/console_list.h"

#include <cstdlib>
#include <string>

#include "platform/file_system.h"
#include "settings/run_log.h"

namespace cubemill::ui {

ConsoleList::ConsoleList(std::FILE* out, std::FILE* progress, bool quiet)
    : out_(out),
      progress_(progress),
      colour_(platform::IsTerminal(out) && std::getenv("NO_COLOR") == nullptr),
      progress_is_terminal_(!quiet && platform::IsTerminal(progress)),
      quiet_(quiet) {}

void ConsoleList::AddLine(const std::string& text) {
  if (quiet_) return;
  ClearProgress();
  // One list line is one output line, whatever control characters a message carries.
  const std::string line = settings::OneLine(text);
  if (red_ && colour_) {
    std::fprintf(out_, "\033[31m%s\033[0m\n", line.c_str());
  } else {
    std::fprintf(out_, "%s\n", line.c_str());
  }
  std::fflush(out_);
}

std::string ConsoleList::ProgressText(std::uint64_t rows, double seconds) {
  const auto per_second =
      seconds > 0 ? static_cast<unsigned long long>(static_cast<double>(rows) / seconds) : 0ULL;
  const auto whole = static_cast<unsigned long long>(seconds);
  char text[96];
  std::snprintf(text, sizeof text, "%llu rows read, %llu rows/s, %02llu:%02llu:%02llu",
                static_cast<unsigned long long>(rows), per_second, whole / 3600, whole / 60 % 60,
                whole % 60);
  return text;
}

void ConsoleList::ShowRowsRead(std::uint64_t rows) {
  if (!progress_is_terminal_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!reading_since_ || rows < last_rows_) reading_since_ = now;  // a new build starts reading
  last_rows_ = rows;
  const double seconds = std::chrono::duration<double>(now - *reading_since_).count();
  std::fprintf(progress_, "\r%s", ProgressText(rows, seconds).c_str());
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
