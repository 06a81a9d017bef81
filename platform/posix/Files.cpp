// Files: CreateFileA with its dispositions, sharing and flags, and the calls
// on an open file handle.
#include "Internal.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

namespace ZEBPlatform {
namespace Detail {
namespace {

// Sharing is kept in open-file-description locks on bytes far beyond any
// data: a shared lock on ACCESS + m for each access an open has, and on
// DENY + m for each it does not share. Locks go with the descriptor, so a
// closed (or crashed) opener leaves none behind.
off_t const LOCK_BASE = INT64_MAX - 64;
off_t const ACCESS_BYTE = LOCK_BASE;
off_t const DENY_BYTE = LOCK_BASE + 8;
unsigned const MODES[] = {ACCESS_READ, ACCESS_WRITE, ACCESS_DELETE};

off_t ModeOffset(unsigned mode) { return mode == ACCESS_READ ? 0 : mode == ACCESS_WRITE ? 1 : 2; }

bool SetSharedLock(int fd, off_t offset) {
  struct flock lock = {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  return Syscalls().lock(fd, F_OFD_SETLK, &lock) == 0;
}

// Whether an open description other than fd's holds a lock on the byte.
bool LockedByOther(int fd, off_t offset) {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  if (Syscalls().lock(fd, F_OFD_GETLK, &lock) != 0)
    return false;
  return lock.l_type != F_UNLCK;
}

unsigned AccessBitsOf(DWORD desiredAccess, DWORD flags) {
  unsigned bits = 0;
  if (desiredAccess & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | FILE_READ_DATA))
    bits |= ACCESS_READ;
  if (desiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA))
    bits |= ACCESS_WRITE;
  if ((desiredAccess & (DELETE | GENERIC_ALL)) || (flags & FILE_FLAG_DELETE_ON_CLOSE))
    bits |= ACCESS_DELETE;
  return bits;
}

unsigned ShareBitsOf(DWORD shareMode) {
  unsigned bits = 0;
  if (shareMode & FILE_SHARE_READ)
    bits |= ACCESS_READ;
  if (shareMode & FILE_SHARE_WRITE)
    bits |= ACCESS_WRITE;
  if (shareMode & FILE_SHARE_DELETE)
    bits |= ACCESS_DELETE;
  return bits;
}

// `mode` is the permission of a file the open creates.
int OpenDescriptor(std::string const& host, unsigned access, int extra, bool directory, mode_t mode) {
  int flags = O_CLOEXEC | extra;
  if (directory)
    return Syscalls().open(host.c_str(), flags | O_RDONLY | O_DIRECTORY, 0);
  int fd = Syscalls().open(host.c_str(), flags | ((access & ACCESS_WRITE) ? O_RDWR : O_RDONLY), mode);
  if (fd >= 0 || errno != EACCES)
    return fd;
  // Without read permission the descriptor cannot hold sharing locks.
  if (access & ACCESS_WRITE)
    return Syscalls().open(host.c_str(), flags | O_WRONLY, mode);
  if (!(access & ACCESS_READ))
    return Syscalls().open(host.c_str(), O_CLOEXEC | O_PATH, 0);
  return -1;
}

// Reserves the space of a file grown from `from` to `to` bytes, as Windows
// allocates it; a file system that cannot reserve gets a sparse extension.
bool GrowFile(int fd, off_t from, off_t to) {
  if (to <= from)
    return true;
  if (Syscalls().fallocate(fd, 0, from, to - from) == 0)
    return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL) {
    int error = errno;
    Syscalls().ftruncate(fd, from);
    errno = error;
    return false;
  }
  return Syscalls().ftruncate(fd, to) == 0;
}

std::shared_ptr<FileObject> FileOf(HANDLE handle) { return LookUp<FileObject>(handle, HandleObject::FILE_OBJECT); }

} // namespace

