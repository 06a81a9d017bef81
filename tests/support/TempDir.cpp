#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace ZEBTest {

namespace {

fs::path Host(std::string const& native, std::string const& relative) {
  return fs::path(native) / fs::path(relative).make_preferred();
}

void MakeWritable(fs::path const& directory) {
  std::error_code ignored;
  fs::permissions(directory, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (fs::directory_iterator it(directory, ignored), end; !ignored && it != end; it.increment(ignored))
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      MakeWritable(it->path());
}

} // namespace

TempDir::TempDir(std::string const& tag) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = base / (tag + "-" + std::to_string(random() % 100000000));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      m_Native = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory under " + base.string());
}

TempDir::~TempDir() { RemoveTree(m_Native); }

std::string TempDir::Child(std::string const& relative) const { return Host(m_Native, relative).string(); }

void TempDir::MakeDirs(std::string const& relative) const { fs::create_directories(Host(m_Native, relative)); }

void TempDir::WriteFile(std::string const& relative, std::string const& content) const {
  std::ofstream out(Host(m_Native, relative), std::ios::binary | std::ios::trunc);
  out << content;
  if (!out)
    throw std::runtime_error("cannot write " + Child(relative));
}

std::string TempDir::ReadFile(std::string const& relative) const {
  std::ifstream in(Host(m_Native, relative), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempDir::Exists(std::string const& relative) const {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(Host(m_Native, relative), ignored));
}

void TempDir::SetReadOnly(std::string const& relative, bool readOnly) const {
  fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(Host(m_Native, relative), readOnly ? write : fs::perms::owner_write,
                  readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

void RemoveTree(std::string const& native) noexcept {
  if (native.empty())
    return;
  try {
    MakeWritable(native);
    std::error_code ignored;
    fs::remove_all(native, ignored);
  } catch (...) {
  }
}

} // namespace ZEBTest
