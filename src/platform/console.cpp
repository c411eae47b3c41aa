#include "platform/console.h"

#ifdef _WIN32
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/windows_system.h"
#else
#include <termios.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <iostream>
#include <string>

namespace cubemill::platform {

#ifdef _WIN32

void PrepareConsole(int& argc, char**& argv) {
  SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return;  // the ANSI arguments are all there is
  // Never freed: argv points into them for the rest of the process.
  static std::vector<std::string>* texts = new std::vector<std::string>;
  static std::vector<char*>* pointers = new std::vector<char*>;
  for (int i = 0; i < count; ++i) texts->push_back(Utf8Text(wide[i]));
  LocalFree(wide);
  for (std::string& text : *texts) pointers->push_back(text.data());
  pointers->push_back(nullptr);
  argc = count;
  argv = pointers->data();
}

#else

void PrepareConsole(int& /*argc*/, char**& /*argv*/) {}

#endif

std::string ReadSecretLine(const char* prompt) {
#ifdef _WIN32
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool terminal = GetConsoleMode(input, &mode) != 0;
  if (terminal) {
    std::fputs(prompt, stderr);
    SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  }
#else
  termios saved{};
  const bool terminal = ::isatty(STDIN_FILENO) != 0 && ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    std::fputs(prompt, stderr);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
#endif
  std::string line;
  std::getline(std::cin, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (terminal) {
#ifdef _WIN32
    SetConsoleMode(input, mode);
#else
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
#endif
    std::fputs("\n", stderr);
  }
  return line;
}

}  // namespace cubemill::platform
