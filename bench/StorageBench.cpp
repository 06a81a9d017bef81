// Compound files: every stream of a 256 MiB file (512-byte sectors, so the
// FAT needs DIFAT sectors) read from a memory buffer, beside memcpy of the
// same bytes into the same destination; open, list and read all of each file
// of tests/data, 1000 times; open a storage of 100 000 entries.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/Storage.h"
#include "ZEBFile/StorageWriter.h"

// The tests' storage walk.
#include "../tests/support/StorageWalk.h"

namespace {

using ZEBFile::MemoryBuffer;
using ZEBFile::OLE::Storage;
using ZEBFile::OLE::StorageWriter;

constexpr uint32_t STREAMS = 64;
constexpr uint32_t STREAM_SIZE = 4u << 20; // 64 x 4 MiB = 256 MiB
constexpr uint32_t CHUNK = 1u << 20;

// The 256 MiB file, written once, held in a memory buffer of 1 MiB chunks.
MemoryBuffer& LargeFile() {
  static std::unique_ptr<MemoryBuffer> file = [] {
    auto out = std::make_unique<MemoryBuffer>(CHUNK);
    StorageWriter writer(*out); // 512-byte sectors
    std::string data(STREAM_SIZE, '\0');
    for (uint32_t s = 0; s < STREAMS; ++s) {
      for (uint32_t i = 0; i < STREAM_SIZE; ++i)
        data[i] = char(i * 131 + s);
      writer.AddStream(0, u"stream" + std::u16string(1, char16_t(u'A' + s % 26)) + char16_t(u'0' + s / 26),
                       data.data(), STREAM_SIZE);
    }
    writer.Commit();
    return out;
  }();
  return *file;
}

void BM_ReadEveryStreamOf256MiB(benchmark::State& state) {
  MemoryBuffer& file = LargeFile();
  MemoryBuffer out(CHUNK);
  for (auto _ : state) {
    file.SeekG(0);
    Storage top("", file);
    for (auto const& item : top.Streams()) {
      out.Clear();
      top.ReadStream(item.id, out);
      if (out.Size() != STREAM_SIZE)
        state.SkipWithError("short stream");
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * STREAMS * STREAM_SIZE);
}
BENCHMARK(BM_ReadEveryStreamOf256MiB)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

// The same bytes, stream by stream, with memcpy into one reused destination.
void BM_MemcpyOf256MiB(benchmark::State& state) {
  std::vector<char> source(size_t(STREAMS) * STREAM_SIZE, 1), destination(STREAM_SIZE);
  for (auto _ : state) {
    for (uint32_t s = 0; s < STREAMS; ++s) {
      std::memcpy(destination.data(), source.data() + size_t(s) * STREAM_SIZE, STREAM_SIZE);
      benchmark::DoNotOptimize(destination.data());
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * STREAMS * STREAM_SIZE);
}
BENCHMARK(BM_MemcpyOf256MiB)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

// Open, list every storage and read every stream of one file of tests/data.
void BM_OpenListReadDataFile(benchmark::State& state, std::filesystem::path const& path) {
  std::string bytes = ZEBBench::FileBytes(path);
  MemoryBuffer file(bytes.data(), uint32_t(bytes.size()), 1u << 16);
  for (auto _ : state) {
    file.SeekG(0);
    ZEB::SmartPtr<Storage> top(new Storage("", file));
    uint64_t total = ZEBTest::WalkStorage(*top).bytes;
    benchmark::DoNotOptimize(total);
    state.counters["read"] = double(total);
  }
  state.counters["files/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

int const registered = [] {
  for (auto const& path : ZEBBench::DataFiles(ZEBBench::DataDirectory("ZEB_TEST_DATA")))
    benchmark::RegisterBenchmark(("BM_OpenListReadDataFile/" + path.filename().string()).c_str(),
                                 BM_OpenListReadDataFile, path)
        ->Iterations(1000)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
  return 0;
}();

// A root with 100 000 children (a red-black sibling tree of empty streams).
void BM_OpenStorageOf100000Entries(benchmark::State& state) {
  static std::unique_ptr<MemoryBuffer> file = [] {
    auto out = std::make_unique<MemoryBuffer>(1u << 16);
    StorageWriter writer(*out);
    for (uint32_t i = 0; i < 100000; ++i) // unique names: A to Z, then a CJK character
      writer.AddStream(0, u"entry" + std::u16string{char16_t(u'A' + i % 26), char16_t(0x4E00 + i / 26)}, nullptr, 0);
    writer.Commit();
    return out;
  }();
  for (auto _ : state) {
    file->SeekG(0);
    Storage top("", *file);
    if (top.Streams().size() != 100000)
      state.SkipWithError("not every entry listed");
  }
}
BENCHMARK(BM_OpenStorageOf100000Entries)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
