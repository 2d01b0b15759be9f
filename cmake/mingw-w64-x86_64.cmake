# Cross-build for 64-bit Windows: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(UPGRADER_MINGW_TRIPLE x86_64-w64-mingw32)
set(UPGRADER_MINGW_PROCESSOR AMD64)
set(UPGRADER_WINE /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
