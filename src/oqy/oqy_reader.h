// Finds the connection line of an OQY file and cuts the cube's values out of it.
#pragma once

#include <string>
#include <string_view>

#include "common/cube_job.h"
#include "common/progress_list.h"

namespace cubemill::oqy {

// Reads the job's OqyFile and stores its last line containing "CONNECTION=" (any letter case)
// in ConnectionLine, as read. Without such a line ConnectionLine keeps its content. Returns true
// when the file was read to its end, false when it could not be opened or read.
bool ReadOqyConnection(CubeJob& job);

// True when the job's OqyFile can be read and has a line containing "CONNECTION=" (any letter
// case); the job is left as it is.
bool HasConnectionLine(const CubeJob& job);

// Cuts the value of `key` out of the job's ConnectionLine: from `start_back` characters before
// the end of the key's first occurrence, up to the next `terminator` after the key plus
// `length_extra` characters (to the end of the line when no terminator follows). Keys and
// terminators match without regard to case. Reports "<label>(OK): <value>" or the not-found
// message in `list` and returns the value ("" when the key is missing).
std::string ExtractValue(ProgressList& list, const CubeJob& job, std::string_view key,
                         std::string_view terminator, std::string_view label, int start_back,
                         int length_extra);

// Fills the eight fields that come from the connection line, reporting each in `list`. Always
// returns true: a missing key leaves its field empty.
bool ParseConnection(ProgressList& list, CubeJob& job);

}  // namespace cubemill::oqy
