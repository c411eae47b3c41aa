// Names compared without regard to letter case, for all of Unicode: the one folding the query's
// names (members, levels, dimensions, measures) go through.
#pragma once

#include <string>
#include <string_view>

namespace cubemill::platform {

// Returns `utf8` with every letter folded to one case (simple case folding: `Ñ` and `ñ`, `Σ`,
// `σ` and `ς`, `K` and the Kelvin sign fold alike). A byte that is not part of valid UTF-8 is
// kept as it is.
std::string FoldCase(std::string_view utf8);

// True when `a` and `b` are equal once folded.
bool EqualsFolded(std::string_view a, std::string_view b);

}  // namespace cubemill::platform
