# Cross-compiles Cubemill's console programs for 64-bit Windows on Debian with mingw-w64
# (scripts/windows-deps.sh installs it). The -posix variant of the compiler by name: only it has
# std::mutex, std::condition_variable and std::shared_mutex (the plain x86_64-w64-mingw32-g++
# is the -win32 variant).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Everything linked in statically: with libstdc++ and winpthread as DLLs beside them, the programs
# would not start on a machine (or a wine prefix) without those DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_LINK_SEARCH_END_STATIC ON)
# Tests and helper programs run under wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
