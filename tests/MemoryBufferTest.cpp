// The chunked memory buffer: layout in chunks, seek rules, truncation, chunk
// reuse, copies, allocation failure, and a random walk against a model.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"

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

TEST(MemoryBuffer, ChunksAreAllocatedOnDemand) {
  MemoryBuffer empty(0);
  EXPECT_EQ(empty.ChunkSize(), 1024u);
  EXPECT_EQ(empty.Capacity(), 0u);

  MemoryBuffer buffer(1024);
  std::string data = Pattern(2500);
  EXPECT_EQ(buffer.Put(data.data(), 2500), 2500u);
  EXPECT_EQ(buffer.Capacity(), 3072u);
  EXPECT_EQ(buffer.Size(), 2500u);
  EXPECT_EQ(buffer.TellP(), 2500u);
  EXPECT_EQ(buffer.TellG(), 0u);
  EXPECT_EQ(Content(buffer), data);
}

TEST(MemoryBuffer, ClearKeepsChunksForReuseClearMemoryReleasesThem) {
  MemoryBuffer buffer(1000);
  std::string data = Pattern(2500);
  buffer.PutAll(data.data(), 2500);
  buffer.Clear();
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_EQ(buffer.TellP(), 0u);
  EXPECT_EQ(buffer.Capacity(), 3000u);
  buffer.PutAll("reused", 6);
  EXPECT_EQ(buffer.Capacity(), 3000u);
  EXPECT_EQ(Content(buffer), "reused");
  buffer.ClearMemory();
  EXPECT_EQ(buffer.Capacity(), 0u);
  EXPECT_EQ(buffer.Size(), 0u);
}

TEST(MemoryBuffer, SetFromBufferReplacesContentAndNullEmptiesIt) {
  MemoryBuffer buffer(nullptr, 16, 0);
  EXPECT_EQ(buffer.Size(), 0u);
  buffer.PutAll("old content", 11);
  buffer.SetFromBuffer("new", 3);
  EXPECT_EQ(buffer.Size(), 3u);
  EXPECT_EQ(buffer.TellP(), 3u);
  EXPECT_EQ(buffer.TellG(), 0u);
  EXPECT_EQ(Content(buffer), "new");
  buffer.SetFromBuffer(nullptr, 5);
  EXPECT_EQ(buffer.Size(), 0u);
  EXPECT_EQ(buffer.Capacity(), 0u);

  MemoryBuffer made("abc", 3, 2);
  EXPECT_EQ(Content(made), "abc");
}

TEST(MemoryBuffer, PutSeekPastTheEndFillsWithZeros) {
  MemoryBuffer buffer;
  EXPECT_EQ(buffer.SeekP(10, Buf::END, Buf::FORWARD), 10u);
  EXPECT_EQ(buffer.Size(), 10u);
  EXPECT_EQ(buffer.TellP(), 10u);
  EXPECT_EQ(Content(buffer), std::string(10, '\0'));
  buffer.SeekP(3);
  buffer.PutAll("x", 1);
  EXPECT_EQ(buffer.Size(), 10u) << "writing inside the data does not move the end";
}

TEST(MemoryBuffer, GetSeekRulesAndEndOfFile) {
  MemoryBuffer buffer;
  buffer.PutAll("0123456789", 10);
  EXPECT_THROW(buffer.SeekG(11), ZEBFile::SeekOutOfRangeException);
  EXPECT_EQ(buffer.TellG(), 0u) << "a failed seek keeps the position";
  EXPECT_EQ(buffer.SeekG(10), 10u);
  EXPECT_TRUE(buffer.EndOfFile());
  buffer.SeekG(6);
  char out[100];
  EXPECT_EQ(buffer.Get(out, 100), 4u);
  EXPECT_EQ(buffer.Get(out, 100), 0u);
}

