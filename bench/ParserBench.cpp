// Scanning 64 MiB with the parser beside the C library and std::string_view
// on the same bytes: a line feed once every 4 KiB (FetchTo, no keyword) and
// the delimiter "-->" once every 4 KiB (FetchBeyond), in text where '-'
// also occurs on its own. Compare the bytes per second of each family.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <string_view>

#include "BenchSupport.h"
#include "ZEBFile/BinaryStreamParser.h"
#include "ZEBFile/MemoryBuffer.h"

namespace {

constexpr uint32_t TOTAL = 64u << 20;
constexpr uint32_t STRIDE = 4096;
constexpr uint32_t DELIMITER_AT = 2000; // offset of "-->" inside each 4 KiB
char const DELIMITER[] = "-->";

std::string const& Text() {
  static std::string text = [] {
    std::string t(TOTAL, ' ');
    uint32_t state = 12345;
    for (uint32_t i = 0; i < TOTAL; ++i) {
      state = state * 1103515245u + 12345u;
      uint32_t r = state >> 16;
      t[i] = r % 97 == 0 ? '-' : static_cast<char>('a' + r % 26);
    }
    for (uint32_t at = 0; at + STRIDE <= TOTAL; at += STRIDE) {
      t[at + STRIDE - 1] = '\n';
      std::memcpy(&t[at + DELIMITER_AT], DELIMITER, 3);
    }
    return t;
  }();
  return text;
}

ZEBFile::MemoryBuffer& Source() {
  static ZEBFile::MemoryBuffer buffer(Text().data(), TOTAL, 1u << 20);
  return buffer;
}

void Finish(benchmark::State& state, uint64_t hits) {
  if (hits != TOTAL / STRIDE)
    state.SkipWithError("wrong number of hits");
  state.SetBytesProcessed(int64_t(state.iterations()) * TOTAL);
}

void BM_Byte_Memchr(benchmark::State& state) {
  std::string const& text = Text();
  uint64_t hits = 0;
  for (auto _ : state) {
    hits = ZEBBench::CountLineFeeds(text.data(), text.data() + text.size());
    benchmark::DoNotOptimize(hits);
  }
  Finish(state, hits);
}
BENCHMARK(BM_Byte_Memchr)->Unit(benchmark::kMillisecond);

void BM_Byte_StringViewFind(benchmark::State& state) {
  std::string_view text = Text();
  uint64_t hits = 0;
  for (auto _ : state) {
    hits = 0;
    for (std::size_t at = text.find('\n'); at != text.npos; at = text.find('\n', at + 1))
      ++hits;
    benchmark::DoNotOptimize(hits);
  }
  Finish(state, hits);
}
BENCHMARK(BM_Byte_StringViewFind)->Unit(benchmark::kMillisecond);

void BM_Byte_ParserFetchTo(benchmark::State& state) {
  ZEBFile::BinaryStreamParser parser(Source(), state.range(0) != 0);
  uint64_t hits = 0;
  for (auto _ : state) {
    parser.Reset();
    hits = 0;
    while (parser.FetchTo('\n', false)) {
      ++hits;
      parser.Fetch(1, false, false);
    }
    benchmark::DoNotOptimize(hits);
  }
  Finish(state, hits);
}
BENCHMARK(BM_Byte_ParserFetchTo)->ArgName("caseSensitive")->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Delimiter_MemchrMemcmp(benchmark::State& state) {
  std::string const& text = Text();
  uint64_t hits = 0;
  for (auto _ : state) {
    hits = 0;
    char const* at = text.data();
    char const* end = at + text.size();
    while (auto const* hit = static_cast<char const*>(std::memchr(at, '-', end - at))) {
      if (end - hit >= 3 && std::memcmp(hit, DELIMITER, 3) == 0) {
        ++hits;
        at = hit + 3;
      } else {
        at = hit + 1;
      }
    }
    benchmark::DoNotOptimize(hits);
  }
  Finish(state, hits);
}
BENCHMARK(BM_Delimiter_MemchrMemcmp)->Unit(benchmark::kMillisecond);

void BM_Delimiter_StringViewFind(benchmark::State& state) {
  std::string_view text = Text();
  uint64_t hits = 0;
  for (auto _ : state) {
    hits = 0;
    for (std::size_t at = text.find(DELIMITER); at != text.npos; at = text.find(DELIMITER, at + 3))
      ++hits;
    benchmark::DoNotOptimize(hits);
  }
  Finish(state, hits);
}
BENCHMARK(BM_Delimiter_StringViewFind)->Unit(benchmark::kMillisecond);

// Case-insensitive too: the first byte '-' is no letter, so the same search.
void BM_Delimiter_ParserFetchBeyond(benchmark::State& state) {
  ZEBFile::BinaryStreamParser parser(Source(), state.range(0) != 0);
  std::string const delimiter = DELIMITER;
  uint64_t hits = 0;
  for (auto _ : state) {
    parser.Reset();
    hits = 0;
    while (parser.FetchBeyond(delimiter, false))
      ++hits;
    benchmark::DoNotOptimize(hits);
  }
  Finish(state, hits);
}
BENCHMARK(BM_Delimiter_ParserFetchBeyond)->ArgName("caseSensitive")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace
