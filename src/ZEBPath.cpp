// The path value: canonical form, text operations, comparison, reference
// counting and the binary form.
#include "ZEBFile/Path.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "ZEBPathInternal.h"
#include "ZEB/NoCase.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBPlatform/Win32.h"

namespace ZEBFile {

using namespace PathConstants;

std::string const PathT<char>::PATH_SEPARATORS(SEPARATORS);
std::string const PathT<char>::PATH_EMPTY_STRING;
std::string const PathT<char>::PATH_DEFAULT_FILTER(DEFAULT_FILTER);
std::string const PathT<char>::PATH_FILE_SCHEME(FILE_SCHEME);
std::string const PathT<char>::PATH_UNC_ROOT(UNC_ROOT);
std::string const PathT<char>::PATH_DOUBLE_SEPARATOR(DOUBLE_SEPARATOR);
std::string const PathT<char>::PATH_PARENT(PARENT);

namespace {

bool StartsWith(std::string const& text, std::size_t at, std::string_view prefix) noexcept {
  return text.size() >= at + prefix.size() && std::string_view(text).substr(at, prefix.size()) == prefix;
}

// The scheme at `at`, ignoring the case of 'A'-'Z' only.
bool StartsWithFileScheme(std::string const& text, std::size_t at) {
  return text.size() >= at + FILE_SCHEME.size() &&
         ZEB::NoCase::IsEqual(text.substr(at, FILE_SCHEME.size()), std::string(FILE_SCHEME));
}

// Collapses every run of separators that starts at or after `from` into one.
void FoldDoubledSeparators(std::string& s, std::size_t from) {
  std::size_t first = s.find(DOUBLE_SEPARATOR, from);
  if (first == std::string::npos)
    return;
  std::size_t out = first + 1;
  for (std::size_t in = first + 2; in < s.size(); ++in)
    if (s[in] != SEPARATOR || s[out - 1] != SEPARATOR)
      s[out++] = s[in];
  s.resize(out);
}

} // namespace

PathT<char>::PathT() : m_FullPath(1, PATH_CURRENT), m_Attributes(-1), m_LastModificationDate(), m_Size(0) {}

PathT<char>::PathT(char const* text) : PathT(std::string(text ? text : "")) {}

PathT<char>::PathT(std::string const& text)
    : m_FullPath(text), m_Attributes(-1), m_LastModificationDate(), m_Size(0) {
  Initialize();
}

PathT<char>::PathT(PathT const& other)
    : ZEB::SPRefCounter(), m_FullPath(other.m_FullPath), m_FullPathLowerCase(other.m_FullPathLowerCase),
      m_Attributes(other.m_Attributes), m_LastModificationDate(other.m_LastModificationDate), m_Size(other.m_Size) {}

PathT<char>::~PathT() = default;

PathT<char>& PathT<char>::operator=(PathT const& other) {
  if (this != &other) {
    m_FullPath = other.m_FullPath;
    m_FullPathLowerCase = other.m_FullPathLowerCase;
    m_Attributes = other.m_Attributes;
    m_LastModificationDate = other.m_LastModificationDate;
    m_Size = other.m_Size;
  }
  return *this;
}

PathT<char>& PathT<char>::operator=(std::string const& text) {
  if (text != m_FullPath) {
    m_FullPath = text;
    Initialize();
    Forget();
  }
  return *this;
}

PathT<char>& PathT<char>::operator=(char const* text) { return *this = std::string(text ? text : ""); }

void PathT<char>::Forget() noexcept {
  m_FullPathLowerCase.clear();
  m_Attributes = -1;
}

std::string const& PathT<char>::FullPathLowerCase() const {
  if (m_FullPathLowerCase.empty())
    m_FullPathLowerCase = ZEB::ToLower(m_FullPath);
  return m_FullPathLowerCase;
}

bool PathT<char>::HasDrive() const noexcept { return m_FullPath.size() >= 2 && m_FullPath[1] == DRIVE_SEPARATOR; }

bool PathT<char>::IsUNC() const noexcept { return StartsWith(m_FullPath, 0, UNC_ROOT); }

bool PathT<char>::IsAbsolute() const noexcept {
  if (m_FullPath.size() > 2 && HasDrive())
    return m_FullPath[2] == SEPARATOR;
  return !m_FullPath.empty() && m_FullPath[0] == SEPARATOR;
}

void PathT<char>::Initialize() {
  std::string& s = m_FullPath;
  std::replace(s.begin(), s.end(), SLASH, SEPARATOR);
  std::size_t p = s.find_first_not_of(SPACE);
  if (p != std::string::npos) {
    if (StartsWith(s, p, UNC_ROOT) || (s.size() >= p + 2 && s[p + 1] == DRIVE_SEPARATOR)) {
      s.erase(0, p);
    } else if (StartsWithFileScheme(s, p)) {
      s.erase(0, p);
      if (s.size() > FILE_SCHEME.size() && s[FILE_SCHEME.size()] == SEPARATOR)
        s.erase(0, FILE_SCHEME.size() + 1);
      else
        s.erase(0, FILE_SCHEME.size() - UNC_ROOT.size());
    }
  }
  Canonicalize();
  if (s.empty())
    s.assign(1, PATH_CURRENT);
}

void PathT<char>::Canonicalize() {
  std::string& s = m_FullPath;
  std::size_t r;
  if (HasDrive()) {
    r = s.size() > 2 && s[2] == SEPARATOR ? 3 : 2;
  } else if (IsUNC()) {
    std::size_t f = s.find(SEPARATOR, 2);
    r = f == std::string::npos ? s.size() : f + 1;
  } else {
    r = !s.empty() && s[0] == SEPARATOR ? 1 : 0;
  }
  std::size_t const rootLength = r;

  // A separator doubled across the end of the root ('C:\\x', '\\srv\\x')
  // is folded too: both texts name the same entry, and leaving the pair would
  // make a UNC text lose one more trailing separator at each pass.
  FoldDoubledSeparators(s, r > 0 && s[r - 1] == SEPARATOR ? r - 1 : r);

  int depth = 0;
  bool last = s.size() <= r;
  while (!last) {
    std::size_t n = s.size();
    std::size_t end = std::min(n, s.find(SEPARATOR, r));
    std::size_t length = end - r;
    last = end == n;
    if (length == PARENT.size() && s.compare(r, length, PARENT) == 0) {
      if (!IsAbsolute() && depth == 0) {
        r = end + 1;
      } else {
        // Drop the component before "..", "..", and the separator after it.
        if (r >= 2) {
          std::size_t f = s.rfind(SEPARATOR, r - 2);
          r = std::max(f == std::string::npos ? 0 : f + 1, rootLength);
        }
        s.erase(r, end - r + 1);
        --depth;
      }
    } else if (length == 1 && s[r] == CURRENT) {
      s.erase(r, 2);
    } else {
      ++depth;
      if (end > 0 && end < n) {
        std::size_t q = s.find_last_not_of(CURRENT, end - 1);
        if (q != std::string::npos && q < end - 1) {
          if (s[q] != SEPARATOR) {
            s.erase(q + 1, end - q - 1); // trailing dots of a directory name
            end = q + 1;
          } else {
            s.erase(q, end - q); // a component made of dots only
            --depth;
            end = q;
          }
        }
      }
      r = end + 1;
    }
  }

  std::size_t keep = std::min<std::size_t>(rootLength, 3);
  if (s.size() > keep && s.back() == SEPARATOR)
    s.pop_back();
}

bool PathT<char>::IsDotDirectory(std::string const& text) {
  std::size_t end = text.find_last_not_of(SEPARATORS);
  if (end == std::string::npos)
    return false;
  std::size_t dots = 0;
  while (dots < 3 && dots <= end && text[end - dots] == CURRENT)
    ++dots;
  if (dots != 1 && dots != 2)
    return false;
  if (dots <= end) {
    char before = text[end - dots];
    return before == SLASH || before == SEPARATOR || before == DRIVE_SEPARATOR;
  }
  return true;
}


std::string PathT<char>::FileName() const {
  SplitParts parts = SplitPath(m_FullPath, &SplitPathWrp);
  return parts.name + parts.extension;
}

std::string PathT<char>::FileExtension() const {
  SplitParts parts = SplitPath(m_FullPath, &SplitPathWrp);
  return parts.extension.empty() ? parts.extension : parts.extension.substr(1);
}

std::string PathT<char>::Directory() const {
  if (IsDirectory()) {
    if (!m_FullPath.empty() && m_FullPath.back() == SEPARATOR)
      return m_FullPath;
    return m_FullPath + SEPARATOR;
  }
  SplitParts parts = SplitPath(m_FullPath, &SplitPathWrp);
  return parts.drive + parts.directory;
}

std::string PathT<char>::Root() const {
  if (m_FullPath.size() >= 2 && m_FullPath[1] == DRIVE_SEPARATOR)
    return m_FullPath.substr(0, 2) + SEPARATOR;
  if (IsUNC())
    return m_FullPath.substr(0, m_FullPath.find(SEPARATOR, 2)) + SEPARATOR;
  return std::string();
}

std::string PathT<char>::MakeURI(std::string const& path) {
  std::string uri;
  uri.reserve(path.size() + FILE_SCHEME.size() + 1);
  if (StartsWith(path, 0, UNC_ROOT))
    uri.assign(FILE_SCHEME.substr(0, FILE_SCHEME.size() - UNC_ROOT.size()));
  else
    uri.assign(FILE_SCHEME).push_back(SEPARATOR);
  uri += path;
  std::replace(uri.begin(), uri.end(), SEPARATOR, SLASH);
  return uri;
}

PathT<char>& PathT<char>::ChangeExtension(std::string const& extension, ChangeExtensionMode mode) {
  // An empty or all-dots extension raises std::out_of_range here, before
  // anything changes.
  std::string e = extension.substr(extension.find_first_not_of(CURRENT));
  std::string& s = m_FullPath;
  if (s.size() == 1 && s[0] == CURRENT)
    s.clear();
  switch (mode) {
  case ADD_EXTENSION:
    if (s.empty() || s.back() != CURRENT)
      s += CURRENT;
    s += e;
    break;
  case LAST_EXTENSION: {
    std::size_t dot = s.rfind(CURRENT);
    std::size_t separator = s.rfind(SEPARATOR);
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator))
      s.erase(dot);
    s += CURRENT;
    s += e;
    break;
  }
  case ALL_EXTENSIONS: {
    std::size_t separator = s.rfind(SEPARATOR);
    std::size_t dot = s.find(CURRENT, separator == std::string::npos ? 0 : separator);
    if (dot != std::string::npos) {
      s.replace(dot + 1, std::string::npos, e);
    } else {
      s += CURRENT;
      s += e;
    }
    break;
  }
  }
  Initialize();
  Forget();
  return *this;
}

