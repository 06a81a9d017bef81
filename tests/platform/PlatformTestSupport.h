// What the conformance tests of the platform layer share. The tests call
// only the Win32 API (and these helpers), so that the same source checks the
// POSIX layer natively and the real API under Windows or Wine.
#pragma once

#include "ZEBPlatform/Config.h"
#include "ZEBPlatform/Win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace PlatformTest {

inline bool IsPosixLayer() { return ZEBPlatform::LiveSystem() == ZEBPlatform::System::PosixLayer; }
inline bool IsWine() { return ZEBPlatform::LiveSystem() == ZEBPlatform::System::Wine; }

// A fresh directory reached by a Windows path ending with a backslash: on the
// POSIX layer a drive mapped to it, elsewhere its own path. Everything in it
// goes at the end, read-only entries at its top included.
class Sandbox {
public:
  Sandbox();
  ~Sandbox();
  std::string const& Root() const { return m_Root; }
  std::string operator[](std::string const& relative) const { return m_Root + relative; }

private:
  ZEBTest::TempDir m_Directory;
  std::string m_Root;
  char m_MappedDrive = 0;
};

inline HANDLE Open(std::string const& path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0) {
  return CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}
inline bool Close(HANDLE handle) { return handle != INVALID_HANDLE_VALUE && CloseHandle(handle); }
inline bool Exists(std::string const& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
// The call failed (`failed`) and left `error` as the last error.
inline ::testing::AssertionResult Fails(bool failed, DWORD error) {
  DWORD actual = GetLastError();
  if (failed && actual == error)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << (failed ? "failed" : "succeeded") << " with last error " << actual;
}
bool WriteText(std::string const& path, std::string const& text);
std::string ReadText(std::string const& path); // empty when it cannot be read
char FreeDrive();                              // a drive letter with no drive, from 'Y' down
// The names a directory search returns, in its order, and its last error.
std::vector<std::string> FindNames(std::string const& pattern, DWORD* error = nullptr);
std::string CurrentDirectory();
// Restores the current directory when it goes.
struct CurrentDirectoryGuard {
  ~CurrentDirectoryGuard() { SetCurrentDirectoryA(saved.c_str()); }
  std::string saved = CurrentDirectory();
};

} // namespace PlatformTest

// Expectations that hold only on the POSIX layer, or that Wine does not meet.
#define ONLY_ON_POSIX_LAYER(reason)                                                                                    \
  if (!PlatformTest::IsPosixLayer())                                                                                   \
  GTEST_SKIP() << "holds only on the POSIX layer: " << reason
#define NOT_UNDER_WINE(reason)                                                                                         \
  if (PlatformTest::IsWine())                                                                                          \
  GTEST_SKIP() << "Wine differs: " << reason
