// Gateway to the operating system: the Win32 and C-runtime subset the library
// calls, under the Windows names. Only .cpp files include it.
#pragma once

#ifdef _WIN32
// NOMINMAX comes from the build (ZEBPlatform's interface), so that std::min
// and std::max survive <windows.h> in every unit.
#include <windows.h>
#include <direct.h>
#include <io.h>
#include <process.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>

// The C run-time calls whose POSIX meaning differs, under the names the
// library calls them by (the POSIX layer gives them the Windows meaning).
inline int ZEBPlatformRename(char const* oldName, char const* newName) { return std::rename(oldName, newName); }
inline char* ZEBPlatformGetEnv(char const* name) { return std::getenv(name); }
inline struct tm* ZEBPlatformLocalTime(time_t const* time) { return std::localtime(time); }
#else
#include "ZEBPlatform/posix/Win32Posix.h"
#endif
