// Configuration and test support of the platform layer: which system is live,
// the drive and share tables of the POSIX layer, fault injection into its C
// library calls, and a child process for tests of sharing between processes.
// On Windows the real API has none of these tables: the calls report that
// they are not available, so that tests skip what only the layer can do.
#pragma once

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include "ZEBPlatform/ZEBPlatformExport.h"
#endif

namespace ZEBPlatform {

enum class System {
  PosixLayer, // this library's POSIX implementation of the Win32 subset
  Windows,    // the real Win32 API
  Wine,       // the Win32 API as Wine provides it
};

// The C library calls of the POSIX layer that tests can make fail.
enum class Call {
  Open,
  Read,
  Write,
  Lseek,
  Ftruncate,
  Fallocate,
  Fsync,
  Close,
  Stat,
  Mkdir,
  Rmdir,
  Unlink,
  Rename,
  Link,
  Chmod,
  OpenDir,
  ReadDir,
  Mmap,
  Msync,
  SetXattr,
  StatVfs,
  GetCwd,
  Chdir,
  Count
};

#ifndef _WIN32

ZEBPLATFORM_API System LiveSystem();

// Drive table: letter ('A'-'Z', either case) -> host directory (absolute).
// An empty directory removes the letter. False for a bad letter, a relative
// directory or one holding a NUL.
ZEBPLATFORM_API bool MapDrive(char letter, std::string const& hostDirectory);
ZEBPLATFORM_API bool UnmapDrive(char letter);
// Share table: \\server\share -> host directory, names compared ignoring
// case. An empty directory removes the share.
ZEBPLATFORM_API bool MapShare(std::string const& server, std::string const& share, std::string const& hostDirectory);
ZEBPLATFORM_API bool UnmapShare(std::string const& server, std::string const& share);
// The host path a Windows path names (no name resolution against the disk),
// empty when it cannot be mapped.
ZEBPLATFORM_API std::string HostPath(char const* windowsPath);

// Makes a later call of the C library fail with `error`: the call after
// `skip` successful ones. False where the layer is not the POSIX one.
ZEBPLATFORM_API bool FailNext(Call call, int error, unsigned skip = 0);
// Lets writes succeed for `bytes` more bytes in total, then one short write,
// then every write fails with `error` until ClearFaults (a disk filling up);
// with `error` 0 they write nothing and report no error (a device that makes
// no progress).
ZEBPLATFORM_API bool LimitWrites(uint64_t bytes, int error);
ZEBPLATFORM_API void ClearFaults();

// Runs `body(argument)` in a child process and gives its exit status, or -1
// when no child can be made.
ZEBPLATFORM_API int RunInChildProcess(int (*body)(void*), void* argument);

#else

inline System LiveSystem() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") ? System::Wine : System::Windows;
}
inline bool MapDrive(char, std::string const&) { return false; }
inline bool UnmapDrive(char) { return false; }
inline bool MapShare(std::string const&, std::string const&, std::string const&) { return false; }
inline bool UnmapShare(std::string const&, std::string const&) { return false; }
inline std::string HostPath(char const* windowsPath) { return windowsPath ? windowsPath : ""; }
inline bool FailNext(Call, int, unsigned = 0) { return false; }
inline bool LimitWrites(uint64_t, int) { return false; }
inline void ClearFaults() {}
inline int RunInChildProcess(int (*)(void*), void*) { return -1; }

#endif

} // namespace ZEBPlatform
