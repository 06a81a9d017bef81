// The Win32 subset on POSIX: the types, constants and functions the library
// calls, with their Windows meaning.
#pragma once

#include <cstdint>
#include <pthread.h>

#include "ZEBPlatform/ZEBPlatformExport.h"

typedef uint32_t DWORD;
typedef int BOOL;
typedef void* HANDLE;
typedef void* HINSTANCE;
typedef void* HMODULE;
typedef void* LPVOID;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(~static_cast<uintptr_t>(0)))

// Win32 error codes the layer reports.
enum : DWORD {
  ERROR_SUCCESS = 0,
  ERROR_INVALID_FUNCTION = 1,
  ERROR_FILE_NOT_FOUND = 2,
  ERROR_PATH_NOT_FOUND = 3,
  ERROR_TOO_MANY_OPEN_FILES = 4,
  ERROR_ACCESS_DENIED = 5,
  ERROR_INVALID_HANDLE = 6,
  ERROR_NOT_ENOUGH_MEMORY = 8,
  ERROR_NO_MORE_FILES = 18,
  ERROR_SHARING_VIOLATION = 32,
  ERROR_HANDLE_EOF = 38,
  ERROR_BAD_NETPATH = 53,
  ERROR_FILE_EXISTS = 80,
  ERROR_INVALID_PARAMETER = 87,
  ERROR_DISK_FULL = 112,
  ERROR_DIR_NOT_EMPTY = 145,
  ERROR_ALREADY_EXISTS = 183,
  ERROR_NOT_CONNECTED = 2250,
};

ZEBPLATFORM_API DWORD GetLastError();
ZEBPLATFORM_API void SetLastError(DWORD error);

// Critical sections: recursive, as on Windows.
struct CRITICAL_SECTION {
  pthread_mutex_t mutex;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;
ZEBPLATFORM_API void InitializeCriticalSection(LPCRITICAL_SECTION section);
ZEBPLATFORM_API void DeleteCriticalSection(LPCRITICAL_SECTION section);
ZEBPLATFORM_API void EnterCriticalSection(LPCRITICAL_SECTION section);
ZEBPLATFORM_API void LeaveCriticalSection(LPCRITICAL_SECTION section);

ZEBPLATFORM_API DWORD GetCurrentThreadId();
// Thread attach and detach notifications do not exist on POSIX: always succeeds.
ZEBPLATFORM_API BOOL DisableThreadLibraryCalls(HMODULE module);

ZEBPLATFORM_API BOOL CloseHandle(HANDLE handle);
ZEBPLATFORM_API BOOL FindClose(HANDLE handle);

#include "ZEBPlatform/posix/CodePagePosix.h"
