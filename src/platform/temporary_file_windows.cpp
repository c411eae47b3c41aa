#include <windows.h>

#include "platform/path_slots.h"
#include "platform/temporary_file.h"
#include "platform/windows_system.h"

namespace cubemill::platform {
namespace {

PathSlots<wchar_t> slots;

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
  return slots.List(wide.c_str(), wide.size());
}

}  // namespace

// A file another handle of this process still has open without FILE_SHARE_DELETE (SQLite's,
// while it writes) cannot be removed here; RemoveStaleTemporaryFiles removes it on the next run.
void RemoveListedTemporaryFiles() {
  (void)handler_registered;
  slots.TakeEach([](const wchar_t* path) { DeleteFileW(path); });
}

TemporaryFile::TemporaryFile(std::string path) : path_(std::move(path)) { slot_ = ListPath(path_); }

TemporaryFile::~TemporaryFile() {
  if (!path_.empty()) DeleteFileW(WideText(path_).c_str());
  slots.Unlist(slot_);
}

void TemporaryFile::Keep() {
  slots.Unlist(slot_);
  slot_ = -1;
  path_.clear();
}

}  // namespace cubemill::platform
