// What a path asks the operating system: cached attributes, size and date,
// attribute changes, locality, UNC form and server, free space; the platform
// wrappers of the path class; the raising of path errors.
#include "ZEBFile/Path.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "ZEB/Handle.h"
#include "ZEB/MessageInfo.h"
#include "ZEB/NoCase.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPathInternal.h"
#include "ZEBPlatform/Win32.h"

namespace ZEBFile {

using namespace PathConstants;

constexpr bool SameBit(PathT<char>::FileAttributes ours, unsigned long platform) {
  return static_cast<unsigned long>(ours) == platform;
}
static_assert(SameBit(PathT<char>::READ_ONLY, FILE_ATTRIBUTE_READONLY) &&
                  SameBit(PathT<char>::HIDDEN, FILE_ATTRIBUTE_HIDDEN) &&
                  SameBit(PathT<char>::SYSTEM, FILE_ATTRIBUTE_SYSTEM) &&
                  SameBit(PathT<char>::DIRECTORY, FILE_ATTRIBUTE_DIRECTORY) &&
                  SameBit(PathT<char>::ARCHIVE, FILE_ATTRIBUTE_ARCHIVE) &&
                  SameBit(PathT<char>::NORMAL, FILE_ATTRIBUTE_NORMAL) &&
                  SameBit(PathT<char>::TEMPORARY, FILE_ATTRIBUTE_TEMPORARY) &&
                  SameBit(PathT<char>::REPARSE_POINT, FILE_ATTRIBUTE_REPARSE_POINT) &&
                  SameBit(PathT<char>::OFFLINE, FILE_ATTRIBUTE_OFFLINE) &&
                  SameBit(PathT<char>::NOT_CONTENT_INDEXED, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED),
              "the attribute bits are the platform's");
static_assert(MAX_PATH_LENGTH == MAX_PATH, "the classic path buffer");

// ---- Errors ----------------------------------------------------------------

namespace {

template <class Text>
ZEB::SmartPtr<ZEB::MessageInfo> PathMessage(unsigned id, int line, std::initializer_list<Text const*> parameters,
                                            DWORD const* systemError) {
  ZEB::SmartPtr<ZEB::MessageInfo> info(new ZEB::MessageInfo(ZEBFileMsg::MODULE, int(id), SOURCE_NAME, line));
  for (Text const* parameter : parameters)
    info->AddParameter(*parameter);
  if (systemError)
    info->SetLastError(*systemError);
  return info;
}

// One body for narrow and wide texts. The system error is read first, before
// anything else can overwrite it.
template <class Text> void Raise(PathTThrow::ErrorType type, Text const& first, Text const& second) {
  DWORD error = GetLastError();
  switch (type) {
  case PathTThrow::CANNOT_RETRIEVE_SERVER:
    throw CannotRetrieveServerException(PathMessage(ZEBFileMsg::CANNOT_RETRIEVE_SERVER, __LINE__, {&first}, &error));
  case PathTThrow::DRIVE_DOES_NOT_EXIST:
    throw DriveDoesNotExistException(PathMessage(ZEBFileMsg::DRIVE_DOES_NOT_EXIST, __LINE__, {&second, &first},
                                                 static_cast<DWORD const*>(nullptr)));
  case PathTThrow::CANNOT_CREATE:
    throw FileCannotCreateException(PathMessage(ZEBFileMsg::CANNOT_CREATE, __LINE__, {&first}, &error));
  case PathTThrow::CANNOT_DELETE:
    throw FileCannotDeleteException(PathMessage(ZEBFileMsg::CANNOT_DELETE, __LINE__, {&first}, &error));
  case PathTThrow::CANNOT_COPY:
    throw FileCannotCopyException(PathMessage(ZEBFileMsg::CANNOT_COPY, __LINE__, {&first, &second}, &error));
  case PathTThrow::CANNOT_MOVE:
    throw FileCannotMoveException(PathMessage(ZEBFileMsg::CANNOT_MOVE, __LINE__, {&first, &second}, &error));
  case PathTThrow::CANNOT_SET_ATTRIBUTES:
    throw FileCannotSetAttributes(PathMessage(ZEBFileMsg::CANNOT_SET_ATTRIBUTES, __LINE__, {&first}, &error));
  case PathTThrow::CANNOT_LIST_ALL_FILES:
    throw CannotListAllFilesException(PathMessage(ZEBFileMsg::CANNOT_LIST_FILES, __LINE__, {&first}, &error));
  }
}

} // namespace

void PathTThrow::ThrowError(ErrorType type, std::string const& first, std::string const& second) {
  Raise(type, first, second);
}

// The wide form raises the same classes, CANNOT_LIST_ALL_FILES included.
void PathTThrow::ThrowError(ErrorType type, ZEB::WString const& first, ZEB::WString const& second) {
  Raise(type, first, second);
}

// ---- Platform wrappers -----------------------------------------------------

bool PathT<char>::GetFileAttributesExWrp(char const* path, void* attributeData) {
  return GetFileAttributesExA(path, GetFileExInfoStandard, attributeData) != FALSE;
}

uint32_t PathT<char>::GetFileAttributesWrp(char const* path) { return GetFileAttributesA(path); }

int PathT<char>::SetFileAttributesWrp(char const* path, uint32_t attributes) {
  return SetFileAttributesA(path, attributes);
}

void PathT<char>::SplitPathWrp(char const* path, char* drive, char* directory, char* name, char* extension) {
  _splitpath(path, drive, directory, name, extension);
}

int PathT<char>::MkDirWrp(char const* path) { return _mkdir(path); }

int PathT<char>::RmDirWrp(char const* path) { return _rmdir(path); }

int PathT<char>::UnlinkWrp(char const* path) { return _unlink(path); }

int PathT<char>::CopyFileWrp(char const* source, char const* target, bool failIfExists) {
  return CopyFileA(source, target, failIfExists ? TRUE : FALSE);
}

int PathT<char>::MoveFileWrp(char const* source, char const* target) { return MoveFileA(source, target); }

int PathT<char>::RenameWrp(char const* source, char const* target) { return ZEBPlatformRename(source, target); }

bool PathT<char>::GetDiskFreeSpaceExWrp(char const* path, uint64_t* freeToCaller, uint64_t* total,
                                        uint64_t* totalFree) {
  ULARGE_INTEGER a{}, b{}, c{};
  if (!GetDiskFreeSpaceExA(path, &a, &b, &c))
    return false;
  *freeToCaller = a.QuadPart;
  *total = b.QuadPart;
  *totalFree = c.QuadPart;
  return true;
}

int PathT<char>::GetComputerNameWrp(char* buffer, uint32_t* size) {
  DWORD length = *size;
  BOOL done = GetComputerNameA(buffer, &length);
  *size = length;
  return done;
}

uint32_t PathT<char>::GetDriveTypeWrp(char const* root) { return GetDriveTypeA(root); }

bool PathT<char>::GetFullPathNameWrp(char const* path, uint32_t size, char* buffer, char** filePart) {
  return GetFullPathNameA(path, size, buffer, filePart) > 0;
}

bool PathT<char>::GetCurrentDirectoryWrp(uint32_t size, char* buffer) { return GetCurrentDirectoryA(size, buffer) > 0; }

uint32_t PathT<char>::WNetGetUniversalNameWrp(char const* path, uint32_t level, void* buffer, uint32_t* size) {
  DWORD length = *size;
  DWORD result = WNetGetUniversalNameA(path, level, buffer, &length);
  *size = length;
  return result;
}

bool PathT<char>::CreateFileWrp(char const* path) {
  ZEB::Handle file(
      ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_NEW, 0, nullptr));
  return file.IsValid();
}

