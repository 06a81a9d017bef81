// The progress buffers: the update chunk and its floor, when an output and
// an input buffer report and what, a maximum of 0, copies that are not
// counted and the sink's lifetime.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/ProgressBuffer.h"

using namespace ZEBFile;
using Sink = ZEB::SmartPtr<ZEB::LogEntryCallInterface>;

namespace {

class Recorder : public ZEB::LogEntryCallInterface {
public:
  explicit Recorder(bool* destroyed = nullptr) : m_Destroyed(destroyed) {}
  ~Recorder() override {
    if (m_Destroyed)
      *m_Destroyed = true;
  }
  void ReportProgress(double fractionDone) override { reports.push_back(fractionDone); }
  std::vector<double> reports;

private:
  bool* m_Destroyed;
};

// Exposes the protected setter of the update chunk.
class Chunked : public OProgressBuffer {
public:
  using OProgressBuffer::OProgressBuffer;
  using OProgressBuffer::UpdateChunk;
};

} // namespace

TEST(ProgressBuffer, UpdateChunkIsTotalOverReportsWithAFloor) {
  MemoryBuffer inner(std::string(200000, 'x').data(), 200000);
  struct Row {
    uint32_t total, maxReports, chunk;
  } const rows[] = {
      {1000000, 100, 10000}, {10000, 100, 4096}, {1000000, 0, 10000}, {1000000, 10, 100000}, {0, 100, 4096},
  };
  for (Row const& r : rows) {
    SCOPED_TRACE(std::to_string(r.total) + " / " + std::to_string(r.maxReports));
    EXPECT_EQ(OProgressBuffer(inner, Sink(), r.total, r.maxReports).UpdateChunk(), r.chunk);
    // An input buffer with total 0 takes the wrapped buffer's size.
    uint32_t inputChunk = r.total ? r.chunk : 4096;
    EXPECT_EQ(IProgressBuffer(inner, Sink(), r.total, r.maxReports).UpdateChunk(), inputChunk);
  }
  EXPECT_EQ(IProgressBuffer(inner, Sink(), 0, 10).UpdateChunk(), 20000u) << "200000 / 10";
  Chunked o(inner, Sink(), 1000000);
  EXPECT_EQ(o.UpdateChunk(), 10000u) << "100 reports by default";
  o.UpdateChunk(100);
  EXPECT_EQ(o.UpdateChunk(), 4096u);
  o.UpdateChunk(5000);
  EXPECT_EQ(o.UpdateChunk(), 5000u);
}

TEST(OProgressBuffer, ReportsTheFractionWrittenEveryChunk) {
  struct Row {
    uint32_t total, maxReports, writes, count; // `writes` Puts of `count` bytes
    std::vector<double> firstReports;
    std::size_t reportCount;
    double last;
  } const rows[] = {
      {1000000, 100, 1000, 1000, {0.01, 0.02, 0.03}, 100, 1.0},
      {10000, 100, 6, 3000, {0.6, 1.0, 1.0}, 3, 1.0}, // floor 4096: after 6000, 12000 and 18000 bytes
      {0, 100, 3, 5000, {1.0, 1.0, 1.0}, 3, 1.0},  // no total: always done
      {5000, 0, 4, 5000, {1.0, 1.0}, 4, 1.0},      // maximum 0 taken as 100, beyond the total capped at 1
  };
  std::string const bytes(5000, 'b');
  for (Row const& r : rows) {
    SCOPED_TRACE(std::to_string(r.total) + " bytes, writes of " + std::to_string(r.count));
    MemoryBuffer inner;
    auto* recorder = new Recorder;
    Sink sink(recorder);
    OProgressBuffer o(inner, sink, r.total, r.maxReports);
    for (uint32_t i = 0; i < r.writes; ++i) {
      if (i % 2) {
        o.PutAll(bytes.data(), r.count);
      } else {
        EXPECT_EQ(o.Put(bytes.data(), r.count), r.count);
      }
      if (r.total == 1000000 && i == 8) {
        EXPECT_TRUE(recorder->reports.empty()) << "nothing before the tenth write";
      }
    }
    EXPECT_EQ(inner.Size(), r.writes * r.count);
    ASSERT_EQ(recorder->reports.size(), r.reportCount);
    for (std::size_t i = 0; i < r.firstReports.size(); ++i)
      EXPECT_DOUBLE_EQ(recorder->reports[i], r.firstReports[i]);
    EXPECT_DOUBLE_EQ(recorder->reports.back(), r.last);
  }
}

TEST(IProgressBuffer, ReportsThePositionWhereAReadBegins) {
  MemoryBuffer inner(std::string(1048576, 'r').data(), 1048576);
  auto* recorder = new Recorder;
  IProgressBuffer in(inner, Sink(recorder), 1048576, 100);
  EXPECT_EQ(in.UpdateChunk(), 10485u);
  std::string piece(65536, '\0');
  in.GetAll(&piece[0], 65536);
  EXPECT_TRUE(recorder->reports.empty()) << "the first read begins at 0";
  for (int read = 2; read <= 18; ++read)
    EXPECT_EQ(in.Get(&piece[0], 65536), read <= 16 ? 65536u : 0u) << "read " << read;
  std::vector<double> expected;
  for (int i = 1; i <= 16; ++i)
    expected.push_back(i / 16.0);
  EXPECT_EQ(recorder->reports, expected);

  // Back at the start, small reads: nothing until a chunk has been read,
  // and never at or before the position last reported.
  in.SeekG(0);
  std::size_t before = recorder->reports.size();
  for (int i = 0; i < 40; ++i)
    in.Get(&piece[0], 1000);
  EXPECT_EQ(recorder->reports.size(), before);
}

TEST(ProgressBuffer, CopiesAreForwardedUncountedAndTheSinkIsReleased) {
  bool destroyed = false;
  {
    MemoryBuffer inner(std::string(50000, 'c').data(), 50000);
    auto* recorder = new Recorder(&destroyed);
    Sink sink(recorder);
    IProgressBuffer in(inner, sink, 0, 100);
    OProgressBuffer out(inner, sink, 10, 100);
    sink = Sink();
    std::string copied;
    EXPECT_EQ(in.Copy(copied, 50000), 50000u);
    MemoryBuffer target;
    inner.SeekG(0);
    EXPECT_EQ(in.Copy(static_cast<ZEB::BaseBinaryStreamBuf&>(target), 50000), 50000u);
    EXPECT_EQ(target.Size(), 50000u);
    EXPECT_EQ(in.Size(), 50000u);
    EXPECT_TRUE(recorder->reports.empty());
    EXPECT_FALSE(destroyed) << "the progress buffers hold the sink";
  }
  EXPECT_TRUE(destroyed);

  MemoryBuffer inner;
  OProgressBuffer silent(inner, Sink(), 1, 100);
  EXPECT_EQ(silent.Put("12345", 5), 5u) << "no sink: nothing reported, nothing fails";
  EXPECT_EQ(inner.Size(), 5u);
}