bool TakeShareLocks(int fd, unsigned access, unsigned share) {
  if ((access & (ACCESS_READ | ACCESS_WRITE | ACCESS_DELETE)) == 0)
    return true;
  for (unsigned mode : MODES) {
    bool ok = true;
    if (access & mode)
      ok = SetSharedLock(fd, ACCESS_BYTE + ModeOffset(mode));
    if (ok && !(share & mode))
      ok = SetSharedLock(fd, DENY_BYTE + ModeOffset(mode));
    if (!ok)
      return errno != EAGAIN; // a descriptor that cannot lock takes no part
  }
  for (unsigned mode : MODES) {
    if ((access & mode) && LockedByOther(fd, DENY_BYTE + ModeOffset(mode)))
      return false;
    if (!(share & mode) && LockedByOther(fd, ACCESS_BYTE + ModeOffset(mode)))
      return false;
  }
  return true;
}

bool DeleteDenied(std::string const& hostPath) {
  int fd = Syscalls().open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0);
  if (fd < 0)
    return false;
  bool denied = LockedByOther(fd, DENY_BYTE + ModeOffset(ACCESS_DELETE));
  Syscalls().close(fd);
  return denied;
}

} // namespace Detail
} // namespace ZEBPlatform

using namespace ZEBPlatform::Detail;

