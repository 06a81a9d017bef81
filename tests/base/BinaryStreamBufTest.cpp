// The public operations of the buffer interface over a probe buffer that
// records every hook call: look-ahead rules, checked transfers, default copies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZEB/BinaryStream.h"
#include "ZEB/BinaryStreamBuf.h"

namespace {

using Buf = ZEB::BinaryStreamBufT<unsigned>;

// Reads from a byte vector; writes append up to an optional limit. Keeps the
// counts each hook was asked for and what vGet answered.
class ProbeBuffer : public Buf {
public:
  explicit ProbeBuffer(std::string bytes = {}, uint32_t putLimit = UINT32_MAX)
      : m_Bytes(std::move(bytes)), m_PutLimit(putLimit) {}

  using Buf::ClearLookAhead;
  using Buf::SetLookAhead;

  std::vector<uint32_t> getAsked, getAnswered;
  int hookCalls = 0;
  std::string written;

protected:
  uint32_t vPut(void const* data, uint32_t count) override {
    ++hookCalls;
    uint32_t n = std::min<uint32_t>(count, m_PutLimit - uint32_t(written.size()));
    written.append(static_cast<char const*>(data), n);
    return n;
  }
  uint32_t vTellP() const override { return uint32_t(written.size()); }
  uint32_t vSeekP(uint32_t, Origin, Direction) override { return 0; }
  uint32_t vGet(void* destination, uint32_t count) override {
    ++hookCalls;
    uint32_t n = std::min<uint32_t>(count, uint32_t(m_Bytes.size() - m_Get));
    m_Bytes.copy(static_cast<char*>(destination), n, m_Get);
    m_Get += n;
    getAsked.push_back(count);
    getAnswered.push_back(n);
    return n;
  }
  uint32_t vTellG() const override { return uint32_t(m_Get); }
  uint32_t vSeekG(uint32_t offset, Origin, Direction) override {
    ++hookCalls;
    m_Get = offset;
    return offset;
  }
  void vFlush() override {}
  void vClear() override { m_Get = 0; }
  void vClearMemory() override {}
  void vClearEnd() override {}
  uint32_t vSize() const override { return uint32_t(m_Bytes.size()); }
  bool vEndOfFile() const override { return m_Get >= m_Bytes.size(); }

private:
  std::string m_Bytes;
  std::size_t m_Get = 0;
  uint32_t m_PutLimit;
};

class HolderOf : public ZEB::BinaryStreamBufHolder {
public:
  explicit HolderOf(ZEB::BaseBinaryStreamBuf& buffer) : m_Buffer(buffer) {}
  ZEB::BaseBinaryStreamBuf& Buffer() override { return m_Buffer; }

private:
  ZEB::BaseBinaryStreamBuf& m_Buffer;
};

} // namespace

TEST(BufferInterface, ZeroCountsCallNoHook) {
  ProbeBuffer buffer("abc");
  char out[4];
  std::string narrow;
  ZEB::WString wide;
  ProbeBuffer sink;
  EXPECT_EQ(buffer.Get(out, 0), 0u);
  EXPECT_EQ(buffer.Copy(narrow, 0), 0u);
  EXPECT_EQ(buffer.Copy(wide, 0), 0u);
  EXPECT_EQ(buffer.Copy(static_cast<ZEB::BaseBinaryStreamBuf&>(sink), 0), 0u);
  EXPECT_EQ(buffer.hookCalls, 0);
}

TEST(BufferInterface, GetAllShortOfDataDeliversWhatThereIsThenThrows) {
  ProbeBuffer buffer("wxyz");
  char out[10] = {};
  EXPECT_THROW(buffer.GetAll(out, 10), ZEB::BinaryStreamGetEOFException);
  EXPECT_EQ(std::string(out, 4), "wxyz");
  EXPECT_TRUE(buffer.EndOfFile());
}

