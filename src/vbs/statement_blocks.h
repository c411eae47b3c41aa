// The five script blocks that declare and assign the parts of the cube's connection string:
// cube location, data source, CREATE CUBE, INSERT INTO and SELECT.
#pragma once

#include <string>
#include <string_view>

#include "common/cube_job.h"
#include "vbs/vbs_file.h"

namespace cubemill::vbs {

// Returns `value` with every CR and LF replaced by a blank. A value from an OQY or settings file
// may hold a lone CR; in the script it would end the line inside a string literal or a comment,
// and the rest of the value would run as script code.
std::string OneScriptLine(std::string_view value);

// Returns `value` with every double quote doubled, so that it stays inside a script string
// literal and reads back as `value` when the script runs.
std::string EscapeForLiteral(std::string_view value);

// Returns the assignment of ConnCubLocation for the job's CubeFile. When CubTimestamp is not
// empty the script's own time stamp and "_" go in front of the file name (after the last
// backslash, or at the start when there is none).
std::string CubLocationAssignment(const CubeJob& job);

// Returns the assignment of ConnDSN for the job's SourceDsn.
std::string DsnAssignment(const CubeJob& job);

// Returns the assignment of ConnCreateCube: the job's CreateCubeStmt laid out one clause per
// line (DIMENSION, MEASURE, HIERARCHY, LEVEL), continued with `" & _`.
std::string CreateCubeAssignment(const CubeJob& job);

// Returns the assignment of ConnInsertCube: the job's InsertIntoStmt with one column per line.
std::string InsertIntoAssignment(const CubeJob& job);

// Returns the assignment of ConnSelectCube: the job's SelectStmt broken at SELECT, FROM and
// every comma.
std::string SelectAssignment(const CubeJob& job);

// Each writer appends its block to `script` as two items, an empty line with the Dim line, then
// the assignment, and returns true.
bool WriteVbsCubLocation(VbsScript& script, const CubeJob& job);
bool WriteVbsDsn(VbsScript& script, const CubeJob& job);
bool WriteVbsCreateCube(VbsScript& script, const CubeJob& job);
bool WriteVbsInsertInto(VbsScript& script, const CubeJob& job);
bool WriteVbsSelect(VbsScript& script, const CubeJob& job);

}  // namespace cubemill::vbs
