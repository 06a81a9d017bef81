#include "Internal.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <linux/fs.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace ZEBPlatform {
namespace {

struct Fault {
  bool armed = false;
  unsigned skip = 0;
  int error = 0;
};

std::mutex g_FaultMutex;
Fault g_Faults[static_cast<int>(Call::Count)];
std::atomic<bool> g_AnyFault{false};

struct WriteLimit {
  bool active = false;
  uint64_t remaining = 0;
  int error = 0;
} g_WriteLimit;

// True when an armed fault of `call` fires now; errno is then set.
bool Injected(Call call) {
  if (!g_AnyFault.load(std::memory_order_relaxed))
    return false;
  std::lock_guard<std::mutex> lock(g_FaultMutex);
  Fault& fault = g_Faults[static_cast<int>(call)];
  if (!fault.armed)
    return false;
  if (fault.skip > 0) {
    --fault.skip;
    return false;
  }
  fault.armed = false;
  errno = fault.error;
  return true;
}

// The number of bytes a write may still put under a write limit (or
// `count`); -1 with errno set when none.
ssize_t AllowedWrite(size_t count) {
  if (!g_AnyFault.load(std::memory_order_relaxed))
    return static_cast<ssize_t>(count);
  std::lock_guard<std::mutex> lock(g_FaultMutex);
  if (!g_WriteLimit.active)
    return static_cast<ssize_t>(count);
  if (g_WriteLimit.remaining == 0 && count > 0 && g_WriteLimit.error != 0) {
    errno = g_WriteLimit.error;
    return -1;
  }
  if (g_WriteLimit.remaining == 0)
    errno = 0; // no progress, and no error to tell why
  uint64_t allowed = count < g_WriteLimit.remaining ? count : g_WriteLimit.remaining;
  g_WriteLimit.remaining -= allowed;
  return static_cast<ssize_t>(allowed);
}

int Open(char const* path, int flags, mode_t mode) { return Injected(Call::Open) ? -1 : ::open(path, flags, mode); }
ssize_t Read(int fd, void* buffer, size_t count) { return Injected(Call::Read) ? -1 : ::read(fd, buffer, count); }
ssize_t Write(int fd, void const* buffer, size_t count) {
  if (Injected(Call::Write))
    return -1;
  ssize_t allowed = AllowedWrite(count);
  if (allowed < 0)
    return -1;
  return ::write(fd, buffer, static_cast<size_t>(allowed));
}
off_t Lseek(int fd, off_t offset, int whence) { return Injected(Call::Lseek) ? -1 : ::lseek(fd, offset, whence); }
int Ftruncate(int fd, off_t length) { return Injected(Call::Ftruncate) ? -1 : ::ftruncate(fd, length); }
int Fallocate(int fd, int mode, off_t offset, off_t length) {
  return Injected(Call::Fallocate) ? -1 : ::fallocate(fd, mode, offset, length);
}
int Fsync(int fd) { return Injected(Call::Fsync) ? -1 : ::fsync(fd); }
int Close(int fd) { return Injected(Call::Close) ? -1 : ::close(fd); }
int Fstat(int fd, struct stat* info) { return Injected(Call::Stat) ? -1 : ::fstat(fd, info); }
int Stat(char const* path, struct stat* info) { return Injected(Call::Stat) ? -1 : ::stat(path, info); }
int Lstat(char const* path, struct stat* info) { return Injected(Call::Stat) ? -1 : ::lstat(path, info); }
int Mkdir(char const* path, mode_t mode) { return Injected(Call::Mkdir) ? -1 : ::mkdir(path, mode); }
int Rmdir(char const* path) { return Injected(Call::Rmdir) ? -1 : ::rmdir(path); }
int Unlink(char const* path) { return Injected(Call::Unlink) ? -1 : ::unlink(path); }
int RenameNoReplace(char const* from, char const* to) {
  if (Injected(Call::Rename))
    return -1;
  long result = ::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
  if (result == 0 || (errno != EINVAL && errno != ENOSYS))
    return static_cast<int>(result);
  // The file system cannot refuse to replace: check first (a race remains).
  struct stat info;
  if (::lstat(to, &info) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from, to);
}
int Rename(char const* from, char const* to) { return Injected(Call::Rename) ? -1 : ::rename(from, to); }
int Link(char const* from, char const* to) { return Injected(Call::Link) ? -1 : ::link(from, to); }
int Symlink(char const* target, char const* path) { return Injected(Call::Link) ? -1 : ::symlink(target, path); }
int Chmod(char const* path, mode_t mode) { return Injected(Call::Chmod) ? -1 : ::chmod(path, mode); }
DIR* Opendir(char const* path) { return Injected(Call::OpenDir) ? nullptr : ::opendir(path); }
struct dirent* Readdir(DIR* dir) {
  return Injected(Call::ReadDir) ? nullptr : ::readdir(dir);
}
int Closedir(DIR* dir) { return ::closedir(dir); }
void* Mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
  return Injected(Call::Mmap) ? MAP_FAILED : ::mmap(address, length, protection, flags, fd, offset);
}
int Munmap(void* address, size_t length) { return ::munmap(address, length); }
int Msync(void* address, size_t length, int flags) {
  return Injected(Call::Msync) ? -1 : ::msync(address, length, flags);
}
int Lock(int fd, int command, struct flock* lock) { return ::fcntl(fd, command, lock); }
ssize_t Getxattr(char const* path, char const* name, void* value, size_t size) {
  return ::lgetxattr(path, name, value, size);
}
int Setxattr(char const* path, char const* name, void const* value, size_t size, int flags) {
  return Injected(Call::SetXattr) ? -1 : ::lsetxattr(path, name, value, size, flags);
}
int Removexattr(char const* path, char const* name) {
  return Injected(Call::SetXattr) ? -1 : ::lremovexattr(path, name);
}
int Statvfs(char const* path, struct statvfs* info) { return Injected(Call::StatVfs) ? -1 : ::statvfs(path, info); }
int StatfsType(char const* path, long* type) {
  if (Injected(Call::StatVfs))
    return -1;
  struct statfs info;
  if (::statfs(path, &info) != 0)
    return -1;
  *type = static_cast<long>(info.f_type);
  return 0;
}
int Gethostname(char* name, size_t length) { return ::gethostname(name, length); }
char* Getcwd(char* buffer, size_t size) { return Injected(Call::GetCwd) ? nullptr : ::getcwd(buffer, size); }
int Chdir(char const* path) { return Injected(Call::Chdir) ? -1 : ::chdir(path); }
int Utimens(int fd, struct timespec const times[2]) { return ::futimens(fd, times); }

