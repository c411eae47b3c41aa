// The read-me text of the window's "Info" tab.
#pragma once

#include <string>

namespace cubemill::ui {

// Returns the 18 lines of the info text (author, purpose, licence, description, versions) as
// UTF-8; every line, the last one included, ends with CR LF, and indented lines start with one TAB.
std::string InfoText();

}  // namespace cubemill::ui
