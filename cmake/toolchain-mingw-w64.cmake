# Cross build for Windows with mingw-w64; the tests run under Wine. 64-bit
# unless ZEB_MINGW_TRIPLE names another target first (the 32-bit toolchain
# file sets i686-w64-mingw32).
#
# The POSIX thread model of the compiler is preferred: it gives std::thread,
# std::mutex and friends on every GCC version. The C++ runtime stays a DLL
# shared by every module of the family (one heap, one exception runtime);
# platform/CMakeLists.txt copies the runtime DLLs next to the programs.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT ZEB_MINGW_TRIPLE)
  set(ZEB_MINGW_TRIPLE x86_64-w64-mingw32)
endif()
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${ZEB_MINGW_TRIPLE})
find_program(ZEB_MINGW_CXX NAMES ${ZEB_MINGW_TRIPLE}-g++-posix ${ZEB_MINGW_TRIPLE}-g++ REQUIRED)
find_program(ZEB_MINGW_CC NAMES ${ZEB_MINGW_TRIPLE}-gcc-posix ${ZEB_MINGW_TRIPLE}-gcc)
find_program(ZEB_MINGW_RC NAMES ${ZEB_MINGW_TRIPLE}-windres)
set(CMAKE_CXX_COMPILER ${ZEB_MINGW_CXX})
if(ZEB_MINGW_CC)
  set(CMAKE_C_COMPILER ${ZEB_MINGW_CC})
endif()
if(ZEB_MINGW_RC)
  set(CMAKE_RC_COMPILER ${ZEB_MINGW_RC})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${ZEB_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run through Wine (test discovery, ctest), in a Wine
# prefix of the build tree's own.
get_filename_component(ZEB_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEB_WINE_RUN} --prefix=${CMAKE_BINARY_DIR}/wine-prefix)
