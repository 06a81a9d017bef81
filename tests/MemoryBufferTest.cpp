// The buffers over memory: the chunked buffer (against a model, and when its
// chunks come and go), the fixed-memory buffer and the window over an inner
// buffer, the memory-mapped file, and the progress buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/MemoryMapFile.h"
#include "ZEBFile/ProgressBuffer.h"
#include "ZEBFile/StaticMemoryBuffer.h"
#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPlatform/Win32.h"
#include "support/BufferWalk.h"
#include "support/TempDir.h"
#include "support/Thrown.h"

using namespace ZEBFile;
using Buf = ZEB::BinaryStreamBufT<unsigned>;
using Map = MemoryMapFile;
using Sink = ZEB::SmartPtr<ZEB::LogEntryCallInterface>;
using ZEBTest::Catch;
using ZEBTest::Content;
using ZEBTest::Pattern;
using ZEBTest::Raised;

namespace {

std::string const TEN = "0123456789";

// A seek on a side of a 10-byte buffer standing at 4: the position reached,
// or -1 for SeekOutOfRangeException (the position then stays at 4).
struct SeekRow { Buf::Origin origin; Buf::Direction direction; uint32_t offset; int64_t expected; };

Buf::Origin const UNKNOWN_ORIGIN = static_cast<Buf::Origin>(9);

SeekRow const SEEKS[] = {
    {Buf::BEGIN, Buf::FORWARD, 10, 10},       {Buf::BEGIN, Buf::FORWARD, 11, -1},
    {Buf::BEGIN, Buf::BACKWARD, 0, -1},       {Buf::BEGIN, static_cast<Buf::Direction>(5), 3, 3},
    {Buf::END, Buf::FORWARD, 0, 10},          {Buf::END, Buf::FORWARD, 1, -1},
    {Buf::END, Buf::FORWARD, 0xFFFFFFFF, -1}, {Buf::END, Buf::BACKWARD, 10, 0},
    {Buf::END, Buf::BACKWARD, 11, -1},        {Buf::CURRENT, Buf::FORWARD, 6, 10},
    {Buf::CURRENT, Buf::FORWARD, 7, -1},      {Buf::CURRENT, Buf::BACKWARD, 4, 0},
    {Buf::CURRENT, Buf::BACKWARD, 5, -1},     {UNKNOWN_ORIGIN, Buf::FORWARD, 7, 0 /* given per buffer */},
};

// Every row on both sides of `b` from position 4; an unknown origin gives
// `unknownOrigin`.
void CheckSeeks(Buf& b, int64_t unknownOrigin) {
  for (bool put : {false, true}) {
    for (SeekRow r : SEEKS) {
      SCOPED_TRACE((put ? "put " : "get ") + std::to_string(r.origin) + " " + std::to_string(r.direction) + " " +
                   std::to_string(r.offset));
      r.expected = r.origin == UNKNOWN_ORIGIN ? unknownOrigin : r.expected;
      put ? b.SeekP(4) : b.SeekG(4);
      auto seek = [&] {
        return put ? b.SeekP(r.offset, r.origin, r.direction) : b.SeekG(r.offset, r.origin, r.direction);
      };
      if (r.expected < 0) {
        EXPECT_THROW(seek(), SeekOutOfRangeException);
      } else {
        EXPECT_EQ(seek(), uint32_t(r.expected));
      }
      EXPECT_EQ(put ? b.TellP() : b.TellG(), uint32_t(r.expected < 0 ? 4 : r.expected));
    }
  }
}

struct Recorder : ZEB::LogEntryCallInterface {
  void ReportProgress(double fractionDone) override { reports.push_back(fractionDone); }
  std::vector<double> reports;
};

constexpr uint64_t G = 65536;

enum Kind { MISSING, EMPTY, SMALL, LARGE };

std::string ContentOf(Kind kind) { return Pattern(kind == SMALL ? 100 : kind == LARGE ? 3 * G + 5 : 0); }

std::string Bytes(void const* at, uint64_t n) { return std::string(static_cast<char const*>(at), n); }

class MemoryMapFileTest : public ::testing::Test {
protected:
  ZEBTest::TempDir dir{"mmap"};
  std::string const path = dir.Child("file.bin");
  std::string Make(Kind kind) {
    std::filesystem::remove(path);
    if (kind != MISSING)
      dir.WriteFile("file.bin", ContentOf(kind));
    return path;
  }
  // `action` throws `type` with message `id` naming the file, and `error`.
  template <class Action>
  ::testing::AssertionResult Refused(Action&& action, std::type_info const& type, int id, unsigned error) {
    return Raised(Catch(action), type, id, {path}, error);
  }
  ::testing::AssertionResult ViewRefused(Map& map, uint64_t offset, uint32_t size, unsigned error) {
    return Refused([&] { map.GetView(offset, size); }, typeid(FileException), ZEBFileMsg::CANNOT_GET_VIEW, error);
  }
};

} // namespace

