// Gateway to the operating system: the Win32 and C-runtime subset the library
// calls, under the Windows names. Only .cpp files include it.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <direct.h>
#include <io.h>
#else
#include "ZEBPlatform/posix/Win32Posix.h"
#endif
