// The console the programs print on, and the command line they are given.
#pragma once

#include <string>

namespace cubemill::platform {

// Makes the console and the command line UTF-8, as the rest of the program takes all text.
// On Windows the console decodes output in its own code page (an OEM one such as 850), which
// turns every character outside ASCII into the wrong letters: it is switched to UTF-8
// (CP_UTF8). And main() gets its arguments in the ANSI code page, in which a file name with
// other characters cannot even be written: `argc` and `argv` are replaced by the UTF-8 text of
// the wide command line (kept for the life of the process). Elsewhere terminals and arguments
// are UTF-8 already and nothing happens. Call once, first thing in main().
void PrepareConsole(int& argc, char**& argv);

// Reads one line from standard input (its line end dropped): on a terminal after `prompt` on
// standard error and without showing what is typed, so that a password is not seen on screen.
std::string ReadSecretLine(const char* prompt);

}  // namespace cubemill::platform
