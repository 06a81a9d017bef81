// Calls not implemented yet: each fails with ERROR_CALL_NOT_IMPLEMENTED.
#include "ZEBPlatform/Config.h"
#include "ZEBPlatform/Win32.h"
#include "ZEBPlatform/posix/Syscalls.h"

#undef getenv
#undef rename
#undef localtime

#include <cerrno>
#include <unistd.h>

namespace {
template <typename T> T NotImplemented(T result) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return result;
}
int CrtNotImplemented() {
  errno = ENOSYS;
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return -1;
}
} // namespace

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
HANDLE CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  return NotImplemented(INVALID_HANDLE_VALUE);
}
BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) { return NotImplemented(FALSE); }
BOOL WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) { return NotImplemented(FALSE); }
DWORD SetFilePointer(HANDLE, LONG, PLONG, DWORD) { return NotImplemented(INVALID_SET_FILE_POINTER); }
BOOL SetFilePointerEx(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD) { return NotImplemented(FALSE); }
BOOL SetEndOfFile(HANDLE) { return NotImplemented(FALSE); }
DWORD GetFileSize(HANDLE, LPDWORD) { return NotImplemented(INVALID_FILE_SIZE); }
BOOL GetFileSizeEx(HANDLE, PLARGE_INTEGER) { return NotImplemented(FALSE); }
BOOL FlushFileBuffers(HANDLE) { return NotImplemented(FALSE); }
BOOL BackupRead(HANDLE, LPBYTE, DWORD, LPDWORD, BOOL, BOOL, LPVOID*) { return NotImplemented(FALSE); }
HANDLE CreateFileMappingA(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCSTR) {
  return NotImplemented<HANDLE>(nullptr);
}
LPVOID MapViewOfFile(HANDLE, DWORD, DWORD, DWORD, SIZE_T) { return NotImplemented<LPVOID>(nullptr); }
BOOL UnmapViewOfFile(LPCVOID) { return NotImplemented(FALSE); }
BOOL FlushViewOfFile(LPCVOID, SIZE_T) { return NotImplemented(FALSE); }
void GetSystemInfo(LPSYSTEM_INFO info) {
  *info = SYSTEM_INFO();
  info->dwPageSize = 4096;
  info->dwAllocationGranularity = 65536;
}
DWORD GetFileAttributesA(LPCSTR) { return NotImplemented(INVALID_FILE_ATTRIBUTES); }
BOOL GetFileAttributesExA(LPCSTR, GET_FILEEX_INFO_LEVELS, LPVOID) { return NotImplemented(FALSE); }
BOOL SetFileAttributesA(LPCSTR, DWORD) { return NotImplemented(FALSE); }
BOOL CopyFileA(LPCSTR, LPCSTR, BOOL) { return NotImplemented(FALSE); }
BOOL MoveFileA(LPCSTR, LPCSTR) { return NotImplemented(FALSE); }
BOOL DeleteFileA(LPCSTR) { return NotImplemented(FALSE); }
BOOL CreateDirectoryA(LPCSTR, LPSECURITY_ATTRIBUTES) { return NotImplemented(FALSE); }
BOOL RemoveDirectoryA(LPCSTR) { return NotImplemented(FALSE); }
BOOLEAN CreateSymbolicLinkA(LPCSTR, LPCSTR, DWORD) { return NotImplemented<BOOLEAN>(0); }
HANDLE FindFirstFileA(LPCSTR, LPWIN32_FIND_DATAA) { return NotImplemented(INVALID_HANDLE_VALUE); }
BOOL FindNextFileA(HANDLE, LPWIN32_FIND_DATAA) { return NotImplemented(FALSE); }
BOOL GetDiskFreeSpaceExA(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER) { return NotImplemented(FALSE); }
UINT GetDriveTypeA(LPCSTR) { return NotImplemented<UINT>(DRIVE_NO_ROOT_DIR); }
DWORD GetLogicalDrives() { return 0; }
DWORD GetFullPathNameA(LPCSTR, DWORD, LPSTR, LPSTR*) { return NotImplemented<DWORD>(0); }
DWORD GetCurrentDirectoryA(DWORD, LPSTR) { return NotImplemented<DWORD>(0); }
BOOL SetCurrentDirectoryA(LPCSTR) { return NotImplemented(FALSE); }
DWORD GetTempPathA(DWORD, LPSTR) { return NotImplemented<DWORD>(0); }
BOOL GetComputerNameA(LPSTR, LPDWORD) { return NotImplemented(FALSE); }
DWORD WNetGetUniversalNameA(LPCSTR, DWORD, LPVOID, LPDWORD) { return ERROR_CALL_NOT_IMPLEMENTED; }
void _splitpath(char const*, char* drive, char* dir, char* fname, char* ext) {
  for (char* part : {drive, dir, fname, ext})
    if (part)
      *part = '\0';
}
int _mkdir(char const*) { return CrtNotImplemented(); }
int _rmdir(char const*) { return CrtNotImplemented(); }
int _unlink(char const*) { return CrtNotImplemented(); }
int _getpid() { return static_cast<int>(getpid()); }
int ZEBPlatformRename(char const*, char const*) { return CrtNotImplemented(); }
char* ZEBPlatformGetEnv(char const* name) { return ::std::getenv(name); }
struct tm* ZEBPlatformLocalTime(time_t const*) { return nullptr; }

namespace ZEBPlatform {
System LiveSystem() { return System::PosixLayer; }
bool MapDrive(char, std::string const&) { return false; }
bool UnmapDrive(char) { return false; }
bool MapShare(std::string const&, std::string const&, std::string const&) { return false; }
bool UnmapShare(std::string const&, std::string const&) { return false; }
std::string HostPath(char const*) { return std::string(); }
bool FailNext(Call, int, unsigned) { return false; }
bool LimitWrites(uint64_t, int) { return false; }
void ClearFaults() {}
int RunInChildProcess(int (*)(void*), void*) { return -1; }
SyscallTable& Syscalls() {
  static SyscallTable table{};
  return table;
}
void RestoreSyscalls() {}
} // namespace ZEBPlatform
