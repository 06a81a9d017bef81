// Directory searches: Windows wildcards, names compared ignoring case, "."
// and ".." outside roots, and entries sorted by their upper-cased names.
#include "Internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace ZEBPlatform {
namespace Detail {
namespace {

// The wildcard forms Windows gives a search mask before matching.
char const DOS_STAR = '<'; // '*' before a '.': anything up to the last dot of the name
char const DOS_QM = '>';   // '?': one character, or none at a dot or the end
char const DOS_DOT = '"';  // '.' before '?', '*' or the end: a dot, or nothing at the end

std::string DosMask(std::string const& mask) {
  std::string converted = mask;
  for (size_t i = 0; i < converted.size(); ++i) {
    char next = i + 1 < mask.size() ? mask[i + 1] : '\0';
    if (mask[i] == '?')
      converted[i] = DOS_QM;
    else if (mask[i] == '*' && next == '.')
      converted[i] = DOS_STAR;
    else if (mask[i] == '.' && (next == '?' || next == '*' || next == '\0'))
      converted[i] = DOS_DOT;
  }
  return converted;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

class Matcher {
public:
  Matcher(std::string const& mask, std::string const& name)
      : m_Mask(mask), m_Name(name), m_LastDot(name.find_last_of('.')),
        m_Memo((mask.size() + 1) * (name.size() + 1), UNKNOWN) {}

  bool Matches() { return Match(0, 0); }

private:
  enum : char { UNKNOWN, NO, YES };

  bool Match(size_t p, size_t n) {
    char& memo = m_Memo[p * (m_Name.size() + 1) + n];
    if (memo == UNKNOWN)
      memo = Compute(p, n) ? YES : NO;
    return memo == YES;
  }

  bool Compute(size_t p, size_t n) {
    bool atEnd = n == m_Name.size();
    if (p == m_Mask.size())
      return atEnd;
    switch (m_Mask[p]) {
    case '*':
      return Match(p + 1, n) || (!atEnd && Match(p, n + 1));
    case DOS_STAR:
      return Match(p + 1, n) || (!atEnd && (m_LastDot == std::string::npos || n < m_LastDot) && Match(p, n + 1));
    case DOS_QM:
      if (atEnd || m_Name[n] == '.')
        return Match(p + 1, n);
      return Match(p + 1, n + 1);
    case DOS_DOT:
      if (atEnd)
        return Match(p + 1, n);
      return m_Name[n] == '.' && Match(p + 1, n + 1);
    default:
      return !atEnd && Upper(m_Mask[p]) == Upper(m_Name[n]) && Match(p + 1, n + 1);
    }
  }

  std::string const& m_Mask;
  std::string const& m_Name;
  size_t m_LastDot;
  std::vector<char> m_Memo;
};

struct Entry {
  std::string upper;
  WIN32_FIND_DATAA data;
};

int Rank(std::string const& name) { return name == "." ? 0 : name == ".." ? 1 : 2; }

bool InvalidMask(std::string const& mask) {
  for (unsigned char c : mask)
    if (c < 32 || c == '|' || c == ':' || c == '\\' || c == '/')
      return true;
  return false;
}

} // namespace

bool WildcardMatch(std::string const& mask, std::string const& name) {
  std::string dos = mask == "*.*" ? std::string("*") : DosMask(mask);
  return Matcher(dos, name).Matches();
}

} // namespace Detail
} // namespace ZEBPlatform

using namespace ZEBPlatform::Detail;

// Short (8.3) names do not exist here: masks match long names only and
// cAlternateFileName stays empty. The entries are read when the search
// starts.
HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData) {
  if (!fileName || !findFileData)
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  std::string pattern = fileName;
  size_t split = pattern.find_last_of("\\/");
  std::string directoryText, mask;
  if (split != std::string::npos) {
    directoryText = pattern.substr(0, split + 1);
    mask = pattern.substr(split + 1);
  } else if (pattern.size() >= 2 && pattern[1] == ':') {
    directoryText = pattern.substr(0, 2);
    mask = pattern.substr(2);
  } else {
    directoryText = ".";
    mask = pattern;
  }
  if (pattern.size() >= MAX_PATH)
    return Fail(ERROR_FILENAME_EXCED_RANGE, INVALID_HANDLE_VALUE);
  MappedPath directory;
  if (!MapPath(directoryText.c_str(), directory))
    return INVALID_HANDLE_VALUE;
  if (mask.empty())
    return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (InvalidMask(mask))
    return Fail(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);
  struct stat info;
  if (Syscalls().stat(directory.host.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  DIR* dir = Syscalls().opendir(directory.host.c_str());
  if (!dir)
    return Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : PathError(errno, directory.host), INVALID_HANDLE_VALUE);
  std::vector<Entry> entries;
  int readError = 0;
  for (;;) {
    errno = 0;
    struct dirent* found = Syscalls().readdir(dir);
    if (!found) {
      readError = errno;
      break;
    }
    std::string name = found->d_name;
    bool dots = name == "." || name == "..";
    if ((dots && directory.root) || name.size() >= MAX_PATH || !WildcardMatch(mask, name))
      continue;
    std::string host = name == "."    ? directory.host
                       : name == ".." ? ParentOf(directory.host)
                                      : JoinHost(directory.host, name);
    struct stat entryInfo;
    if (Syscalls().lstat(host.c_str(), &entryInfo) != 0)
      continue; // gone since it was listed
    Entry entry;
    entry.upper = UpperAscii(name);
    std::memset(&entry.data, 0, sizeof(entry.data));
    WIN32_FILE_ATTRIBUTE_DATA data;
    FillFileData(host, entryInfo, dots ? std::string_view() : std::string_view(name), data);
    entry.data.dwFileAttributes = data.dwFileAttributes;
    entry.data.ftCreationTime = data.ftCreationTime;
    entry.data.ftLastAccessTime = data.ftLastAccessTime;
    entry.data.ftLastWriteTime = data.ftLastWriteTime;
    entry.data.nFileSizeHigh = data.nFileSizeHigh;
    entry.data.nFileSizeLow = data.nFileSizeLow;
    std::memcpy(entry.data.cFileName, name.c_str(), name.size() + 1);
    entries.push_back(entry);
  }
  Syscalls().closedir(dir);
  // A directory that could not be read to its end is not reported as complete:
  // the entries read come first, then the error in place of "no more files".
  DWORD listError = readError ? PathError(readError, directory.host) : ERROR_NO_MORE_FILES;
  if (entries.empty())
    return Fail(readError ? listError : ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  std::sort(entries.begin(), entries.end(), [](Entry const& a, Entry const& b) {
    int rankA = Rank(a.data.cFileName), rankB = Rank(b.data.cFileName);
    if (rankA != rankB)
      return rankA < rankB;
    if (a.upper != b.upper)
      return a.upper < b.upper;
    return std::strcmp(a.data.cFileName, b.data.cFileName) < 0;
  });
  auto search = std::make_shared<FindObject>();
  for (Entry const& entry : entries)
    search->entries.push_back(entry.data);
  *findFileData = search->entries[0];
  search->next = 1;
  search->endError = listError;
  return AddHandle(search);
}

BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData) {
  auto search = LookUp<FindObject>(findFile, HandleObject::FIND_OBJECT);
  if (!search)
    return FALSE;
  if (!findFileData)
    return Fail(ERROR_INVALID_PARAMETER);
  if (search->next >= search->entries.size())
    return Fail(search->endError);
  *findFileData = search->entries[search->next++];
  return TRUE;
}
