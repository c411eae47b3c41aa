#include "platform/console.h"

#ifdef _WIN32
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/windows_system.h"
#endif

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

}  // namespace cubemill::platform
