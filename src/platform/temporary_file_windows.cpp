#include <windows.h>

#include <atomic>
#include <cstring>

#include "platform/temporary_file.h"
#include "platform/windows_system.h"

namespace cubemill::platform {
namespace {

// The console control handler reads this list on a thread of its own while the process may be
// anywhere, so it is fixed-size and touched only through atomics, as in the POSIX version: a
// slot's path is written while the slot is kBusy and read only by whoever has turned it from
// kListed to kBusy.
constexpr int kSlots = 8;
constexpr std::size_t kMaxPath = 4096;
enum SlotState : int { kFree, kBusy, kListed };

struct Slot {
  std::atomic<int> state{kFree};
  wchar_t path[kMaxPath];
};

Slot slots[kSlots];

// Ctrl+C, Ctrl+Break and closing the console end the process through this handler unless a
// handler registered later (InstallStopSignalHandlers, which Windows asks first) takes the
// event: registered before main() runs, so that every other handler comes before it.
BOOL WINAPI RemoveFilesOnStop(DWORD /*event*/) {
  RemoveListedTemporaryFiles();
  return FALSE;  // the next handler, in the end the system's, which ends the process
}

const bool handler_registered = SetConsoleCtrlHandler(RemoveFilesOnStop, TRUE) != 0;

int ListPath(const std::string& path) {
  const std::wstring wide = WideText(path);
  if (wide.size() >= kMaxPath) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (slots[i].state.compare_exchange_strong(expected, kBusy)) {
      std::memcpy(slots[i].path, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
      slots[i].state.store(kListed);
      return i;
    }
  }
  return -1;
}

void UnlistPath(int slot) {
  if (slot < 0) return;
  // Not when RemoveListedTemporaryFiles has taken the slot: it may be reading the path.
  int listed = kListed;
  slots[slot].state.compare_exchange_strong(listed, kFree);
}

}  // namespace

// A file another handle of this process still has open without FILE_SHARE_DELETE (SQLite's,
// while it writes) cannot be removed here; RemoveStaleTemporaryFiles removes it on the next run.
void RemoveListedTemporaryFiles() {
  (void)handler_registered;
  for (Slot& slot : slots) {
    int listed = kListed;
    if (slot.state.compare_exchange_strong(listed, kBusy)) DeleteFileW(slot.path);
  }
}

TemporaryFile::TemporaryFile(std::string path) : path_(std::move(path)) { slot_ = ListPath(path_); }

TemporaryFile::~TemporaryFile() {
  if (!path_.empty()) DeleteFileW(WideText(path_).c_str());
  UnlistPath(slot_);
}

void TemporaryFile::Keep() {
  UnlistPath(slot_);
  slot_ = -1;
  path_.clear();
}

}  // namespace cubemill::platform
