// File-system queries and changes by path: attributes, copy, move, delete,
// directories, and the C run-time calls built on them.
#include "Internal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace ZEBPlatform::Detail;

namespace {

// Looks an existing entry up by its Windows path (lstat information).
bool Existing(LPCSTR path, MappedPath& mapped, struct stat& info) {
  if (!MapPath(path, mapped))
    return false;
  if (Syscalls().lstat(mapped.host.c_str(), &info) != 0)
    return Fail(PathError(errno, mapped.host), false);
  bool directory = S_ISDIR(info.st_mode);
  if (S_ISLNK(info.st_mode)) {
    struct stat target;
    directory = Syscalls().stat(mapped.host.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  }
  if (mapped.trailingSeparator && !directory)
    return Fail(ERROR_INVALID_NAME, false);
  return true;
}

std::string NameOnDisk(MappedPath const& mapped) {
  if (mapped.root)
    return std::string();
  size_t slash = mapped.host.find_last_of('/');
  return mapped.host.substr(slash + 1);
}

bool IsCurrentDirectoryOrAbove(std::string const& host) {
  char current[4096];
  if (!Syscalls().getcwd(current, sizeof(current)))
    return false;
  std::string cwd = current;
  return cwd == host || (cwd.size() > host.size() && cwd.compare(0, host.size(), host) == 0 && cwd[host.size()] == '/');
}

// Copies the data, mode, time and stored attributes of an open source to a
// new or emptied target descriptor.
bool CopyContents(int from, int to, struct stat const& info, std::string const& sourceHost,
                  std::string const& targetHost) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t count = Syscalls().read(from, buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR)
      continue;
    if (count < 0)
      return false;
    if (count == 0)
      break;
    ssize_t done = 0;
    while (done < count) {
      ssize_t written = Syscalls().write(to, buffer.data() + done, static_cast<size_t>(count - done));
      if (written < 0 && errno == EINTR)
        continue;
      if (written <= 0) {
        if (written == 0)
          errno = ENOSPC;
        return false;
      }
      done += written;
    }
  }
  bool present = false;
  DWORD stored = StoredAttributes(sourceHost, present);
  if (present)
    StoreAttributes(targetHost, stored | FILE_ATTRIBUTE_ARCHIVE);
  struct timespec times[2] = {info.st_atim, info.st_mtim};
  Syscalls().utimens(to, times);
  ::fchmod(to, info.st_mode & 07777);
  return true;
}

// The copy of CopyFileA and of a move across file systems. Sets the last
// error on failure and leaves no partial target behind.
BOOL CopyHostFile(std::string const& sourceHost, std::string const& targetHost, bool failIfExists) {
  int from = Syscalls().open(sourceHost.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (from < 0)
    return Fail(PathError(errno, sourceHost));
  struct stat info;
  if (Syscalls().fstat(from, &info) != 0 || S_ISDIR(info.st_mode)) {
    Syscalls().close(from);
    return Fail(ERROR_ACCESS_DENIED);
  }
  if (!TakeShareLocks(from, ACCESS_READ, ACCESS_READ | ACCESS_WRITE)) {
    Syscalls().close(from);
    return Fail(ERROR_SHARING_VIOLATION);
  }
  struct stat existing;
  bool exists = Syscalls().stat(targetHost.c_str(), &existing) == 0;
  DWORD error = ERROR_SUCCESS;
  if (exists) {
    DWORD attributes = AttributesOf(targetHost, existing, "");
    if (failIfExists)
      error = ERROR_FILE_EXISTS;
    else if (existing.st_dev == info.st_dev && existing.st_ino == info.st_ino)
      error = ERROR_SHARING_VIOLATION;
    else if (S_ISDIR(existing.st_mode) || (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)))
      error = ERROR_ACCESS_DENIED;
  }
  if (error != ERROR_SUCCESS) {
    Syscalls().close(from);
    return Fail(error);
  }
  int to = Syscalls().open(targetHost.c_str(), O_RDWR | O_CLOEXEC | (exists ? 0 : O_CREAT | O_EXCL), 0666);
  if (to < 0) {
    error = PathError(errno, targetHost);
    Syscalls().close(from);
    return Fail(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
  }
  if (!TakeShareLocks(to, ACCESS_WRITE, ACCESS_READ | ACCESS_WRITE)) {
    Syscalls().close(to);
    Syscalls().close(from);
    return Fail(ERROR_SHARING_VIOLATION);
  }
  bool copied = (!exists || Syscalls().ftruncate(to, 0) == 0) && CopyContents(from, to, info, sourceHost, targetHost);
  int copyError = errno;
  Syscalls().close(to);
  Syscalls().close(from);
  if (!copied) {
    Syscalls().unlink(targetHost.c_str());
    return Fail(Win32FromErrno(copyError));
  }
  return TRUE;
}

BOOL MoveHost(MappedPath const& source, struct stat const& sourceInfo, LPCSTR newFileName) {
  MappedPath target;
  if (!MapPath(newFileName, target))
    return FALSE;
  if (target.root || source.root)
    return Fail(ERROR_ACCESS_DENIED);
  if (DeleteDenied(source.host))
    return Fail(ERROR_SHARING_VIOLATION);
  std::string targetHost = target.host;
  struct stat targetInfo;
  if (Syscalls().lstat(targetHost.c_str(), &targetInfo) == 0) {
    if (target.host != source.host)
      return Fail(ERROR_ALREADY_EXISTS); // another entry, or another link to the same file
    // The same entry under another letter case: rename to the case given.
    targetHost = JoinHost(ParentOf(target.host), target.name);
    if (targetHost == source.host)
      return TRUE;
    if (Syscalls().renameReplacing(source.host.c_str(), targetHost.c_str()) != 0)
      return Fail(Win32FromErrno(errno));
    return TRUE;
  }
  if (Syscalls().renameNoReplace(source.host.c_str(), targetHost.c_str()) == 0)
    return TRUE;
  int error = errno;
  if (error == EEXIST)
    return Fail(ERROR_ALREADY_EXISTS);
  if (error == ENOENT || error == ENOTDIR)
    return Fail(ERROR_PATH_NOT_FOUND);
  if (error != EXDEV)
    return Fail(Win32FromErrno(error));
  // Another file system: files are copied and the source removed;
  // directories do not move across volumes.
  if (S_ISDIR(sourceInfo.st_mode))
    return Fail(ERROR_NOT_SAME_DEVICE);
  if (!CopyHostFile(source.host, targetHost, true))
    return FALSE;
  if (Syscalls().unlink(source.host.c_str()) != 0) {
    DWORD unlinkError = Win32FromErrno(errno);
    Syscalls().unlink(targetHost.c_str());
    return Fail(unlinkError);
  }
  return TRUE;
}

} // namespace

