#include "PlatformTestSupport.h"

#include <cstring>
#include <stdexcept>

namespace PlatformTest {

bool IsPosixLayer() { return ZEBPlatform::LiveSystem() == ZEBPlatform::System::PosixLayer; }
bool IsWine() { return ZEBPlatform::LiveSystem() == ZEBPlatform::System::Wine; }

Sandbox::Sandbox() : m_Directory("zebplat"), m_Root(m_Directory.Native()) {
  if (IsPosixLayer()) {
    m_MappedDrive = FreeDrive();
    if (!ZEBPlatform::MapDrive(m_MappedDrive, m_Directory.Native()))
      throw std::runtime_error("cannot map a drive to " + m_Directory.Native());
    m_Root = std::string(1, m_MappedDrive) + ":\\";
    return;
  }
  for (char& c : m_Root)
    c = c == '/' ? '\\' : c;
  if (m_Root.back() != '\\')
    m_Root += '\\';
}

Sandbox::~Sandbox() {
  // Read-only entries are made writable so that the tree can go everywhere.
  std::vector<std::string> directories{m_Root};
  while (!directories.empty()) {
    std::string directory = directories.back();
    directories.pop_back();
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((directory + "*").c_str(), &data);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &data)) {
      std::string name = data.cFileName;
      if (name == "." || name == "..")
        continue;
      SetFileAttributesA((directory + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        directories.push_back(directory + name + "\\");
    }
    if (search != INVALID_HANDLE_VALUE)
      FindClose(search);
  }
  if (m_MappedDrive)
    ZEBPlatform::UnmapDrive(m_MappedDrive);
}

HANDLE Open(std::string const& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  return CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

::testing::AssertionResult Fails(bool failed, DWORD error) {
  DWORD actual = GetLastError();
  if (failed && actual == error)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << (failed ? "failed" : "succeeded") << " with last error " << actual;
}

bool WriteText(std::string const& path, std::string const& text) {
  HANDLE file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
  DWORD written = 0;
  if (file == INVALID_HANDLE_VALUE)
    return false;
  bool ok = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

std::string ReadText(std::string const& path) {
  HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  std::string text;
  char buffer[4096];
  DWORD count = 0;
  if (file == INVALID_HANDLE_VALUE)
    return text;
  while (ReadFile(file, buffer, sizeof(buffer), &count, nullptr) && count > 0)
    text.append(buffer, count);
  CloseHandle(file);
  return text;
}

bool Exists(std::string const& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

char FreeDrive() {
  for (char letter = 'Y'; letter > 'D'; --letter)
    if (!(GetLogicalDrives() & (1u << (letter - 'A'))))
      return letter;
  throw std::runtime_error("no free drive letter");
}

std::vector<std::string> FindNames(std::string const& pattern, DWORD* error) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &data))
    names.push_back(data.cFileName);
  if (error)
    *error = GetLastError();
  if (search != INVALID_HANDLE_VALUE)
    FindClose(search);
  return names;
}

CurrentDirectoryGuard::CurrentDirectoryGuard() : saved(MAX_PATH, '\0') {
  saved.resize(GetCurrentDirectoryA(MAX_PATH, &saved[0]) < MAX_PATH ? std::strlen(saved.c_str()) : 0);
}

CurrentDirectoryGuard::~CurrentDirectoryGuard() {
  if (!saved.empty())
    SetCurrentDirectoryA(saved.c_str());
}

} // namespace PlatformTest
