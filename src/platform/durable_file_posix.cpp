#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/durable_file.h"
#include "platform/temporary_file.h"
#include "platform/text_file.h"

namespace cubemill::platform {
namespace {

constexpr std::string_view kTemporaryInfix = ".tmp-";
constexpr std::size_t kRandomLength = 6;  // the XXXXXX that mkstemp fills in

Error SystemError(int error_number, const std::string& what, const char* source) {
  return Error{what + ": " + std::strerror(error_number), error_number, source};
}

std::string DirectoryOf(const std::string& target) {
  std::string directory = std::filesystem::path(target).parent_path().string();
  return directory.empty() ? "." : directory;
}

std::string TemporaryPrefix(const std::string& target) {
  // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "." + string.
  std::string prefix(1, '.');
  prefix.append(std::filesystem::path(target).filename().string()).append(kTemporaryInfix);
  return prefix;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True while `path` still names the file open as `descriptor`.
bool PathNamesDescriptor(const std::string& path, int descriptor) {
  struct stat by_path {};
  struct stat by_descriptor {};
  return ::lstat(path.c_str(), &by_path) == 0 && ::fstat(descriptor, &by_descriptor) == 0 &&
         SameFile(by_path, by_descriptor);
}

// The system's number for what is at `path` instead of a regular file: EISDIR for a folder.
int NotAFileNumber(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
}

void SyncDirectory(const std::string& directory) {
  int descriptor = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  ::fsync(descriptor);  // makes the rename durable; best effort
  ::close(descriptor);
}

std::optional<Error> WriteAll(int descriptor, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return SystemError(errno, "cannot write " + path, "WriteFile");
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return std::nullopt;
}

}  // namespace

PendingFile::PendingFile(std::string target, std::unique_ptr<TemporaryFile> temporary,
                         int descriptor)
    : target_(std::move(target)), temporary_(std::move(temporary)), descriptor_(descriptor) {}

PendingFile::~PendingFile() {
  temporary_.reset();  // removes the file unless it was committed, while still locked
  if (descriptor_ >= 0) ::close(descriptor_);
}

const std::string& PendingFile::path() const { return temporary_->path(); }

Result<std::unique_ptr<PendingFile>> PendingFile::Create(const std::string& target) {
  const std::string directory = DirectoryOf(target);
  // Refused before anything is written: a rename would replace a FIFO or a device with the file,
  // and fails on a folder only once the whole file has been written.
  if (auto kind = NotARegularFile(target)) {
    return Error{"cannot replace " + target + ": " + *kind, NotAFileNumber(target), "WriteFile"};
  }
  RemoveStaleTemporaryFiles(target);
  const std::string pattern =
      (std::filesystem::path(directory) / TemporaryPrefix(target)).string() +
      std::string(kRandomLength, 'X');
  // A cleaner running at the same moment may take the new name before it is locked; then the
  // name no longer leads to this file and another name is tried.
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int descriptor = ::mkostemp(name.data(), O_CLOEXEC);
    if (descriptor < 0) {
      return SystemError(errno, "cannot create a temporary file in \"" + directory + "\"",
                         "WriteFile");
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0 ||
        !PathNamesDescriptor(name.data(), descriptor)) {
      ::close(descriptor);
      continue;
    }
    auto temporary = std::make_unique<TemporaryFile>(name.data());
    struct stat existing {};
    mode_t mode;
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
      mode = existing.st_mode & 07777;
    } else {
      mode_t mask = ::umask(0);
      ::umask(mask);
      mode = static_cast<mode_t>(0666 & ~mask);
    }
    ::fchmod(descriptor, mode);
    return std::unique_ptr<PendingFile>(new PendingFile(target, std::move(temporary), descriptor));
  }
  return SystemError(EEXIST, "cannot create a temporary file in \"" + directory + "\"",
                     "WriteFile");
}

std::optional<Error> PendingFile::Write(std::string_view bytes) {
  return WriteAll(descriptor_, bytes, path());
}

