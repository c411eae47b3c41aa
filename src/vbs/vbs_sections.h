// The four fixed sections of the script: header, preamble, connection block and trailer.
#pragma once

#include <functional>
#include <string_view>

#include "job/cube_job.h"
#include "platform/clock.h"

namespace cubemill::vbs {

// Writes the six header lines, the first through StartVbsFile (so it creates or empties the
// file), naming the job's OqyFile and today's date from `clock` as DD.MM.YYYY. Always true.
bool WriteVbsHeader(const job::CubeJob& job, const platform::Clock& clock);

// Writes the preamble: 15 lines, plus one that blanks the script's time stamp when the job's
// CubTimestamp is empty. Always true.
bool WriteVbsPreamble(const job::CubeJob& job);

// Writes the ten lines that open the ADO connection. Always true.
bool WriteVbsConnection(const job::CubeJob& job);

// Writes the 41 trailer lines (result check, pop-up, LogError and padZero). Returns false,
// leaving the lines written so far, when a run-time failure interrupts it.
bool WriteVbsTrailer(const job::CubeJob& job);

// Passes the trailer's items to `append` in order. Any exception stops it at that point and
// gives false; otherwise true. WriteVbsTrailer uses it with AppendVbsLine.
bool WriteTrailerItems(const std::function<void(std::string_view)>& append);

}  // namespace cubemill::vbs
