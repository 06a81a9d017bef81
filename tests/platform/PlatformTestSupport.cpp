#include "PlatformTestSupport.h"

#include <algorithm>
#include <stdexcept>

namespace PlatformTest {

Sandbox::Sandbox() : m_Directory("zebplat"), m_Root(m_Directory.Native()) {
  if (IsPosixLayer()) {
    m_MappedDrive = FreeDrive();
    if (!ZEBPlatform::MapDrive(m_MappedDrive, m_Directory.Native()))
      throw std::runtime_error("cannot map a drive to " + m_Directory.Native());
    m_Root = std::string(1, m_MappedDrive) + ":\\";
    return;
  }
  std::replace(m_Root.begin(), m_Root.end(), '/', '\\');
  if (m_Root.back() != '\\')
    m_Root += '\\';
}

Sandbox::~Sandbox() {
  // Windows removes no read-only entry; the tests make them at the top only.
  for (std::string const& name : FindNames(m_Root + "*"))
    if (name != "." && name != "..")
      SetFileAttributesA((m_Root + name).c_str(), FILE_ATTRIBUTE_NORMAL);
  if (m_MappedDrive)
    ZEBPlatform::UnmapDrive(m_MappedDrive);
}

bool WriteText(std::string const& path, std::string const& text) {
  HANDLE file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
  DWORD written = 0;
  bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  return Close(file) && ok && written == text.size();
}

std::string ReadText(std::string const& path) {
  HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  std::string text;
  char buffer[4096];
  DWORD count = 0;
  while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof(buffer), &count, nullptr) && count > 0)
    text.append(buffer, count);
  Close(file);
  return text;
}

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

std::string CurrentDirectory() {
  char buffer[MAX_PATH];
  DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
  return std::string(buffer, length < MAX_PATH ? length : 0);
}

} // namespace PlatformTest
