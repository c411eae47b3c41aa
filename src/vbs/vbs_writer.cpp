#include "vbs/vbs_writer.h"

#include "vbs/statement_blocks.h"
#include "vbs/vbs_file.h"
#include "vbs/vbs_sections.h"

namespace cubemill::vbs {
namespace {

// True when the job carries something an OQY file's connection line gave it.
bool HoldsOqyValues(const CubeJob& job) {
  return !job.CubeFile.empty() || !job.SourceDsn.empty() || !job.CreateCubeStmt.empty() ||
         !job.InsertIntoStmt.empty() || !job.SelectStmt.empty();
}

}  // namespace

bool ConvertToVbs(const CubeJob& job, const platform::Clock& clock, std::string* failure) {
  if (job.VbsFile.empty()) return true;
  auto fail = [failure](std::string reason) {
    if (failure != nullptr) *failure = std::move(reason);
    return false;
  };
  if (!HoldsOqyValues(job)) {
    return fail("no script written: the OQY file gave no connection values; " + job.VbsFile +
                " is left as it was");
  }
  // Every section is written whatever the results before it; the sections follow each other in
  // the file in this order.
  VbsScript script;
  const bool results[] = {
      WriteVbsHeader(script, job, clock),
      WriteVbsPreamble(script, job),
      WriteVbsCubLocation(script, job),
      WriteVbsDsn(script, job),
      WriteVbsCreateCube(script, job),
      WriteVbsInsertInto(script, job),
      WriteVbsSelect(script, job),
      WriteVbsConnection(script),
      WriteVbsTrailer(script),
  };
  bool all = true;
  for (bool result : results) all = all && result;
  if (!all) return fail("no script written: a section of the script could not be made");
  if (auto error = script.Save(job.VbsFile)) return fail(error->description);
  return true;
}

}  // namespace cubemill::vbs
