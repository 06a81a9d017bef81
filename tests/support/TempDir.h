// A directory of its own for a test, removed with everything in it when the
// helper goes (read-only entries included; symbolic links are removed, never
// followed).
#pragma once

#include <string>

namespace ZEBTest {

class TempDir {
public:
  // A new, empty directory under the system's temporary directory; `tag`
  // becomes part of its name.
  explicit TempDir(std::string const& tag = "zeb");
  TempDir(TempDir const&) = delete;
  TempDir& operator=(TempDir const&) = delete;
  ~TempDir();

  // The directory in the host's own form.
  std::string const& Native() const noexcept { return m_Native; }
  // `relative` (with '/' between its parts) below the directory, host form.
  std::string Child(std::string const& relative) const;

  // Helpers that work with host paths, independent of the code under test.
  void MakeDirs(std::string const& relative) const;
  void WriteFile(std::string const& relative, std::string const& content = std::string()) const;
  std::string ReadFile(std::string const& relative) const;
  bool Exists(std::string const& relative) const;
  // Read-only (no write permission for anyone) or writable again.
  void SetReadOnly(std::string const& relative, bool readOnly) const;

private:
  std::string m_Native;
};

// Removes a tree: write permission is given back to every directory first, so
// that read-only content goes too. Links are removed, not followed. Never throws.
void RemoveTree(std::string const& native) noexcept;

} // namespace ZEBTest
