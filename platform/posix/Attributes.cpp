// Win32 attributes of host entries: directory from the file type, read-only
// from the owner's write permission, hidden for dot names, reparse point for
// symbolic links, and what POSIX cannot hold in the user.DOSATTRIB extended
// attribute.
#include "Internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace ZEBPlatform {
namespace Detail {
namespace {

char const DOS_ATTRIBUTES[] = "user.DOSATTRIB";

// The attributes kept in the extended attribute.
DWORD const STORED = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                     FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool IsDotName(std::string_view name) { return !name.empty() && name[0] == '.' && name != "." && name != ".."; }

// What an entry reports when nothing is stored for it.
DWORD DefaultStored(bool directory) { return directory ? DWORD(0) : DWORD(FILE_ATTRIBUTE_ARCHIVE); }

std::string_view LastName(std::string const& hostPath) {
  size_t slash = hostPath.find_last_of('/');
  return slash == std::string::npos ? std::string_view(hostPath) : std::string_view(hostPath).substr(slash + 1);
}

} // namespace

FILETIME ToFileTime(struct timespec const& time) {
  int64_t const EPOCH_DIFFERENCE = 11644473600LL; // seconds from 1601 to 1970
  int64_t ticks = (static_cast<int64_t>(time.tv_sec) + EPOCH_DIFFERENCE) * 10000000LL + time.tv_nsec / 100;
  if (ticks < 0)
    ticks = 0;
  FILETIME result;
  result.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks));
  result.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return result;
}

bool IsReadOnly(struct stat const& info) { return (info.st_mode & S_IWUSR) == 0; }

DWORD StoredAttributes(std::string const& hostPath, bool& present) {
  char text[32] = {};
  ssize_t length = Syscalls().getxattr(hostPath.c_str(), DOS_ATTRIBUTES, text, sizeof(text) - 1);
  present = false;
  if (length <= 0)
    return 0;
  text[length] = '\0';
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 16);
  if (end == text)
    return 0;
  present = true;
  return static_cast<DWORD>(value) & STORED;
}

DWORD AttributesOf(std::string const& hostPath, struct stat const& info, std::string_view name) {
  struct stat target = info;
  DWORD attributes = 0;
  if (S_ISLNK(info.st_mode)) {
    attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (Syscalls().stat(hostPath.c_str(), &target) != 0)
      target = info;
  }
  bool directory = S_ISDIR(target.st_mode);
  if (directory)
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if (IsReadOnly(target) && !S_ISLNK(target.st_mode))
    attributes |= FILE_ATTRIBUTE_READONLY;
  bool present = false;
  DWORD stored = S_ISLNK(info.st_mode) ? 0 : StoredAttributes(hostPath, present);
  attributes |= present ? stored : DefaultStored(directory);
  if (IsDotName(name))
    attributes |= FILE_ATTRIBUTE_HIDDEN;
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

// Keeps the bits POSIX cannot hold; removes the extended attribute when they
// are what the entry reports without it. False (errno set) when the file
// system keeps no extended attributes and the bits differ from that.
bool StoreAttributes(std::string const& hostPath, DWORD attributes) {
  struct stat info;
  if (Syscalls().lstat(hostPath.c_str(), &info) != 0)
    return false;
  DWORD bits = attributes & STORED;
  bool directory = S_ISDIR(info.st_mode);
  if (IsDotName(LastName(hostPath)))
    bits &= ~static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN);
  if (bits == DefaultStored(directory)) {
    if (Syscalls().removexattr(hostPath.c_str(), DOS_ATTRIBUTES) == 0 || errno == ENODATA || errno == ENOTSUP)
      return true;
    return false;
  }
  char text[16];
  int length = std::snprintf(text, sizeof(text), "0x%x", static_cast<unsigned>(bits));
  return Syscalls().setxattr(hostPath.c_str(), DOS_ATTRIBUTES, text, static_cast<size_t>(length), 0) == 0;
}

void FillFileData(std::string const& hostPath, struct stat const& info, std::string_view name,
                  WIN32_FILE_ATTRIBUTE_DATA& data) {
  struct stat target = info;
  if (S_ISLNK(info.st_mode) && Syscalls().stat(hostPath.c_str(), &target) != 0)
    target = info;
  data.dwFileAttributes = AttributesOf(hostPath, info, name);
  struct timespec creation = target.st_mtim;
  if (target.st_ctim.tv_sec < creation.tv_sec ||
      (target.st_ctim.tv_sec == creation.tv_sec && target.st_ctim.tv_nsec < creation.tv_nsec))
    creation = target.st_ctim;
  data.ftCreationTime = ToFileTime(creation);
  data.ftLastAccessTime = ToFileTime(target.st_atim);
  data.ftLastWriteTime = ToFileTime(target.st_mtim);
  uint64_t size = S_ISDIR(target.st_mode) ? 0 : static_cast<uint64_t>(target.st_size);
  data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data.nFileSizeLow = static_cast<DWORD>(size);
}

} // namespace Detail
} // namespace ZEBPlatform
