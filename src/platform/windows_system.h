// What the Windows implementations of this folder share: UTF-8 text to and from the UTF-16 the
// wide system calls take, and the system's message for an error number. Built on Windows only.
#pragma once

#include <string>
#include <string_view>

namespace cubemill::platform {

// `utf8` as UTF-16, for the wide (...W) system calls: the ANSI ones read a name in the machine's
// code page and so mangle any character outside it.
std::wstring WideText(std::string_view utf8);

// `wide` (UTF-16 from the system) as UTF-8.
std::string Utf8Text(std::wstring_view wide);

// The system's message for `error_number` (a GetLastError value), without its line end; "error
// <number>" when the system has none.
std::string SystemMessage(unsigned long error_number);

}  // namespace cubemill::platform