DWORD GetFileAttributesA(LPCSTR fileName) {
  MappedPath mapped;
  struct stat info;
  if (!Existing(fileName, mapped, info))
    return INVALID_FILE_ATTRIBUTES;
  return AttributesOf(mapped.host, info, NameOnDisk(mapped));
}

BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS infoLevel, LPVOID fileInformation) {
  if (infoLevel != GetFileExInfoStandard || !fileInformation)
    return Fail(ERROR_INVALID_PARAMETER);
  MappedPath mapped;
  struct stat info;
  if (!Existing(fileName, mapped, info))
    return FALSE;
  FillFileData(mapped.host, info, NameOnDisk(mapped), *static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(fileInformation));
  return TRUE;
}

// Read-only is the owner's write permission (for directories too, where on
// Windows it does not keep files from being made inside). A name starting
// with a dot is always hidden. The other attributes need a file system with
// user extended attributes; without them a change fails with
// ERROR_NOT_SUPPORTED.
BOOL SetFileAttributesA(LPCSTR fileName, DWORD fileAttributes) {
  MappedPath mapped;
  struct stat info;
  if (!Existing(fileName, mapped, info))
    return FALSE;
  if (S_ISLNK(info.st_mode) && Syscalls().stat(mapped.host.c_str(), &info) != 0)
    return Fail(PathError(errno, mapped.host));
  bool readOnly = (fileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  mode_t mode = info.st_mode & 07777;
  if (!readOnly && IsReadOnly(info) && Syscalls().chmod(mapped.host.c_str(), mode | S_IWUSR) != 0)
    return Fail(Win32FromErrno(errno));
  if (!StoreAttributes(mapped.host, fileAttributes))
    return Fail(errno == ENOTSUP || errno == EPERM ? ERROR_NOT_SUPPORTED : Win32FromErrno(errno));
  if (readOnly && !IsReadOnly(info) && Syscalls().chmod(mapped.host.c_str(), mode & ~static_cast<mode_t>(0222)) != 0)
    return Fail(Win32FromErrno(errno));
  return TRUE;
}

BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists) {
  MappedPath source, target;
  struct stat info;
  if (!Existing(existingFileName, source, info) || !MapPath(newFileName, target))
    return FALSE;
  if (target.trailingSeparator || target.root)
    return Fail(ERROR_INVALID_NAME);
  return CopyHostFile(source.host, target.host, failIfExists != FALSE);
}

// Moves files and directories; a file goes to another file system by copy
// and removal, a directory does not (ERROR_NOT_SAME_DEVICE). The target must
// not exist, except as the same entry under another letter case.
BOOL MoveFileA(LPCSTR existingFileName, LPCSTR newFileName) {
  MappedPath source;
  struct stat info;
  if (!Existing(existingFileName, source, info))
    return FALSE;
  return MoveHost(source, info, newFileName);
}

