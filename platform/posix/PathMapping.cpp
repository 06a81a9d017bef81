// Windows paths to host paths and back: the drive and share tables, the
// current directory, full path names, and names found ignoring case.
#include "Internal.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <time.h>
#include <unistd.h>
#include <unordered_map>

namespace ZEBPlatform {
namespace Detail {
namespace {

struct Share {
  std::string server, share, host;
};

std::mutex g_TableMutex;
std::array<std::string, 26> g_Drives;
std::vector<Share> g_Shares;

bool IsDriveSpec(std::string const& text) {
  return text.size() >= 2 && text[1] == ':' &&
         ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
}

int DriveIndex(char letter) {
  if (letter >= 'a' && letter <= 'z')
    return letter - 'a';
  if (letter >= 'A' && letter <= 'Z')
    return letter - 'A';
  return -1;
}

std::string DriveHost(int index) {
  std::lock_guard<std::mutex> lock(g_TableMutex);
  return g_Drives[static_cast<size_t>(index)];
}

bool ShareHost(std::string const& server, std::string const& share, std::string& host, bool& serverKnown) {
  std::lock_guard<std::mutex> lock(g_TableMutex);
  serverKnown = false;
  for (Share const& entry : g_Shares) {
    if (!EqualNoCase(entry.server, server))
      continue;
    serverKnown = true;
    if (EqualNoCase(entry.share, share)) {
      host = entry.host;
      return true;
    }
  }
  return false;
}

std::string CurrentHostDirectory() {
  std::vector<char> buffer(PATH_MAX);
  while (!Syscalls().getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE)
      return "/";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

// Splits an absolute host path into its components.
std::vector<std::string> HostComponents(std::string const& host) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < host.size()) {
    size_t end = host.find('/', start);
    if (end == std::string::npos)
      end = host.size();
    if (end > start)
      parts.push_back(host.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool IsUnder(std::string const& host, std::string const& directory) {
  if (directory == "/")
    return true;
  return host == directory || (host.size() > directory.size() && host.compare(0, directory.size(), directory) == 0 &&
                               host[directory.size()] == '/');
}

// The drive whose host directory holds `host` most closely: its index, or
// -1.
int LongestDrive(std::string const& host) {
  std::lock_guard<std::mutex> lock(g_TableMutex);
  int best = -1;
  for (int index = 0; index < 26; ++index) {
    std::string const& directory = g_Drives[static_cast<size_t>(index)];
    if (directory.empty() || !IsUnder(host, directory))
      continue;
    if (best < 0 || directory.size() > g_Drives[static_cast<size_t>(best)].size())
      best = index;
  }
  return best;
}

// A path split into where it is anchored and the components below that.
struct Anchored {
  enum Kind { DRIVE, UNC, ROOTED, RELATIVE } kind = RELATIVE;
  int drive = -1;
  char letter = 0; // as written
  std::string server, share;
  std::string floor;                   // host directory that ".." cannot leave; empty when unmapped
  std::vector<std::string> components; // below the floor
  bool trailingSeparator = false;
};

bool HasInvalidCharacter(std::string const& component, bool wildcards) {
  for (unsigned char c : component) {
    if (c < 32 || c == '<' || c == '>' || c == '"' || c == '|' || c == ':')
      return true;
    if (!wildcards && (c == '*' || c == '?'))
      return true;
  }
  return false;
}

// Applies the components of `rest` to `components` as Windows does: "." and
// ".." by their meaning (never above the anchor), one trailing dot dropped
// from inner names, trailing dots and spaces dropped from the last one.
DWORD AddComponents(std::string const& rest, unsigned flags, std::vector<std::string>& components, bool& trailing) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string::npos)
      end = rest.size();
    if (end > start)
      parts.push_back(rest.substr(start, end - start));
    start = end + 1;
  }
  trailing = !rest.empty() && rest.back() == '\\';
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string part = parts[i];
    bool last = i + 1 == parts.size() && !trailing;
    if (part == ".")
      continue;
    if (part == "..") {
      if (!components.empty())
        components.pop_back();
      continue;
    }
    if (last) {
      while (!part.empty() && (part.back() == '.' || part.back() == ' '))
        part.pop_back();
      if (part.empty())
        continue;
    } else if (part.size() >= 2 && part.back() == '.' && part[part.size() - 2] != '.') {
      part.pop_back();
    }
    if (HasInvalidCharacter(part, (flags & MAP_WILDCARDS) && i + 1 == parts.size()))
      return ERROR_INVALID_NAME;
    components.push_back(part);
  }
  return ERROR_SUCCESS;
}

DWORD Anchor(char const* text, unsigned flags, Anchored& out) {
  if (!text)
    return ERROR_INVALID_PARAMETER;
  size_t length = std::strlen(text);
  if (length == 0)
    return ERROR_PATH_NOT_FOUND;
  if (length >= MAX_PATH)
    return ERROR_FILENAME_EXCED_RANGE;
  std::string path(text, length);
  std::replace(path.begin(), path.end(), '/', '\\');
  if (path.compare(0, 4, "\\\\?\\") == 0) {
    path.erase(0, 4);
    if (path.size() >= 4 && EqualNoCase(path.substr(0, 4), "UNC\\"))
      path.replace(0, 3, "\\");
  } else if (path.compare(0, 4, "\\\\.\\") == 0) {
    // Device names have no host counterpart.
    return ERROR_PATH_NOT_FOUND;
  }

  std::string rest;
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    out.kind = Anchored::UNC;
    size_t serverEnd = path.find('\\', 2);
    out.server = path.substr(2, serverEnd == std::string::npos ? std::string::npos : serverEnd - 2);
    if (out.server.empty() || serverEnd == std::string::npos)
      return ERROR_BAD_NETPATH;
    size_t shareEnd = path.find('\\', serverEnd + 1);
    out.share =
        path.substr(serverEnd + 1, shareEnd == std::string::npos ? std::string::npos : shareEnd - serverEnd - 1);
    if (out.share.empty())
      return ERROR_BAD_NETPATH;
    bool serverKnown = false;
    if (!ShareHost(out.server, out.share, out.floor, serverKnown))
      return serverKnown ? ERROR_BAD_NET_NAME : ERROR_BAD_NETPATH;
    rest = shareEnd == std::string::npos ? std::string() : path.substr(shareEnd + 1);
  } else if (IsDriveSpec(path)) {
    out.kind = Anchored::DRIVE;
    out.drive = DriveIndex(path[0]);
    out.letter = path[0];
    out.floor = DriveHost(out.drive);
    if (path.size() > 2 && path[2] == '\\') {
      rest = path.substr(3);
    } else {
      // Relative to the drive's current directory: the process's one when it
      // lies on that drive, else the drive's root.
      rest = path.substr(2);
      if (!out.floor.empty()) {
        std::string current = CurrentHostDirectory();
        if (IsUnder(current, out.floor) && LongestDrive(current) == out.drive) {
          out.letter = static_cast<char>('A' + out.drive);
          std::vector<std::string> all = HostComponents(current);
          out.components.assign(all.begin() + static_cast<long>(HostComponents(out.floor).size()), all.end());
        }
      }
    }
  } else if (path[0] == '\\') {
    out.kind = Anchored::ROOTED;
    out.floor = "/";
    rest = path.substr(1);
  } else {
    out.kind = Anchored::RELATIVE;
    std::string current = CurrentHostDirectory();
    int drive = LongestDrive(current);
    out.floor = drive >= 0 ? DriveHost(drive) : "/";
    std::vector<std::string> all = HostComponents(current);
    out.components.assign(all.begin() + static_cast<long>(HostComponents(out.floor).size()), all.end());
    rest = path;
  }
  return AddComponents(rest, flags, out.components, out.trailingSeparator);
}

