#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/path_slots.h"
#include "platform/temporary_file.h"

namespace cubemill::platform {
namespace {

PathSlots<char> slots;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = 3;

std::mutex handler_mutex;
int listed_count = 0;  // under handler_mutex
// Under handler_mutex: the signals whose default action this module has replaced, and what it
// replaced.
bool took_over[kSignalCount] = {};
struct sigaction previous[kSignalCount];

extern "C" void RemoveTemporaryFilesAndDie(int signal_number) {
  RemoveListedTemporaryFiles();
  struct sigaction default_action;
  std::memset(&default_action, 0, sizeof default_action);
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal_number, &default_action, nullptr);
  raise(signal_number);  // delivered with the default action once this handler returns
}

// Takes over only the signals that would end the process by their default action: an ignored
// signal stays ignored, and a handler someone installed (the stop handlers) stays in charge.
void InstallHandlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = RemoveTemporaryFilesAndDie;
  sigemptyset(&action.sa_mask);
  for (int signal_number : kSignals) sigaddset(&action.sa_mask, signal_number);
  for (int i = 0; i < kSignalCount; ++i) {
    struct sigaction current;
    took_over[i] = sigaction(kSignals[i], nullptr, &current) == 0 &&
                   !(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL &&
                   sigaction(kSignals[i], &action, &previous[i]) == 0;
  }
}

void RestoreHandlers() {
  for (int i = 0; i < kSignalCount; ++i) {
    if (took_over[i]) sigaction(kSignals[i], &previous[i], nullptr);
    took_over[i] = false;
  }
}

int ListPath(const std::string& path) {
  const int slot = slots.List(path.c_str(), path.size());
  if (slot >= 0) {
    std::lock_guard<std::mutex> lock(handler_mutex);
    if (listed_count++ == 0) InstallHandlers();
  }
  return slot;
}

void UnlistPath(int slot) {
  if (slot < 0) return;
  slots.Unlist(slot);
  std::lock_guard<std::mutex> lock(handler_mutex);
  if (--listed_count == 0) RestoreHandlers();
}

}  // namespace

void RemoveListedTemporaryFiles() {
  slots.TakeEach([](const char* path) { unlink(path); });
}

TemporaryFile::TemporaryFile(std::string path) : path_(std::move(path)) { slot_ = ListPath(path_); }

TemporaryFile::~TemporaryFile() {
  if (!path_.empty()) std::remove(path_.c_str());
  UnlistPath(slot_);
}

void TemporaryFile::Keep() {
  UnlistPath(slot_);
  slot_ = -1;
  path_.clear();
}

}  // namespace cubemill::platform
