// What a path changes on disk: directories and empty files, deletion of one
// entry or a whole tree, copy, move, rename, directory listings, and the
// recovery of the letter case a path has on disk.
#include "ZEBFile/Path.h"

#include <cstring>

#include "ZEB/Handle.h"
#include "ZEB/NoCase.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBPathInternal.h"
#include "ZEBPlatform/Win32.h"

namespace ZEBFile {

using namespace PathConstants;

namespace {

bool IsDirectoryWord(uint32_t attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Makes `path` a directory unless it is one; an entry of another kind throws.
// `required`: the failure of the platform call throws too.
void EnsureDirectory(std::string const& path, bool required, uint32_t (*attributesOf)(char const*),
                     int (*mkdir)(char const*)) {
  uint32_t attributes = attributesOf(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (mkdir(path.c_str()) != 0 && required)
      PathTThrow::ThrowError(PathTThrow::CANNOT_CREATE, path, PathT<char>::PATH_EMPTY_STRING);
  } else if (!IsDirectoryWord(attributes)) {
    PathTThrow::ThrowError(PathTThrow::CANNOT_CREATE, path, PathT<char>::PATH_EMPTY_STRING);
  }
}

bool IsDotName(char const* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

// The name a search for `pattern` finds first, or empty.
std::string FoundName(std::string const& pattern) {
  WIN32_FIND_DATAA data;
  std::memset(&data, 0, sizeof data);
  ZEB::FindHandle search(FindFirstFileA(pattern.c_str(), &data));
  if (!search.IsValid())
    return std::string();
  return data.cFileName;
}

// A flag that another thread may set while the listing runs: an atomic load,
// which pairs with the setter's atomic store without a data race.
bool IsSet(bool const& flag) { return __atomic_load_n(&flag, __ATOMIC_ACQUIRE); }

} // namespace

void PathT<char>::CreateDir() const {
  // Every ancestor first: a drive root or the leading parts of a UNC path
  // cannot be made and need not be, so only the last step must succeed.
  for (std::size_t f = m_FullPath.find(SEPARATOR); f != std::string::npos; f = m_FullPath.find(SEPARATOR, f + 1))
    EnsureDirectory(m_FullPath.substr(0, f + 1), false, &GetFileAttributesWrp, &MkDirWrp);
  if (m_FullPath.empty() || m_FullPath.back() != SEPARATOR)
    EnsureDirectory(m_FullPath, true, &GetFileAttributesWrp, &MkDirWrp);
}

void PathT<char>::CreateFileA() const {
  PathT directory(Directory());
  if (directory.GetAttributes() == -1)
    directory.CreateDir();
  if (!CreateFileWrp(m_FullPath.c_str()))
    PathTThrow::ThrowError(PathTThrow::CANNOT_CREATE, m_FullPath, PATH_EMPTY_STRING);
}

void PathT<char>::Delete(bool force) {
  // Only an attribute that is set is cleared: asking to clear one that is
  // not would fail needlessly where attributes cannot be changed (a
  // symbolic link on POSIX).
  if (force && IsFile()) {
    if (IsReadOnly())
      SetAttribute(READ_ONLY, false);
    if (IsHidden())
      SetAttribute(HIDDEN, false);
  }
  int failed = 0;
  if (IsFile() && IsWritable())
    failed = UnlinkWrp(m_FullPath.c_str());
  else if (IsDirectory() && IsWritable())
    failed = RmDirWrp(m_FullPath.c_str());
  m_Attributes = -1;
  if (failed != 0)
    PathTThrow::ThrowError(PathTThrow::CANNOT_DELETE, m_FullPath, PATH_EMPTY_STRING);
}

void PathT<char>::RecursiveDelete(bool force) {
  // A symbolic link or junction carries the directory bit of its target:
  // walking into it would empty a directory outside the tree. The link
  // itself is deleted instead.
  if (!HasAttribute(REPARSE_POINT)) {
    std::vector<PathT> entries;
    GetFileList(entries, PATH_DEFAULT_FILTER);
    for (PathT& entry : entries)
      entry.RecursiveDelete(force);
  }
  Delete(force);
}

void PathT<char>::Copy(std::string const& source, std::string const& target, bool failIfExists) {
  if (!CopyFileWrp(source.c_str(), target.c_str(), failIfExists))
    PathTThrow::ThrowError(PathTThrow::CANNOT_COPY, source, target);
}

void PathT<char>::Copy(std::string const& target, bool overwrite) const {
  if (!CopyFileWrp(m_FullPath.c_str(), target.c_str(), !overwrite))
    PathTThrow::ThrowError(PathTThrow::CANNOT_COPY, m_FullPath, target);
}

void PathT<char>::Move(std::string const& source, std::string const& target) {
  if (!MoveFileWrp(source.c_str(), target.c_str()))
    PathTThrow::ThrowError(PathTThrow::CANNOT_MOVE, source, target);
}

void PathT<char>::Rename(std::string const& source, std::string const& target) {
  if (RenameWrp(source.c_str(), target.c_str()) != 0)
    PathTThrow::ThrowError(PathTThrow::CANNOT_MOVE, source, target);
}

template <class Op> void PathT<char>::MoveTo(std::string const& target, Op&& op) {
  std::string old = m_FullPath;
  m_FullPath = target;
  Initialize();
  if (!op(old.c_str(), m_FullPath.c_str())) {
    m_FullPath.swap(old);
    PathTThrow::ThrowError(PathTThrow::CANNOT_MOVE, m_FullPath, target);
  }
  Forget();
}

void PathT<char>::Move(std::string const& target) {
  MoveTo(target, [](char const* from, char const* to) { return MoveFileWrp(from, to) != 0; });
}

void PathT<char>::Rename(std::string const& target) {
  MoveTo(target, [](char const* from, char const* to) { return RenameWrp(from, to) == 0; });
}

// Lists the directory one level deep, handing each entry, its information
// taken from the search record, to `sink`. `stop`, when given, is polled
// after each entry.
template <class Sink> void PathT<char>::List(std::string const& filter, bool const* stop, Sink&& sink) const {
  if (!IsDirectory())
    return;
  std::string directory = Directory();
  WIN32_FIND_DATAA data;
  std::memset(&data, 0, sizeof data);
  ZEB::FindHandle search(FindFirstFileA((directory + filter).c_str(), &data));
  if (!search.IsValid())
    return;
  // "." and ".." are no entries: the flag is polled after each entry
  // listed, so that a flag already set still lets the first one through.
  bool listed = false;
  bool stopped = false;
  do {
    if (listed && stop && IsSet(*stop)) {
      stopped = true;
      break;
    }
    listed = !IsDotName(data.cFileName);
    if (listed) {
      PathT entry(directory + data.cFileName);
      entry.m_Attributes = int32_t(data.dwFileAttributes);
      entry.m_Size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
      entry.m_LastModificationDate =
          FileTimeToDate(data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime);
      sink(entry);
    }
  } while (FindNextFileA(search, &data));
  if (!stopped && GetLastError() != ERROR_NO_MORE_FILES)
    PathTThrow::ThrowError(PathTThrow::CANNOT_LIST_ALL_FILES, m_FullPath, PATH_EMPTY_STRING);
}

void PathT<char>::GetFileList(std::vector<PathT>& out, std::string const& filter) const {
  List(filter, nullptr, [&out](PathT const& entry) { out.push_back(entry); });
}

void PathT<char>::GetFileListInterruptable(std::vector<PathT>& out, bool const& stop,
                                           std::string const& filter) const {
  List(filter, &stop, [&out](PathT const& entry) { out.push_back(entry); });
}

void PathT<char>::GetFileListSP(std::vector<ZEB::SmartPtr<PathT>>& out, std::string const& filter) const {
  List(filter, nullptr, [&out](PathT const& entry) { out.push_back(ZEB::SmartPtr<PathT>(new PathT(entry))); });
}

void PathT<char>::RetrieveCasing() {
  if (GetAttributes() == -1)
    return;
  SplitParts parts = SplitPath(m_FullPath, &SplitPathWrp);
  std::vector<std::string> components;
  for (std::size_t start = 0; start < parts.directory.size();) {
    std::size_t end = std::min(parts.directory.find_first_of(SEPARATORS, start), parts.directory.size());
    if (end > start)
      components.push_back(parts.directory.substr(start, end - start));
    start = end + 1;
  }
  std::string fileName = parts.name + parts.extension;
  std::string result;
  std::size_t next = 0;
  bool search = true;
  if (IsUNC()) {
    std::string server = GetServer();
    result = ZEB::ToLower(std::string(UNC_ROOT) + server);
    if (components.size() >= 2) {
      result += SEPARATOR + components[1];
      next = 2;
    } else {
      // The share (or the server itself) is the file-name part.
      if (!fileName.empty() && !ZEB::NoCase::IsEqual(fileName, server))
        result += SEPARATOR + fileName;
      search = false;
    }
  } else {
    result = parts.drive;
    for (char& c : result)
      if (c >= 'a' && c <= 'z')
        c = char(c - ('a' - 'A'));
  }
  if (search && !fileName.empty()) {
    for (; next < components.size(); ++next) {
      std::string found = FoundName(result + SEPARATOR + components[next]);
      if (found.empty())
        break;
      result += SEPARATOR + found;
    }
    std::string found = FoundName(result + SEPARATOR + fileName);
    if (!found.empty())
      result += SEPARATOR + found;
  }
  if (!m_FullPath.empty() && m_FullPath.back() == SEPARATOR)
    result += SEPARATOR;
  if (ZEB::NoCase::IsEqual(result, m_FullPath))
    m_FullPath = result;
}

} // namespace ZEBFile