// The names of a directory by their upper-cased form, kept while the
// directory is unchanged. A directory changed in the last two seconds is
// read again every time: its modification time may not yet tell a later
// change from an earlier one (the clock behind it is coarse).
struct DirectoryNames {
  dev_t device;
  ino_t inode;
  struct timespec modified;
  std::unordered_map<std::string, std::string> byUpper;
};

std::mutex g_NamesMutex;
std::unordered_map<std::string, DirectoryNames> g_Names;
size_t const NAMES_KEPT = 64;

bool Settled(struct stat const& info) {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec - info.st_mtim.tv_sec > 2;
}

bool SameVersion(DirectoryNames const& names, struct stat const& info) {
  return names.device == info.st_dev && names.inode == info.st_ino && names.modified.tv_sec == info.st_mtim.tv_sec &&
         names.modified.tv_nsec == info.st_mtim.tv_nsec;
}

// The on-disk name in `directory` equal to `name` ignoring case (the first
// in upper-cased order), or empty.
std::string FindNoCase(std::string const& directory, std::string const& name) {
  struct stat info;
  if (Syscalls().stat(directory.c_str(), &info) != 0)
    return std::string();
  std::string upper = UpperAscii(name);
  bool settled = Settled(info);
  if (settled) {
    std::lock_guard<std::mutex> lock(g_NamesMutex);
    auto found = g_Names.find(directory);
    if (found != g_Names.end() && SameVersion(found->second, info)) {
      auto entry = found->second.byUpper.find(upper);
      return entry == found->second.byUpper.end() ? std::string() : entry->second;
    }
  }
  DIR* dir = Syscalls().opendir(directory.c_str());
  if (!dir)
    return std::string();
  DirectoryNames names{info.st_dev, info.st_ino, info.st_mtim, {}};
  std::string result;
  while (struct dirent* entry = Syscalls().readdir(dir)) {
    std::string candidate = entry->d_name;
    if (settled) {
      std::string& best = names.byUpper[UpperAscii(candidate)];
      if (best.empty() || candidate < best)
        best = candidate;
    } else if (EqualNoCase(candidate, name) && (result.empty() || candidate < result)) {
      result = candidate;
    }
  }
  Syscalls().closedir(dir);
  if (!settled)
    return result;
  auto entry = names.byUpper.find(upper);
  result = entry == names.byUpper.end() ? std::string() : entry->second;
  std::lock_guard<std::mutex> lock(g_NamesMutex);
  if (g_Names.size() >= NAMES_KEPT)
    g_Names.clear();
  g_Names[directory] = std::move(names);
  return result;
}