SyscallTable const g_Checked = {
    Open,     Read,        Write,   Lseek,      Ftruncate,   Fallocate,       Fsync,  Close,   Fstat,
    Stat,     Lstat,       Mkdir,   Rmdir,      Unlink,      RenameNoReplace, Rename, Link,    Symlink,
    Chmod,    Opendir,     Readdir, Closedir,   Mmap,        Munmap,          Msync,  Lock,    Getxattr,
    Setxattr, Removexattr, Statvfs, StatfsType, Gethostname, Getcwd,          Chdir,  Utimens,
};

SyscallTable g_Table = g_Checked;

} // namespace

SyscallTable& Syscalls() { return g_Table; }

void RestoreSyscalls() { g_Table = g_Checked; }

bool FailNext(Call call, int error, unsigned skip) {
  if (call >= Call::Count)
    return false;
  std::lock_guard<std::mutex> lock(g_FaultMutex);
  g_Faults[static_cast<int>(call)] = Fault{true, skip, error};
  g_AnyFault = true;
  return true;
}

bool LimitWrites(uint64_t bytes, int error) {
  std::lock_guard<std::mutex> lock(g_FaultMutex);
  g_WriteLimit = WriteLimit{true, bytes, error};
  g_AnyFault = true;
  return true;
}

void ClearFaults() {
  std::lock_guard<std::mutex> lock(g_FaultMutex);
  for (Fault& fault : g_Faults)
    fault = Fault();
  g_WriteLimit = WriteLimit();
  g_AnyFault = false;
}

} // namespace ZEBPlatform
