// The four fixed sections of the script: header, preamble, connection block and trailer.
#pragma once

#include <functional>
#include <string_view>

#include "common/cube_job.h"
#include "platform/clock.h"
#include "vbs/vbs_file.h"

namespace cubemill::vbs {

// Writes the six header lines to `script`, the first through StartVbsFile (so the script starts
// afresh), naming the job's OqyFile and today's date from `clock` as DD.MM.YYYY. Always true.
bool WriteVbsHeader(VbsScript& script, const CubeJob& job, const platform::Clock& clock);

// Writes the preamble: 15 lines, plus one that blanks the script's time stamp when the job's
// CubTimestamp is empty. Always true.
bool WriteVbsPreamble(VbsScript& script, const CubeJob& job);

// Writes the ten lines that open the ADO connection. Always true.
bool WriteVbsConnection(VbsScript& script);

// Writes the 41 trailer lines (result check, pop-up, LogError and padZero). Returns false,
// leaving the lines written so far, when a run-time failure interrupts it.
bool WriteVbsTrailer(VbsScript& script);

// Passes the trailer's items to `append` in order. Any exception stops it at that point and
// gives false; otherwise true. WriteVbsTrailer uses it with AppendVbsLine.
bool WriteTrailerItems(const std::function<void(std::string_view)>& append);

}  // namespace cubemill::vbs