std::string ResolveCase(std::string const& floor, std::vector<std::string>& components) {
  std::string host = floor;
  for (std::string const& component : components)
    host = JoinHost(host, component);
  struct stat info;
  if (components.empty() || Syscalls().lstat(host.c_str(), &info) == 0)
    return host;
  host = floor;
  size_t i = 0;
  for (; i < components.size(); ++i) {
    std::string candidate = JoinHost(host, components[i]);
    if (Syscalls().lstat(candidate.c_str(), &info) == 0) {
      host = candidate;
      continue;
    }
    if (errno != ENOENT)
      break;
    std::string found = FindNoCase(host, components[i]);
    if (found.empty())
      break;
    components[i] = found;
    host = JoinHost(host, found);
  }
  for (; i < components.size(); ++i)
    host = JoinHost(host, components[i]);
  return host;
}

std::string WindowsForm(Anchored const& anchored) {
  std::string text;
  switch (anchored.kind) {
  case Anchored::DRIVE:
    text = std::string(1, anchored.letter) + ":\\";
    break;
  case Anchored::UNC:
    text = "\\\\" + anchored.server + "\\" + anchored.share + "\\";
    break;
  default: {
    std::string host = anchored.floor;
    for (std::string const& component : anchored.components)
      host = JoinHost(host, component);
    text = ReverseMap(host);
    if (anchored.trailingSeparator && text.back() != '\\')
      text += '\\';
    return text;
  }
  }
  for (size_t i = 0; i < anchored.components.size(); ++i) {
    if (i > 0)
      text += '\\';
    text += anchored.components[i];
  }
  if (anchored.trailingSeparator && text.back() != '\\')
    text += '\\';
  if (anchored.kind == Anchored::UNC && anchored.components.empty() && !anchored.trailingSeparator)
    text.pop_back();
  return text;
}

