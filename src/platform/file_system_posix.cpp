#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/file_system.h"
#include "platform/text_file.h"

namespace cubemill::platform {
namespace {

// The failure of `operation` with the system's message first, then what was being done.
Error SystemError(const std::error_code& code, const std::string& what,
                  const std::string& operation) {
  return Error{code.message() + ": " + what, code.value(), operation};
}

}  // namespace

std::optional<std::uint32_t> FileAttributes(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::string native = NativePath(path);
  struct stat info {};
  if (::stat(native.c_str(), &info) != 0) return std::nullopt;
  if (S_ISDIR(info.st_mode)) return kAttributeDirectory;
  if (S_ISREG(info.st_mode)) {
    std::uint32_t attributes = kAttributeArchive;
    if (::access(native.c_str(), W_OK) != 0) attributes |= kAttributeReadOnly;
    return attributes;
  }
  return 0;
}

bool IsRegularFile(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ignored;
  return std::filesystem::is_regular_file(NativePath(path), ignored);
}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

std::string CurrentDirectory() {
  std::error_code error;
  auto current = std::filesystem::current_path(error);
  return error ? std::string() : current.string();
}

std::optional<Error> CheckDirectoryWritableFor(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(NativePath(path)).parent_path();
  const std::string directory = parent.empty() ? std::string(".") : parent.string();
  std::string shown = "the directory \"";
  shown.append(directory).append("\"");
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0) {
    const int error_number = errno;
    return Error{shown + " cannot be used: " + std::strerror(error_number), error_number,
                 "CreateFile"};
  }
  if (!S_ISDIR(info.st_mode)) {
    return Error{shown + " is not a directory", ENOTDIR, "CreateFile"};
  }
  if (::access(directory.c_str(), W_OK | X_OK) != 0) {
    const int error_number = errno;
    return Error{shown + " is not writable: " + std::strerror(error_number), error_number,
                 "CreateFile"};
  }
  return std::nullopt;
}

std::optional<Error> ChangeDirectory(const std::string& path) {
  if (::chdir(NativePath(path).c_str()) == 0) return std::nullopt;
  const int error_number = errno;
  return Error{std::strerror(error_number), error_number, "SetCurrentDirectory"};
}

std::optional<Error> DeleteFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::remove(NativePath(path), error) && !error)
    error = std::make_error_code(std::errc::no_such_file_or_directory);
  if (error) return SystemError(error, "cannot delete " + path, "DeleteFile");
  return std::nullopt;
}

std::optional<FileVersion> VersionOf(const std::string& path) {
  struct stat info {};
  if (::stat(NativePath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  FileVersion version;
  version.device = static_cast<std::uint64_t>(info.st_dev);
  version.inode = static_cast<std::uint64_t>(info.st_ino);
  version.size = static_cast<std::int64_t>(info.st_size);
  version.modified_ns =
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  return version;
}

std::optional<Error> CreateOwnerOnlyFile(const std::string& path) {
  const int made = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (made >= 0) {
    ::close(made);
    return std::nullopt;
  }
  const int error_number = errno;
  if (error_number == EEXIST) return std::nullopt;
  return Error{"cannot make " + path + ": " + std::strerror(error_number), error_number,
               "CreateFile"};
}

}  // namespace cubemill::platform
