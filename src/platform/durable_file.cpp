// What the durable files of every system share: a whole file written through a PendingFile.
#include "platform/durable_file.h"

#include "platform/text_file.h"

namespace cubemill::platform {

std::optional<Error> WriteFileAtomically(const std::string& target, std::string_view bytes) {
  auto pending = PendingFile::Create(NativePath(target));
  if (!pending) return pending.error();
  if (auto error = (*pending)->Write(bytes)) return error;
  return (*pending)->Commit();
}

}  // namespace cubemill::platform
