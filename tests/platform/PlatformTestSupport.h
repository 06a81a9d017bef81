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

bool IsPosixLayer();
bool IsWine();

// A fresh directory for one test, reached by a Windows path: on the POSIX
// layer through a drive letter mapped to it, elsewhere through its own
// path. Everything in it goes at the end, read-only entries included.
class Sandbox {
public:
  Sandbox();
  Sandbox(Sandbox const&) = delete;
  Sandbox& operator=(Sandbox const&) = delete;
  ~Sandbox();

  // The directory, ending with a backslash.
  std::string const& Root() const { return m_Root; }
  // `relative` below the directory.
  std::string operator[](std::string const& relative) const { return m_Root + relative; }
  // The drive letter of the directory.
  char Drive() const { return m_Root[0]; }

private:
  ZEBTest::TempDir m_Directory;
  std::string m_Root;
  char m_MappedDrive = 0;
};

HANDLE Open(std::string const& path, DWORD access, DWORD share, DWORD disposition,
            DWORD flags = FILE_ATTRIBUTE_NORMAL);
// The call failed (`failed`) and left `error` as the last error.
::testing::AssertionResult Fails(bool failed, DWORD error);
bool WriteText(std::string const& path, std::string const& text);
// The content of a file; `ok` false when it cannot be read.
std::string ReadText(std::string const& path, bool* ok = nullptr);
bool Exists(std::string const& path);
// A drive letter with no drive, from 'Y' down.
char FreeDrive();
// The names a directory search returns, in its order.
std::vector<std::string> FindNames(std::string const& pattern, DWORD* error = nullptr);
// Restores the current directory when it goes.
class CurrentDirectoryGuard {
public:
  CurrentDirectoryGuard();
  ~CurrentDirectoryGuard();

private:
  std::string m_Saved;
};

} // namespace PlatformTest

// An expectation that holds only on the POSIX layer (the tables, the fault
// injection, what Windows does differently): the reason is printed.
#define ONLY_ON_POSIX_LAYER(reason)                                                                                    \
  if (!PlatformTest::IsPosixLayer())                                                                                   \
  GTEST_SKIP() << "holds only on the POSIX layer: " << reason
// An expectation Wine does not meet (the real API and the layer do).
#define NOT_UNDER_WINE(reason)                                                                                         \
  if (PlatformTest::IsWine())                                                                                          \
  GTEST_SKIP() << "Wine differs: " << reason
