// Files that appear complete or not at all: written under a temporary name beside their target,
// synced, then renamed over it, so a crash, a signal or a full disk never leaves a partial file
// and never harms the file that was there before.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"

namespace cubemill::platform {

class TemporaryFile;

// A new, empty temporary file beside a target file, named ".<target name>.tmp-XXXXXX" and locked
// (flock) for as long as this object lives, so that RemoveStaleTemporaryFiles never touches it.
// The file is removed unless Commit succeeds, also when SIGINT, SIGTERM or SIGHUP end the process.
class PendingFile {
 public:
  // Removes stale temporary files of `target` (a native path), then creates the temporary file
  // with the permissions an existing target has (else those of a new file). Fails when the
  // directory is missing or not writable; the error names the directory.
  static Result<std::unique_ptr<PendingFile>> Create(const std::string& target);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // The temporary file's path, for writers that open it themselves.
  const std::string& path() const;
  // Appends `bytes` to the temporary file. Returns the failure (a full disk, a file-size limit).
  std::optional<Error> Write(std::string_view bytes);
  // Syncs the temporary file, renames it over the target and syncs the directory. On failure
  // the target is untouched and the temporary file is removed when this object goes.
  std::optional<Error> Commit();

 private:
  PendingFile(std::string target, std::unique_ptr<TemporaryFile> temporary, int descriptor);
  std::string target_;
  std::unique_ptr<TemporaryFile> temporary_;
  int descriptor_ = -1;
};

// Replaces the file at `target` (backslashes allowed) by one holding exactly `bytes`, or leaves
// it byte for byte as it was and returns why not. The error's source is "WriteFile".
std::optional<Error> WriteFileAtomically(const std::string& target, std::string_view bytes);

// Puts the file `from` at `to` (backslashes allowed), replacing a file there in one step: a
// rename when both lie on one file system (then `from` is gone), else a copy written as above
// (then `from` stays). An earlier file at `to` stays as it was on any failure. The error carries
// the system's message and number and the source "CopyFile".
std::optional<Error> PlaceFileAs(const std::string& from, const std::string& to);

// Removes the temporary files of `target` (a native path) that a writer left behind when it was
// killed: ".<name>.tmp-XXXXXX" beside it, not locked by a live writer. Returns how many it
// removed.
int RemoveStaleTemporaryFiles(const std::string& target);

// Makes a file-size limit end a write with an error ("File too large") instead of killing the
// process without a word.
void IgnoreFileSizeSignal();

}  // namespace cubemill::platform