// A file open with FILE_SHARE_DELETE loses its name at once, where Windows
// keeps it pending until the last handle closes.
BOOL DeleteFileA(LPCSTR fileName) {
  MappedPath mapped;
  struct stat info;
  if (!Existing(fileName, mapped, info))
    return FALSE;
  if (S_ISDIR(info.st_mode) || (!S_ISLNK(info.st_mode) && IsReadOnly(info)))
    return Fail(ERROR_ACCESS_DENIED);
  if (DeleteDenied(mapped.host))
    return Fail(ERROR_SHARING_VIOLATION);
  if (Syscalls().unlink(mapped.host.c_str()) != 0)
    return Fail(PathError(errno, mapped.host));
  return TRUE;
}

BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES) {
  MappedPath mapped;
  if (!MapPath(pathName, mapped))
    return FALSE;
  struct stat info;
  if (mapped.root || Syscalls().lstat(mapped.host.c_str(), &info) == 0)
    return Fail(mapped.root ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS);
  if (Syscalls().mkdir(mapped.host.c_str(), 0777) != 0) {
    DWORD error = Win32FromErrno(errno);
    return Fail(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                : errno == EEXIST                   ? ERROR_ALREADY_EXISTS
                                                    : error);
  }
  return TRUE;
}

// A directory that is the current directory (or holds it) cannot be removed,
// as on Windows.
BOOL RemoveDirectoryA(LPCSTR pathName) {
  MappedPath mapped;
  struct stat info;
  if (!Existing(pathName, mapped, info))
    return FALSE;
  if (mapped.root)
    return Fail(ERROR_ACCESS_DENIED);
  if (S_ISLNK(info.st_mode)) {
    // A link to a directory goes as the link.
    struct stat target;
    if (Syscalls().stat(mapped.host.c_str(), &target) != 0 || !S_ISDIR(target.st_mode))
      return Fail(ERROR_DIRECTORY);
    if (Syscalls().unlink(mapped.host.c_str()) != 0)
      return Fail(Win32FromErrno(errno));
    return TRUE;
  }
  if (!S_ISDIR(info.st_mode))
    return Fail(ERROR_DIRECTORY);
  if (IsReadOnly(info))
    return Fail(ERROR_ACCESS_DENIED);
  if (IsCurrentDirectoryOrAbove(mapped.host) || DeleteDenied(mapped.host))
    return Fail(ERROR_SHARING_VIOLATION);
  if (Syscalls().rmdir(mapped.host.c_str()) != 0)
    return Fail(errno == EEXIST ? ERROR_DIR_NOT_EMPTY : PathError(errno, mapped.host));
  return TRUE;
}

// The link holds the host form of the target: absolute Windows targets are
// mapped, relative ones keep their components. No privilege is needed.
BOOLEAN CreateSymbolicLinkA(LPCSTR symlinkFileName, LPCSTR targetFileName, DWORD) {
  MappedPath link;
  if (!MapPath(symlinkFileName, link) || !targetFileName)
    return Fail<BOOLEAN>(targetFileName ? GetLastError() : ERROR_INVALID_PARAMETER, 0);
  std::string target = targetFileName;
  bool absolute =
      (target.size() >= 2 && target[1] == ':') || (!target.empty() && (target[0] == '\\' || target[0] == '/'));
  if (absolute) {
    MappedPath mapped;
    if (!MapPath(targetFileName, mapped))
      return 0;
    target = mapped.host;
  } else {
    for (char& c : target)
      if (c == '\\')
        c = '/';
  }
  if (Syscalls().symlink(target.c_str(), link.host.c_str()) != 0)
    return Fail<BOOLEAN>(errno == EEXIST ? ERROR_ALREADY_EXISTS : PathError(errno, link.host), 0);
  return 1;
}

int _mkdir(char const* dirname) { return CreateDirectoryA(dirname, nullptr) ? 0 : CrtFail(GetLastError()); }

int _rmdir(char const* dirname) {
  if (RemoveDirectoryA(dirname))
    return 0;
  DWORD error = GetLastError();
  CrtFail(error);
  if (error == ERROR_DIR_NOT_EMPTY || error == ERROR_DIRECTORY || error == ERROR_SHARING_VIOLATION)
    errno = error == ERROR_DIRECTORY ? ENOTDIR : ENOTEMPTY;
  return -1;
}

int _unlink(char const* filename) { return DeleteFileA(filename) ? 0 : CrtFail(GetLastError()); }

int ZEBPlatformRename(char const* oldName, char const* newName) {
  return MoveFileA(oldName, newName) ? 0 : CrtFail(GetLastError());
}
