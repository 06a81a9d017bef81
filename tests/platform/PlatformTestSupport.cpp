#include "PlatformTestSupport.h"

#include <stdexcept>

namespace PlatformTest {
namespace {

// Clears the read-only attribute of everything below `directory`, so that
// the tree can be removed on every platform.
void MakeWritable(std::string const& directory) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((directory + "*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE)
    return;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..")
      continue;
    SetFileAttributesA((directory + name).c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      MakeWritable(directory + name + "\\");
  } while (FindNextFileA(search, &data));
  FindClose(search);
}

} // namespace

bool IsPosixLayer() { return ZEBPlatform::LiveSystem() == ZEBPlatform::System::PosixLayer; }

bool IsWine() { return ZEBPlatform::LiveSystem() == ZEBPlatform::System::Wine; }

Sandbox::Sandbox() : m_Directory("zebplat") {
  if (IsPosixLayer()) {
    m_MappedDrive = FreeDrive();
    if (!ZEBPlatform::MapDrive(m_MappedDrive, m_Directory.Native()))
      throw std::runtime_error("cannot map a drive to " + m_Directory.Native());
    m_Root = std::string(1, m_MappedDrive) + ":\\";
  } else {
    m_Root = m_Directory.Native();
    for (char& c : m_Root)
      if (c == '/')
        c = '\\';
    if (m_Root.back() != '\\')
      m_Root += '\\';
  }
}

Sandbox::~Sandbox() {
  MakeWritable(m_Root);
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
  if (file == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

std::string ReadText(std::string const& path, bool* ok) {
  if (ok)
    *ok = false;
  HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE)
    return std::string();
  std::string text;
  char buffer[4096];
  DWORD count = 0;
  BOOL read = FALSE;
  while ((read = ReadFile(file, buffer, sizeof(buffer), &count, nullptr)) && count > 0)
    text.append(buffer, count);
  CloseHandle(file);
  if (ok)
    *ok = read != FALSE;
  return text;
}

bool Exists(std::string const& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

char FreeDrive() {
  DWORD drives = GetLogicalDrives();
  for (char letter = 'Y'; letter > 'D'; --letter)
    if (!(drives & (1u << (letter - 'A'))))
      return letter;
  throw std::runtime_error("no free drive letter");
}

std::vector<std::string> FindNames(std::string const& pattern, DWORD* error) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    if (error)
      *error = GetLastError();
    return names;
  }
  do
    names.push_back(data.cFileName);
  while (FindNextFileA(search, &data));
  if (error)
    *error = GetLastError();
  FindClose(search);
  return names;
}

CurrentDirectoryGuard::CurrentDirectoryGuard() {
  char buffer[MAX_PATH];
  DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
  if (length > 0 && length < MAX_PATH)
    m_Saved = buffer;
}

CurrentDirectoryGuard::~CurrentDirectoryGuard() {
  if (!m_Saved.empty())
    SetCurrentDirectoryA(m_Saved.c_str());
}

} // namespace PlatformTest
