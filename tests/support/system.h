// What the tests need of the system that POSIX and Windows do differently: the environment,
// permission bits, a file-size limit, and file names as the SQLite ODBC driver takes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cubemill::test {

// Sets the environment variable `name` of this process to `value`, or removes it when `value`
// is nothing.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

// True when the permission bits that std::filesystem::permissions takes away stop this process
// from reading, writing and deleting. False for root on POSIX, and on Windows, where they only
// set the read-only attribute, which neither reading nor a folder's contents obey.
bool PermissionsBindThisProcess();

// Limits the size of every file this process writes to `bytes` while it lives: a write past it
// fails with "File too large" instead of ending the process. Not applied on Windows, which has
// no such limit (see applied()).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  bool applied() const { return applied_; }

 private:
  bool applied_ = false;
  std::uint64_t saved_ = 0;          // the limit before
  void (*previous_)(int) = nullptr;  // SIGXFSZ's handler before
};

// Returns `path` (relative to the current directory, or absolute) as the SQLite ODBC driver
// opens it. Under wine the Windows program's ODBC calls reach the host's Linux driver, which
// takes Unix paths only: the path becomes the Unix file name wine maps it to. Elsewhere `path`
// is returned as it is.
std::string DriverPath(const std::string& path);

}  // namespace cubemill::test