TEST(MemoryBuffer, ChunksComeOnDemandAndGoWithClearEndAndClearMemory) {
  EXPECT_EQ(MemoryBuffer(0).ChunkSize(), 1024u);
  MemoryBuffer buffer(1000);
  std::string data = Pattern(2500);
  buffer.PutAll(data.data(), 2500);
  EXPECT_EQ(buffer.Capacity(), 3000u);
  buffer.Clear();
  buffer.PutAll(data.data(), 2500);
  EXPECT_EQ(buffer.Capacity(), 3000u) << "Clear keeps the chunks";
  buffer.SeekG(2000);
  buffer.SeekP(1001);
  buffer.ClearEnd();
  EXPECT_EQ(buffer.Capacity(), 2000u) << "the partly used last chunk stays";
  EXPECT_EQ(buffer.TellG(), 1001u);
  EXPECT_EQ(Content(buffer), data.substr(0, 1001));
  buffer.ClearMemory();
  EXPECT_EQ(buffer.Capacity(), 0u);
  buffer.SetFromBuffer("new", 3);
  EXPECT_EQ(Content(buffer), "new");
  buffer.SetFromBuffer(nullptr, 5);
  EXPECT_EQ(buffer.Size() + buffer.Capacity(), 0u);
}

TEST(MemoryBuffer, FailedChunkAllocationThrowsAndWritesNothingThroughIt) {
  MemoryBuffer buffer(8);
  buffer.PutAll("12345678", 8);
  ZEBMem::MemoryPool::FailAfter(0);
  EXPECT_THROW(buffer.Put("abcdefgh", 8), std::bad_alloc);
  buffer.SeekP(2);
  EXPECT_THROW(buffer.SeekP(100), std::bad_alloc);
  ZEBMem::MemoryPool::FailAfter(-1);
  EXPECT_EQ(buffer.TellP(), 2u) << "a put seek that cannot extend the data keeps the position";
  EXPECT_EQ(buffer.Capacity(), 8u);
  buffer.SeekP(8);
  buffer.PutAll("9", 1);
  EXPECT_EQ(Content(buffer), "123456789");
}

TEST(MemoryBuffer, RandomWalksMatchAModel) {
  for (uint32_t chunk : {1u, 3u, 64u, 1024u}) {
    SCOPED_TRACE("chunk size " + std::to_string(chunk));
    MemoryBuffer buffer(chunk);
    ZEBTest::BufferWalk walk(buffer, chunk, chunk, true);
    ASSERT_TRUE(walk.Run(2000, [&] { return buffer.Capacity() >= buffer.Size(); }));
  }
}

// A read-only buffer reads and copies in place; a writable one cuts writes at
// its end, keeping what fits.
TEST(StaticMemoryBuffer, ReadsCopiesAndWritesCutAtTheEnd) {
  StaticMemoryBuffer b(static_cast<void const*>(TEN.data()), 10);
  char got[4];
  EXPECT_EQ(b.Get(got, 4), 4u);
  std::string narrow(got, 4);
  EXPECT_EQ(b.Copy(narrow, 3), 3u);
  EXPECT_EQ(narrow, "0123456");
  ZEB::WString wide;
  EXPECT_EQ(b.Copy(wide, 6), 3u) << "an odd last byte is consumed, not converted";
  EXPECT_EQ(wide, (ZEB::WString{u'7' | u'8' << 8}));
  char block[8] = {};
  StaticMemoryBuffer writable(block, 8);
  b.SeekG(0);
  EXPECT_THROW(b.Copy(static_cast<ZEB::BaseBinaryStreamBuf&>(writable), 10), ZEB::BinaryStreamPutEOFException);
  EXPECT_EQ(b.TellG(), 0u) << "bytes that do not fit are not reported as copied";
  writable.SeekP(2);
  EXPECT_THROW(writable.PutAll("abcdefghij", 10), ZEB::BinaryStreamPutEOFException);
  EXPECT_EQ(std::string(block, 8), "01abcdef");
  EXPECT_EQ(writable.TellP(), 8u);
}

