// The public operations of the buffer interface over a probe buffer that
// records its hook calls: look-ahead rules, checked transfers, default copies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZEB/BinaryStream.h"
#include "ZEB/BinaryStreamBuf.h"

namespace {

using Buf = ZEB::BinaryStreamBufT<unsigned>;

// Reads from a byte string; writes append up to an optional limit. Keeps the
// counts vGet was asked for and answered.
class ProbeBuffer : public Buf {
public:
  explicit ProbeBuffer(std::string bytes = {}, uint32_t putLimit = UINT32_MAX)
      : m_Bytes(std::move(bytes)), m_PutLimit(putLimit) {}
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
  uint32_t vSeekG(uint32_t offset, Origin, Direction) override { return ++hookCalls, uint32_t(m_Get = offset); }
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

ZEB::BaseBinaryStreamBuf& Base(Buf& buffer) { return buffer; }

} // namespace

TEST(BufferInterface, CheckedTransfersAndZeroCounts) {
  ProbeBuffer buffer("wxyz"), sink;
  char out[10] = {};
  std::string narrow;
  ZEB::WString wide;
  EXPECT_EQ(buffer.Get(out, 0) + buffer.Copy(narrow, 0) + buffer.Copy(wide, 0) + buffer.Copy(Base(sink), 0), 0u);
  EXPECT_EQ(buffer.hookCalls, 0) << "zero counts call no hook";
  EXPECT_THROW(buffer.GetAll(out, 10), ZEB::BinaryStreamGetEOFException);
  EXPECT_EQ(std::string(out, 4), "wxyz") << "what there is, then the exception";
  ProbeBuffer full("", 3);
  EXPECT_THROW(full.PutAll("abcdef", 6), ZEB::BinaryStreamPutEOFException);
  EXPECT_EQ(full.written, "abc");
  ProbeBuffer source("0123456789"), small("", 4);
  EXPECT_THROW(source.Copy(Base(small), 10), ZEB::BinaryStreamPutEOFException);
  EXPECT_EQ(small.written, "0123");
}

TEST(BufferInterface, DefaultCopiesReadInPiecesUntilNothingComes) {
  std::string source(2 * 32768 + 10, '\0');
  for (std::size_t i = 0; i < source.size(); ++i)
    source[i] = char(i * 7);
  ProbeBuffer buffer(source), copy(source), sink;
  std::string out;
  EXPECT_EQ(buffer.Copy(out, 4 * 32768), source.size());
  EXPECT_EQ(buffer.getAsked, (std::vector<uint32_t>{32768, 32768, 32768, 32768}));
  EXPECT_EQ(buffer.getAnswered, (std::vector<uint32_t>{32768, 32768, 10, 0}));
  EXPECT_EQ(out, source);
  HolderOf holder(sink);
  EXPECT_EQ(copy.Copy(holder, 80000), source.size());
  EXPECT_EQ(sink.written, source);
  ProbeBuffer units(std::string("a\0b\0c", 5));
  ZEB::WString wide;
  EXPECT_EQ(units.Copy(wide, 5), 5u);
  EXPECT_EQ(wide, u"ab") << "an odd last byte is counted, not converted";
}

TEST(LookAhead, ReadsComeFromTheStoreFirstUntilItIsUsedUp) {
  ProbeBuffer buffer("source");
  buffer.SetLookAhead("LA", 2);
  char out[5] = {};
  EXPECT_EQ(buffer.Get(out, 1), 1u);
  EXPECT_TRUE(buffer.getAsked.empty()) << "a read the store satisfies calls no hook";
  EXPECT_EQ(buffer.Get(out + 1, 4), 4u);
  EXPECT_EQ(std::string(out, 5), "LAsou");
  EXPECT_EQ(buffer.getAsked, std::vector<uint32_t>{3});
  ProbeBuffer empty("");
  empty.SetLookAhead("xy", 2);
  EXPECT_FALSE(empty.EndOfFile()) << "unread bytes in the store";
  std::string text;
  EXPECT_EQ(empty.Copy(text, 2), 2u);
  EXPECT_TRUE(empty.EndOfFile());
  ProbeBuffer narrow("cdef"), second("cdef"), sink;
  narrow.SetLookAhead("ab", 2);
  second.SetLookAhead("ab", 2);
  EXPECT_EQ(narrow.Copy(text, 3), 3u);
  EXPECT_EQ(text, "xyabc");
  EXPECT_EQ(second.Copy(Base(sink), 10), 6u);
  EXPECT_EQ(sink.written, "abcdef");
}

TEST(LookAhead, WideCopiesPairBytesAcrossStoreAndSource) {
  struct Row {
    std::string store, source;
    uint32_t count, copied;
    ZEB::WString wide;
    std::string rest; // what a further read gives
  } const rows[] = {
      {"a", std::string("\0b\0", 3), 4, 4, u"ab", ""},                // a unit split between store and source
      {"abc", "", 8, 3, ZEB::WString(1, char16_t('a' | 'b' << 8)), ""}, // the split unit cannot be completed
      {"abcd", "", 3, 3, ZEB::WString(1, char16_t('a' | 'b' << 8)), "d"}, // an odd last byte within the store
  };
  for (Row const& row : rows) {
    ProbeBuffer buffer(row.source);
    buffer.SetLookAhead(row.store.data(), uint32_t(row.store.size()));
    ZEB::WString wide;
    EXPECT_EQ(buffer.Copy(wide, row.count), row.copied) << row.store;
    EXPECT_EQ(wide, row.wide) << row.store;
    char rest[4];
    EXPECT_EQ(std::string(rest, buffer.Get(rest, 4)), row.rest) << row.store;
  }
}

TEST(LookAhead, SeekToZeroAndClearDiscardTheStore) {
  ProbeBuffer buffer("0123456789");
  buffer.SetLookAhead("LA", 2);
  buffer.SeekG(5);
  char c;
  EXPECT_EQ(buffer.Get(&c, 1), 1u);
  EXPECT_EQ(c, 'L') << "other offsets keep it";
  buffer.SeekG(0);
  EXPECT_EQ(buffer.Get(&c, 1), 1u);
  EXPECT_EQ(c, '0');
  buffer.SetLookAhead("LA", 2);
  buffer.Clear();
  EXPECT_EQ(buffer.Get(&c, 1), 1u);
  EXPECT_EQ(c, '0');
}

TEST(BinaryStream, WrapperForwardsAndIntegersAreLittleEndian) {
  struct Forwarder : ZEB::BinaryStreamBufWrapper {
    explicit Forwarder(Buf& inner) : BinaryStreamBufWrapper(inner) {}
  };
  ProbeBuffer inner("hello");
  Forwarder wrapper(inner);
  char out[5];
  EXPECT_EQ(wrapper.Get(out, 5), 5u);
  EXPECT_EQ(wrapper.TellG(), 5u);
  EXPECT_TRUE(wrapper.EndOfFile());
  wrapper.PutAll("xy", 2);
  EXPECT_EQ(inner.written, "xy");
  EXPECT_EQ(wrapper.TellP(), 2u);
  wrapper.SeekG(1);
  std::string rest;
  EXPECT_EQ(wrapper.Copy(rest, 10), 4u);
  EXPECT_EQ(rest, "ello");

  ProbeBuffer sink;
  ZEB::BinaryStreamT<unsigned> stream(sink);
  stream.WriteInt<uint32_t>(0x01020304);
  stream.WriteInt<int16_t>(-2);
  EXPECT_EQ(sink.written, std::string("\x04\x03\x02\x01\xFE\xFF", 6));
  ProbeBuffer source(sink.written);
  ZEB::BinaryStreamT<unsigned> in(source);
  EXPECT_EQ(in.ReadInt<uint32_t>(), 0x01020304u);
  EXPECT_EQ(in.ReadInt<int16_t>(), -2);
  EXPECT_THROW(in.ReadInt<uint8_t>(), ZEB::BinaryStreamGetEOFException);
}
