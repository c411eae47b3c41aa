// Fakes and fixtures the tests share: a temporary working directory, a recording progress
// list, a fixed clock and a sleeper that does not wait.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "job/front_end.h"
#include "platform/clock.h"
#include "platform/sleeper.h"

namespace cubemill::test {

// Creates a fresh temporary directory, makes it the current directory, and on destruction
// goes back and removes it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Returns `name` inside the directory, as a string.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// Records every call a job makes on its progress list, in order. Calls other than AddLine are
// recorded as "<listSetLast>", "<listSetRed>", "<ImageCubeMoveDown>", "<Unload>".
class RecordingList : public job::JobFrontEnd {
 public:
  void AddLine(const std::string& text) override {
    lines.push_back(text);
    calls.push_back(text);
  }
  void listSetLast() override { calls.push_back("<listSetLast>"); }
  void listSetRed() override {
    red = true;
    calls.push_back("<listSetRed>");
  }
  void ImageCubeMoveDown() override { calls.push_back("<ImageCubeMoveDown>"); }
  void Unload() override { calls.push_back("<Unload>"); }

  std::vector<std::string> lines;  // the lines only
  std::vector<std::string> calls;  // lines and method calls
  bool red = false;
};

// A clock that says what it is told: `now` at the first reading and `now` + `jump_seconds` at
// every later one (so a job's duration is `jump_seconds`).
class FixedClock : public platform::Clock {
 public:
  explicit FixedClock(platform::DateTime now, int jump_seconds = 0)
      : now_(now), jump_(jump_seconds) {}
  platform::DateTime Now() const override {
    auto value = now_;
    if (!read_) now_ += std::chrono::seconds(jump_);
    read_ = true;
    return value;
  }

 private:
  mutable platform::DateTime now_;
  int jump_;
  mutable bool read_ = false;
};

// Records the pauses asked for instead of sleeping.
class NoSleep : public platform::Sleeper {
 public:
  void Sleep(int seconds) override { pauses.push_back(seconds); }
  std::vector<int> pauses;
};

// True when `text` has the shape `shape`: each '#' of the shape stands for one digit, every
// other character for itself ("####-##-## ##:##:##" for a logged time).
bool HasShape(std::string_view text, std::string_view shape);

// Returns the whole contents of a file as bytes ("" when it cannot be read).
std::string ReadBytes(const std::string& path);

// The names of the entries of `directory`, sorted.
std::vector<std::string> DirectoryEntries(const std::string& directory);

// Writes `bytes` to `path`, replacing the file.
void WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace cubemill::test
