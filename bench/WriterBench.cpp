// The compound-file writer: a 256 MiB file of 1000 streams written to disk
// (in 64 KiB pieces, version 3 and 4), beside copying a file of that size
// with std::filesystem::copy_file and with a read-write loop of 1 MiB.
// Compare bytes per second (ZEB_BENCH_DIR picks the disk).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ZEBFile/StorageWriter.h"

namespace {

using ZEBFile::OLE::StorageWriter;
namespace fs = std::filesystem;

constexpr uint32_t STREAMS = 1000;
constexpr uint32_t STREAM_SIZE = (256u << 20) / STREAMS; // 256 MiB in all
constexpr uint32_t PIECE = 64u << 10;
constexpr uint64_t TOTAL = uint64_t(STREAMS) * STREAM_SIZE;

std::string Scratch(char const* name) { return (fs::path(ZEBBench::Directory()) / name).string(); }

void WriteCompoundFile(benchmark::State& state) {
  std::vector<char> piece(PIECE, 'x');
  std::string target = Scratch("zeb-writer-bench.cfb");
  for (auto _ : state) {
    StorageWriter writer(target, {unsigned(state.range(0)), false});
    for (uint32_t s = 0; s < STREAMS; ++s) {
      writer.BeginStream(StorageWriter::ROOT, u"stream" + std::u16string(1, char16_t(0x4E00 + s)));
      for (uint32_t at = 0; at < STREAM_SIZE; at += PIECE)
        writer.WriteStream(piece.data(), std::min(PIECE, STREAM_SIZE - at));
      writer.EndStream();
    }
    writer.Commit();
  }
  state.SetBytesProcessed(int64_t(state.iterations() * TOTAL));
  fs::remove(target);
}
BENCHMARK(WriteCompoundFile)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// The source of the copies: a file of the same size.
std::string WriteCopySource() {
  std::string name = Scratch("zeb-writer-bench.src");
  std::ofstream out(name, std::ios::binary);
  std::vector<char> block(1u << 20, 'y');
  for (uint64_t at = 0; at < TOTAL; at += block.size())
    out.write(block.data(), std::streamsize(std::min<uint64_t>(block.size(), TOTAL - at)));
  return name;
}

void CopyFile(benchmark::State& state) {
  std::string source = WriteCopySource(), target = Scratch("zeb-writer-bench.copy");
  for (auto _ : state) {
    if (state.range(0) == 0) {
      fs::copy_file(source, target, fs::copy_options::overwrite_existing);
      continue;
    }
    std::ifstream in(source, std::ios::binary);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    std::vector<char> block(1u << 20);
    while (in.read(block.data(), std::streamsize(block.size())) || in.gcount() > 0)
      out.write(block.data(), in.gcount());
  }
  state.SetBytesProcessed(int64_t(state.iterations() * TOTAL));
  fs::remove(target);
  fs::remove(source);
}
// 0: copy_file; 1: a read-write loop.
BENCHMARK(CopyFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