// ---- Cached information ------------------------------------------------------

void PathT<char>::RefreshInfo() const {
  WIN32_FILE_ATTRIBUTE_DATA data;
  std::memset(&data, 0, sizeof data);
  if (!GetFileAttributesExWrp(m_FullPath.c_str(), &data))
    return;
  m_Attributes = int32_t(data.dwFileAttributes);
  m_Size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  m_LastModificationDate = FileTimeToDate(data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime);
}

int32_t PathT<char>::GetAttributes() const {
  if (m_Attributes == -1)
    RefreshInfo();
  return m_Attributes;
}

bool PathT<char>::HasAttribute(int32_t bits) const {
  int32_t a = GetAttributes();
  return a != -1 && (a & bits) != 0;
}

bool PathT<char>::Exists() const { return GetAttributes() != -1; }
bool PathT<char>::IsDirectory() const { return HasAttribute(DIRECTORY); }
bool PathT<char>::IsFile() const { return Exists() && !HasAttribute(DIRECTORY); }
bool PathT<char>::IsReadOnly() const { return HasAttribute(READ_ONLY); }
bool PathT<char>::IsReadable() const { return Exists() && !HasAttribute(OFFLINE); }
bool PathT<char>::IsWritable() const { return Exists() && !HasAttribute(OFFLINE | READ_ONLY); }
bool PathT<char>::IsHidden() const { return HasAttribute(HIDDEN); }
bool PathT<char>::IsNotIndexed() const { return HasAttribute(NOT_CONTENT_INDEXED); }

