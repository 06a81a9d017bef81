// The C run-time calls with their Windows meaning.
#include "Internal.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

void CopyPart(char* out, size_t capacity, char const* begin, char const* end) {
  if (!out)
    return;
  size_t length = static_cast<size_t>(end - begin);
  if (length > capacity - 1)
    length = capacity - 1;
  std::memcpy(out, begin, length);
  out[length] = '\0';
}

} // namespace

// Parts longer than their _MAX_ size are cut to it.
void _splitpath(char const* path, char* drive, char* dir, char* fname, char* ext) {
  if (!path) {
    for (char* part : {drive, dir, fname, ext})
      if (part)
        *part = '\0';
    errno = EINVAL;
    return;
  }
  char const* start = path;
  if (path[0] && path[1] == ':') {
    CopyPart(drive, _MAX_DRIVE, path, path + 2);
    start = path + 2;
  } else {
    CopyPart(drive, _MAX_DRIVE, path, path);
  }
  char const* end = start + std::strlen(start);
  char const* name = start;
  for (char const* p = start; p < end; ++p)
    if (*p == '\\' || *p == '/')
      name = p + 1;
  char const* dot = end;
  for (char const* p = end; p > name; --p)
    if (p[-1] == '.') {
      dot = p - 1;
      break;
    }
  CopyPart(dir, _MAX_DIR, start, name);
  CopyPart(fname, _MAX_FNAME, name, dot);
  CopyPart(ext, _MAX_EXT, dot, end);
}

int _getpid() { return static_cast<int>(::getpid()); }

char* ZEBPlatformGetEnv(char const* name) {
  char* value = name ? ::getenv(name) : nullptr;
  if (value || !name || (std::strcmp(name, "TEMP") != 0 && std::strcmp(name, "TMP") != 0))
    return value;
  static std::once_flag once;
  static std::string temporary;
  std::call_once(once, [] {
    char const* directory = ::getenv("TMPDIR");
    temporary = directory && directory[0] == '/' ? directory : "/tmp";
  });
  return &temporary[0];
}

struct tm* ZEBPlatformLocalTime(time_t const* time) {
  // 3000-12-31 23:59:59 UTC, the last time the Windows run-time converts.
  int64_t const LAST = 32535215999LL;
  thread_local struct tm result;
  if (!time || *time < 0 || static_cast<int64_t>(*time) > LAST) {
    errno = EINVAL;
    return nullptr;
  }
  return ::localtime_r(time, &result);
}
