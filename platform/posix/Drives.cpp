// Volumes and the network: drive types, free space, the computer name and
// universal (UNC) names.
#include "Internal.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace ZEBPlatform::Detail;

namespace {

// statfs magic numbers of network file systems.
long const REMOTE_TYPES[] = {
    0x6969,                        // NFS
    0x517B,                        // SMB
    static_cast<long>(0xFF534D42), // CIFS
    static_cast<long>(0xFE534D42), // SMB2
    0x564C,                        // NCP
    0x73757245,                    // CODA
    0x5346414F,                    // AFS
    0x6B414653,                    // kAFS
    0x01021997,                    // 9P
    0x00C36400,                    // CEPH
    0x0BD00BD0,                    // Lustre
    0x47504653,                    // GPFS
};

bool IsRemote(std::string const& host) {
  long type = 0;
  if (Syscalls().statfsType(host.c_str(), &type) != 0)
    return false;
  for (long remote : REMOTE_TYPES)
    if (type == remote)
      return true;
  return false;
}

// A root as GetDriveTypeA takes it: "X:", "X:\", "\\server\share[\]", "\".
bool RootOf(std::string const& text, MappedPath& mapped, bool& share) {
  share = text.size() > 2 && (text[0] == '\\' || text[0] == '/') && (text[1] == '\\' || text[1] == '/');
  std::string root = text;
  if (root.size() == 2 && root[1] == ':')
    root += '\\';
  DWORD saved = GetLastError();
  bool ok = MapPath(root.c_str(), mapped, 0) && mapped.root;
  SetLastError(saved);
  return ok;
}

// The UNC name of a host path on a network mount, from the mount table.
std::string UncOfMount(std::string const& host) {
  std::ifstream table("/proc/self/mountinfo");
  std::string line, bestPoint, bestSource, bestType;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string id, parent, numbers, root, point, field;
    fields >> id >> parent >> numbers >> root >> point;
    while (fields >> field && field != "-") {
    }
    std::string type, source;
    fields >> type >> source;
    bool under = point == "/" || host == point || host.compare(0, point.size() + 1, point + "/") == 0;
    if (under && point.size() >= bestPoint.size()) {
      bestPoint = point;
      bestSource = source;
      bestType = type;
    }
  }
  std::string unc;
  if (bestSource.compare(0, 2, "//") == 0) {
    unc = bestSource; // cifs, smb3: //server/share
  } else {
    size_t colon = bestSource.find(":/");
    if (colon == std::string::npos || colon == 0)
      return std::string();
    unc = "//" + bestSource.substr(0, colon) + bestSource.substr(colon + 1); // nfs: server:/export
  }
  while (unc.size() > 2 && unc.back() == '/')
    unc.pop_back();
  std::string rest = bestPoint == "/" ? host : host.substr(bestPoint.size());
  unc += rest;
  for (char& c : unc)
    if (c == '/')
      c = '\\';
  return unc;
}

} // namespace

