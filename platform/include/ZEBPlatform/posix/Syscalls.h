// The one table of C library functions the POSIX layer calls. Every entry
// starts as a checked wrapper of the real function (see FailNext in
// ZEBPlatform/Config.h); tests may replace entries to give a call any
// behaviour, and RestoreSyscalls puts the wrappers back.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include "ZEBPlatform/ZEBPlatformExport.h"

static_assert(sizeof(off_t) == 8, "the POSIX layer works with 64-bit file offsets: build with _FILE_OFFSET_BITS=64");

namespace ZEBPlatform {

struct SyscallTable {
  int (*open)(char const* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buffer, size_t count);
  ssize_t (*write)(int fd, void const* buffer, size_t count);
  off_t (*lseek)(int fd, off_t offset, int whence);
  int (*ftruncate)(int fd, off_t length);
  int (*fallocate)(int fd, int mode, off_t offset, off_t length);
  int (*fsync)(int fd);
  int (*close)(int fd);
  int (*fstat)(int fd, struct stat* info);
  int (*stat)(char const* path, struct stat* info);
  int (*lstat)(char const* path, struct stat* info);
  int (*mkdir)(char const* path, mode_t mode);
  int (*rmdir)(char const* path);
  int (*unlink)(char const* path);
  // rename that fails with EEXIST when the target exists (renameat2 with
  // RENAME_NOREPLACE, or link and unlink where that is not supported).
  int (*renameNoReplace)(char const* from, char const* to);
  int (*renameReplacing)(char const* from, char const* to);
  int (*link)(char const* from, char const* to);
  int (*symlink)(char const* target, char const* path);
  int (*chmod)(char const* path, mode_t mode);
  DIR* (*opendir)(char const* path);
  struct dirent* (*readdir)(DIR* dir);
  int (*closedir)(DIR* dir);
  void* (*mmap)(void* address, size_t length, int protection, int flags, int fd, off_t offset);
  int (*munmap)(void* address, size_t length);
  int (*msync)(void* address, size_t length, int flags);
  int (*lock)(int fd, int command, struct flock* lock);
  ssize_t (*getxattr)(char const* path, char const* name, void* value, size_t size);
  int (*setxattr)(char const* path, char const* name, void const* value, size_t size, int flags);
  int (*removexattr)(char const* path, char const* name);
  int (*statvfs)(char const* path, struct statvfs* info);
  int (*statfsType)(char const* path, long* type);
  int (*gethostname)(char* name, size_t length);
  char* (*getcwd)(char* buffer, size_t size);
  int (*chdir)(char const* path);
  int (*utimens)(int fd, struct timespec const times[2]);
};

ZEBPLATFORM_API SyscallTable& Syscalls();
ZEBPLATFORM_API void RestoreSyscalls();

} // namespace ZEBPlatform