// The rows of a 10-byte buffer hold for a 10-byte window at 50 of a larger
// buffer, positions counted from the window's start; there an unknown origin
// (absolute position 0) throws. Reads stop at the window's end, writes do not.
TEST(StaticMemoryBuffer, SeeksOfBothSidesAndInsideAWindow) {
  char block[10] = {};
  StaticMemoryBuffer b(block, 10);
  CheckSeeks(b, 0);
  std::string bytes = Pattern(100);
  MemoryBuffer inner(bytes.data(), 100);
  SubBinaryStreamBuf window(50, 60, inner);
  CheckSeeks(window, -1);
  EXPECT_EQ(inner.TellG(), 54u);
  std::string got(50, '\0');
  EXPECT_EQ(window.Get(&got[0], 50), 6u);
  EXPECT_EQ(got.substr(0, 6), bytes.substr(54, 6));
  EXPECT_TRUE(window.EndOfFile());
  window.SeekG(8);
  std::string copied;
  EXPECT_EQ(window.Copy(copied, 50), 2u);
  EXPECT_EQ(copied, bytes.substr(58, 2));
  window.SeekP(9);
  EXPECT_EQ(window.Put("XYZ", 3), 3u);
  EXPECT_EQ(inner.TellP(), 62u) << "written past the window's end";
}

// A read-only buffer is never written through; what the buffers do not
// support throws.
TEST(StaticMemoryBuffer, UnsupportedOperationsThrowStandardExceptions) {
  MemoryBuffer inner(TEN.data(), 10);
  StaticMemoryBuffer fixed(static_cast<void const*>(TEN.data()), 10);
  SubBinaryStreamBuf window(2, 8, inner);
  std::pair<char const*, std::function<void()>> const rows[] = {
      {"StaticMemoryBuffer::Put: Buffer is const!", [&] { fixed.Put("x", 1); }},
      {"StaticMemoryBuffer::SeekP: Buffer is const!", [&] { fixed.SeekP(0); }},
      {"StaticMemoryBuffer::Clear: Not implemented!", [&] { fixed.ClearMemory(); }},
      {"SubBinaryStreamBuf::ClearEnd: Not implemented!", [&] { window.ClearEnd(); }},
  };
  for (auto const& [text, action] : rows)
    try {
      action();
      ADD_FAILURE() << text << ": nothing thrown";
    } catch (std::logic_error const& e) {
      EXPECT_STREQ(e.what(), text);
    }
  EXPECT_EQ(TEN, "0123456789");
}

