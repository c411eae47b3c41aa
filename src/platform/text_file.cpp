#include "platform/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/text_encoding.h"

namespace cubemill::platform {
namespace {

// The file at `path` (UTF-8): on Windows through the wide name, since the narrow calls read a
// name in the ANSI code page and mangle every character outside it.
std::filesystem::path FilePath(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

bool WriteLine(const std::string& path, std::string_view text, std::ios::openmode mode) {
  std::ofstream out(FilePath(NativePath(path)), std::ios::binary | mode);
  if (!out) return false;
  std::string bytes = Utf8ToWindows1252(text);
  bytes += "\r\n";
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

}  // namespace

std::string NativePath(std::string_view path) {
  std::string native(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

std::FILE* OpenUtf8File(const std::string& path, const char* mode) {
#ifdef _WIN32
  return _wfopen(FilePath(path).c_str(), FilePath(mode).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

std::optional<std::vector<std::string>> ReadTextLines(const std::string& path) {
  std::FILE* file = OpenUtf8File(NativePath(path), "rb");
  if (file == nullptr) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, count);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return std::nullopt;
  std::string text = DecodeFileText(bytes);

  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {  // a last line without a line end
      lines.push_back(text.substr(start));
      break;
    }
    std::size_t length = end - start;
    if (length > 0 && text[end - 1] == '\r') --length;
    lines.push_back(text.substr(start, length));
    start = end + 1;
  }
  return lines;
}

std::optional<std::string> TextFileProblem(const std::string& path) {
  std::FILE* file = OpenUtf8File(NativePath(path), "rb");
  if (file == nullptr) return std::string(std::strerror(errno));
  unsigned char head[4096];
  const std::size_t count = std::fread(head, 1, sizeof head, file);
  const int read_error = std::ferror(file) != 0 ? errno : 0;
  std::fclose(file);
  if (read_error != 0) return std::string(std::strerror(read_error));
  const bool bom16 =
      count >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF));
  if (bom16 || std::find(head, head + count, 0) != head + count) {
    return std::string("saved as UTF-16 (or holds NUL bytes); save it as UTF-8 or Windows-1252");
  }
  return std::nullopt;
}

bool AppendLine(const std::string& path, std::string_view text) {
  return WriteLine(path, text, std::ios::app);
}

void WriteFirstLine(const std::string& path, std::string_view text) {
  WriteLine(path, text, std::ios::trunc);
}

}  // namespace cubemill::platform