// Types: DRIVE_REMOTE for network file systems and mapped shares,
// DRIVE_FIXED for every other mapped root, DRIVE_NO_ROOT_DIR for what is no
// root (a directory below one, an unmapped drive or share).
UINT GetDriveTypeA(LPCSTR rootPathName) {
  std::string host;
  if (!rootPathName) {
    char current[4096];
    if (!Syscalls().getcwd(current, sizeof(current)))
      return DRIVE_UNKNOWN;
    host = current;
  } else {
    MappedPath mapped;
    bool share = false;
    if (!RootOf(rootPathName, mapped, share))
      return DRIVE_NO_ROOT_DIR;
    if (share)
      return DRIVE_REMOTE;
    host = mapped.host;
  }
  struct stat info;
  if (Syscalls().stat(host.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    return DRIVE_NO_ROOT_DIR;
  return IsRemote(host) ? DRIVE_REMOTE : DRIVE_FIXED;
}

BOOL GetDiskFreeSpaceExA(LPCSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes) {
  std::string host = ".";
  if (directoryName) {
    MappedPath mapped;
    if (!MapPath(directoryName, mapped))
      return FALSE;
    host = mapped.host;
  }
  struct stat info;
  if (Syscalls().stat(host.c_str(), &info) != 0)
    return Fail(PathError(errno, host));
  if (!S_ISDIR(info.st_mode))
    return Fail(ERROR_DIRECTORY);
  struct statvfs volume;
  if (Syscalls().statvfs(host.c_str(), &volume) != 0)
    return Fail(Win32FromErrno(errno));
  uint64_t unit = volume.f_frsize ? volume.f_frsize : volume.f_bsize;
  if (freeBytesAvailableToCaller)
    freeBytesAvailableToCaller->QuadPart = static_cast<ULONGLONG>(volume.f_bavail) * unit;
  if (totalNumberOfBytes)
    totalNumberOfBytes->QuadPart = static_cast<ULONGLONG>(volume.f_blocks) * unit;
  if (totalNumberOfFreeBytes)
    totalNumberOfFreeBytes->QuadPart = static_cast<ULONGLONG>(volume.f_bfree) * unit;
  return TRUE;
}

// The host name up to its first dot, cut to 15 characters and upper-cased,
// as a NetBIOS name.
BOOL GetComputerNameA(LPSTR buffer, LPDWORD size) {
  if (!size)
    return Fail(ERROR_INVALID_PARAMETER);
  char host[256] = {};
  if (Syscalls().gethostname(host, sizeof(host) - 1) != 0)
    return Fail(Win32FromErrno(errno));
  std::string name = host;
  name = UpperAscii(name.substr(0, std::min(name.find('.'), size_t(MAX_COMPUTERNAME_LENGTH))));
  if (!buffer || *size < name.size() + 1) {
    *size = static_cast<DWORD>(name.size() + 1);
    return Fail(ERROR_BUFFER_OVERFLOW);
  }
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *size = static_cast<DWORD>(name.size());
  return TRUE;
}

// A path on a drive whose directory lies on a network mount has the UNC name
// of that mount; every other path is local (ERROR_NOT_CONNECTED).
DWORD WNetGetUniversalNameA(LPCSTR localPath, DWORD infoLevel, LPVOID buffer, LPDWORD bufferSize) {
  if (!localPath || !bufferSize)
    return ERROR_INVALID_PARAMETER;
  if (infoLevel != UNIVERSAL_NAME_INFO_LEVEL && infoLevel != REMOTE_NAME_INFO_LEVEL)
    return ERROR_INVALID_LEVEL;
  std::string path = localPath;
  if (path.size() < 2 || path[1] != ':')
    return ERROR_NOT_CONNECTED;
  MappedPath mapped;
  DWORD saved = GetLastError();
  bool ok = MapPath(localPath, mapped, 0);
  SetLastError(saved);
  if (!ok || !IsRemote(mapped.host))
    return ERROR_NOT_CONNECTED;
  std::string unc = UncOfMount(mapped.host);
  if (unc.empty())
    return ERROR_NOT_CONNECTED;
  size_t header = infoLevel == UNIVERSAL_NAME_INFO_LEVEL ? sizeof(UNIVERSAL_NAME_INFOA) : sizeof(REMOTE_NAME_INFOA);
  size_t needed = header + unc.size() + 1;
  if (infoLevel == REMOTE_NAME_INFO_LEVEL)
    needed += 2;
  if (!buffer || *bufferSize < needed) {
    *bufferSize = static_cast<DWORD>(needed);
    return ERROR_MORE_DATA;
  }
  char* text = static_cast<char*>(buffer) + header;
  std::memcpy(text, unc.c_str(), unc.size() + 1);
  if (infoLevel == UNIVERSAL_NAME_INFO_LEVEL) {
    static_cast<UNIVERSAL_NAME_INFOA*>(buffer)->lpUniversalName = text;
  } else {
    auto* info = static_cast<REMOTE_NAME_INFOA*>(buffer);
    info->lpUniversalName = text;
    info->lpConnectionName = text + unc.size() + 1;
    info->lpConnectionName[0] = '\0';
    info->lpRemainingPath = text + unc.size() + 2;
    info->lpRemainingPath[0] = '\0';
  }
  return ERROR_SUCCESS;
}
