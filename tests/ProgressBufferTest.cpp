// The progress buffers: the fraction written, reported every chunk, and the
// position where a read begins.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/ProgressBuffer.h"

using namespace ZEBFile;
using Sink = ZEB::SmartPtr<ZEB::LogEntryCallInterface>;

namespace {

struct Recorder : ZEB::LogEntryCallInterface {
  void ReportProgress(double fractionDone) override { reports.push_back(fractionDone); }
  std::vector<double> reports;
};

} // namespace

// Writes of `count` bytes, alternately Put and PutAll: the reports.
TEST(OProgressBuffer, ReportsTheFractionWrittenEveryChunk) {
  struct Row { uint32_t total, maxReports, writes, count; std::vector<double> firstReports; std::size_t reportCount; };
  Row const rows[] = {
      {1000000, 100, 1000, 1000, {0.01, 0.02, 0.03}, 100}, // the tenth write first, 1.0 at the thousandth
      {10000, 100, 6, 3000, {0.6, 1.0, 1.0}, 3},           // floor 4096: after 6000, 12000 and 18000 bytes
      {0, 100, 3, 5000, {1.0, 1.0, 1.0}, 3},               // no total: done at once
      {5000, 0, 4, 5000, {1.0, 1.0, 1.0, 1.0}, 4},         // a maximum of 0 is 100; beyond the total, 1.0
  };
  std::string const bytes(5000, 'b');
  for (Row const& r : rows) {
    SCOPED_TRACE(std::to_string(r.total) + " bytes, writes of " + std::to_string(r.count));
    MemoryBuffer inner;
    auto* recorder = new Recorder;
    OProgressBuffer o(inner, Sink(recorder), r.total, r.maxReports);
    for (uint32_t i = 0; i < r.writes; ++i)
      EXPECT_EQ(i % 2 ? o.PutAll(bytes.data(), r.count) : o.Put(bytes.data(), r.count), r.count);
    EXPECT_EQ(inner.Size(), r.writes * r.count);
    ASSERT_EQ(recorder->reports.size(), r.reportCount);
    for (std::size_t i = 0; i < r.firstReports.size(); ++i)
      EXPECT_DOUBLE_EQ(recorder->reports[i], r.firstReports[i]);
    EXPECT_DOUBLE_EQ(recorder->reports.back(), 1.0);
  }
  MemoryBuffer inner; // without a sink nothing is reported
  EXPECT_EQ(OProgressBuffer(inner, Sink(), 1, 100).Put(bytes.data(), 5000), 5000u);
  EXPECT_EQ(inner.Size(), 5000u);
}

TEST(IProgressBuffer, ReportsThePositionWhereAReadBegins) {
  MemoryBuffer inner(std::string(1048576, 'r').data(), 1048576);
  auto* recorder = new Recorder;
  IProgressBuffer in(inner, Sink(recorder), 0, 100); // a total of 0: the wrapped buffer's size
  EXPECT_EQ(in.UpdateChunk(), 10485u);
  std::string piece(65536, '\0');
  in.GetAll(&piece[0], 65536);
  EXPECT_TRUE(recorder->reports.empty()) << "the first read begins at 0";
  for (int read = 2; read <= 18; ++read)
    EXPECT_EQ(in.Get(&piece[0], 65536), read <= 16 ? 65536u : 0u) << "read " << read;
  std::vector<double> expected; // 0.0625 at the second read ... 1.0 at the seventeenth, at the end
  for (int i = 1; i <= 16; ++i)
    expected.push_back(i / 16.0);
  EXPECT_EQ(recorder->reports, expected);

  // Never at or before the position last reported; copies are not counted.
  in.SeekG(0);
  for (int i = 0; i < 40; ++i)
    in.Get(&piece[0], 1000);
  std::string copied;
  EXPECT_EQ(in.Copy(copied, 2000000), 1048576u - 40000u);
  EXPECT_EQ(recorder->reports.size(), 16u);
}
