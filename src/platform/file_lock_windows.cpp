#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "platform/file_lock.h"
#include "platform/windows_system.h"

namespace cubemill::platform {
namespace {

// The lock covers one byte far past the end of the file, and the holder's process id is written
// at its start: a locked range cannot be read by another process, the rest of the file can.
constexpr DWORD kLockedOffsetHigh = 1;  // byte 4 GiB

// How often the lock file is opened again when the holder let go between our two looks.
constexpr int kMaxTries = 100;

Error LockError(unsigned long error_number, const std::string& path) {
  return Error{SystemMessage(error_number) + ": cannot lock " + path,
               static_cast<long>(error_number), "LockFile"};
}

bool LockRange(HANDLE file) {
  OVERLAPPED at{};
  at.OffsetHigh = kLockedOffsetHigh;
  return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

// The process id the holder wrote, or nothing while it has not written it yet.
std::optional<long> ReadHolder(HANDLE file) {
  char text[32] = {};
  DWORD count = 0;
  OVERLAPPED at{};
  if (!ReadFile(file, text, sizeof text - 1, &count, &at) || count == 0) return std::nullopt;
  try {
    return std::stol(std::string(text, count));
  } catch (...) {
    return std::nullopt;
  }
}

// True when a folder or a link (a reparse point) is at `path`: never locked, never followed.
bool NotAPlainFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0;
}

}  // namespace

void FileLock::Release() {
  if (descriptor_ < 0) return;
  // Closed first, then removed: nobody opens the lock file with FILE_SHARE_DELETE, so the removal
  // fails while another process has it open (it then keeps the file and locks it), and a file
  // that is removed has no handle left that a second holder could lock.
  _close(descriptor_);
  descriptor_ = -1;
  DeleteFileW(WideText(path_).c_str());
}

LockAttempt TryLockFile(const std::string& path) {
  LockAttempt attempt;
  const std::wstring wide_path = WideText(path);
  for (int tries = 0; tries < kMaxTries; ++tries) {
    HANDLE file = CreateFileW(wide_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error_number = GetLastError();
      if (NotAPlainFile(wide_path)) {
        attempt.not_a_file = true;
        attempt.error = LockError(error_number, path);
        return attempt;
      }
      // Removed by its last holder this very moment, or opened by it for removal: try again.
      if ((error_number == ERROR_ACCESS_DENIED || error_number == ERROR_SHARING_VIOLATION) &&
          tries + 1 < kMaxTries) {
        Sleep(10);
        continue;
      }
      attempt.error = LockError(error_number, path);
      return attempt;
    }
    if (GetFileType(file) != FILE_TYPE_DISK || NotAPlainFile(wide_path)) {
      CloseHandle(file);
      attempt.not_a_file = true;
      attempt.error = LockError(ERROR_INVALID_FUNCTION, path);
      return attempt;
    }
    if (LockRange(file)) {
      const std::string id = std::to_string(GetCurrentProcessId());
      DWORD written = 0;
      OVERLAPPED at{};
      WriteFile(file, id.data(), static_cast<DWORD>(id.size()), &written, &at);
      SetFilePointer(file, static_cast<LONG>(id.size()), nullptr, FILE_BEGIN);
      SetEndOfFile(file);
      const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR);
      if (descriptor < 0) {
        CloseHandle(file);
        attempt.error = LockError(ERROR_TOO_MANY_OPEN_FILES, path);
        return attempt;
      }
      attempt.lock = FileLock(path, descriptor);
      return attempt;
    }
    const DWORD error_number = GetLastError();
    if (error_number != ERROR_LOCK_VIOLATION && error_number != ERROR_IO_PENDING) {
      CloseHandle(file);
      attempt.error = LockError(error_number, path);
      return attempt;
    }
    // Held: the holder writes its id right after taking the lock.
    std::optional<long> holder;
    for (int look = 0; look < 20 && !holder; ++look) {
      holder = ReadHolder(file);
      if (!holder) Sleep(5);
    }
    CloseHandle(file);
    attempt.holder = holder.value_or(0);
    return attempt;
  }
  attempt.error = LockError(ERROR_LOCK_VIOLATION, path);
  return attempt;
}

}  // namespace cubemill::platform
