// The window front end: runs the program in its main window.
#pragma once

#include <functional>
#include <string>

namespace cubemill::ui {

// Opens the main window and runs its load event with the command-line `parameter` ("" = none).
// After a command-line job the window unloads itself and this returns the job's exit status;
// without a parameter it returns 0 when the user closes the window. Qt sees only argv[0], so no
// job parameter is taken as a Qt option.
// `pause_at_end` and `report_error` are as JobContext has them.
int RunWindowFrontEnd(int argc, char** argv, const std::string& parameter, bool pause_at_end = true,
                      std::function<void(const std::string&)> report_error = {});

// True when the window can be opened on this display. Tries it in a child process, since Qt ends
// a process that cannot reach its display (an old DISPLAY of a closed ssh session, say).
bool WindowCanOpen(int argc, char** argv);

}  // namespace cubemill::ui
