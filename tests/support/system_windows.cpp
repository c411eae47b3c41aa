#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "support/system.h"

namespace cubemill::test {
namespace {

std::wstring Wide(const std::string& text) {
  const std::u8string utf8(text.begin(), text.end());
  return std::filesystem::path(utf8).wstring();
}

}  // namespace

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  // _wputenv_s keeps the C runtime's copy (getenv) and the process's (GetEnvironmentVariable)
  // in step; an empty value removes the variable.
  _wputenv_s(Wide(name).c_str(), value ? Wide(*value).c_str() : L"");
}

bool PermissionsBindThisProcess() { return false; }

FileSizeLimit::FileSizeLimit(std::uint64_t /*bytes*/) {}

FileSizeLimit::~FileSizeLimit() = default;

std::string DriverPath(const std::string& path) {
  // Wine's own export, absent on Windows: the Unix name of a full Windows path, allocated on the
  // process heap.
  using UnixFileName = char*(__cdecl*)(const wchar_t*);
  const auto unix_file_name = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unix_file_name == nullptr) return path;
  const std::wstring full = std::filesystem::absolute(Wide(path)).wstring();
  char* name = unix_file_name(full.c_str());
  if (name == nullptr) return path;
  std::string unix_path(name);
  HeapFree(GetProcessHeap(), 0, name);
  return unix_path;
}

}  // namespace cubemill::test
