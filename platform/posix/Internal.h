// What the units of the POSIX layer share: the syscall table, the errno to
// Win32 table, path mapping, attributes, sharing locks and the handle table.
#pragma once

#include "ZEBPlatform/Config.h"
#include "ZEBPlatform/Win32.h"
#include "ZEBPlatform/posix/Syscalls.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace ZEBPlatform {
namespace Detail {

using ZEBPlatform::Syscalls;

// ----------------------------------------------------------------- errors

DWORD Win32FromErrno(int error);
int ErrnoFromWin32(DWORD error);

template <typename T> T Fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}
inline BOOL Fail(DWORD error) { return Fail(error, FALSE); }
// The Win32 code of a failed call on `hostPath` that set `error`: a missing
// entry is ERROR_FILE_NOT_FOUND when its directory exists, else
// ERROR_PATH_NOT_FOUND, as Windows tells them apart.
DWORD PathError(int error, std::string const& hostPath);
// What the C run-time does on failure: errno and the Win32 last error.
int CrtFail(DWORD error);

// ------------------------------------------------------------------ paths

struct MappedPath {
  std::string host;               // absolute host path, no trailing '/' except for "/"
  std::string name;               // last component as written (before case resolution), empty for a root
  bool trailingSeparator = false; // the text ended with a separator
  bool root = false;              // a drive root, a share root or the host root
};

enum MapFlags : unsigned {
  MAP_RESOLVE_CASE = 1, // find existing names ignoring case
  MAP_WILDCARDS = 2,    // '*' and '?' allowed in the last component
};

// Maps a Windows path to a host path; on failure sets the last error
// (ERROR_PATH_NOT_FOUND for an unmapped drive, ERROR_BAD_NETPATH for an
// unmapped server, ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE ...).
bool MapPath(char const* windowsPath, MappedPath& out, unsigned flags = MAP_RESOLVE_CASE);
// The Windows form of an absolute host path: the longest mapped drive, else
// the rooted form.
std::string ReverseMap(std::string const& hostPath);
std::string ParentOf(std::string const& hostPath);
std::string JoinHost(std::string const& directory, std::string const& name);
std::string UpperAscii(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);
bool HostDirectoryIsRoot(std::string const& hostPath);

// ------------------------------------------------------------- attributes

FILETIME ToFileTime(struct timespec const& time);
// The Win32 attributes of an entry; `info` from lstat.
DWORD AttributesOf(std::string const& hostPath, struct stat const& info, std::string_view name);
bool IsReadOnly(struct stat const& info);
DWORD StoredAttributes(std::string const& hostPath, bool& present);
bool StoreAttributes(std::string const& hostPath, DWORD attributes);
// Size, times and attributes of an entry, for the find and attribute calls.
void FillFileData(std::string const& hostPath, struct stat const& info, std::string_view name,
                  WIN32_FILE_ATTRIBUTE_DATA& data);

// ---------------------------------------------------------------- sharing

enum AccessBits : unsigned { ACCESS_READ = 1, ACCESS_WRITE = 2, ACCESS_DELETE = 4 };
// Takes the sharing locks of an open with `access` and `share` (both in
// AccessBits) on `fd`; false when another open conflicts.
bool TakeShareLocks(int fd, unsigned access, unsigned share);
// Whether an open through the layer, in any process, denies deleting (and
// so renaming) the entry.
bool DeleteDenied(std::string const& hostPath);

// ---------------------------------------------------------------- handles

struct HandleObject {
  enum Kind { FILE_OBJECT, FIND_OBJECT, MAPPING_OBJECT };
  explicit HandleObject(Kind kind) : kind(kind) {}
  virtual ~HandleObject() = default;
  Kind const kind;
};

struct FileObject : HandleObject {
  FileObject() : HandleObject(FILE_OBJECT) {}
  ~FileObject() override;
  int fd = -1;
  std::string host;
  unsigned access = 0; // AccessBits
  bool deleteOnClose = false;
  bool directory = false;
  dev_t device = 0;
  ino_t inode = 0;
};

struct FindObject : HandleObject {
  FindObject() : HandleObject(FIND_OBJECT) {}
  std::vector<WIN32_FIND_DATAA> entries;
  size_t next = 0;
  DWORD endError = ERROR_NO_MORE_FILES; // what FindNextFileA gives after the last entry
};

struct MappingObject : HandleObject {
  MappingObject() : HandleObject(MAPPING_OBJECT) {}
  ~MappingObject() override;
  int fd = -1;
  uint64_t size = 0;
  bool writable = false;
  dev_t device = 0;
  ino_t inode = 0;
};

HANDLE AddHandle(std::shared_ptr<HandleObject> object);
// The object of `handle` if it is of `kind`; else null and ERROR_INVALID_HANDLE.
std::shared_ptr<HandleObject> LookUpHandle(HANDLE handle, HandleObject::Kind kind);
template <typename T> std::shared_ptr<T> LookUp(HANDLE handle, HandleObject::Kind kind) {
  return std::static_pointer_cast<T>(LookUpHandle(handle, kind));
}
// The largest size of a mapping of the file (dev, inode) still alive in this
// process (mapping objects and views), 0 when there is none.
uint64_t MappedExtent(dev_t device, ino_t inode);
uint64_t ViewExtent(dev_t device, ino_t inode);

} // namespace Detail
} // namespace ZEBPlatform
