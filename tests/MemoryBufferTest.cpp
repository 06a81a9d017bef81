// The chunked memory buffer: chunks allocated on demand and reused, the seek
// rules with zero fill, copies across chunks, allocation failure, and random
// walks against a model.
#include <gtest/gtest.h>

#include <string>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "support/BufferWalk.h"

using ZEBFile::MemoryBuffer;
using Buf = ZEB::BinaryStreamBufT<unsigned>;

namespace {

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(i * 31 + i / 251);
  return bytes;
}

std::string Content(MemoryBuffer& buffer) {
  uint32_t get = buffer.TellG();
  buffer.SeekG(0);
  std::string bytes;
  buffer.Copy(bytes, buffer.Size());
  buffer.SeekG(get);
  return bytes;
}

} // namespace

TEST(MemoryBuffer, ChunksAreAllocatedOnDemandAndKeptUntilClearMemory) {
  EXPECT_EQ(MemoryBuffer(0).ChunkSize(), 1024u);
  MemoryBuffer buffer(1000);
  EXPECT_EQ(buffer.Capacity(), 0u);
  std::string data = Pattern(2500);
  EXPECT_EQ(buffer.Put(data.data(), 2500), 2500u);
  EXPECT_EQ(buffer.Capacity(), 3000u);
  EXPECT_EQ(Content(buffer), data);
  buffer.Clear();
  EXPECT_EQ(buffer.Size(), 0u);
  buffer.PutAll("reused", 6);
  EXPECT_EQ(buffer.Capacity(), 3000u);
  EXPECT_EQ(Content(buffer), "reused");
  buffer.ClearMemory();
  EXPECT_EQ(buffer.Capacity(), 0u);

  buffer.SetFromBuffer("new", 3);
  EXPECT_EQ(buffer.TellP(), 3u);
  EXPECT_EQ(Content(buffer), "new");
  buffer.SetFromBuffer(nullptr, 5);
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_EQ(buffer.Capacity(), 0u);
  EXPECT_EQ(MemoryBuffer(nullptr, 16, 0).Size(), 0u);
}

// Size 10, both positions at 4 before each seek; a put seek past the end
// fills with zeros.
TEST(MemoryBuffer, SeekTable) {
  uint32_t const REFUSED = UINT32_MAX;
  struct Row {
    uint32_t offset;
    int origin, direction;
    uint32_t get, put;
  } const rows[] = {
      {0, Buf::BEGIN, Buf::BACKWARD, REFUSED, REFUSED}, {7, Buf::BEGIN, Buf::FORWARD, 7, 7},
      {7, Buf::BEGIN, 12345, 7, 7},                     {11, Buf::BEGIN, Buf::FORWARD, REFUSED, 11},
      {0, Buf::END, Buf::FORWARD, 10, 10},              {3, Buf::END, Buf::BACKWARD, 7, 7},
      {3, Buf::END, 0, 7, 7},                           {11, Buf::END, Buf::BACKWARD, REFUSED, REFUSED},
      {10, Buf::END, Buf::BACKWARD, 0, 0},              {2, Buf::END, Buf::FORWARD, REFUSED, 12},
      {2, Buf::CURRENT, Buf::FORWARD, 6, 6},            {4, Buf::CURRENT, Buf::BACKWARD, 0, 0},
      {5, Buf::CURRENT, Buf::BACKWARD, REFUSED, REFUSED}, {99, 3, Buf::FORWARD, 0, 0},
      {UINT32_MAX, Buf::CURRENT, Buf::FORWARD, REFUSED, REFUSED},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    for (bool put : {false, true}) {
      SCOPED_TRACE("row " + std::to_string(i) + (put ? " SeekP" : " SeekG"));
      Row const& row = rows[i];
      MemoryBuffer buffer(4);
      buffer.PutAll("0123456789", 10);
      buffer.SeekP(4);
      buffer.SeekG(4);
      auto origin = static_cast<Buf::Origin>(row.origin);
      auto direction = static_cast<Buf::Direction>(row.direction);
      uint32_t expected = put ? row.put : row.get;
      try {
        EXPECT_EQ(put ? buffer.SeekP(row.offset, origin, direction) : buffer.SeekG(row.offset, origin, direction),
                  expected);
      } catch (ZEBFile::SeekOutOfRangeException const&) {
        EXPECT_EQ(expected, REFUSED);
      }
      EXPECT_EQ(put ? buffer.TellP() : buffer.TellG(), expected == REFUSED ? 4u : expected);
      EXPECT_EQ(Content(buffer), "0123456789" + std::string(std::max<uint32_t>(buffer.Size(), 10) - 10, '\0'));
      EXPECT_EQ(buffer.Size(), put && expected != REFUSED ? std::max<uint32_t>(expected, 10) : 10u);
    }
  }
}

TEST(MemoryBuffer, ClearEndTruncatesAtThePutPositionAndReleasesChunks) {
  MemoryBuffer buffer(1024);
  std::string data = Pattern(3000);
  buffer.PutAll(data.data(), 3000);
  buffer.SeekG(2000);
  buffer.SeekP(1000);
  buffer.ClearEnd();
  EXPECT_EQ(buffer.Capacity(), 1024u);
  EXPECT_EQ(buffer.TellG(), 1000u);
  EXPECT_EQ(Content(buffer), data.substr(0, 1000));
  buffer.SeekP(0);
  buffer.ClearEnd();
  EXPECT_EQ(buffer.Capacity(), 0u);
}

TEST(MemoryBuffer, CopiesCrossChunksAndAdvanceTheGetPosition) {
  MemoryBuffer buffer(7);
  std::string data = Pattern(100);
  buffer.PutAll(data.data(), 100);
  buffer.SeekG(3);
  std::string narrow;
  EXPECT_EQ(buffer.Copy(narrow, 50), 50u);
  EXPECT_EQ(narrow, data.substr(3, 50));
  MemoryBuffer sink(5);
  EXPECT_EQ(buffer.Copy(static_cast<ZEB::BaseBinaryStreamBuf&>(sink), 1000), 47u);
  EXPECT_EQ(Content(sink), data.substr(53));
  EXPECT_TRUE(buffer.EndOfFile());

  std::u16string text = u"Chunk boundaries must not shift the text \u0416\u00E9";
  MemoryBuffer units(7);
  units.PutAll(text.data(), uint32_t(text.size() * 2));
  units.PutAll("c", 1);
  ZEB::WString wide;
  EXPECT_EQ(units.Copy(wide, uint32_t(text.size() * 2 + 1)), text.size() * 2 + 1);
  EXPECT_EQ(wide, text) << "an odd last byte is consumed, not converted";
  EXPECT_TRUE(units.EndOfFile());
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
    ASSERT_TRUE(walk.Run(2000, [](int step) { return step % 10 == 0; },
                         [&] { return buffer.Capacity() >= buffer.Size(); }));
  }
}
