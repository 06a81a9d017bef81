// The buffers over memory: the chunked buffer (against a model, and when its
// chunks come and go), the fixed-memory buffer and the window over an inner
// buffer.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "SeekRules.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/StaticMemoryBuffer.h"
#include "support/BufferWalk.h"

using namespace ZEBFile;
using Buf = ZEB::BinaryStreamBufT<unsigned>;
using ZEBTest::Content;
using ZEBTest::Pattern;

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

// The seek rule every buffer shares, at the ends of the 32-bit range no test buffer reaches: a row is the
// offset, origin, direction, size and current position, then the target or -1 for out of range.
TEST(SeekRules, TargetsReachExactlyTheEndsOfTheRange) {
  uint32_t const MAX = UINT32_MAX;
  std::tuple<uint32_t, Buf::Origin, Buf::Direction, uint32_t, uint32_t, int64_t> const rows[] = {
      {MAX, Buf::BEGIN, Buf::FORWARD, 0, 0, MAX},    {1, Buf::END, Buf::FORWARD, MAX - 1, 0, MAX},
      {2, Buf::END, Buf::FORWARD, MAX - 1, 0, -1},   {MAX, Buf::CURRENT, Buf::FORWARD, 0, 0, MAX},
      {1, Buf::CURRENT, Buf::FORWARD, 0, MAX, -1},   {MAX, Buf::CURRENT, Buf::BACKWARD, 0, MAX, 0},
      {MAX, Buf::END, Buf::BACKWARD, MAX - 1, 0, -1}, {0, Buf::BEGIN, Buf::BACKWARD, 0, 0, -1},
  };
  for (auto const& [offset, origin, direction, size, current, expected] : rows) {
    SCOPED_TRACE(std::to_string(offset) + " " + std::to_string(origin) + " " + std::to_string(direction) + " " +
                 std::to_string(size) + " " + std::to_string(current));
    if (expected < 0)
      EXPECT_THROW(SeekTarget(offset, origin, direction, size, current), SeekOutOfRangeException);
    else
      EXPECT_EQ(SeekTarget(offset, origin, direction, size, current), uint32_t(expected));
  }
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
