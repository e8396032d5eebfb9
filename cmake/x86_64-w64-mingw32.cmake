# Cross-compiles for 64-bit Windows with Debian's mingw-w64 toolchain
# (package g++-mingw-w64-x86-64):
#   cmake -S . -B build-win64 --toolchain cmake/x86_64-w64-mingw32.cmake
set(MINGW_W64_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