// Copies `text` into a caller's buffer the Win32 way: the length without the
// NUL when it fits, else the size needed with it (and the buffer untouched).
DWORD CopyOut(std::string const& text, DWORD bufferLength, LPSTR buffer) {
  if (!buffer || text.size() + 1 > bufferLength)
    return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

std::string NormalizeHostDirectory(std::string const& directory) {
  char resolved[PATH_MAX];
  if (::realpath(directory.c_str(), resolved))
    return resolved;
  std::string normal = "/";
  for (std::string const& component : HostComponents(directory))
    normal = JoinHost(normal, component);
  return normal;
}

bool ValidHostDirectory(std::string const& directory) {
  return !directory.empty() && directory[0] == '/' && directory.find('\0') == std::string::npos;
}

} // namespace

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y)
      return false;
  }
  return true;
}

std::string JoinHost(std::string const& directory, std::string const& name) {
  if (directory.empty() || directory.back() == '/')
    return directory + name;
  return directory + "/" + name;
}

std::string ParentOf(std::string const& hostPath) {
  size_t slash = hostPath.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  if (slash == 0)
    return "/";
  return hostPath.substr(0, slash);
}

bool HostDirectoryIsRoot(std::string const& hostPath) {
  if (hostPath == "/")
    return true;
  std::lock_guard<std::mutex> lock(g_TableMutex);
  for (std::string const& drive : g_Drives)
    if (drive == hostPath)
      return true;
  for (Share const& share : g_Shares)
    if (share.host == hostPath)
      return true;
  return false;
}

bool MapPath(char const* windowsPath, MappedPath& out, unsigned flags) {
  Anchored anchored;
  DWORD error = Anchor(windowsPath, flags, anchored);
  if (error != ERROR_SUCCESS)
    return Fail(error, false);
  if (anchored.floor.empty())
    return Fail(ERROR_PATH_NOT_FOUND, false);
  out.name = anchored.components.empty() ? std::string() : anchored.components.back();
  if (flags & MAP_RESOLVE_CASE) {
    out.host = ResolveCase(anchored.floor, anchored.components);
  } else {
    out.host = anchored.floor;
    for (std::string const& component : anchored.components)
      out.host = JoinHost(out.host, component);
  }
  out.trailingSeparator = anchored.trailingSeparator;
  out.root = anchored.components.empty();
  return true;
}

std::string ReverseMap(std::string const& hostPath) {
  int drive = LongestDrive(hostPath);
  std::string rest;
  std::string text;
  if (drive >= 0) {
    std::string directory = DriveHost(drive);
    rest = directory == "/" ? hostPath.substr(1) : hostPath.substr(std::min(hostPath.size(), directory.size() + 1));
    text = std::string(1, static_cast<char>('A' + drive)) + ":\\";
  } else {
    rest = hostPath.substr(1);
    text = "\\";
  }
  std::replace(rest.begin(), rest.end(), '/', '\\');
  return text + rest;
}

} // namespace Detail

using namespace Detail;

bool MapDrive(char letter, std::string const& hostDirectory) {
  int index = DriveIndex(letter);
  if (index < 0)
    return false;
  if (hostDirectory.empty())
    return UnmapDrive(letter);
  if (!ValidHostDirectory(hostDirectory))
    return false;
  std::string normal = NormalizeHostDirectory(hostDirectory);
  std::lock_guard<std::mutex> lock(g_TableMutex);
  g_Drives[static_cast<size_t>(index)] = normal;
  return true;
}

bool UnmapDrive(char letter) {
  int index = DriveIndex(letter);
  if (index < 0)
    return false;
  std::lock_guard<std::mutex> lock(g_TableMutex);
  g_Drives[static_cast<size_t>(index)].clear();
  return true;
}