TEST(MemoryBuffer, SeekTable) {
  struct Row {
    uint32_t offset;
    int origin;
    int direction;
    uint32_t expected; // UINT32_MAX: SeekOutOfRangeException
  };
  // Size 10, both positions at 4 before each seek.
  Row const rows[] = {
      {0, Buf::BEGIN, Buf::BACKWARD, UINT32_MAX}, {3, Buf::BEGIN, Buf::BACKWARD, UINT32_MAX},
      {7, Buf::BEGIN, Buf::FORWARD, 7},           {7, Buf::BEGIN, 12345, 7},
      {0, Buf::END, Buf::FORWARD, 10},            {3, Buf::END, Buf::BACKWARD, 7},
      {3, Buf::END, 0, 7},                        {11, Buf::END, Buf::BACKWARD, UINT32_MAX},
      {10, Buf::END, Buf::BACKWARD, 0},           {2, Buf::CURRENT, Buf::FORWARD, 6},
      {4, Buf::CURRENT, Buf::BACKWARD, 0},        {5, Buf::CURRENT, Buf::BACKWARD, UINT32_MAX},
      {99, 3, Buf::FORWARD, 0},                   {99, 3, Buf::BACKWARD, 0},
      {UINT32_MAX, Buf::CURRENT, Buf::FORWARD, UINT32_MAX},
  };
  for (std::size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    Row const& row = rows[i];
    for (bool put : {false, true}) {
      SCOPED_TRACE("row " + std::to_string(i) + (put ? " SeekP" : " SeekG"));
      MemoryBuffer buffer;
      buffer.PutAll("0123456789", 10);
      buffer.SeekP(4);
      buffer.SeekG(4);
      auto origin = static_cast<Buf::Origin>(row.origin);
      auto direction = static_cast<Buf::Direction>(row.direction);
      auto seek = [&] { return put ? buffer.SeekP(row.offset, origin, direction) : buffer.SeekG(row.offset, origin, direction); };
      if (row.expected == UINT32_MAX) {
        EXPECT_THROW(seek(), ZEBFile::SeekOutOfRangeException);
        EXPECT_EQ(put ? buffer.TellP() : buffer.TellG(), 4u);
      } else {
        EXPECT_EQ(seek(), row.expected);
        EXPECT_EQ(put ? buffer.TellP() : buffer.TellG(), row.expected);
      }
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
  EXPECT_EQ(buffer.Size(), 1000u);
  EXPECT_EQ(buffer.TellG(), 1000u);
  EXPECT_EQ(Content(buffer), data.substr(0, 1000));

  buffer.SeekP(0);
  buffer.ClearEnd();
  EXPECT_EQ(buffer.Capacity(), 0u);
  buffer.PutAll("again", 5);
  EXPECT_EQ(Content(buffer), "again");
}

TEST(MemoryBuffer, CopiesCrossChunksAndAdvanceTheGetPosition) {
  MemoryBuffer buffer(7);
  std::string data = Pattern(100);
  buffer.PutAll(data.data(), 100);
  buffer.SeekG(3);
  std::string narrow;
  EXPECT_EQ(buffer.Copy(narrow, 50), 50u);
  EXPECT_EQ(narrow, data.substr(3, 50));
  EXPECT_EQ(buffer.TellG(), 53u);

  MemoryBuffer sink(5);
  EXPECT_EQ(buffer.Copy(static_cast<ZEB::BaseBinaryStreamBuf&>(sink), 1000), 47u);
  EXPECT_EQ(Content(sink), data.substr(53));
  EXPECT_TRUE(buffer.EndOfFile());
}

TEST(MemoryBuffer, WideCopyPairsBytesAcrossOddSizedChunks) {
  std::u16string text = u"Chunk boundaries must not shift the text \u0416\u00E9";
  MemoryBuffer buffer(7);
  buffer.PutAll(text.data(), uint32_t(text.size() * 2));
  ZEB::WString wide;
  EXPECT_EQ(buffer.Copy(wide, uint32_t(text.size() * 2)), text.size() * 2);
  EXPECT_EQ(wide, text);

  MemoryBuffer odd(1024);
  odd.PutAll("a\0b\0c", 5);
  ZEB::WString two;
  EXPECT_EQ(odd.Copy(two, 5), 5u);
  EXPECT_EQ(two, u"ab");
  EXPECT_EQ(odd.TellG(), 5u);
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
  EXPECT_EQ(buffer.Size(), 8u);
  EXPECT_EQ(buffer.Capacity(), 8u);
  buffer.SeekP(8);
  buffer.PutAll("9", 1);
  EXPECT_EQ(Content(buffer), "123456789");
}

// Random operations against a byte-vector model: content and both positions
// agree after every step.
TEST(MemoryBuffer, RandomOperationsMatchAModel) {
  for (uint32_t chunk : {1u, 3u, 64u, 1024u}) {
    SCOPED_TRACE("chunk size " + std::to_string(chunk));
    std::mt19937 random(chunk);
    MemoryBuffer buffer(chunk);
    std::string model;
    uint32_t get = 0, put = 0;
    for (int step = 0; step < 3000; ++step) {
      switch (random() % 6) {
      case 0: {
        std::string data = Pattern(random() % 300);
        std::rotate(data.begin(), data.begin() + (data.empty() ? 0 : step % data.size()), data.end());
        buffer.PutAll(data.data(), uint32_t(data.size()));
        if (model.size() < put + data.size())
          model.resize(put + data.size());
        model.replace(put, data.size(), data);
        put += uint32_t(data.size());
        break;
      }
      case 1: {
        uint32_t want = random() % 300;
        std::string out(want, '\0');
        uint32_t got = buffer.Get(&out[0], want);
        uint32_t expected = std::min<uint32_t>(want, uint32_t(model.size()) - get);
        ASSERT_EQ(got, expected);
        ASSERT_EQ(out.substr(0, got), model.substr(get, got));
        get += got;
        break;
      }
      case 2: {
        uint32_t to = random() % (uint32_t(model.size()) + 50);
        buffer.SeekP(to);
        if (to > model.size())
          model.resize(to, '\0');
        put = to;
        break;
      }
      case 3: {
        uint32_t to = random() % (uint32_t(model.size()) + 10);
        if (to > model.size()) {
          ASSERT_THROW(buffer.SeekG(to), ZEBFile::SeekOutOfRangeException);
        } else {
          buffer.SeekG(to);
          get = to;
        }
        break;
      }
      case 4:
        if (random() % 4 == 0) {
          buffer.ClearEnd();
          model.resize(put);
          get = std::min<uint32_t>(get, put);
        }
        break;
      case 5:
        if (random() % 20 == 0) {
          buffer.Clear();
          model.clear();
          get = put = 0;
        }
        break;
      }
      ASSERT_EQ(buffer.Size(), model.size()) << "step " << step;
      ASSERT_EQ(buffer.TellG(), get) << "step " << step;
      ASSERT_EQ(buffer.TellP(), put) << "step " << step;
      ASSERT_GE(buffer.Capacity(), buffer.Size());
    }
    ASSERT_EQ(Content(buffer), model);
  }
}
