# Shared part of the mingw-w64 toolchains; the including file sets UPGRADER_MINGW_TRIPLE and
# UPGRADER_MINGW_PROCESSOR first. Debian's "-posix" compilers give std::thread on winpthreads.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${UPGRADER_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${UPGRADER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${UPGRADER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${UPGRADER_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${UPGRADER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked in, so an .exe runs on its own, without DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Windows 7 or later; the Windows headers without their min/max macros and rarely used parts.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWIN32_LEAN_AND_MEAN -DNOMINMAX")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWIN32_LEAN_AND_MEAN -DNOMINMAX")

# Test programs are listed when ctest runs, not while building: a build without a working Wine still succeeds.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# Tests and test discovery run the .exe files under Wine when it is there. The wrapper keeps Wine quiet and its
# prefix inside the build directory.
if(UPGRADER_WINE AND EXISTS "${UPGRADER_WINE}")
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${UPGRADER_WINE}" CACHE INTERNAL "")
endif()