std::optional<Error> PendingFile::Commit() {
  if (::fsync(descriptor_) != 0) return SystemError(errno, "cannot sync " + path(), "WriteFile");
  if (auto kind = NotARegularFile(target_)) {
    return Error{"cannot replace " + target_ + ": " + *kind, NotAFileNumber(target_), "WriteFile"};
  }
  if (std::rename(path().c_str(), target_.c_str()) != 0) {
    return SystemError(errno, "cannot replace " + target_, "WriteFile");
  }
  temporary_->Keep();
  SyncDirectory(DirectoryOf(target_));
  return std::nullopt;
}

std::optional<Error> PlaceFileAs(const std::string& from, const std::string& to) {
  const std::string source = NativePath(from);
  const std::string target = NativePath(to);
  const std::string what = "cannot copy " + from + " to " + to;
  // As the stamping has always reported it: the system's message first, then the two paths.
  auto failed = [&](long error_number) {
    return Error{std::string(std::strerror(static_cast<int>(error_number))) + ": " + what,
                 error_number, "CopyFile"};
  };

  if (auto kind = NotARegularFile(target)) {
    return Error{*kind + ": " + what, NotAFileNumber(target), "CopyFile"};
  }
  RemoveStaleTemporaryFiles(target);
  if (std::rename(source.c_str(), target.c_str()) == 0) {
    SyncDirectory(DirectoryOf(target));
    if (DirectoryOf(source) != DirectoryOf(target)) SyncDirectory(DirectoryOf(source));
    return std::nullopt;
  }
  if (errno != EXDEV) return failed(errno);

  // Another file system: copy into a temporary file beside the target.
  int input = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (input < 0) return failed(errno);
  auto pending = PendingFile::Create(target);
  if (!pending) {
    ::close(input);
    return failed(pending.error().number);
  }
  std::vector<char> buffer(1 << 20);
  std::optional<Error> error;
  for (;;) {
    ssize_t count = ::read(input, buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      error = failed(errno);
      break;
    }
    if (count == 0) break;
    if (auto written = (*pending)->Write({buffer.data(), static_cast<std::size_t>(count)})) {
      error = failed(written->number);
      break;
    }
  }
  ::close(input);
  if (error) return error;
  if (auto committed = (*pending)->Commit()) return failed(committed->number);
  return std::nullopt;
}

int RemoveStaleTemporaryFiles(const std::string& target) {
  const std::string directory = DirectoryOf(target);
  const std::string prefix = TemporaryPrefix(target);
  const std::size_t base_length = prefix.size() + kRandomLength;
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return 0;
  std::vector<std::string> bases;
  std::vector<std::string> companions;  // a database writer's "-journal", "-wal", "-shm" files
  while (const dirent* entry = ::readdir(listing)) {
    std::string_view name = entry->d_name;
    if (name.size() < base_length || name.substr(0, prefix.size()) != prefix) continue;
    const std::string_view suffix = name.substr(base_length);
    if (suffix.empty()) {
      bases.emplace_back(name);
    } else if (suffix == "-journal" || suffix == "-wal" || suffix == "-shm") {
      companions.emplace_back(name);
    }
  }
  ::closedir(listing);

  auto path_of = [&directory](const std::string& name) {
    return (std::filesystem::path(directory) / name).string();
  };
  int removed = 0;
  for (const std::string& name : bases) {
    const std::string path = path_of(name);
    int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) continue;
    struct stat info {};
    // A live writer holds its lock until its file is renamed into place or removed.
    if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) &&
        ::flock(descriptor, LOCK_EX | LOCK_NB) == 0 && PathNamesDescriptor(path, descriptor) &&
        ::unlink(path.c_str()) == 0) {
      ++removed;
    }
    ::close(descriptor);
  }
  // A companion outlives its file only when the writer was killed.
  for (const std::string& name : companions) {
    struct stat info {};
    if (::lstat(path_of(name.substr(0, base_length)).c_str(), &info) == 0) continue;
    if (::unlink(path_of(name).c_str()) == 0) ++removed;
  }
  return removed;
}

void IgnoreFileSizeSignal() { ::signal(SIGXFSZ, SIG_IGN); }

}  // namespace cubemill::platform
