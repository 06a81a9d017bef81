// The public operations of the buffer interface over a probe buffer that
// records its reads: look-ahead rules, checked transfers, default copies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZEB/BinaryStream.h"
#include "ZEB/BinaryStreamBuf.h"

namespace {

using Buf = ZEB::BinaryStreamBufT<unsigned>;

// Reads from a byte string after an optional look-ahead store; writes append
// up to an optional limit. Keeps the counts vGet was asked for.
class ProbeBuffer : public Buf {
public:
  explicit ProbeBuffer(std::string bytes = {}, std::string const& lookAhead = {}, uint32_t putLimit = UINT32_MAX)
      : bytes(std::move(bytes)), limit(putLimit) {
    SetLookAhead(lookAhead.data(), uint32_t(lookAhead.size()));
  }
  using Buf::SetLookAhead;
  std::string bytes, written;
  uint32_t limit, at = 0;
  std::vector<uint32_t> getAsked;

protected:
  uint32_t vPut(void const* data, uint32_t count) override {
    count = std::min<uint32_t>(count, limit - uint32_t(written.size()));
    written.append(static_cast<char const*>(data), count);
    return count;
  }
  uint32_t vGet(void* destination, uint32_t count) override {
    uint32_t n = uint32_t(bytes.copy(static_cast<char*>(destination), count, at));
    at += n;
    getAsked.push_back(count);
    return n;
  }
  uint32_t vSeekG(uint32_t offset, Origin, Direction) override { return at = offset; }
  uint32_t vTellP() const override { return uint32_t(written.size()); }
  uint32_t vTellG() const override { return at; }
  uint32_t vSeekP(uint32_t, Origin, Direction) override { return 0; }
  uint32_t vSize() const override { return uint32_t(bytes.size()); }
  bool vEndOfFile() const override { return at >= bytes.size(); }
  void vClear() override { at = 0; }
  void vFlush() override {}
  void vClearMemory() override {}
  void vClearEnd() override {}
};

struct HolderOf : ZEB::BinaryStreamBufHolder {
  explicit HolderOf(ZEB::BaseBinaryStreamBuf& buffer) : buffer(buffer) {}
  ZEB::BaseBinaryStreamBuf& Buffer() override { return buffer; }
  ZEB::BaseBinaryStreamBuf& buffer;
};

ZEB::BaseBinaryStreamBuf& Base(Buf& buffer) { return buffer; }

} // namespace