// Sharing binds only openers that go through this layer (in any process);
// other programs are not held back by it. FILE_FLAG_OVERLAPPED and
// FILE_FLAG_NO_BUFFERING are not offered; security attributes and template
// files are ignored.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
  if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING)
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  if (flagsAndAttributes & FILE_FLAG_OVERLAPPED)
    return Fail(ERROR_NOT_SUPPORTED, INVALID_HANDLE_VALUE);
  MappedPath mapped;
  if (!MapPath(fileName, mapped))
    return INVALID_HANDLE_VALUE;
  unsigned access = AccessBitsOf(desiredAccess, flagsAndAttributes);
  unsigned share = ShareBitsOf(shareMode);
  bool backup = (flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0;

  struct stat info;
  bool exists = Syscalls().stat(mapped.host.c_str(), &info) == 0;
  if (!exists && errno != ENOENT)
    return Fail(PathError(errno, mapped.host), INVALID_HANDLE_VALUE);
  bool directory = exists && S_ISDIR(info.st_mode);
  if (directory) {
    if (!backup)
      return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (creationDisposition == CREATE_NEW)
      return Fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
    if (creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING)
      return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  } else if (mapped.trailingSeparator) {
    return Fail(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);
  } else if (mapped.root) {
    return Fail(exists ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  }

  bool truncate = false;
  int extra = 0;
  if (exists && !directory) {
    if (creationDisposition == CREATE_NEW)
      return Fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
    if (creationDisposition == TRUNCATE_EXISTING && !(access & ACCESS_WRITE))
      return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    truncate = creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING;
    if (IsReadOnly(info) && ((access & (ACCESS_WRITE | ACCESS_DELETE)) || truncate))
      return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (creationDisposition == CREATE_ALWAYS) {
      // Overwriting a hidden or system file must name those attributes.
      DWORD current = AttributesOf(mapped.host, info, mapped.name);
      DWORD kept = current & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
      if ((kept & flagsAndAttributes) != kept)
        return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
  } else if (!exists) {
    if (creationDisposition == OPEN_EXISTING || creationDisposition == TRUNCATE_EXISTING)
      return Fail(PathError(ENOENT, mapped.host), INVALID_HANDLE_VALUE);
    extra = O_CREAT | O_EXCL;
  }
  if (flagsAndAttributes & FILE_FLAG_WRITE_THROUGH)
    extra |= O_DSYNC;

  // A temporary file holds one process's scratch data, often in a shared
  // directory such as /tmp: only its owner may read or write it, as the
  // access list of a user's own temporary directory ensures on Windows.
  bool temporary = (flagsAndAttributes & (FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY)) != 0;
  int fd = OpenDescriptor(mapped.host, access, extra, directory, temporary ? 0600 : 0666);
  if (fd < 0)
    return Fail(PathError(errno, mapped.host), INVALID_HANDLE_VALUE);
  auto file = std::make_shared<FileObject>();
  file->fd = fd;
  file->host = mapped.host;
  file->access = access;
  file->directory = directory;
  file->deleteOnClose = (flagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  struct stat opened = {};
  if (Syscalls().fstat(fd, &opened) == 0) {
    file->device = opened.st_dev;
    file->inode = opened.st_ino;
  }
  if (!TakeShareLocks(fd, access, share)) {
    if (!exists)
      Syscalls().unlink(mapped.host.c_str());
    file->deleteOnClose = false;
    return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
  }
  if (truncate && Syscalls().ftruncate(fd, 0) != 0)
    return Fail(Win32FromErrno(errno), INVALID_HANDLE_VALUE);
  if (!exists) {
    DWORD attributes = flagsAndAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_OFFLINE |
                                             FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (attributes)
      StoreAttributes(mapped.host, attributes | FILE_ATTRIBUTE_ARCHIVE);
    if (flagsAndAttributes & FILE_ATTRIBUTE_READONLY)
      ::fchmod(fd, opened.st_mode & ~static_cast<mode_t>(0222));
  }
  if (flagsAndAttributes & FILE_FLAG_SEQUENTIAL_SCAN)
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  else if (flagsAndAttributes & FILE_FLAG_RANDOM_ACCESS)
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  HANDLE handle = AddHandle(file);
  bool replaced = exists && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
  SetLastError(replaced ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

// Asynchronous reads (an OVERLAPPED) are not offered.
BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  if (bytesRead)
    *bytesRead = 0;
  auto file = FileOf(handle);
  if (!file)
    return FALSE;
  if (overlapped || !bytesRead || (!buffer && bytesToRead > 0))
    return Fail(ERROR_INVALID_PARAMETER);
  if (file->directory)
    return Fail(ERROR_INVALID_FUNCTION);
  if (!(file->access & ACCESS_READ))
    return Fail(ERROR_ACCESS_DENIED);
  char* out = static_cast<char*>(buffer);
  DWORD done = 0;
  while (done < bytesToRead) {
    ssize_t count = Syscalls().read(file->fd, out + done, bytesToRead - done);
    if (count < 0 && errno == EINTR)
      continue;
    if (count < 0) {
      *bytesRead = done;
      return Fail(Win32FromErrno(errno));
    }
    if (count == 0)
      break;
    done += static_cast<DWORD>(count);
  }
  *bytesRead = done;
  return TRUE;
}

// Asynchronous writes (an OVERLAPPED) are not offered. A write that stops
// part way (a full disk) fails and reports the bytes that were written.
BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped) {
  if (bytesWritten)
    *bytesWritten = 0;
  auto file = FileOf(handle);
  if (!file)
    return FALSE;
  if (overlapped || !bytesWritten || (!buffer && bytesToWrite > 0))
    return Fail(ERROR_INVALID_PARAMETER);
  if (file->directory)
    return Fail(ERROR_INVALID_FUNCTION);
  if (!(file->access & ACCESS_WRITE))
    return Fail(ERROR_ACCESS_DENIED);
  char const* in = static_cast<char const*>(buffer);
  DWORD done = 0;
  while (done < bytesToWrite) {
    ssize_t count = Syscalls().write(file->fd, in + done, bytesToWrite - done);
    if (count < 0 && errno == EINTR)
      continue;
    if (count <= 0) {
      *bytesWritten = done;
      return Fail(count == 0 ? ERROR_DISK_FULL : Win32FromErrno(errno));
    }
    done += static_cast<DWORD>(count);
  }
  *bytesWritten = done;
  return TRUE;
}

BOOL SetFilePointerEx(HANDLE handle, LARGE_INTEGER distanceToMove, PLARGE_INTEGER newFilePointer, DWORD moveMethod) {
  auto file = FileOf(handle);
  if (!file)
    return FALSE;
  int64_t base = 0;
  if (moveMethod == FILE_CURRENT) {
    off_t current = Syscalls().lseek(file->fd, 0, SEEK_CUR);
    if (current < 0)
      return Fail(Win32FromErrno(errno));
    base = current;
  } else if (moveMethod == FILE_END) {
    struct stat info;
    if (Syscalls().fstat(file->fd, &info) != 0)
      return Fail(Win32FromErrno(errno));
    base = info.st_size;
  } else if (moveMethod != FILE_BEGIN) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  int64_t distance = distanceToMove.QuadPart;
  if ((distance < 0 && base + distance < 0) || (distance > 0 && base > INT64_MAX - distance))
    return Fail(ERROR_NEGATIVE_SEEK);
  int64_t target = base + distance;
  if (Syscalls().lseek(file->fd, static_cast<off_t>(target), SEEK_SET) < 0)
    return Fail(Win32FromErrno(errno));
  if (newFilePointer)
    newFilePointer->QuadPart = target;
  return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod) {
  LARGE_INTEGER distance;
  if (distanceToMoveHigh) {
    distance.u.LowPart = static_cast<DWORD>(distanceToMove);
    distance.u.HighPart = *distanceToMoveHigh;
  } else {
    distance.QuadPart = distanceToMove;
  }
  LARGE_INTEGER position;
  if (!SetFilePointerEx(handle, distance, &position, moveMethod))
    return INVALID_SET_FILE_POINTER;
  if (distanceToMoveHigh)
    *distanceToMoveHigh = position.u.HighPart;
  // A position whose low half is all ones is told from a failure by the
  // last error.
  if (position.u.LowPart == INVALID_SET_FILE_POINTER)
    SetLastError(ERROR_SUCCESS);
  return position.u.LowPart;
}

// Cutting a file below a mapping of it fails (ERROR_USER_MAPPED_FILE) only
// for mappings of this process; growing reserves the space where the file
// system can.
BOOL SetEndOfFile(HANDLE handle) {
  auto file = FileOf(handle);
  if (!file)
    return FALSE;
  if (!(file->access & ACCESS_WRITE) || file->directory)
    return Fail(ERROR_ACCESS_DENIED);
  off_t position = Syscalls().lseek(file->fd, 0, SEEK_CUR);
  struct stat info;
  if (position < 0 || Syscalls().fstat(file->fd, &info) != 0)
    return Fail(Win32FromErrno(errno));
  if (position < info.st_size) {
    if (MappedExtent(info.st_dev, info.st_ino) > static_cast<uint64_t>(position))
      return Fail(ERROR_USER_MAPPED_FILE);
    if (Syscalls().ftruncate(file->fd, position) != 0)
      return Fail(Win32FromErrno(errno));
    return TRUE;
  }
  if (!GrowFile(file->fd, info.st_size, position))
    return Fail(Win32FromErrno(errno));
  return TRUE;
}

BOOL GetFileSizeEx(HANDLE handle, PLARGE_INTEGER fileSize) {
  auto file = FileOf(handle);
  if (!file)
    return FALSE;
  if (!fileSize)
    return Fail(ERROR_INVALID_PARAMETER);
  struct stat info;
  if (Syscalls().fstat(file->fd, &info) != 0)
    return Fail(Win32FromErrno(errno));
  fileSize->QuadPart = file->directory ? 0 : info.st_size;
  return TRUE;
}

DWORD GetFileSize(HANDLE handle, LPDWORD fileSizeHigh) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle, &size))
    return INVALID_FILE_SIZE;
  if (fileSizeHigh)
    *fileSizeHigh = static_cast<DWORD>(size.u.HighPart);
  if (size.u.LowPart == INVALID_FILE_SIZE)
    SetLastError(ERROR_SUCCESS);
  return size.u.LowPart;
}

BOOL FlushFileBuffers(HANDLE handle) {
  auto file = FileOf(handle);
  if (!file)
    return FALSE;
  if (!(file->access & ACCESS_WRITE))
    return Fail(ERROR_ACCESS_DENIED);
  if (Syscalls().fsync(file->fd) != 0)
    return Fail(Win32FromErrno(errno));
  return TRUE;
}

// POSIX has no backup stream format: reading fails with ERROR_NOT_SUPPORTED,
// and releasing a context (abort) always succeeds, as no context is made.
BOOL BackupRead(HANDLE handle, LPBYTE, DWORD, LPDWORD bytesRead, BOOL abort, BOOL, LPVOID* context) {
  if (bytesRead)
    *bytesRead = 0;
  if (abort) {
    if (context)
      *context = nullptr;
    return TRUE;
  }
  if (!FileOf(handle))
    return FALSE;
  return Fail(ERROR_NOT_SUPPORTED);
}
