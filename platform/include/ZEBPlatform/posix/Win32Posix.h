// The Win32 subset on POSIX: the types, constants and functions the library
// calls, with their Windows meaning. Paths are Windows paths in the system
// code page; the layer maps them to host paths (see ZEBPlatform/Config.h for
// the drive and share tables).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pthread.h>

#include "ZEBPlatform/ZEBPlatformExport.h"

// ---------------------------------------------------------------- types

typedef uint32_t DWORD;
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned char BOOLEAN;
typedef uint16_t WORD;
typedef char CHAR;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t DWORDLONG;
typedef size_t SIZE_T;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef void* HINSTANCE;
typedef void* HMODULE;
typedef void* LPVOID;
typedef void const* LPCVOID;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef LONG* PLONG;
typedef LONG* LPLONG;
typedef BOOL* LPBOOL;
typedef char* LPSTR;
typedef char const* LPCSTR;
typedef char const* PCSTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define WINAPI
#define APIENTRY
#define CALLBACK

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef union _ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

// 100-nanosecond intervals since 1601-01-01 UTC. The global Win32 structure;
// the value module may define its own ZEB::FILETIME.
typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Asynchronous I/O is not offered: calls given an OVERLAPPED fail with
// ERROR_INVALID_PARAMETER.
typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

#define MAX_PATH 260

typedef struct _WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *PWIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

typedef struct _WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA, *LPWIN32_FILE_ATTRIBUTE_DATA;

typedef enum _GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard, GetFileExMaxInfoLevel } GET_FILEEX_INFO_LEVELS;

typedef struct _SYSTEM_INFO {
  union {
    DWORD dwOemId;
    struct {
      WORD wProcessorArchitecture;
      WORD wReserved;
    } s;
  } u;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;

typedef struct _UNIVERSAL_NAME_INFOA {
  LPSTR lpUniversalName;
} UNIVERSAL_NAME_INFOA, *LPUNIVERSAL_NAME_INFOA;

typedef struct _REMOTE_NAME_INFOA {
  LPSTR lpUniversalName;
  LPSTR lpConnectionName;
  LPSTR lpRemainingPath;
} REMOTE_NAME_INFOA, *LPREMOTE_NAME_INFOA;

// ------------------------------------------------------------ constants

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(~static_cast<uintptr_t>(0)))
#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(0xFFFFFFFF))
#define INVALID_FILE_SIZE (static_cast<DWORD>(0xFFFFFFFF))
#define INVALID_SET_FILE_POINTER (static_cast<DWORD>(0xFFFFFFFF))

enum : DWORD {
  // Access rights.
  GENERIC_READ = 0x80000000,
  GENERIC_WRITE = 0x40000000,
  GENERIC_EXECUTE = 0x20000000,
  GENERIC_ALL = 0x10000000,
  DELETE = 0x00010000,
  FILE_READ_DATA = 0x0001,
  FILE_WRITE_DATA = 0x0002,
  FILE_APPEND_DATA = 0x0004,
  FILE_READ_ATTRIBUTES = 0x0080,
  FILE_WRITE_ATTRIBUTES = 0x0100,

  // Share modes.
  FILE_SHARE_READ = 0x1,
  FILE_SHARE_WRITE = 0x2,
  FILE_SHARE_DELETE = 0x4,

  // Creation dispositions.
  CREATE_NEW = 1,
  CREATE_ALWAYS = 2,
  OPEN_EXISTING = 3,
  OPEN_ALWAYS = 4,
  TRUNCATE_EXISTING = 5,

  // File attributes.
  FILE_ATTRIBUTE_READONLY = 0x1,
  FILE_ATTRIBUTE_HIDDEN = 0x2,
  FILE_ATTRIBUTE_SYSTEM = 0x4,
  FILE_ATTRIBUTE_DIRECTORY = 0x10,
  FILE_ATTRIBUTE_ARCHIVE = 0x20,
  FILE_ATTRIBUTE_DEVICE = 0x40,
  FILE_ATTRIBUTE_NORMAL = 0x80,
  FILE_ATTRIBUTE_TEMPORARY = 0x100,
  FILE_ATTRIBUTE_SPARSE_FILE = 0x200,
  FILE_ATTRIBUTE_REPARSE_POINT = 0x400,
  FILE_ATTRIBUTE_COMPRESSED = 0x800,
  FILE_ATTRIBUTE_OFFLINE = 0x1000,
  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED = 0x2000,
  FILE_ATTRIBUTE_ENCRYPTED = 0x4000,

  // File flags.
  FILE_FLAG_WRITE_THROUGH = 0x80000000,
  FILE_FLAG_OVERLAPPED = 0x40000000,
  FILE_FLAG_NO_BUFFERING = 0x20000000,
  FILE_FLAG_RANDOM_ACCESS = 0x10000000,
  FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000,
  FILE_FLAG_DELETE_ON_CLOSE = 0x04000000,
  FILE_FLAG_BACKUP_SEMANTICS = 0x02000000,
  FILE_FLAG_POSIX_SEMANTICS = 0x01000000,
  FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000,

