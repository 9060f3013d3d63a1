# Cross-compiling VORLA for 32-bit Windows from Debian with MinGW-w64
# (Debian package g++-mingw-w64-i686-posix). A 32-bit program is what can use
# the desktop-database ODBC driver, which exists as a 32-bit library only.
#
#   cmake -S . -B build-windows32 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-i686.cmake

set(CMAKE_SYSTEM_PROCESSOR x86)
set(VORLA_MINGW_TRIPLE i686-w64-mingw32)
set(VORLA_WINE_NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/MingwW64.cmake)
