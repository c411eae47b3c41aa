#include "vbs/vbs_writer.h"

#include "vbs/statement_blocks.h"
#include "vbs/vbs_sections.h"

namespace cubemill::vbs {

bool ConvertToVbs(const job::CubeJob& job, const platform::Clock& clock) {
  if (job.VbsFile.empty()) return true;
  // Every section is written whatever the results before it; the sections follow each other in
  // the file in this order.
  const bool results[] = {
      WriteVbsHeader(job, clock), WriteVbsPreamble(job),   WriteVbsCubLocation(job),
      WriteVbsDsn(job),           WriteVbsCreateCube(job), WriteVbsInsertInto(job),
      WriteVbsSelect(job),        WriteVbsConnection(job), WriteVbsTrailer(job),
  };
  bool all = true;
  for (bool result : results) all = all && result;
  return all;
}

}  // namespace cubemill::vbs