  // File pointer move methods.
  FILE_BEGIN = 0,
  FILE_CURRENT = 1,
  FILE_END = 2,

  // File mapping protections and view accesses.
  PAGE_READONLY = 0x02,
  PAGE_READWRITE = 0x04,
  PAGE_WRITECOPY = 0x08,
  FILE_MAP_COPY = 0x1,
  FILE_MAP_WRITE = 0x2,
  FILE_MAP_READ = 0x4,
  FILE_MAP_ALL_ACCESS = 0xF001F,

  // Symbolic links.
  SYMBOLIC_LINK_FLAG_DIRECTORY = 0x1,
  SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE = 0x2,

  // Network provider information levels.
  UNIVERSAL_NAME_INFO_LEVEL = 1,
  REMOTE_NAME_INFO_LEVEL = 2,

  MAX_COMPUTERNAME_LENGTH = 15,
  PROCESSOR_ARCHITECTURE_INTEL = 0,
  PROCESSOR_ARCHITECTURE_ARM = 5,
  PROCESSOR_ARCHITECTURE_AMD64 = 9,
  PROCESSOR_ARCHITECTURE_ARM64 = 12,
};

// Drive types (GetDriveTypeA).
enum : UINT {
  DRIVE_UNKNOWN = 0,
  DRIVE_NO_ROOT_DIR = 1,
  DRIVE_REMOVABLE = 2,
  DRIVE_FIXED = 3,
  DRIVE_REMOTE = 4,
  DRIVE_CDROM = 5,
  DRIVE_RAMDISK = 6,
};

// Win32 error codes the layer reports.
enum : DWORD {
  ERROR_SUCCESS = 0,
  NO_ERROR = 0,
  ERROR_INVALID_FUNCTION = 1,
  ERROR_FILE_NOT_FOUND = 2,
  ERROR_PATH_NOT_FOUND = 3,
  ERROR_TOO_MANY_OPEN_FILES = 4,
  ERROR_ACCESS_DENIED = 5,
  ERROR_INVALID_HANDLE = 6,
  ERROR_NOT_ENOUGH_MEMORY = 8,
  ERROR_OUTOFMEMORY = 14,
  ERROR_INVALID_DRIVE = 15,
  ERROR_CURRENT_DIRECTORY = 16,
  ERROR_NOT_SAME_DEVICE = 17,
  ERROR_NO_MORE_FILES = 18,
  ERROR_WRITE_PROTECT = 19,
  ERROR_NOT_READY = 21,
  ERROR_SEEK = 25,
  ERROR_WRITE_FAULT = 29,
  ERROR_READ_FAULT = 30,
  ERROR_GEN_FAILURE = 31,
  ERROR_SHARING_VIOLATION = 32,
  ERROR_LOCK_VIOLATION = 33,
  ERROR_HANDLE_EOF = 38,
  ERROR_HANDLE_DISK_FULL = 39,
  ERROR_NOT_SUPPORTED = 50,
  ERROR_BAD_NETPATH = 53,
  ERROR_DEV_NOT_EXIST = 55,
  ERROR_BAD_NET_NAME = 67,
  ERROR_FILE_EXISTS = 80,
  ERROR_CANNOT_MAKE = 82,
  ERROR_INVALID_PARAMETER = 87,
  ERROR_BROKEN_PIPE = 109,
  ERROR_BUFFER_OVERFLOW = 111,
  ERROR_DISK_FULL = 112,
  ERROR_CALL_NOT_IMPLEMENTED = 120,
  // ERROR_INSUFFICIENT_BUFFER (122) comes with the code-page calls.
  ERROR_INVALID_NAME = 123,
  ERROR_INVALID_LEVEL = 124,
  ERROR_NEGATIVE_SEEK = 131,
  ERROR_DIR_NOT_EMPTY = 145,
  ERROR_BAD_PATHNAME = 161,
  ERROR_BUSY = 170,
  ERROR_ALREADY_EXISTS = 183,
  ERROR_FILENAME_EXCED_RANGE = 206,
  ERROR_FILE_TOO_LARGE = 223,
  ERROR_MORE_DATA = 234,
  ERROR_DIRECTORY = 267,
  ERROR_INVALID_ADDRESS = 487,
  ERROR_NOACCESS = 998,
  ERROR_FILE_INVALID = 1006,
  ERROR_IO_DEVICE = 1117,
  ERROR_MAPPED_ALIGNMENT = 1132,
  ERROR_TOO_MANY_LINKS = 1142,
  ERROR_BAD_DEVICE = 1200,
  ERROR_NO_NET_OR_BAD_PATH = 1203,
  ERROR_USER_MAPPED_FILE = 1224,
  ERROR_PRIVILEGE_NOT_HELD = 1314,
  ERROR_CANT_RESOLVE_FILENAME = 1921,
  ERROR_NOT_CONNECTED = 2250,
};

// Sizes of the parts of _splitpath, terminating NUL included.
#define _MAX_PATH 260
#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256

// --------------------------------------------------- errors and threads

