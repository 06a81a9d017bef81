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
#else
#include "ZEBPlatform/posix/Win32Posix.h"
#endif
