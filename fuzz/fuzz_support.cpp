#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace cubemill::fuzz {
namespace {

namespace fs = std::filesystem;

fs::path& ScratchDirectory() {
  static fs::path directory;
  return directory;
}

void RemoveScratchDirectory() {
  std::error_code ignored;
  fs::remove_all(ScratchDirectory(), ignored);
}

// Makes the directory on first use: a fresh name below the system's temporary directory.
const fs::path& EnsureScratchDirectory() {
  fs::path& directory = ScratchDirectory();
  if (!directory.empty()) return directory;
  std::string name = (fs::temp_directory_path() / "cubemill-fuzz-XXXXXX").string();
  if (mkdtemp(name.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  directory = name;
  std::atexit(RemoveScratchDirectory);
  return directory;
}

}  // namespace

std::string WriteScratchFile(std::string_view bytes) {
  const fs::path path = EnsureScratchDirectory() / "input.txt";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  Check(static_cast<bool>(out), "cannot write the scratch file", path.string());
  return path.string();
}

void Check(bool condition, std::string_view what, std::string_view detail) {
  if (condition) return;
  std::fprintf(stderr, "\nFUZZ CHECK FAILED: %.*s\n", static_cast<int>(what.size()), what.data());
  if (!detail.empty()) {
    // Control characters other than the line feeds of the layout show as \xNN.
    std::string shown;
    for (char c : detail) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte >= 0x20 || c == '\n') {
        shown += c;
      } else {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        shown += escaped;
      }
    }
    std::fprintf(stderr, "  %s\n", shown.c_str());
  }
  std::abort();
}

std::size_t CountOccurrences(std::string_view text, std::string_view needle) {
  std::size_t count = 0;
  for (std::size_t pos = text.find(needle); pos != std::string_view::npos;
       pos = text.find(needle, pos + needle.size()))
    ++count;
  return count;
}

}  // namespace cubemill::fuzz