uint64_t const& PathT<char>::Size() const {
  GetAttributes();
  return m_Size;
}

ZEB::DateTime const& PathT<char>::GetLastModificationDate() const {
  GetAttributes();
  return m_LastModificationDate;
}

void PathT<char>::SetAttribute(FileAttributes attribute, bool set) {
  int32_t a = GetAttributes();
  int32_t word = set ? a | int32_t(attribute) : a & ~int32_t(attribute);
  if (!SetFileAttributesWrp(m_FullPath.c_str(), uint32_t(word)))
    PathTThrow::ThrowError(PathTThrow::CANNOT_SET_ATTRIBUTES, m_FullPath, PATH_EMPTY_STRING);
  m_Attributes = -1;
}

// ---- Locality and servers ----------------------------------------------------

bool PathT<char>::IsLocal() const {
  if (!IsUNC())
    return GetDriveTypeWrp(Root().c_str()) != DRIVE_REMOTE;
  return ZEB::ToLower(GetServer()) == ZEB::ToLower(ComputerName());
}

bool PathT<char>::GetFullPathAsUNC(std::string& out) const {
  struct Block {
    void* data = nullptr;
    uint32_t size = 0;
    ~Block() { ZEBMem::Free(data); }
    void Resize(uint32_t bytes) {
      ZEBMem::Free(data);
      data = nullptr;
      data = ZEBMem::AllocateOrThrow(bytes);
      std::memset(data, 0, bytes);
      size = bytes;
    }
  } block;
  block.Resize(4096);
  uint32_t size = block.size;
  uint32_t r = WNetGetUniversalNameWrp(m_FullPath.c_str(), UNIVERSAL_NAME_INFO_LEVEL, block.data, &size);
  if (r == ERROR_MORE_DATA) {
    block.Resize(std::max(size, block.size));
    size = block.size;
    r = WNetGetUniversalNameWrp(m_FullPath.c_str(), UNIVERSAL_NAME_INFO_LEVEL, block.data, &size);
  } else if (r == ERROR_INVALID_PARAMETER) {
    if (!HasDrive())
      return false;
    size = block.size;
    r = WNetGetUniversalNameWrp(Root().c_str(), UNIVERSAL_NAME_INFO_LEVEL, block.data, &size);
  }
  if (r == NO_ERROR) {
    char const* name = static_cast<UNIVERSAL_NAME_INFOA const*>(block.data)->lpUniversalName;
    if (name)
      out = name;
    return false;
  }
  return r == ERROR_NOT_CONNECTED;
}

// The computer's name, or empty when the platform cannot give it.
std::string PathT<char>::ComputerName() {
  char buffer[16] = {};
  uint32_t size = sizeof buffer;
  if (!GetComputerNameWrp(buffer, &size))
    return std::string();
  return std::string(buffer, std::min<std::size_t>(size, std::strlen(buffer)));
}

std::string PathT<char>::GetServer() const {
  if (IsUNC())
    return m_FullPath.substr(2, m_FullPath.find(SEPARATOR, 2) - 2);
  std::string universal;
  GetFullPathAsUNC(universal);
  if (universal.size() >= 2)
    return universal.substr(2, universal.find(SEPARATOR, 2) - 2);
  if (HasDrive()) {
    std::string drive{m_FullPath[0], DRIVE_SEPARATOR};
    uint32_t type = GetDriveTypeWrp(drive.c_str());
    if (type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR)
      PathTThrow::ThrowError(PathTThrow::DRIVE_DOES_NOT_EXIST, m_FullPath, drive);
  }
  char buffer[16] = {};
  uint32_t size = sizeof buffer;
  if (!GetComputerNameWrp(buffer, &size))
    PathTThrow::ThrowError(PathTThrow::CANNOT_RETRIEVE_SERVER, m_FullPath, PATH_EMPTY_STRING);
  return std::string(buffer, std::min<std::size_t>(size, std::strlen(buffer)));
}

uint64_t PathT<char>::GetAvailableDiskSpace() const {
  // A bare relative name lies in the current directory: its volume is the
  // one the platform takes for a null directory.
  std::string directory = Directory();
  uint64_t freeToCaller = 0, total = 0, totalFree = 0;
  if (!GetDiskFreeSpaceExWrp(directory.empty() ? nullptr : directory.c_str(), &freeToCaller, &total, &totalFree))
    return 0;
  return freeToCaller;
}

} // namespace ZEBFile
