// Starts cubemill-browse's window, for main() without Qt in sight.
#pragma once

#include <string>

namespace cubemill::ui {

// Opens the browser's window (on the display Qt finds, or QT_QPA_PLATFORM's) with the cube file
// `cube` ("" for none) showing `mdx` ("" for the cube's last or default layout; a name ending in
// .cmview: that view file's layout), and returns Qt's exit status
// when the window is closed. `program` is argv[0].
int RunBrowseWindow(char* program, const std::string& cube, const std::string& mdx);

// Writes what the window's export would write to `file` (a workbook for a name ending in .xlsx,
// else CSV) for the cube file `cube` showing `mdx` ("" for the default layout; a name ending in
// .cmview: that view file's layout), with no window and no display. Returns 0, or 1 after one
// line on stderr that says why not (the cube cannot be opened, the view cannot be read or names
// what the cube lacks, the query cannot be shown as a pivot or fails, the file cannot be
// written; an earlier file then stays as it was).
int ExportWithoutWindow(const std::string& file, const std::string& cube, const std::string& mdx);

}  // namespace cubemill::ui
