// Trying something that may end the process, without risking this one; handing the process
// over to another program.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cubemill::platform {

// Runs `probe` in a child process whose standard error is discarded, and returns true when it
// returned true there. A child that aborts, crashes or cannot be started counts as false.
bool SucceedsInChild(const std::function<bool()>& probe);

// Replaces this process with the program `name` that is installed with this one: the first
// that exists of the file `name` beside this process's own executable (/proc/self/exe, links
// resolved) and the file `name` in each of `relative_dirs`, taken from that executable's folder.
// The program gets `argv` unchanged and keeps this process: its ID, its open files (the standard
// streams are flushed first), its ignored signals and its signal mask. Returns only when it did
// not happen: nothing when there is no such file (or the own executable cannot be found), else
// what failed ("<path>: Permission denied").
std::optional<std::string> ExecInstalledProgram(const std::string& name,
                                                const std::vector<std::string>& relative_dirs,
                                                char* const* argv);

}  // namespace cubemill::platform