TEST(BufferInterface, PutAllIntoFullBufferThrowsAfterTakingWhatFits) {
  ProbeBuffer buffer("", 3);
  try {
    buffer.PutAll("abcdef", 6);
    FAIL() << "no exception";
  } catch (ZEB::BinaryStreamPutEOFException const& e) {
    EXPECT_TRUE(e.What().empty());
    EXPECT_FALSE(e.Info());
  }
  EXPECT_EQ(buffer.written, "abc");
}

TEST(BufferInterface, DefaultNarrowCopyReadsInPiecesUntilNothingComes) {
  std::string source(2 * 32768 + 10, 'q');
  ProbeBuffer buffer(source);
  std::string out;
  EXPECT_EQ(buffer.Copy(out, 4 * 32768), 2u * 32768 + 10);
  EXPECT_EQ(buffer.getAsked, (std::vector<uint32_t>{32768, 32768, 32768, 32768}));
  EXPECT_EQ(buffer.getAnswered, (std::vector<uint32_t>{32768, 32768, 10, 0}));
  EXPECT_EQ(out, source);
}

TEST(BufferInterface, DefaultWideCopyPairsBytesAndCountsAnOddLastByte) {
  ProbeBuffer buffer(std::string("a\0b\0c", 5));
  ZEB::WString out;
  EXPECT_EQ(buffer.Copy(out, 5), 5u);
  EXPECT_EQ(out, u"ab");
  EXPECT_TRUE(buffer.EndOfFile());
}

TEST(BufferInterface, DefaultBufferCopyMovesEveryByteThroughPutAll) {
  std::string source(70000, '\0');
  for (std::size_t i = 0; i < source.size(); ++i)
    source[i] = char(i * 7);
  ProbeBuffer buffer(source);
  ProbeBuffer sink;
  HolderOf holder(sink);
  EXPECT_EQ(buffer.Copy(holder, 80000), 70000u);
  EXPECT_EQ(sink.written, source);
}

TEST(BufferInterface, BufferCopyPassesTheDestinationsEndOfSpaceThrough) {
  ProbeBuffer buffer("0123456789");
  ProbeBuffer sink("", 4);
  EXPECT_THROW(buffer.Copy(static_cast<ZEB::BaseBinaryStreamBuf&>(sink), 10), ZEB::BinaryStreamPutEOFException);
  EXPECT_EQ(sink.written, "0123");
}

TEST(LookAhead, ReadsComeFromTheStoreFirst) {
  ProbeBuffer buffer("source");
  buffer.SetLookAhead("LA", 2);
  char out[5] = {};
  EXPECT_EQ(buffer.Get(out, 1), 1u);
  EXPECT_EQ(buffer.getAsked.size(), 0u) << "a read the store satisfies calls no hook";
  EXPECT_EQ(buffer.Get(out + 1, 4), 4u);
  EXPECT_EQ(std::string(out, 5), "LAsou");
  EXPECT_EQ(buffer.getAsked, std::vector<uint32_t>{3});
  EXPECT_EQ(buffer.TellG(), 3u);
}

TEST(LookAhead, StoreIsDroppedWhenUsedUp) {
  ProbeBuffer buffer("");
  buffer.SetLookAhead("xy", 2);
  EXPECT_FALSE(buffer.EndOfFile()) << "unread bytes in the store";
  std::string out;
  EXPECT_EQ(buffer.Copy(out, 2), 2u);
  EXPECT_EQ(out, "xy");
  EXPECT_TRUE(buffer.EndOfFile());
  EXPECT_EQ(buffer.TellG(), 0u);
}

TEST(LookAhead, NarrowAndBufferCopiesDrainTheStoreThenTheSource) {
  ProbeBuffer buffer("cdef");
  buffer.SetLookAhead("ab", 2);
  std::string out;
  EXPECT_EQ(buffer.Copy(out, 3), 3u);
  EXPECT_EQ(out, "abc");

  ProbeBuffer second("cdef");
  second.SetLookAhead("ab", 2);
  ProbeBuffer sink;
  EXPECT_EQ(second.Copy(static_cast<ZEB::BaseBinaryStreamBuf&>(sink), 10), 6u);
  EXPECT_EQ(sink.written, "abcdef");
}

