// What the path units share: the constants as compile-time values (usable
// while other units' static objects are being built, before the exported
// string constants exist) and the source name of path errors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ZEB/DateTime.h"

namespace ZEBFile {
namespace PathConstants {

constexpr char SEPARATOR = '\\';
constexpr char SLASH = '/';
constexpr char SPACE = ' ';
constexpr char CURRENT = '.';
constexpr char DRIVE_SEPARATOR = ':';
constexpr std::string_view SEPARATORS = "\\/";
constexpr std::string_view DEFAULT_FILTER = "*.*";
constexpr std::string_view FILE_SCHEME = "file:\\\\";
constexpr std::string_view UNC_ROOT = "\\\\";
constexpr std::string_view DOUBLE_SEPARATOR = "\\\\";
constexpr std::string_view PARENT = "..";

// The classic path buffer of the platform calls, and the longest path the
// platform accepts at all.
constexpr uint32_t MAX_PATH_LENGTH = 260;
constexpr uint32_t LONGEST_PATH = 32768;

constexpr char const SOURCE_NAME[] = "src/ZEBPath";

} // namespace PathConstants

// The four parts of a path as the platform's _splitpath gives them, split
// into buffers that cannot be overrun: no part is longer than the whole text.
struct SplitParts {
  std::string drive, directory, name, extension;
};

inline SplitParts SplitPath(std::string const& path, void (*split)(char const*, char*, char*, char*, char*)) {
  std::size_t capacity = path.size() + 1;
  std::unique_ptr<char[]> drive(new char[capacity]()), directory(new char[capacity]()), name(new char[capacity]()),
      extension(new char[capacity]());
  split(path.c_str(), drive.get(), directory.get(), name.get(), extension.get());
  return SplitParts{drive.get(), directory.get(), name.get(), extension.get()};
}

// The date of a file time; 0 for a time outside the Unix range.
inline ZEB::DateTime FileTimeToDate(uint32_t low, uint32_t high) {
  try {
    long unixTime = 0;
    ZEB::FileTimeToUnixTime(ZEB::FILETIME{low, high}, &unixTime);
    return ZEB::DateTime(unixTime);
  } catch (ZEB::DateTimeInvalidException const&) {
    return ZEB::DateTime();
  }
}

} // namespace ZEBFile
