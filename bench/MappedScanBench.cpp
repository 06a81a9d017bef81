// A 256 MiB file (letters, a line feed once every 4 KiB) scanned with the
// parser's single-byte FetchTo, the file read three ways: mapped into memory
// (MemoryMapFile + StaticMemoryBuffer, which the parser reads in place),
// through the file class, and from a disk buffer holding its bytes. Beside
// them memchr over the mapped bytes, and the parser over a MemoryBuffer
// holding the same bytes (its blocks copied). Compare the bytes per second.
//
//   ZEB_BENCH_DIR  directory of the file (default: the system's temporary
//                  directory)
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ZEBFile/BinaryStreamParser.h"
#include "ZEBFile/CFile.h"
#include "ZEBFile/DiskBuffer.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/MemoryMapFile.h"
#include "ZEBFile/StaticMemoryBuffer.h"

namespace {

using ZEBBench::Directory;
using ZEBFile::BinaryStreamParser;
using File = ZEBFile::CFileT<unsigned>;

constexpr uint32_t TOTAL = 256u << 20;
constexpr uint32_t STRIDE = 4096;
constexpr uint32_t PIECE = 64u << 10;
constexpr uint32_t HEAD = 64u << 20;

// Written once per run, removed at exit.
struct ScanFile {
  std::string path = Directory() + "/zeb-mapped-scan.bin";
  ScanFile() {
    std::vector<char> piece(PIECE);
    uint32_t state = 12345;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (uint32_t at = 0; at < TOTAL; at += PIECE) {
      for (uint32_t i = 0; i < PIECE; ++i) {
        state = state * 1103515245u + 12345u;
        piece[i] = (i + 1) % STRIDE == 0 ? '\n' : static_cast<char>('a' + (state >> 16) % 26);
      }
      out.write(piece.data(), PIECE);
    }
  }
  ~ScanFile() { std::filesystem::remove(path); }
};

std::string const& Path() {
  static ScanFile file;
  return file.path;
}

// The file class as the parser's source: every block is one read of the file.
class FileSource : public ZEB::BinaryStreamBufT<unsigned> {
public:
  explicit FileSource(std::string const& path) : m_File(path, File::HINT_SEQUENTIAL) { m_File.Open(File::READ); }

protected:
  uint32_t vPut(void const*, uint32_t) override { return 0; }
  uint32_t vTellP() const override { return 0; }
  uint32_t vSeekP(uint32_t, Origin, Direction) override { return 0; }
  uint32_t vGet(void* destination, uint32_t count) override { return m_File.Read(destination, 1, count, false); }
  uint32_t vTellG() const override { return m_File.Tell(); }
  uint32_t vSeekG(uint32_t offset, Origin, Direction) override {
    m_File.Seek(offset, File::FROM_BEGIN, File::FORWARD);
    return m_File.Tell();
  }
  void vFlush() override {}
  void vClear() override {}
  void vClearMemory() override {}
  void vClearEnd() override {}
  uint32_t vSize() const override { return m_File.Size(); }
  bool vEndOfFile() const override { return m_File.EndOfFile(); }

private:
  File m_File;
};

void Finish(benchmark::State& state, uint64_t hits, uint32_t total = TOTAL) {
  if (hits != total / STRIDE)
    state.SkipWithError("wrong number of hits");
  state.SetBytesProcessed(int64_t(state.iterations()) * total);
}

uint64_t ScanWithParser(ZEB::BinaryStreamBufT<unsigned>& source) {
  BinaryStreamParser parser(source, true);
  uint64_t hits = 0;
  while (parser.FetchTo('\n', false)) {
    ++hits;
    parser.Fetch(1, false, false);
  }
  return hits;
}

// Every iteration scans `source` from its start with the parser.
void ParserScan(benchmark::State& state, ZEB::BinaryStreamBufT<unsigned>& source, uint32_t total = TOTAL) {
  uint64_t hits = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(hits = ScanWithParser(source));
  Finish(state, hits, total);
}

// Every iteration counts the line feeds of `size` bytes with memchr.
void MemchrScan(benchmark::State& state, char const* bytes, uint32_t size) {
  uint64_t hits = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(hits = ZEBBench::CountLineFeeds(bytes, bytes + size));
  Finish(state, hits, size);
}

// The whole file as one read-only view.
struct MappedFile {
  ZEBFile::MemoryMapFile file{Path()};
  void const* view;
  MappedFile() {
    file.Open(ZEBFile::MemoryMapFile::READ);
    view = file.GetView(0, static_cast<uint32_t>(file.Size()));
  }
};

void BM_Mapped_Memchr(benchmark::State& state) {
  MappedFile mapped;
  MemchrScan(state, static_cast<char const*>(mapped.view), TOTAL);
}
BENCHMARK(BM_Mapped_Memchr)->Unit(benchmark::kMillisecond);

void BM_Mapped_ParserFetchTo(benchmark::State& state) {
  MappedFile mapped;
  ZEBFile::StaticMemoryBuffer source(mapped.view, TOTAL);
  ParserScan(state, source);
}
BENCHMARK(BM_Mapped_ParserFetchTo)->Unit(benchmark::kMillisecond);

// Opening, mapping and unmapping counted too: the pages are touched afresh.
void BM_Mapped_OpenMapScanClose(benchmark::State& state) {
  uint64_t hits = 0;
  for (auto _ : state) {
    MappedFile mapped;
    ZEBFile::StaticMemoryBuffer source(mapped.view, TOTAL);
    benchmark::DoNotOptimize(hits = ScanWithParser(source));
  }
  Finish(state, hits);
}
BENCHMARK(BM_Mapped_OpenMapScanClose)->Unit(benchmark::kMillisecond);

void BM_FileClass_ParserFetchTo(benchmark::State& state) {
  uint64_t hits = 0;
  for (auto _ : state) {
    FileSource source(Path());
    benchmark::DoNotOptimize(hits = ScanWithParser(source));
  }
  Finish(state, hits);
}
BENCHMARK(BM_FileClass_ParserFetchTo)->Unit(benchmark::kMillisecond);

// The disk buffer is filled from the file once; each scan reads it back
// through its 256 KiB window.
void BM_DiskBuffer_ParserFetchTo(benchmark::State& state) {
  ZEBFile::DiskBuffer buffer(Directory(), 32768, 262144);
  {
    MappedFile mapped;
    auto const* bytes = static_cast<unsigned char const*>(mapped.view);
    for (uint32_t at = 0; at < TOTAL; at += PIECE)
      buffer.PutAll(bytes + at, PIECE);
  }
  ParserScan(state, buffer);
}
BENCHMARK(BM_DiskBuffer_ParserFetchTo)->Unit(benchmark::kMillisecond);

// The first 64 MiB of the file in the process's own memory, presented as
// fixed memory: the in-place read beside memchr on the same bytes, without
// the page faults and memory bandwidth of the whole mapped file.
std::vector<char> const& Head() {
  static std::vector<char> bytes = [] {
    std::vector<char> v(HEAD);
    std::ifstream(Path(), std::ios::binary).read(v.data(), HEAD);
    return v;
  }();
  return bytes;
}

void BM_Head_Memchr(benchmark::State& state) {
  MemchrScan(state, Head().data(), HEAD);
}
BENCHMARK(BM_Head_Memchr)->Unit(benchmark::kMillisecond);

void BM_Head_ParserFetchTo(benchmark::State& state) {
  ZEBFile::StaticMemoryBuffer source(static_cast<void const*>(Head().data()), HEAD);
  ParserScan(state, source, HEAD);
}
BENCHMARK(BM_Head_ParserFetchTo)->Unit(benchmark::kMillisecond);

// The same bytes in a MemoryBuffer: the parser copies every block.
void BM_MemoryBuffer_ParserFetchTo(benchmark::State& state) {
  MappedFile mapped;
  ZEBFile::MemoryBuffer buffer(mapped.view, TOTAL, 1u << 20);
  ParserScan(state, buffer);
}
BENCHMARK(BM_MemoryBuffer_ParserFetchTo)->Unit(benchmark::kMillisecond);

} // namespace