PathT<char> PathT<char>::GetCurrentPath(char const& drive) {
  std::string letterColon;
  if (drive != CURRENT) {
    char letter = ZEB::ToLower(std::string(1, drive))[0];
    letterColon = {letter, DRIVE_SEPARATOR};
    // Only 'a' to 'z' name a drive: another character would otherwise fall,
    // counted modulo 32, on some letter's drive ('1' on Q:).
    if (letter < 'a' || letter > 'z' || (GetLogicalDrives() >> (letter - 'a') & 1u) == 0)
      throw InvalidPathException();
  }
  // The buffer is zeroed and one longer than what the platform may write, so
  // the text always ends. A directory too long for the classic buffer is
  // asked again with the longest the platform accepts; a failing call leaves
  // the text empty, which gives ".".
  std::string text;
  for (uint32_t size : {MAX_PATH_LENGTH, LONGEST_PATH}) {
    std::string buffer(size + 1, '\0');
    bool done = drive == CURRENT ? GetCurrentDirectoryWrp(size, &buffer[0])
                                 : GetFullPathNameWrp(letterColon.c_str(), size, &buffer[0], nullptr);
    text.assign(buffer.c_str());
    if (!done || !text.empty())
      break;
  }
  return PathT(text);
}

bool PathComparatorT<char>::operator()(PathT<char> const& a, PathT<char> const& b) const {
  if (m_CaseSensitive)
    return a.FullPath() < b.FullPath();
  return a.FullPathLowerCase() < b.FullPathLowerCase();
}

