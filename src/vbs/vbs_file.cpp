#include "vbs/vbs_file.h"

#include "platform/text_file.h"

namespace cubemill::vbs {

void StartVbsFile(const job::CubeJob& job, std::string_view text) {
  platform::WriteFirstLine(job.VbsFile, text);
}

void AppendVbsLine(const job::CubeJob& job, std::string_view text) {
  platform::AppendLine(job.VbsFile, text);
}

}  // namespace cubemill::vbs
