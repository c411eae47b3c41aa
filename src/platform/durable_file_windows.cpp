#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <filesystem>
#include <random>
#include <vector>

#include "platform/durable_file.h"
#include "platform/temporary_file.h"
#include "platform/text_file.h"
#include "platform/windows_system.h"

namespace cubemill::platform {
namespace {

constexpr std::string_view kTemporaryInfix = ".tmp-";
constexpr std::size_t kRandomLength = 6;

// A writer holds an exclusive lock on one byte far past any real file's end for as long as its
// temporary file lives, the flock of the POSIX version: RemoveStaleTemporaryFiles removes only
// files whose byte it can lock.
constexpr DWORD kLockedOffsetHigh = 0x7FFFFFFF;

// How often a replace is tried while another program (a reader of the cube) has the target open,
// and how long apart.
constexpr int kReplaceTries = 10;
constexpr DWORD kReplacePauseMs = 200;

Error SystemError(unsigned long error_number, const std::string& what, const char* source) {
  return Error{what + ": " + SystemMessage(error_number), static_cast<long>(error_number), source};
}

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(WideText(utf8));
}

std::string DirectoryOf(const std::string& target) {
  const std::wstring directory = PathOf(target).parent_path().native();
  return directory.empty() ? "." : Utf8Text(directory);
}

std::string TemporaryPrefix(const std::string& target) {
  std::string prefix(1, '.');
  prefix.append(Utf8Text(PathOf(target).filename().native())).append(kTemporaryInfix);
  return prefix;
}

std::string RandomName(std::mt19937_64& random) {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name;
  for (std::size_t i = 0; i < kRandomLength; ++i)
    name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

bool LockByte(HANDLE file) {
  OVERLAPPED at{};
  at.OffsetHigh = kLockedOffsetHigh;
  return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

// True when the file open as `file` has been removed and only waits for its handles to close.
bool DeletePending(HANDLE file) {
  FILE_STANDARD_INFO info{};
  return GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) &&
         info.DeletePending;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WideText(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

HANDLE HandleOf(int descriptor) { return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)); }

// Puts `from` at `to` in one step, replacing a file there, and waits for the move to reach the
// disk. A reader that has the target open (a pivot table on the cube, a virus scanner) makes
// the move fail for a moment: it is tried again a few times before it fails for good.
DWORD MoveReplacing(const std::string& from, const std::string& to) {
  const std::wstring source = WideText(from);
  const std::wstring target = WideText(to);
  DWORD error_number = ERROR_SUCCESS;
  for (int attempt = 0; attempt < kReplaceTries; ++attempt) {
    if (MoveFileExW(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return ERROR_SUCCESS;
    }
    error_number = GetLastError();
    if (error_number != ERROR_ACCESS_DENIED && error_number != ERROR_SHARING_VIOLATION &&
        error_number != ERROR_LOCK_VIOLATION) {
      return error_number;
    }
    Sleep(kReplacePauseMs);
  }
  return error_number;
}

}  // namespace

PendingFile::PendingFile(std::string target, std::unique_ptr<TemporaryFile> temporary,
                         int descriptor)
    : target_(std::move(target)), temporary_(std::move(temporary)), descriptor_(descriptor) {}

PendingFile::~PendingFile() {
  // Closed first: SQLite, which may also have had the file open, has closed it by now, and the
  // removal then takes effect at once.
  if (descriptor_ >= 0) _close(descriptor_);
  temporary_.reset();  // removes the file unless it was committed
}

const std::string& PendingFile::path() const { return temporary_->path(); }

Result<std::unique_ptr<PendingFile>> PendingFile::Create(const std::string& target) {
  const std::string directory = DirectoryOf(target);
  // Refused before anything is written: the move fails on a folder only at the end.
  if (IsDirectory(target)) {
    return SystemError(ERROR_DIRECTORY, "cannot replace " + target, "WriteFile");
  }
  RemoveStaleTemporaryFiles(target);
  const std::string prefix = directory + "/" + TemporaryPrefix(target);
  std::mt19937_64 random(std::random_device{}() ^ GetTickCount64() ^ GetCurrentProcessId());
  DWORD error_number = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = prefix + RandomName(random);
    // FILE_SHARE_DELETE so that the owner can remove it while a writer of its own (SQLite) has it
    // open too; no DELETE access, which SQLite's sharing would refuse.
    HANDLE file = CreateFileW(WideText(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      error_number = GetLastError();
      if (error_number == ERROR_FILE_EXISTS) continue;
      break;
    }
    // A cleaner running at the same moment may take the new file before it is locked; then it
    // is gone, and another name is tried.
    if (!LockByte(file) || DeletePending(file)) {
      CloseHandle(file);
      continue;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (descriptor < 0) {
      CloseHandle(file);
      DeleteFileW(WideText(name).c_str());
      error_number = ERROR_TOO_MANY_OPEN_FILES;
      break;
    }
    auto temporary = std::make_unique<TemporaryFile>(name);
    return std::unique_ptr<PendingFile>(new PendingFile(target, std::move(temporary), descriptor));
  }
  return SystemError(error_number, "cannot create a temporary file in \"" + directory + "\"",
                     "WriteFile");
}

std::optional<Error> PendingFile::Write(std::string_view bytes) {
  HANDLE file = HandleOf(descriptor_);
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
      return SystemError(GetLastError(), "cannot write " + path(), "WriteFile");
    }
    bytes.remove_prefix(written);
  }
  return std::nullopt;
}

std::optional<Error> PendingFile::Commit() {
  if (!FlushFileBuffers(HandleOf(descriptor_))) {
    return SystemError(GetLastError(), "cannot sync " + path(), "WriteFile");
  }
  if (IsDirectory(target_)) {
    return SystemError(ERROR_DIRECTORY, "cannot replace " + target_, "WriteFile");
  }
  // Windows renames a file only when every handle to it allows it: closed first.
  _close(descriptor_);
  descriptor_ = -1;
  if (const DWORD error_number = MoveReplacing(path(), target_)) {
    // What keeps a replace from happening on Windows is most often a program that has the file
    // open: said in so many words, since the system's message alone does not say it.
    const bool in_use = error_number == ERROR_ACCESS_DENIED ||
                        error_number == ERROR_SHARING_VIOLATION ||
                        error_number == ERROR_LOCK_VIOLATION;
    return SystemError(error_number,
                       "cannot replace " + target_ +
                           (in_use ? " (another program may have it open)" : std::string()),
                       "WriteFile");
  }
  temporary_->Keep();
  return std::nullopt;
}

std::optional<Error> PlaceFileAs(const std::string& from, const std::string& to) {
  const std::string source = NativePath(from);
  const std::string target = NativePath(to);
  const std::string what = "cannot copy " + from + " to " + to;
  auto failed = [&](unsigned long error_number) {
    return Error{SystemMessage(error_number) + ": " + what, static_cast<long>(error_number),
                 "CopyFile"};
  };

  if (IsDirectory(target)) return failed(ERROR_DIRECTORY);
  RemoveStaleTemporaryFiles(target);
  const DWORD moved = MoveReplacing(source, target);
  if (moved == ERROR_SUCCESS) return std::nullopt;
  if (moved != ERROR_NOT_SAME_DEVICE) return failed(moved);

  // Another volume: copy into a temporary file beside the target.
  HANDLE input = CreateFileW(WideText(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (input == INVALID_HANDLE_VALUE) return failed(GetLastError());
  auto pending = PendingFile::Create(target);
  if (!pending) {
    CloseHandle(input);
    return failed(static_cast<unsigned long>(pending.error().number));
  }
  std::vector<char> buffer(1 << 20);
  std::optional<Error> error;
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(input, buffer.data(), static_cast<DWORD>(buffer.size()), &count, nullptr)) {
      error = failed(GetLastError());
      break;
    }
    if (count == 0) break;
    if (auto written = (*pending)->Write({buffer.data(), count})) {
      error = failed(static_cast<unsigned long>(written->number));
      break;
    }
  }
  CloseHandle(input);
  if (error) return error;
  if (auto committed = (*pending)->Commit()) {
    return failed(static_cast<unsigned long>(committed->number));
  }
  return std::nullopt;
}

int RemoveStaleTemporaryFiles(const std::string& target) {
  const std::string directory = DirectoryOf(target);
  const std::string prefix = TemporaryPrefix(target);
  const std::size_t base_length = prefix.size() + kRandomLength;
  std::vector<std::string> bases;
  std::vector<std::string> companions;  // a database writer's "-journal", "-wal", "-shm" files
  WIN32_FIND_DATAW found{};
  HANDLE listing = FindFirstFileExW(WideText(directory + "/" + prefix + "*").c_str(),
                                    FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (listing == INVALID_HANDLE_VALUE) return 0;
  do {
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
      continue;
    const std::string name = Utf8Text(found.cFileName);
    if (name.size() < base_length || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string_view suffix = std::string_view(name).substr(base_length);
    if (suffix.empty()) {
      bases.push_back(name);
    } else if (suffix == "-journal" || suffix == "-wal" || suffix == "-shm") {
      companions.push_back(name);
    }
  } while (FindNextFileW(listing, &found));
  FindClose(listing);

  auto path_of = [&directory](const std::string& name) { return directory + "/" + name; };
  int removed = 0;
  for (const std::string& name : bases) {
    const std::wstring path = WideText(path_of(name));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    // A live writer holds its lock until its file is renamed into place or removed.
    if (LockByte(file) && DeleteFileW(path.c_str())) ++removed;
    CloseHandle(file);
  }
  // A companion outlives its file only when the writer was killed.
  for (const std::string& name : companions) {
    const std::string base = path_of(name.substr(0, base_length));
    if (GetFileAttributesW(WideText(base).c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    if (DeleteFileW(WideText(path_of(name)).c_str())) ++removed;
  }
  return removed;
}

// Windows has no file-size signal: a write beyond a limit fails with an error by itself.
void IgnoreFileSizeSignal() {}

}  // namespace cubemill::platform