// READ maps the file's own size (an empty file: no view); the writing modes
// map at least one granularity, growing the file; CREATE empties it.
TEST_F(MemoryMapFileTest, OpenModesOnEveryKindOfFile) {
  struct Row { Map::OpenMode mode; Kind kind; uint64_t size; bool kept; /* the file's bytes stay */ } const rows[] = {
      {Map::READ, EMPTY, 0, true},          {Map::READ, SMALL, 100, true},         {Map::READ, LARGE, 3 * G + 5, true},
      {Map::READ_WRITE, MISSING, G, false}, {Map::READ_WRITE, EMPTY, G, true},     {Map::READ_WRITE, SMALL, G, true},
      {Map::READ_WRITE, LARGE, 3 * G + 5, true}, {Map::CREATE, MISSING, G, false}, {Map::CREATE, EMPTY, G, false},
      {Map::CREATE, SMALL, G, false},       {Map::CREATE, LARGE, G, false}};
  for (Row const& r : rows) {
    SCOPED_TRACE("mode " + std::to_string(r.mode) + " kind " + std::to_string(r.kind));
    Map map(Make(r.kind));
    map.Open(r.mode);
    EXPECT_EQ(map.Size(), r.size);
    std::string expected = (r.kept ? ContentOf(r.kind) : "") + std::string(r.size, '\0');
    expected.resize(r.size);
    if (r.size == 0) {
      EXPECT_TRUE(ViewRefused(map, 0, 0, ERROR_ACCESS_DENIED));
    } else {
      EXPECT_EQ(Bytes(map.GetView(0, 0), std::min(G, r.size)), expected.substr(0, G));
    }
    map.Close();
    EXPECT_EQ(dir.ReadFile("file.bin"), expected);
  }
  Map missing(Make(MISSING));
  EXPECT_TRUE(Refused([&] { missing.Open(Map::READ); }, typeid(FileCannotOpenException),
                      ZEBFileMsg::CANNOT_OPEN_READ_ONLY, ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(missing.IsOpen());
}

// A second open that would write, or read what is being written, is refused,
// and so is deleting a file held open elsewhere.
TEST_F(MemoryMapFileTest, SharingAgainstASecondOpen) {
  struct Row { Map::OpenMode first, second; int id; /* -1: the second open succeeds */ } const rows[] = {
      {Map::READ, Map::READ, -1}, {Map::READ, Map::READ_WRITE, ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY},
      {Map::READ_WRITE, Map::READ, ZEBFileMsg::CANNOT_OPEN_READ_ONLY}};
  Make(SMALL);
  for (Row const& r : rows) {
    SCOPED_TRACE(std::to_string(r.first) + " then " + std::to_string(r.second));
    Map first(path), second(path);
    first.Open(r.first);
    if (r.id < 0) {
      second.Open(r.second);
    } else {
      EXPECT_TRUE(Refused([&] { second.Open(r.second); }, typeid(FileCannotOpenException), r.id,
                          ERROR_SHARING_VIOLATION));
    }
    EXPECT_EQ(second.IsOpen(), r.id < 0);
  }
  Map holder(path), map(path);
  holder.Open(Map::READ);
  EXPECT_TRUE(
      Refused([&] { map.Delete(); }, typeid(FileException), ZEBFileMsg::CANNOT_DELETE, ERROR_SHARING_VIOLATION));
}

// One view per offset, released and flushed; data written through views
// reaches the file, which a resize grows and cuts; Delete removes it.
TEST_F(MemoryMapFileTest, ViewsResizeAndDelete) {
  std::string content = ContentOf(LARGE);
  Map map(Make(LARGE));
  map.Open(Map::READ);
  void* first = map.GetView(G, 0);
  EXPECT_EQ(Bytes(first, G), content.substr(G, G));
  EXPECT_EQ(map.GetView(G, 5), first) << "one view per offset, whatever the size";
  EXPECT_EQ(Bytes(map.GetView(3 * G, 0), 5), content.substr(3 * G)) << "what remains, under one granularity";
  EXPECT_TRUE(ViewRefused(map, map.Size(), 0, ERROR_ACCESS_DENIED));
  EXPECT_TRUE(ViewRefused(map, G, uint32_t(3 * G), ERROR_ACCESS_DENIED)) << "past the end, though a view is there";
  EXPECT_TRUE(ViewRefused(map, 100, 0, ERROR_MAPPED_ALIGNMENT));
  map.ReleaseView(G, true);
  EXPECT_FALSE(map.IsViewExist(G));
  EXPECT_EQ(map.NbrView(), 1u);
  map.Flush();
  EXPECT_EQ(map.NbrView(), 0u);

  map.Open(Map::READ_WRITE);
  std::memcpy(map.GetView(0, 0), "hello", 5);
  map.Resize(5 * G);
  EXPECT_EQ(map.NbrView(), 0u);
  std::memcpy(map.GetView(4 * G, 0), "far", 3);
  map.Resize(G + G / 2);
  std::memcpy(map.GetView(G, 0), "tail", 4);
  map.Close();
  EXPECT_TRUE(ViewRefused(map, 0, 0, ERROR_INVALID_HANDLE));
  std::string file = dir.ReadFile("file.bin");
  ASSERT_EQ(file.size(), G + G / 2) << "cut to the new size";
  EXPECT_EQ(file.substr(0, 15) + file.substr(G, 4), "hello" + content.substr(5, 10) + "tail");
  map.Open(Map::READ_WRITE);
  map.Resize(0);
  EXPECT_TRUE(ViewRefused(map, 0, 0, ERROR_ACCESS_DENIED));
  EXPECT_TRUE(Refused([&] { map.Open(Map::OpenMode(7)); }, typeid(FileCannotOpenException),
                      ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY, ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(map.IsOpen()) << "an invalid mode changes nothing";
  map.Delete();
  EXPECT_FALSE(map.IsOpen() || dir.Exists("file.bin"));
  EXPECT_NO_THROW(map.Delete()) << "a missing name is left alone";
}

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
