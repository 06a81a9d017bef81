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
  ProbeBuffer large(bytes), units(std::string("a\0b\0c", 5));
  EXPECT_EQ(large.Copy(narrow, 4 * 32768), bytes.size());
  EXPECT_EQ(large.getAsked, (std::vector<uint32_t>{32768, 32768, 32768, 32768}));
  EXPECT_EQ(narrow, bytes);
  EXPECT_EQ(units.Copy(wide, 5), 5u);
  EXPECT_EQ(wide, u"ab") << "an odd last byte is counted, not converted";
}

// Reads come from the look-ahead store first until it is used up; a seek to
// 0 and Clear discard it.
TEST(LookAhead, ReadsTakeTheStoreFirstUntilASeekToZero) {
  ProbeBuffer buffer("source", "LA");
  char out[5] = {};
  EXPECT_EQ(buffer.Get(out, 1), 1u);
  EXPECT_TRUE(buffer.getAsked.empty()) << "a read the store satisfies calls no hook";
  EXPECT_EQ(buffer.Get(out + 1, 4), 4u);
  EXPECT_EQ(std::string(out, 5), "LAsou");
  EXPECT_EQ(buffer.getAsked, std::vector<uint32_t>{3});
  ProbeBuffer seeking("0123456789", "LA");
  for (auto [offset, first] : {std::pair{5u, 'L'}, {0u, '0'}}) { // other offsets keep the store
    seeking.SeekG(offset);
    EXPECT_TRUE(seeking.Get(out, 1) == 1 && out[0] == first) << offset;
  }
  ProbeBuffer cleared("0123456789", "LA");
  cleared.Clear();
  EXPECT_TRUE(cleared.Get(out, 1) == 1 && out[0] == '0') << "Clear";
  // Copies take the store first; wide ones pair bytes across the store and the source.
  struct Row {
    std::string store, source;
    char to; // a narrow string, a wide one (compared as its bytes) or a buffer
    uint32_t count, copied;
    std::string out, rest; // what was copied, what a further read gives
  } const rows[] = {
      {"xy", "", 'n', 2, 2, "xy", ""},
      {"ab", "cdef", 'n', 3, 3, "abc", "def"},
      {"ab", "cdef", 'b', 10, 6, "abcdef", ""},
      {"a", std::string("\0b\0", 3), 'w', 4, 4, std::string("a\0b\0", 4), ""}, // a unit split by the store's end
      {"abc", "", 'w', 8, 3, "ab", ""},   // the split unit cannot be completed
      {"abcd", "", 'w', 3, 3, "ab", "d"}, // an odd last byte within the store
  };
  for (Row const& row : rows) {
    SCOPED_TRACE(row.store + " then " + row.source + " to " + row.to);
    ProbeBuffer source(row.source, row.store), sink;
    std::string narrow;
    ZEB::WString wide;
    uint32_t copied = row.to == 'n'   ? source.Copy(narrow, row.count)
                      : row.to == 'w' ? source.Copy(wide, row.count)
                                      : source.Copy(Base(sink), row.count);
    EXPECT_EQ(copied, row.copied);
    EXPECT_EQ(narrow + sink.written + std::string(reinterpret_cast<char const*>(wide.data()), wide.size() * 2),
              row.out);
    EXPECT_EQ(std::string(out, source.Get(out, 4)), row.rest);
  }
}

TEST(BinaryStream, IntegersAreLittleEndianAndAShortReadThrows) {
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
