#include <io.h>
#include <windows.h>

#include <filesystem>

#include "platform/file_system.h"
#include "platform/text_file.h"
#include "platform/windows_system.h"

// <windows.h> names DeleteFileW's ANSI/wide switch DeleteFile, which is this folder's function.
#undef DeleteFile

namespace cubemill::platform {
namespace {

Error SystemError(unsigned long error_number, const std::string& what, const std::string& source) {
  return Error{SystemMessage(error_number) + ": " + what, static_cast<long>(error_number), source};
}

std::string DirectoryOf(const std::string& path) {
  const std::filesystem::path parent =
      std::filesystem::path(WideText(NativePath(path))).parent_path();
  return parent.empty() ? std::string(".") : Utf8Text(parent.native());
}

}  // namespace

std::optional<std::uint32_t> FileAttributes(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const DWORD attributes = GetFileAttributesW(WideText(NativePath(path)).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return kAttributeDirectory;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return 0;
  std::uint32_t word = kAttributeArchive;
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) word |= kAttributeReadOnly;
  return word;
}

bool IsRegularFile(const std::string& path) {
  const auto attributes = FileAttributes(path);
  return attributes && (*attributes & kAttributeArchive) != 0;
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

std::string CurrentDirectory() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return {};
  std::wstring directory(size, L'\0');
  const DWORD length = GetCurrentDirectoryW(size, directory.data());
  if (length == 0 || length >= size) return {};
  directory.resize(length);
  return Utf8Text(directory);
}

std::optional<Error> CheckDirectoryWritableFor(const std::string& path) {
  const std::string directory = DirectoryOf(path);
  std::string shown = "the directory \"";
  shown.append(directory).append("\"");
  const DWORD attributes = GetFileAttributesW(WideText(directory).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error_number = GetLastError();
    return Error{shown + " cannot be used: " + SystemMessage(error_number),
                 static_cast<long>(error_number), "CreateFile"};
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Error{shown + " is not a directory", static_cast<long>(ERROR_DIRECTORY), "CreateFile"};
  }
  // Windows grants writing by access lists that only an attempt answers: a file that is made
  // and removed at once.
  const std::wstring probe = WideText(directory + "/.cubemill-write-check.tmp");
  HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error_number = GetLastError();
    // Another run's probe at the same moment still shows that files can be made here.
    if (error_number == ERROR_FILE_EXISTS) return std::nullopt;
    return Error{shown + " is not writable: " + SystemMessage(error_number),
                 static_cast<long>(error_number), "CreateFile"};
  }
  CloseHandle(file);
  return std::nullopt;
}

std::optional<Error> ChangeDirectory(const std::string& path) {
  if (SetCurrentDirectoryW(WideText(NativePath(path)).c_str())) return std::nullopt;
  const DWORD error_number = GetLastError();
  return Error{SystemMessage(error_number), static_cast<long>(error_number), "SetCurrentDirectory"};
}

std::optional<Error> DeleteFile(const std::string& path) {
  if (DeleteFileW(WideText(NativePath(path)).c_str())) return std::nullopt;
  return SystemError(GetLastError(), "cannot delete " + path, "DeleteFile");
}

std::optional<FileVersion> VersionOf(const std::string& path) {
  std::error_code error;
  const std::filesystem::path native(WideText(NativePath(path)));
  if (!std::filesystem::is_regular_file(native, error)) return std::nullopt;
  FileVersion version;
  version.size = static_cast<std::int64_t>(std::filesystem::file_size(native, error));
  version.modified_ns = static_cast<std::int64_t>(
      std::filesystem::last_write_time(native, error).time_since_epoch().count());
  return version;
}

std::optional<Error> CreateOwnerOnlyFile(const std::string& path) {
  // The new file inherits its folder's access list, as every file the program makes.
  HANDLE file = CreateFileW(WideText(NativePath(path)).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return std::nullopt;
  }
  const DWORD error_number = GetLastError();
  if (error_number == ERROR_FILE_EXISTS) return std::nullopt;
  return SystemError(error_number, "cannot make " + path, "CreateFile");
}

}  // namespace cubemill::platform
