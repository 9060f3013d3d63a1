# The part of the MinGW-w64 toolchain files that does not depend on the
# processor: VORLA_MINGW_TRIPLE names the compilers. Programs are linked
# statically against libgcc, libstdc++ and winpthread, so that a .exe needs
# nothing but the system's own DLLs: it runs on a bare Windows and under Wine
# without a search for MinGW's runtime DLLs.

set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VORLA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORLA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VORLA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VORLA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs are run through Wine when CTest starts them on the build host,
# by the loader of their bitness (VORLA_WINE_NAMES, from the toolchain file):
# Debian's "wine" starts the 32-bit loader whenever wine32 is installed.
find_program(VORLA_WINE_EXECUTABLE NAMES ${VORLA_WINE_NAMES} PATHS /usr/lib/wine)
if(VORLA_WINE_EXECUTABLE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VORLA_WINE_EXECUTABLE})
endif()
