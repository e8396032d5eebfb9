# Cross-compiles for 32-bit Windows with Debian's mingw-w64 toolchain
# (package g++-mingw-w64-i686):
#   cmake -S . -B build-win32 --toolchain cmake/i686-w64-mingw32.cmake
set(MINGW_W64_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