TEST(LookAhead, WideCopyCompletesAUnitSplitBetweenStoreAndSource) {
  ProbeBuffer buffer(std::string("\0b\0", 3));
  buffer.SetLookAhead("a", 1);
  ZEB::WString out;
  EXPECT_EQ(buffer.Copy(out, 4), 4u);
  EXPECT_EQ(out, u"ab");
}

TEST(LookAhead, WideCopyStopsWhenTheSplitUnitCannotBeCompleted) {
  ProbeBuffer buffer("");
  buffer.SetLookAhead("abc", 3);
  ZEB::WString out;
  EXPECT_EQ(buffer.Copy(out, 8), 3u);
  EXPECT_EQ(out, ZEB::WString(1, char16_t('a' | 'b' << 8)));
}

TEST(LookAhead, WideCopyWithinTheStoreConsumesAnOddLastByte) {
  ProbeBuffer buffer("");
  buffer.SetLookAhead("abcd", 4);
  ZEB::WString out;
  EXPECT_EQ(buffer.Copy(out, 3), 3u);
  EXPECT_EQ(out.size(), 1u);
  char rest;
  EXPECT_EQ(buffer.Get(&rest, 1), 1u);
  EXPECT_EQ(rest, 'd');
}

TEST(LookAhead, SeekToZeroDiscardsTheStoreOtherOffsetsKeepIt) {
  ProbeBuffer buffer("0123456789");
  buffer.SetLookAhead("LA", 2);
  buffer.SeekG(5);
  char c;
  EXPECT_EQ(buffer.Get(&c, 1), 1u);
  EXPECT_EQ(c, 'L');
  buffer.SeekG(0);
  EXPECT_EQ(buffer.Get(&c, 1), 1u);
  EXPECT_EQ(c, '0');
}

TEST(LookAhead, ClearDiscardsTheStore) {
  ProbeBuffer buffer("");
  buffer.SetLookAhead("LA", 2);
  buffer.Clear();
  EXPECT_TRUE(buffer.EndOfFile());
}

namespace {
class Forwarder : public ZEB::BinaryStreamBufWrapper {
public:
  explicit Forwarder(Buf& inner) : BinaryStreamBufWrapper(inner) {}
};
} // namespace

TEST(BinaryStreamBufWrapper, ForwardsReadsWritesAndPositions) {
  ProbeBuffer inner("hello");
  Forwarder wrapper(inner);
  char out[5];
  EXPECT_EQ(wrapper.Get(out, 5), 5u);
  EXPECT_EQ(std::string(out, 5), "hello");
  EXPECT_EQ(wrapper.TellG(), 5u);
  EXPECT_TRUE(wrapper.EndOfFile());
  wrapper.PutAll("xy", 2);
  EXPECT_EQ(inner.written, "xy");
  EXPECT_EQ(wrapper.TellP(), 2u);
  wrapper.SeekG(1);
  std::string rest;
  EXPECT_EQ(wrapper.Copy(rest, 10), 4u);
  EXPECT_EQ(rest, "ello");
}

TEST(BinaryStream, IntegersRoundTripLittleEndian) {
  ProbeBuffer sink;
  ZEB::BinaryStreamT<unsigned> out(sink);
  out.WriteInt<uint32_t>(0x01020304);
  out.WriteInt<int16_t>(-2);
  EXPECT_EQ(sink.written, std::string("\x04\x03\x02\x01\xFE\xFF", 6));

  ProbeBuffer source(sink.written);
  ZEB::BinaryStreamT<unsigned> in(source);
  EXPECT_EQ(in.ReadInt<uint32_t>(), 0x01020304u);
  EXPECT_EQ(in.ReadInt<int16_t>(), -2);
  EXPECT_THROW(in.ReadInt<uint8_t>(), ZEB::BinaryStreamGetEOFException);
}
