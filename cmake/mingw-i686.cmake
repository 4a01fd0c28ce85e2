# Cross-compiles for Windows on i686 with MinGW-w64 (Debian's
# g++-mingw-w64-i686).  Use with
#   cmake -S . -B build-windows-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(TAMREK_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
