# Cross build for 32-bit Windows with mingw-w64 (i686). The library was born
# 32-bit; this build checks that it still compiles there. Its programs cannot
# run on a host whose kernel does not execute 32-bit code.
set(ZEB_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64.cmake)
