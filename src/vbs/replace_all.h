// Plain, non-recursive text replacement used to re-lay statements as script text.
#pragma once

#include <string>
#include <string_view>

namespace cubemill::vbs {

// Returns `text` with every occurrence of `find` replaced by `replacement`, scanning left to
// right, case-sensitively; occurrences never overlap and inserted text is not scanned again.
// An empty `find` leaves the text unchanged.
std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement);

}  // namespace cubemill::vbs
