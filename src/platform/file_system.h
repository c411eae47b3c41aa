// Files and directories: attribute words, the current directory, delete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"

namespace cubemill::platform {

// Attribute flags, as the job's path checks know them.
inline constexpr std::uint32_t kAttributeReadOnly = 1;
inline constexpr std::uint32_t kAttributeVolumeLabel = 8;
inline constexpr std::uint32_t kAttributeDirectory = 16;
inline constexpr std::uint32_t kAttributeArchive = 32;

// Returns the attribute word of `path` (backslashes allowed): 16 for a directory; 32 for a
// regular file, plus 1 when it is not writable; 0 for anything else. Returns nothing when the
// path is empty or cannot be examined.
std::optional<std::uint32_t> FileAttributes(const std::string& path);

// True when `path` names a regular file (the listing the settings check uses).
bool IsRegularFile(const std::string& path);

// True when `path`'s attribute word says directory. An empty or missing path gives false.
bool DirExists(const std::string& path);

// True when `path`'s attribute word says a file (not a directory): what the job's path checks
// ask of the settings, OQY and script files. An empty or missing path gives false.
bool FileExists(const std::string& path);

// True when `stream` is a terminal (not a file or a pipe).
bool IsTerminal(std::FILE* stream);

// The separator this system puts between a directory and a name in the paths it shows: '\\' on
// Windows, '/' elsewhere.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Returns `name` inside `directory`, joined with kPathSeparator unless `directory` already ends
// with a separator ('/' or, on Windows, '\\'). An empty `directory` gives the separator and
// `name` (the root).
std::string JoinPath(std::string_view directory, std::string_view name);

// Returns the process's current directory, or "" when it cannot be read.
std::string CurrentDirectory();

// Makes `path` (backslashes allowed) the process's current directory. Returns the failure, with
// the system's message.
std::optional<Error> ChangeDirectory(const std::string& path);

// Checks that a file can be created beside `path` (backslashes allowed): its directory exists
// and this process may write there. Returns what is wrong, with the system's message and number
// and "CreateFile" as source.
std::optional<Error> CheckDirectoryWritableFor(const std::string& path);

// What tells one version of a file from the next: a file replaced by another is another file
// (device and inode; on Windows, whose numbers are not read, the size and time tell), one changed
// in place has another size or modification time.
struct FileVersion {
  std::uint64_t device = 0, inode = 0;
  std::int64_t size = 0, modified_ns = 0;
  bool operator==(const FileVersion&) const = default;
};

// The version of the regular file at `path`, or nothing when there is none.
std::optional<FileVersion> VersionOf(const std::string& path);

// Makes an empty file at `path` that only its owner may read and write, when no file is there;
// a file that exists keeps its content and mode. Returns the failure to make it.
std::optional<Error> CreateOwnerOnlyFile(const std::string& path);

// Deletes the file at `path`. Returns the failure, if any, with the system's message, its error
// number and "DeleteFile" as source.
std::optional<Error> DeleteFile(const std::string& path);

}  // namespace cubemill::platform
