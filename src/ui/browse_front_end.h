// Starts cubemill-browse's window, for main() without Qt in sight.
#pragma once

#include <string>

namespace cubemill::ui {

// Opens the browser's window (on the display Qt finds, or QT_QPA_PLATFORM's) with the cube file
// `cube` ("" for none) showing `mdx` ("" for the default layout), and returns Qt's exit status
// when the window is closed. `program` is argv[0].
int RunBrowseWindow(char* program, const std::string& cube, const std::string& mdx);

}  // namespace cubemill::ui
