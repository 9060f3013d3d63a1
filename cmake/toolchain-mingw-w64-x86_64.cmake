# Cross-compiling VORLA for 64-bit Windows from Debian with MinGW-w64.
#
#   cmake -S . -B build-windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64-x86_64.cmake
#
# The compilers are the "-posix" ones (Debian package
# g++-mingw-w64-x86-64-posix): only that thread model gives std::thread and
# std::mutex.

set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VORLA_MINGW_TRIPLE x86_64-w64-mingw32)
set(VORLA_WINE_NAMES wine64 wine)
include(${CMAKE_CURRENT_LIST_DIR}/MingwW64.cmake)
