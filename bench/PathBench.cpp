// Canonicalising paths: PathT's Initialize beside the standard library's
// lexically_normal on the same one million varied inputs (with '/' as the
// separator for the latter, the only one it knows on every host).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ZEBFile/Path.h"

namespace {

constexpr std::size_t INPUT_COUNT = 1000000;

// Drive, UNC, rooted and relative paths of 2 to 9 components, with dot and
// parent components, doubled and mixed separators and trailing dots.
std::vector<std::string> const& Inputs() {
  static std::vector<std::string> const inputs = [] {
    static char const* const ROOTS[] = {"C:\\", "d:/", "\\\\server\\share\\", "\\", "", "C:", "file:///E:/"};
    static char const* const PARTS[] = {"Program Files", "windows", "system32", "a", "doc.txt", ".", "..",
                                        "dir.",          "x.tar.gz", "Users",   "data", "name..", "tmp"};
    static char const* const SEPARATORS[] = {"\\", "\\", "\\", "/", "\\\\"};
    std::mt19937 random(42);
    std::vector<std::string> result;
    result.reserve(INPUT_COUNT);
    for (std::size_t i = 0; i < INPUT_COUNT; ++i) {
      std::string path = ROOTS[random() % std::size(ROOTS)];
      for (unsigned n = 2 + random() % 8; n > 0; --n) {
        path += PARTS[random() % std::size(PARTS)];
        if (n > 1)
          path += SEPARATORS[random() % std::size(SEPARATORS)];
      }
      result.push_back(std::move(path));
    }
    return result;
  }();
  return inputs;
}

std::vector<std::string> const& SlashInputs() {
  static std::vector<std::string> const inputs = [] {
    std::vector<std::string> result = Inputs();
    for (std::string& path : result)
      std::replace(path.begin(), path.end(), '\\', '/');
    return result;
  }();
  return inputs;
}

void PathInitialize(benchmark::State& state) {
  std::vector<std::string> const& inputs = Inputs();
  for (auto _ : state)
    for (std::string const& input : inputs) {
      ZEBFile::PathT<char> path(input);
      benchmark::DoNotOptimize(path.FullPath().data());
    }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(inputs.size()));
}

void LexicallyNormal(benchmark::State& state) {
  std::vector<std::string> const& inputs = SlashInputs();
  for (auto _ : state)
    for (std::string const& input : inputs) {
      std::filesystem::path path = std::filesystem::path(input).lexically_normal();
      benchmark::DoNotOptimize(path.native().data());
    }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(inputs.size()));
}

} // namespace

BENCHMARK(PathInitialize)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(LexicallyNormal)->Unit(benchmark::kMillisecond)->MinTime(2.0);
