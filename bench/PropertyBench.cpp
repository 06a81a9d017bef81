// The merged properties of every compound file in tests/data, read from
// memory: the storage opened, walked and its property sets decoded, 1000
// times over the whole set. Reports documents per second (wall clock)
// overall and, per document, its own rate.
//
//   ZEB_BENCH_DATA  directory of the documents (default: the source tree's
//                   tests/data)
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/PropertyStorage.h"
#include "ZEBFile/Storage.h"

namespace {

// A document is loaded once into its own buffer, which every run reads
// again from the start.
struct Document {
  std::string name;
  std::unique_ptr<ZEBFile::MemoryBuffer> file;
};

std::vector<Document> const& Documents() {
  static std::vector<Document> const documents = [] {
    std::vector<Document> found;
    for (auto const& path : ZEBBench::DataFiles(ZEBBench::DataDirectory("ZEB_BENCH_DATA"))) {
      std::string bytes = ZEBBench::FileBytes(path);
      found.push_back({path.filename().string(),
                       std::make_unique<ZEBFile::MemoryBuffer>(bytes.data(), static_cast<uint32_t>(bytes.size()))});
    }
    return found;
  }();
  return documents;
}

std::size_t MergedProperties(ZEBFile::MemoryBuffer& file) {
  file.SeekG(0);
  ZEBFile::OLE::Storage storage(std::string(), file);
  ZEBFile::OLE::PropertyStorage::MergedMap all;
  storage.Properties(all);
  return all.size();
}

void AllDocuments(benchmark::State& state) {
  auto const& documents = Documents();
  if (documents.empty())
    state.SkipWithError("no documents in ZEB_BENCH_DATA");
  for (auto _ : state)
    for (Document const& document : documents)
      benchmark::DoNotOptimize(MergedProperties(*document.file));
  state.counters["documents/s"] =
      benchmark::Counter(double(state.iterations()) * double(documents.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(AllDocuments)->Iterations(1000)->UseRealTime()->Unit(benchmark::kMillisecond);

void OneDocument(benchmark::State& state) {
  Document const& document = Documents()[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(document.name);
  for (auto _ : state)
    benchmark::DoNotOptimize(MergedProperties(*document.file));
  state.counters["documents/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

int const registered = [] {
  for (std::size_t i = 0; i < Documents().size(); ++i)
    benchmark::RegisterBenchmark("OneDocument", OneDocument)
        ->Arg(int64_t(i))
        ->Iterations(1000)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
  return 0;
}();

} // namespace
