# Cross-compiles for Windows on x86_64 with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64).  Use with
#   cmake -S . -B build-windows-x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(TAMREK_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
