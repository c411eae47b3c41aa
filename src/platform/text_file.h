// Sequential text files: whole-file reads and one-line writes in Windows-1252 with CR LF.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cubemill::platform {

// Returns `path` as the operating system takes it: every backslash becomes "/". Relative paths
// stay relative and so resolve against the current directory.
std::string NativePath(std::string_view path);

// Opens the file at the native path `path` (UTF-8) as std::fopen does with `mode`. On Windows the
// name goes through the wide call, so that characters outside the ANSI code page survive.
// Returns nullptr with errno set when it cannot be opened.
std::FILE* OpenUtf8File(const std::string& path, const char* mode);

// Opens the file at the native path `path` as OpenUtf8File does with `mode` ("rb", "ab" or
// "wb"), but only a regular file: a FIFO, a device, a socket or a folder there is refused without
// waiting on it (a FIFO with no writer or reader would block the open for ever). Returns nullptr
// and, when `problem` is given, says why ("it is a FIFO, not a regular file", or the system's
// message).
std::FILE* OpenRegularFile(const std::string& path, const char* mode,
                           std::string* problem = nullptr);

// "it is a FIFO, not a regular file" (a folder, a device, a socket) when something other than a
// regular file is at `path` (links followed); nothing for a regular file or none at all.
std::optional<std::string> NotARegularFile(const std::string& path);

// Reads the file at `path` (backslashes allowed) and returns its lines decoded to UTF-8 (see
// DecodeFileText). A line ends at LF; a CR before the LF is removed. A last line without LF is
// a line too. Returns nothing when the file cannot be opened or read.
std::optional<std::vector<std::string>> ReadTextLines(const std::string& path);

// Says why the file at `path` cannot be read as text lines: it is not a regular file, it cannot be
// opened or read (the system's message), or it holds UTF-16 or UTF-32 text (a byte-order mark, or
// NUL bytes in its first kilobytes), which the line reader does not decode. Nothing when it can be
// read.
std::optional<std::string> TextFileProblem(const std::string& path);

// Appends `text` in Windows-1252 followed by CR LF to the file at `path`, creating the file when
// needed. Opens and closes the file for this one line. Returns false when the line could not be
// written (a missing directory, a full disk, something other than a regular file there).
bool AppendLine(const std::string& path, std::string_view text);

// Like AppendLine, but first creates the file or empties an existing one.
void WriteFirstLine(const std::string& path, std::string_view text);

}  // namespace cubemill::platform
