#include "platform/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/text_encoding.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace cubemill::platform {
namespace {

#ifdef _WIN32
// The file at `path` (UTF-8): on Windows through the wide name, since the narrow calls read a
// name in the ANSI code page and mangle every character outside it.
std::filesystem::path FilePath(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}
#endif

#ifndef _WIN32
// "it is a FIFO, not a regular file" for what `mode` says is not a regular file.
std::optional<std::string> NotRegular(mode_t mode) {
  if (S_ISREG(mode)) return std::nullopt;
  const char* kind = S_ISFIFO(mode)                   ? "a FIFO"
                     : S_ISDIR(mode)                  ? "a folder"
                     : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                     : S_ISSOCK(mode)                 ? "a socket"
                                                      : "something else";
  return std::string("it is ") + kind + ", not a regular file";
}
#endif

bool WriteLine(const std::string& path, std::string_view text, const char* mode) {
  std::FILE* out = OpenRegularFile(NativePath(path), mode);
  if (out == nullptr) return false;
  std::string bytes = Utf8ToWindows1252(text);
  bytes += "\r\n";
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  const int write_error = errno;
  const bool closed = std::fclose(out) == 0;
  if (!written) errno = write_error;
  return written && closed;
}

}  // namespace

std::optional<std::string> NotARegularFile(const std::string& path) {
#ifdef _WIN32
  std::error_code error;
  if (std::filesystem::is_directory(FilePath(NativePath(path)), error)) {
    return "it is a folder, not a regular file";
  }
  return std::nullopt;
#else
  struct stat info {};
  if (::stat(NativePath(path).c_str(), &info) != 0) return std::nullopt;
  return NotRegular(info.st_mode);
#endif
}

std::FILE* OpenRegularFile(const std::string& path, const char* mode, std::string* problem) {
  const auto fail = [&](std::string why) -> std::FILE* {
    if (problem != nullptr) *problem = std::move(why);
    return nullptr;
  };
#ifdef _WIN32
  if (auto kind = NotARegularFile(path)) return fail(*kind);
  std::FILE* file = OpenUtf8File(path, mode);
  if (file == nullptr) return fail(std::strerror(errno));
  return file;
#else
  // Opened without waiting (a FIFO with no other end would block the open for ever), then
  // looked at: only a regular file is read or written.
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode[0]) {
    case 'a':
      flags |= O_WRONLY | O_CREAT | O_APPEND;
      break;
    case 'w':
      flags |= O_WRONLY | O_CREAT;
      break;  // emptied once known to be a regular file
    default:
      flags |= O_RDONLY;
      break;
  }
  const int descriptor = ::open(path.c_str(), flags, 0666);
  if (descriptor < 0) {
    const int error_number = errno;
    if (auto kind = NotARegularFile(path)) return fail(*kind);
    errno = error_number;
    return fail(std::strerror(error_number));
  }
  struct stat info {};
  std::optional<std::string> kind;
  if (::fstat(descriptor, &info) != 0) {
    kind = std::strerror(errno);
  } else {
    kind = NotRegular(info.st_mode);
  }
  if (!kind && mode[0] == 'w' && ::ftruncate(descriptor, 0) != 0) kind = std::strerror(errno);
  if (!kind && ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0)
    kind = std::strerror(errno);
  std::FILE* file = kind ? nullptr : ::fdopen(descriptor, mode);
  if (file == nullptr) {
    if (!kind) kind = std::strerror(errno);
    ::close(descriptor);
    errno = EINVAL;
    return fail(*kind);
  }
  return file;
#endif
}

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
  std::FILE* file = OpenRegularFile(NativePath(path), "rb");
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
  std::string problem;
  std::FILE* file = OpenRegularFile(NativePath(path), "rb", &problem);
  if (file == nullptr) return problem;
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
  return WriteLine(path, text, "ab");
}

void WriteFirstLine(const std::string& path, std::string_view text) { WriteLine(path, text, "wb"); }

}  // namespace cubemill::platform
