// Writing then reading back a large stream (512 MiB by default) in 64 KiB
// pieces through a disk buffer with a 262144-byte window, beside the same
// bytes written and read with the file class directly. The comparison run
// reports both throughputs and their ratio (disk buffer / file class).
//
//   ZEB_BENCH_MIB  size of the stream in MiB (default 512)
//   ZEB_BENCH_DIR  directory of the files (default: the system's temporary
//                  directory; pick one on a local disk, not a RAM disk)
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ZEBFile/CFile.h"
#include "ZEBFile/DiskBuffer.h"

namespace {

using ZEBBench::Directory;

constexpr uint32_t PIECE = 64u << 10;
constexpr uint32_t CHUNK = 32768;
constexpr uint32_t WINDOW = 262144;

uint32_t TotalBytes() {
  char const* text = std::getenv("ZEB_BENCH_MIB");
  long mib = text ? std::atol(text) : 512;
  if (mib < 1)
    mib = 1;
  if (mib > 4095)
    mib = 4095;
  return uint32_t(mib) << 20;
}

std::vector<unsigned char> const& Piece() {
  static std::vector<unsigned char> bytes = [] {
    std::vector<unsigned char> v(PIECE);
    for (uint32_t i = 0; i < PIECE; ++i)
      v[i] = static_cast<unsigned char>(i * 2654435761u >> 24);
    return v;
  }();
  return bytes;
}

void ThroughFileClass(uint32_t total) {
  std::vector<unsigned char> out(PIECE);
  ZEBFile::CFileT<unsigned> file(Directory() + "/zeb-bench-file.bin", ZEBFile::CFileT<unsigned>::HINT_DELETE_ON_CLOSE);
  file.Open(ZEBFile::CFileT<unsigned>::CREATE);
  for (uint32_t at = 0; at < total; at += PIECE)
    file.Write(Piece().data(), 1, PIECE);
  file.Seek(0, ZEBFile::CFileT<unsigned>::FROM_BEGIN, ZEBFile::CFileT<unsigned>::FORWARD);
  for (uint32_t at = 0; at < total; at += PIECE) {
    file.Read(out.data(), 1, PIECE, true);
    benchmark::DoNotOptimize(out.data());
  }
  file.Delete();
}

void ThroughDiskBuffer(uint32_t total) {
  std::vector<unsigned char> out(PIECE);
  ZEBFile::DiskBuffer buffer(Directory(), CHUNK, WINDOW);
  for (uint32_t at = 0; at < total; at += PIECE)
    buffer.PutAll(Piece().data(), PIECE);
  buffer.SeekG(0);
  for (uint32_t at = 0; at < total; at += PIECE) {
    buffer.GetAll(out.data(), PIECE);
    benchmark::DoNotOptimize(out.data());
  }
}

// Bytes moved count once written and once read.
void BM_FileClassWriteRead(benchmark::State& state) {
  uint32_t total = TotalBytes();
  for (auto _ : state)
    ThroughFileClass(total);
  state.SetBytesProcessed(int64_t(state.iterations()) * total * 2);
}
BENCHMARK(BM_FileClassWriteRead)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_DiskBufferWriteRead(benchmark::State& state) {
  uint32_t total = TotalBytes();
  for (auto _ : state)
    ThroughDiskBuffer(total);
  state.SetBytesProcessed(int64_t(state.iterations()) * total * 2);
}
BENCHMARK(BM_DiskBufferWriteRead)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// Both ways in each iteration, alternating, so that both see the same state
// of the disk and the page cache.
void BM_DiskBufferVersusFileClass(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  uint32_t total = TotalBytes();
  double fileSeconds = 0, bufferSeconds = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    ThroughFileClass(total);
    auto t1 = Clock::now();
    ThroughDiskBuffer(total);
    auto t2 = Clock::now();
    fileSeconds += std::chrono::duration<double>(t1 - t0).count();
    bufferSeconds += std::chrono::duration<double>(t2 - t1).count();
  }
  double mib = double(total) * 2 * double(state.iterations()) / (1 << 20);
  state.counters["file_MiBps"] = mib / fileSeconds;
  state.counters["diskbuffer_MiBps"] = mib / bufferSeconds;
  state.counters["ratio"] = fileSeconds / bufferSeconds;
}
BENCHMARK(BM_DiskBufferVersusFileClass)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
