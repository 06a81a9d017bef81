// What several benchmarks share: the documents of tests/data, the directory
// for scratch files, and the line feeds of a text counted with memchr.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ZEBBench {

// The directory the environment variable `variable` names, else the source
// tree's tests/data.
inline std::filesystem::path DataDirectory(char const* variable) {
  char const* dir = std::getenv(variable);
  return dir ? dir : ZEB_TEST_DATA;
}

// The documents of a directory: its regular files but the notes (*.md),
// sorted; none when it cannot be listed.
inline std::vector<std::filesystem::path> DataFiles(std::filesystem::path const& directory) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (auto const& entry : std::filesystem::directory_iterator(directory, error))
    if (entry.is_regular_file() && entry.path().extension() != ".md")
      files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

inline std::string FileBytes(std::filesystem::path const& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The directory of scratch files: ZEB_BENCH_DIR, else the system's temporary
// directory.
inline std::string Directory() {
  char const* text = std::getenv("ZEB_BENCH_DIR");
  return text ? std::string(text) : std::filesystem::temp_directory_path().string();
}

// The line feeds in [at, end), found with memchr.
inline uint64_t CountLineFeeds(char const* at, char const* end) {
  uint64_t hits = 0;
  while (auto const* hit = static_cast<char const*>(std::memchr(at, '\n', end - at))) {
    ++hits;
    at = hit + 1;
  }
  return hits;
}

} // namespace ZEBBench
