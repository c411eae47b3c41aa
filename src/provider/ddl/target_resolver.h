// Finds what the dotted path of an INSERT INTO target names in a cube.
#pragma once

#include <string>
#include <vector>

#include "provider/cube_schema.h"

namespace cubemill::provider::ddl {

// Returns every reading of `parts` (names without brackets, compared without letter case) as a
// binding with role kLevel, kMeasure or kTime and its indexes set; the target text is left
// empty. One part: a level or measure anywhere in the cube, or a TIME dimension (all its
// hierarchies). Two parts: Measures.<measure>, <dimension>.<level> in any hierarchy, or a
// hierarchy of a TIME dimension. Three parts: <dimension>.<hierarchy>.<level>. No reading gives
// an empty list, several mean the path is ambiguous.
std::vector<ColumnBinding> ResolveTargetPath(const CubeSchema& schema,
                                             const std::vector<std::string>& parts);

// Describes what `binding` feeds, for messages: [Dim].[Level], [Dim].[Hier].[Level],
// [Measures].[M], [Dim] or [Dim].[Hier].
std::string DescribeBinding(const CubeSchema& schema, const ColumnBinding& binding);

// Describes level `level` of hierarchy `hierarchy` of dimension `dimension`, as above.
std::string DescribeLevel(const CubeSchema& schema, std::size_t dimension, std::size_t hierarchy,
                          std::size_t level);

}  // namespace cubemill::provider::ddl