TEST(BufferInterface, CheckedTransfersZeroCountsAndDefaultCopies) {
  ProbeBuffer buffer("wxyz"), sink, full("", "", 3), source("0123456789"), small("", "", 4);
  char out[10] = {};
  std::string narrow;
  ZEB::WString wide;
  EXPECT_EQ(buffer.Get(out, 0) + buffer.Copy(narrow, 0) + buffer.Copy(wide, 0) + buffer.Copy(Base(sink), 0), 0u);
  EXPECT_TRUE(buffer.getAsked.empty() && sink.written.empty()) << "zero counts call no hook";
  EXPECT_THROW(buffer.GetAll(out, 10), ZEB::BinaryStreamGetEOFException);
  EXPECT_EQ(std::string(out, 4), "wxyz") << "what there is, then the exception";
  EXPECT_THROW(full.PutAll("abcdef", 6), ZEB::BinaryStreamPutEOFException);
  EXPECT_EQ(full.written, "abc");
  EXPECT_THROW(source.Copy(Base(small), 10), ZEB::BinaryStreamPutEOFException);
  EXPECT_EQ(small.written, "0123");
  // Default copies read in pieces of 32 KiB until nothing comes.
  std::string bytes(2 * 32768 + 10, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = char(i * 7);
  ProbeBuffer large(bytes), copy(bytes), units(std::string("a\0b\0c", 5));
  EXPECT_EQ(large.Copy(narrow, 4 * 32768), bytes.size());
  EXPECT_EQ(large.getAsked, (std::vector<uint32_t>{32768, 32768, 32768, 32768}));
  EXPECT_EQ(narrow, bytes);
  HolderOf holder(sink);
  EXPECT_EQ(copy.Copy(holder, 80000), bytes.size());
  EXPECT_EQ(sink.written, bytes);
  EXPECT_EQ(units.Copy(wide, 5), 5u);
  EXPECT_EQ(wide, u"ab") << "an odd last byte is counted, not converted";
}

// Reads come from the look-ahead store first until it is used up; a seek to
// 0 and Clear discard it.
TEST(LookAhead, ReadsTakeTheStoreFirstUntilASeekToZero) {
  ProbeBuffer buffer("source", "LA"), empty("", "xy"), narrow("cdef", "ab"), sink;
  char out[5] = {};
  EXPECT_EQ(buffer.Get(out, 1), 1u);
  EXPECT_TRUE(buffer.getAsked.empty()) << "a read the store satisfies calls no hook";
  EXPECT_EQ(buffer.Get(out + 1, 4), 4u);
  EXPECT_EQ(std::string(out, 5), "LAsou");
  EXPECT_EQ(buffer.getAsked, std::vector<uint32_t>{3});
  EXPECT_FALSE(empty.EndOfFile()) << "unread bytes in the store";
  std::string text;
  EXPECT_EQ(empty.Copy(text, 2), 2u);
  EXPECT_TRUE(empty.EndOfFile());
  EXPECT_EQ(narrow.Copy(text, 3), 3u);
  EXPECT_EQ(text, "xyabc");
  EXPECT_EQ(ProbeBuffer("cdef", "ab").Copy(Base(sink), 10), 6u);
  EXPECT_EQ(sink.written, "abcdef");
  ProbeBuffer seeking("0123456789", "LA");
  for (auto [offset, first] : {std::pair{5u, 'L'}, {0u, '0'}}) { // other offsets keep the store
    seeking.SeekG(offset);
    EXPECT_TRUE(seeking.Get(out, 1) == 1 && out[0] == first) << offset;
  }
  seeking.SetLookAhead("LA", 2);
  seeking.Clear();
  EXPECT_TRUE(seeking.Get(out, 1) == 1 && out[0] == '0') << "Clear";
  // Wide copies pair bytes across the store and the source.
  struct Row {
    std::string store, source;
    uint32_t count, copied;
    ZEB::WString wide;
    std::string rest; // what a further read gives
  } const rows[] = {
      {"a", std::string("\0b\0", 3), 4, 4, u"ab", ""},                    // a unit split between store and source
      {"abc", "", 8, 3, ZEB::WString(1, char16_t('a' | 'b' << 8)), ""},   // the split unit cannot be completed
      {"abcd", "", 3, 3, ZEB::WString(1, char16_t('a' | 'b' << 8)), "d"}, // an odd last byte within the store
  };
  for (Row const& row : rows) {
    ProbeBuffer wide(row.source, row.store);
    ZEB::WString copied;
    EXPECT_EQ(wide.Copy(copied, row.count), row.copied) << row.store;
    EXPECT_EQ(copied, row.wide) << row.store;
    EXPECT_EQ(std::string(out, wide.Get(out, 4)), row.rest) << row.store;
  }
}

TEST(BinaryStream, WrapperForwardsAndIntegersAreLittleEndian) {
  struct Forwarder : ZEB::BinaryStreamBufWrapper {
    explicit Forwarder(Buf& inner) : BinaryStreamBufWrapper(inner) {}
  };
  ProbeBuffer inner("hello");
  Forwarder wrapper(inner);
  wrapper.SeekG(1);
  wrapper.PutAll("xy", 2);
  std::string rest;
  EXPECT_EQ(wrapper.Copy(rest, 10), 4u);
  EXPECT_EQ(rest + inner.written, "elloxy");
  EXPECT_TRUE(wrapper.EndOfFile() && wrapper.TellG() == 5 && wrapper.TellP() == 2);
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