// The calling thread's last Win32 error code.
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
ZEBPLATFORM_API DWORD GetCurrentProcessId();
// Thread attach and detach notifications do not exist on POSIX: always succeeds.
ZEBPLATFORM_API BOOL DisableThreadLibraryCalls(HMODULE module);

// ---------------------------------------------------------------- files

ZEBPLATFORM_API HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                                   DWORD flagsAndAttributes, HANDLE templateFile);
ZEBPLATFORM_API BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                              LPOVERLAPPED overlapped);
ZEBPLATFORM_API BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                               LPOVERLAPPED overlapped);
ZEBPLATFORM_API DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod);
ZEBPLATFORM_API BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distanceToMove, PLARGE_INTEGER newFilePointer,
                                      DWORD moveMethod);
ZEBPLATFORM_API BOOL SetEndOfFile(HANDLE file);
ZEBPLATFORM_API DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
ZEBPLATFORM_API BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER fileSize);
ZEBPLATFORM_API BOOL FlushFileBuffers(HANDLE file);
ZEBPLATFORM_API BOOL BackupRead(HANDLE file, LPBYTE buffer, DWORD bytesToRead, LPDWORD bytesRead, BOOL abort,
                                BOOL processSecurity, LPVOID* context);
ZEBPLATFORM_API BOOL CloseHandle(HANDLE handle);

// ---------------------------------------------------------- file mapping

ZEBPLATFORM_API HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect,
                                          DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCSTR name);
ZEBPLATFORM_API LPVOID MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD fileOffsetHigh,
                                     DWORD fileOffsetLow, SIZE_T bytesToMap);
ZEBPLATFORM_API BOOL UnmapViewOfFile(LPCVOID baseAddress);
ZEBPLATFORM_API BOOL FlushViewOfFile(LPCVOID baseAddress, SIZE_T bytesToFlush);
ZEBPLATFORM_API void GetSystemInfo(LPSYSTEM_INFO systemInfo);

// ------------------------------------------- file-system queries, changes

ZEBPLATFORM_API DWORD GetFileAttributesA(LPCSTR fileName);
ZEBPLATFORM_API BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS infoLevel, LPVOID fileInformation);
ZEBPLATFORM_API BOOL SetFileAttributesA(LPCSTR fileName, DWORD fileAttributes);
ZEBPLATFORM_API BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists);
ZEBPLATFORM_API BOOL MoveFileA(LPCSTR existingFileName, LPCSTR newFileName);
ZEBPLATFORM_API BOOL DeleteFileA(LPCSTR fileName);
ZEBPLATFORM_API BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES securityAttributes);
ZEBPLATFORM_API BOOL RemoveDirectoryA(LPCSTR pathName);
ZEBPLATFORM_API BOOLEAN CreateSymbolicLinkA(LPCSTR symlinkFileName, LPCSTR targetFileName, DWORD flags);

ZEBPLATFORM_API HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData);
ZEBPLATFORM_API BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData);
ZEBPLATFORM_API BOOL FindClose(HANDLE findFile);

ZEBPLATFORM_API BOOL GetDiskFreeSpaceExA(LPCSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes);
ZEBPLATFORM_API UINT GetDriveTypeA(LPCSTR rootPathName);
ZEBPLATFORM_API DWORD GetLogicalDrives();
ZEBPLATFORM_API DWORD GetFullPathNameA(LPCSTR fileName, DWORD bufferLength, LPSTR buffer, LPSTR* filePart);
ZEBPLATFORM_API DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);
ZEBPLATFORM_API BOOL SetCurrentDirectoryA(LPCSTR pathName);
ZEBPLATFORM_API DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer);
ZEBPLATFORM_API BOOL GetComputerNameA(LPSTR buffer, LPDWORD size);

// ------------------------------------------------------ network provider

ZEBPLATFORM_API DWORD WNetGetUniversalNameA(LPCSTR localPath, DWORD infoLevel, LPVOID buffer, LPDWORD bufferSize);

// --------------------------------------------------------- C run-time

ZEBPLATFORM_API void _splitpath(char const* path, char* drive, char* dir, char* fname, char* ext);
ZEBPLATFORM_API int _mkdir(char const* dirname);
ZEBPLATFORM_API int _rmdir(char const* dirname);
ZEBPLATFORM_API int _unlink(char const* filename);
ZEBPLATFORM_API int _getpid();

// rename, getenv and localtime keep their POSIX meaning; the library calls
// these for the Windows one (on Windows they are the C run-time's own).
// Rename: paths mapped, fails when the target exists (like MoveFileA).
ZEBPLATFORM_API int ZEBPlatformRename(char const* oldName, char const* newName);
// GetEnv: TEMP and TMP, when unset, name the host's temporary directory
// (TMPDIR, else /tmp), as they are always set on Windows.
ZEBPLATFORM_API char* ZEBPlatformGetEnv(char const* name);
// LocalTime: no result before 1970-01-01 or after 3000-12-31 (UTC); the
// result lives in a buffer of the calling thread.
ZEBPLATFORM_API struct tm* ZEBPlatformLocalTime(time_t const* time);

#include "ZEBPlatform/posix/CodePagePosix.h"