bool MapShare(std::string const& server, std::string const& share, std::string const& hostDirectory) {
  if (hostDirectory.empty())
    return UnmapShare(server, share);
  auto badName = [](std::string const& name) {
    return name.empty() || name.find_first_of(std::string("\\/\0", 3)) != std::string::npos;
  };
  if (badName(server) || badName(share) || !ValidHostDirectory(hostDirectory))
    return false;
  std::string normal = NormalizeHostDirectory(hostDirectory);
  std::lock_guard<std::mutex> lock(g_TableMutex);
  for (Share& entry : g_Shares)
    if (EqualNoCase(entry.server, server) && EqualNoCase(entry.share, share)) {
      entry.host = normal;
      return true;
    }
  g_Shares.push_back(Share{server, share, normal});
  return true;
}

bool UnmapShare(std::string const& server, std::string const& share) {
  std::lock_guard<std::mutex> lock(g_TableMutex);
  auto match = [&](Share const& entry) { return EqualNoCase(entry.server, server) && EqualNoCase(entry.share, share); };
  auto end = std::remove_if(g_Shares.begin(), g_Shares.end(), match);
  bool removed = end != g_Shares.end();
  g_Shares.erase(end, g_Shares.end());
  return removed;
}

std::string HostPath(char const* windowsPath) {
  DWORD saved = GetLastError();
  MappedPath mapped;
  bool ok = MapPath(windowsPath, mapped, 0);
  SetLastError(saved);
  return ok ? mapped.host : std::string();
}

} // namespace ZEBPlatform

using namespace ZEBPlatform::Detail;

DWORD GetLogicalDrives() {
  std::lock_guard<std::mutex> lock(g_TableMutex);
  DWORD mask = 0;
  for (size_t index = 0; index < 26; ++index)
    if (!g_Drives[index].empty())
      mask |= 1u << index;
  return mask;
}

// Windows keeps a current directory per drive; here a drive's current
// directory is the process's when that lies on the drive, else its root. A
// rooted path (\x) names the host's /x, not a place on the current drive, so
// its full path name is the Windows form of /x.
DWORD GetFullPathNameA(LPCSTR fileName, DWORD bufferLength, LPSTR buffer, LPSTR* filePart) {
  if (fileName && !*fileName)
    return Fail(ERROR_INVALID_NAME, DWORD(0));
  Anchored anchored;
  DWORD error = Anchor(fileName, MAP_WILDCARDS, anchored);
  if (error == ERROR_PATH_NOT_FOUND && anchored.kind == Anchored::DRIVE)
    error = ERROR_SUCCESS; // a full path name is text: the drive need not exist
  if (error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME)
    error = anchored.share.empty() ? error : ERROR_SUCCESS;
  if (error != ERROR_SUCCESS)
    return Fail(error, DWORD(0));
  std::string text = WindowsForm(anchored);
  DWORD result = CopyOut(text, bufferLength, buffer);
  if (result < bufferLength && buffer && filePart) {
    size_t slash = text.find_last_of('\\');
    *filePart = slash == std::string::npos || slash + 1 == text.size() ? nullptr : buffer + slash + 1;
  }
  return result;
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
  std::vector<char> current(PATH_MAX);
  while (!Syscalls().getcwd(current.data(), current.size())) {
    if (errno != ERANGE)
      return Fail(Win32FromErrno(errno), DWORD(0));
    current.resize(current.size() * 2);
  }
  return CopyOut(ReverseMap(current.data()), bufferLength, buffer);
}

BOOL SetCurrentDirectoryA(LPCSTR pathName) {
  MappedPath mapped;
  if (!MapPath(pathName, mapped))
    return FALSE;
  struct stat info;
  if (Syscalls().stat(mapped.host.c_str(), &info) != 0)
    return Fail(PathError(errno, mapped.host));
  if (!S_ISDIR(info.st_mode))
    return Fail(ERROR_DIRECTORY);
  if (Syscalls().chdir(mapped.host.c_str()) != 0)
    return Fail(PathError(errno, mapped.host));
  return TRUE;
}

DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
  char const* directory = ::getenv("TMPDIR");
  std::string host = directory && directory[0] == '/' ? directory : "/tmp";
  while (host.size() > 1 && host.back() == '/')
    host.pop_back();
  std::string text = ReverseMap(host);
  if (text.back() != '\\')
    text += '\\';
  return CopyOut(text, bufferLength, buffer);
}
