// The script being written, held in memory until it is complete and then put in place at once,
// so that a script file is never left empty or cut short.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"

namespace cubemill::vbs {

// The bytes of a script: Windows-1252 text, each item followed by CR LF.
class VbsScript {
 public:
  const std::string& bytes() const { return bytes_; }
  // Appends `text` in Windows-1252 and CR LF.
  void Append(std::string_view text);
  // Drops everything appended so far.
  void Clear() { bytes_.clear(); }
  // Replaces the file at `path` (backslashes allowed) by the script, or leaves an earlier file
  // byte for byte as it was and returns why not.
  std::optional<Error> Save(const std::string& path) const;

 private:
  std::string bytes_;
};

// Starts the script afresh with `text` and CR LF, as the first item of the file.
void StartVbsFile(VbsScript& script, std::string_view text);

// Appends `text` unchanged and CR LF to the script.
void AppendVbsLine(VbsScript& script, std::string_view text);

}  // namespace cubemill::vbs
