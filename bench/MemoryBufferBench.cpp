// Moving 64 MiB through a memory buffer in 64 KiB pieces (Put, then Get)
// beside memcpy moving the same bytes the same way: into a staging area and
// out again, piece by piece.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "ZEBFile/MemoryBuffer.h"

namespace {

constexpr uint32_t TOTAL = 64u << 20;
constexpr uint32_t PIECE = 64u << 10;

std::vector<unsigned char> const& Source() {
  static std::vector<unsigned char> bytes = [] {
    std::vector<unsigned char> v(TOTAL);
    for (uint32_t i = 0; i < TOTAL; ++i)
      v[i] = static_cast<unsigned char>(i * 2654435761u >> 24);
    return v;
  }();
  return bytes;
}

void BM_MemcpyInAndOut(benchmark::State& state) {
  auto const& source = Source();
  std::vector<unsigned char> staging(TOTAL), out(PIECE);
  for (auto _ : state) {
    for (uint32_t at = 0; at < TOTAL; at += PIECE)
      std::memcpy(staging.data() + at, source.data() + at, PIECE);
    for (uint32_t at = 0; at < TOTAL; at += PIECE) {
      std::memcpy(out.data(), staging.data() + at, PIECE);
      benchmark::DoNotOptimize(out.data());
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * TOTAL);
}
BENCHMARK(BM_MemcpyInAndOut)->Unit(benchmark::kMillisecond);

// A fresh buffer each round: chunk allocation is part of the cost.
void BM_MemoryBufferPutGet(benchmark::State& state) {
  auto const& source = Source();
  std::vector<unsigned char> out(PIECE);
  for (auto _ : state) {
    ZEBFile::MemoryBuffer buffer(static_cast<uint32_t>(state.range(0)));
    for (uint32_t at = 0; at < TOTAL; at += PIECE)
      buffer.Put(source.data() + at, PIECE);
    while (buffer.Get(out.data(), PIECE) == PIECE)
      benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * TOTAL);
}
BENCHMARK(BM_MemoryBufferPutGet)->Arg(1024)->Arg(65536)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// The same buffer reused after Clear: the chunks stay allocated.
void BM_MemoryBufferPutGetReused(benchmark::State& state) {
  auto const& source = Source();
  std::vector<unsigned char> out(PIECE);
  ZEBFile::MemoryBuffer buffer(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) {
    buffer.Clear();
    for (uint32_t at = 0; at < TOTAL; at += PIECE)
      buffer.Put(source.data() + at, PIECE);
    while (buffer.Get(out.data(), PIECE) == PIECE)
      benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * TOTAL);
}
BENCHMARK(BM_MemoryBufferPutGetReused)->Arg(1024)->Arg(65536)->Unit(benchmark::kMillisecond);

} // namespace
