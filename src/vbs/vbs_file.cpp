#include "vbs/vbs_file.h"

#include "platform/durable_file.h"
#include "platform/text_encoding.h"

namespace cubemill::vbs {

void VbsScript::Append(std::string_view text) {
  bytes_ += platform::Utf8ToWindows1252(text);
  bytes_ += "\r\n";
}

std::optional<Error> VbsScript::Save(const std::string& path) const {
  return platform::WriteFileAtomically(path, bytes_);
}

void StartVbsFile(VbsScript& script, std::string_view text) {
  script.Clear();
  script.Append(text);
}

void AppendVbsLine(VbsScript& script, std::string_view text) { script.Append(text); }

}  // namespace cubemill::vbs