ZEB::BinaryStreamT<unsigned>& operator<<(ZEB::BinaryStreamT<unsigned>& stream, PathT<char> const& path) {
  std::string const& text = path.FullPath();
  if (text.size() < 0xFFFF) {
    stream.WriteInt<uint16_t>(uint16_t(text.size()));
  } else {
    stream.WriteInt<uint16_t>(0xFFFF);
    stream.WriteInt<uint32_t>(uint32_t(text.size()));
  }
  stream.Write(text.data(), uint32_t(text.size()));
  return stream;
}

ZEB::BinaryStreamT<unsigned>& operator>>(ZEB::BinaryStreamT<unsigned>& stream, PathT<char>& path) {
  uint32_t count = stream.ReadInt<uint16_t>();
  if (count == 0xFFFF)
    count = stream.ReadInt<uint32_t>();
  // A damaged count must not make us allocate what the stream cannot hold:
  // the text grows piece by piece as the bytes arrive, and a short stream
  // ends in BinaryStreamGetEOFException.
  constexpr uint32_t PIECE = 65536;
  std::string text;
  text.reserve(std::min(count, PIECE));
  while (text.size() < count) {
    std::size_t at = text.size();
    uint32_t piece = std::min<uint32_t>(PIECE, uint32_t(count - at));
    text.resize(at + piece);
    stream.Read(&text[at], piece);
  }
  path.m_FullPath.swap(text);
  path.Forget();
  return stream;
}

} // namespace ZEBFile
