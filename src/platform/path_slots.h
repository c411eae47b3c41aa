// The list of temporary files' paths that a stop handler removes: the POSIX signal handler, the
// Windows console control handler. Either reads it while the process may be anywhere, so it is
// fixed-size and touched only through atomics.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>

namespace cubemill::platform {

// `Char` is the character type of the system's file names (char on POSIX, wchar_t on Windows).
// A slot's path is written while the slot is busy and read only by whoever has turned it from
// listed to busy: TakeEach, which keeps it busy, since the process is ending.
template <typename Char>
class PathSlots {
 public:
  // Lists the `size` characters of `path`. Returns the slot, or -1 when the path is too long or
  // every slot is taken (the file is then not removed by a stop).
  int List(const Char* path, std::size_t size) {
    if (size >= kMaxPath) return -1;
    for (int i = 0; i < kSlots; ++i) {
      int expected = kFree;
      if (slots_[i].state.compare_exchange_strong(expected, kBusy)) {
        std::memcpy(slots_[i].path, path, size * sizeof(Char));
        slots_[i].path[size] = Char{};
        slots_[i].state.store(kListed);
        return i;
      }
    }
    return -1;
  }

  // Frees `slot` (-1: nothing), but not when TakeEach has taken it: it may be reading the path.
  void Unlist(int slot) {
    if (slot < 0) return;
    int listed = kListed;
    slots_[slot].state.compare_exchange_strong(listed, kFree);
  }

  // Calls `remove` with the path of each listed slot, taking each for good so that no new path is
  // written into it while `remove` reads it. Safe in a signal handler when `remove` is.
  template <typename Remove>
  void TakeEach(Remove remove) {
    for (Slot& slot : slots_) {
      int listed = kListed;
      if (slot.state.compare_exchange_strong(listed, kBusy)) remove(slot.path);
    }
  }

 private:
  static constexpr int kSlots = 8;
  static constexpr std::size_t kMaxPath = 4096;
  enum State : int { kFree, kBusy, kListed };

  struct Slot {
    std::atomic<int> state{kFree};
    Char path[kMaxPath];
  };

  Slot slots_[kSlots];
};

}  // namespace cubemill::platform
