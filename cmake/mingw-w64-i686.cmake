# Cross-build for 32-bit Windows, the system's home platform: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# Its .exe files run only under a 32-bit Wine (Debian's wine32, which needs the i386 architecture and a
# kernel that runs 32-bit programs).
set(UPGRADER_MINGW_TRIPLE i686-w64-mingw32)
set(UPGRADER_MINGW_PROCESSOR x86)
set(UPGRADER_WINE /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
