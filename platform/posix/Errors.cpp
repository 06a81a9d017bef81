// The one table between errno values and Win32 error codes.
#include "Internal.h"

#include <cerrno>

namespace ZEBPlatform {
namespace Detail {
namespace {

struct ErrorPair {
  int errnoValue;
  DWORD win32;
};

// errno -> Win32, first match wins; the reverse direction (for the C
// run-time calls) takes the first row naming the Win32 code.
ErrorPair const g_Errors[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOENT, ERROR_PATH_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EEXIST, ERROR_FILE_EXISTS},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {EBUSY, ERROR_SHARING_VIOLATION},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EAGAIN, ERROR_SHARING_VIOLATION},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EBADF, ERROR_INVALID_HANDLE},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {EROFS, ERROR_WRITE_PROTECT},
    {EIO, ERROR_IO_DEVICE},
    {EMLINK, ERROR_TOO_MANY_LINKS},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {ENOSYS, ERROR_CALL_NOT_IMPLEMENTED},
    {EFAULT, ERROR_NOACCESS},
    {ESPIPE, ERROR_SEEK},
    {ENXIO, ERROR_DEV_NOT_EXIST},
    {ENODEV, ERROR_DEV_NOT_EXIST},
    {ESTALE, ERROR_FILE_NOT_FOUND},
    {EHOSTDOWN, ERROR_BAD_NETPATH},
    {EHOSTUNREACH, ERROR_BAD_NETPATH},
    {ENETUNREACH, ERROR_BAD_NETPATH},
    {ENOLCK, ERROR_SHARING_VIOLATION},
    {EINVAL, ERROR_INVALID_NAME},
    {EINVAL, ERROR_NEGATIVE_SEEK},
    {EINVAL, ERROR_INVALID_HANDLE},
    {ENOENT, ERROR_BAD_NETPATH},
    {ENOENT, ERROR_BAD_NET_NAME},
    {ENOENT, ERROR_FILENAME_EXCED_RANGE},
    {EACCES, ERROR_SHARING_VIOLATION},
    {EACCES, ERROR_CURRENT_DIRECTORY},
    {ENOTDIR, ERROR_DIRECTORY},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
};

} // namespace

DWORD Win32FromErrno(int error) {
  for (ErrorPair const& pair : g_Errors)
    if (pair.errnoValue == error)
      return pair.win32;
  return ERROR_GEN_FAILURE;
}

int ErrnoFromWin32(DWORD error) {
  // Mostly as the Windows C run-time maps them.
  if (error == ERROR_INVALID_HANDLE)
    return EBADF;
  if (error == ERROR_SHARING_VIOLATION)
    return EACCES;
  for (ErrorPair const& pair : g_Errors)
    if (pair.win32 == error)
      return pair.errnoValue;
  return EINVAL;
}

DWORD PathError(int error, std::string const& hostPath) {
  if (error != ENOENT && error != ENOTDIR)
    return Win32FromErrno(error);
  struct stat info;
  std::string parent = ParentOf(hostPath);
  if (Syscalls().stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
    return ERROR_FILE_NOT_FOUND;
  return ERROR_PATH_NOT_FOUND;
}

int CrtFail(DWORD error) {
  SetLastError(error);
  errno = ErrnoFromWin32(error);
  return -1;
}

} // namespace Detail
} // namespace ZEBPlatform
