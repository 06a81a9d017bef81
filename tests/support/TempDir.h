// A directory of its own for a test, removed with everything in it when the
// helper goes (read-only entries included; links are removed, never followed).
// Its helpers work on host paths ('/' between the parts of `relative`),
// independently of the code under test.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace ZEBTest {

class TempDir {
public:
  using path = std::filesystem::path;

  // A new, empty directory under the system's temporary directory, `tag` in its name.
  explicit TempDir(std::string const& tag = "zeb") {
    std::mt19937_64 random(std::random_device{}());
    for (int attempt = 0; attempt < 100 && m_Native.empty(); ++attempt) {
      path candidate = std::filesystem::temp_directory_path() / (tag + "-" + std::to_string(random() % 100000000));
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error))
        m_Native = candidate.string();
    }
    if (m_Native.empty())
      throw std::runtime_error("cannot create a temporary directory");
  }
  TempDir(TempDir const&) = delete;
  TempDir& operator=(TempDir const&) = delete;
  ~TempDir() {
    std::error_code ignored;
    MakeWritable(m_Native);
    std::filesystem::remove_all(m_Native, ignored);
  }

  std::string const& Native() const noexcept { return m_Native; }
  std::string Child(std::string const& relative) const { return Host(relative).string(); }
  void MakeDirs(std::string const& relative) const { std::filesystem::create_directories(Host(relative)); }
  void WriteFile(std::string const& relative, std::string const& content = std::string()) const {
    if (!(std::ofstream(Host(relative), std::ios::binary | std::ios::trunc) << content))
      throw std::runtime_error("cannot write " + Child(relative));
  }
  std::string ReadFile(std::string const& relative) const {
    std::ifstream in(Host(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool Exists(std::string const& relative) const {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(Host(relative), ignored));
  }
  // Read-only (no write permission for anyone) or writable by its owner again.
  void SetReadOnly(std::string const& relative, bool readOnly) const {
    using std::filesystem::perms;
    std::filesystem::permissions(Host(relative),
                                 readOnly ? perms::owner_write | perms::group_write | perms::others_write
                                          : perms::owner_write,
                                 readOnly ? std::filesystem::perm_options::remove : std::filesystem::perm_options::add);
  }

private:
  path Host(std::string const& relative) const { return path(m_Native) / path(relative).make_preferred(); }

  // Write permission back on every directory (not through links), so that
  // read-only content can go. Never throws.
  static void MakeWritable(path const& directory) noexcept {
    std::error_code ignored;
    std::filesystem::permissions(directory, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    for (std::filesystem::directory_iterator it(directory, ignored), end; !ignored && it != end; it.increment(ignored))
      if (it->is_directory(ignored) && !it->is_symlink(ignored))
        MakeWritable(it->path());
  }

  std::string m_Native;
};

} // namespace ZEBTest
