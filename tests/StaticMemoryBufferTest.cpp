// The fixed-memory buffer and the window: read-only and writable forms, the
// hooks that throw standard-library exceptions, seek ranges, copies, and a
// window's reads, writes and seeks over an inner buffer.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/StaticMemoryBuffer.h"

using namespace ZEBFile;
using Buf = ZEB::BinaryStreamBufT<unsigned>;

namespace {

std::string const TEN = "0123456789";

// The public ClearMemory stops at Clear's exception: the hook is reached
// directly.
template <class B> struct Hooks : B {
  using B::B;
  using B::vClearMemory;
};

// The text of the std::exception `action` throws, "" when none.
std::string StdText(std::function<void()> const& action) {
  try {
    action();
  } catch (ZEB::BaseException const&) {
    return "library exception";
  } catch (std::exception const& e) {
    return e.what();
  }
  return "";
}

// A seek on a side of a 10-byte buffer standing at 4: the position reached,
// or -1 for SeekOutOfRangeException (the position then stays at 4).
struct SeekRow {
  Buf::Origin origin;
  Buf::Direction direction;
  uint32_t offset;
  int64_t expected;
};

SeekRow const SEEKS[] = {
    {Buf::BEGIN, Buf::FORWARD, 10, 10},   {Buf::BEGIN, Buf::FORWARD, 11, -1},
    {Buf::BEGIN, Buf::BACKWARD, 0, -1},   {Buf::BEGIN, static_cast<Buf::Direction>(5), 3, 3},
    {Buf::END, Buf::FORWARD, 0, 10},      {Buf::END, Buf::FORWARD, 1, -1},
    {Buf::END, Buf::FORWARD, 0xFFFFFFFF, -1}, {Buf::END, Buf::BACKWARD, 10, 0},
    {Buf::END, Buf::BACKWARD, 11, -1},    {Buf::CURRENT, Buf::FORWARD, 6, 10},
    {Buf::CURRENT, Buf::FORWARD, 7, -1},  {Buf::CURRENT, Buf::BACKWARD, 4, 0},
    {Buf::CURRENT, Buf::BACKWARD, 5, -1}, {static_cast<Buf::Origin>(9), Buf::FORWARD, 7, 0 /* per buffer */},
};

bool KnownOrigin(Buf::Origin origin) { return origin == Buf::BEGIN || origin == Buf::END || origin == Buf::CURRENT; }

// Runs every row through `seek` from position 4 and reads the position back
// with `tell`; an unknown origin gives `unknownOrigin`.
void CheckSeeks(std::function<void(uint32_t)> const& reset, std::function<uint32_t(SeekRow const&)> const& seek,
                std::function<uint32_t()> const& tell, int64_t unknownOrigin) {
  for (SeekRow r : SEEKS) {
    if (!KnownOrigin(r.origin))
      r.expected = unknownOrigin;
    SCOPED_TRACE("origin " + std::to_string(r.origin) + " direction " + std::to_string(r.direction) + " offset " +
                 std::to_string(r.offset));
    reset(4);
    if (r.expected < 0) {
      EXPECT_THROW(seek(r), SeekOutOfRangeException);
      EXPECT_EQ(tell(), 4u);
    } else {
      EXPECT_EQ(seek(r), uint32_t(r.expected));
      EXPECT_EQ(tell(), uint32_t(r.expected));
    }
  }
}

} // namespace

TEST(StaticMemoryBuffer, ReadOnlyReadsAndRefusesTheWritingSide) {
  Hooks<StaticMemoryBuffer> b(static_cast<void const*>(TEN.data()), 10);
  EXPECT_TRUE(b.IsReadOnly());
  char got[4];
  EXPECT_EQ(b.Get(got, 4), 4u);
  EXPECT_EQ(std::string(got, 4), "0123");
  EXPECT_EQ(b.TellG(), 4u);
  EXPECT_EQ(b.Size(), 10u);
  std::string narrow;
  EXPECT_EQ(b.Copy(narrow, 3), 3u);
  EXPECT_EQ(narrow, "456");
  EXPECT_EQ(b.SeekG(10), 10u);
  EXPECT_TRUE(b.EndOfFile());
  EXPECT_EQ(b.Get(got, 4), 0u);

  struct Row {
    char const* text;
    std::function<void()> action;
  } const rows[] = {
      {"StaticMemoryBuffer::Put: Buffer is const!", [&] { b.Put("x", 1); }},
      {"StaticMemoryBuffer::TellP: Buffer is const!", [&] { b.TellP(); }},
      {"StaticMemoryBuffer::SeekP: Buffer is const!", [&] { b.SeekP(0); }},
      {"StaticMemoryBuffer::Clear: Not implemented!", [&] { b.Clear(); }},
      {"StaticMemoryBuffer::Clear: Not implemented!", [&] { b.ClearMemory(); }},
      {"StaticMemoryBuffer::ClearMemory: Not implemented!", [&] { b.vClearMemory(); }},
      {"StaticMemoryBuffer::ClearEnd: Not implemented!", [&] { b.ClearEnd(); }},
  };
  for (Row const& r : rows)
    EXPECT_EQ(StdText(r.action), r.text);
  EXPECT_EQ(TEN, "0123456789");
}

TEST(StaticMemoryBuffer, WritableCutsWritesAtItsEnd) {
  char block[8] = {};
  StaticMemoryBuffer b(block, 8);
  EXPECT_FALSE(b.IsReadOnly());
  EXPECT_EQ(b.Put(TEN.data(), 10), 8u);
  EXPECT_EQ(std::string(block, 8), "01234567");
  EXPECT_EQ(b.Put("x", 1), 0u);
  b.SeekP(2);
  EXPECT_THROW(b.PutAll("abcdefghij", 10), ZEB::BinaryStreamPutEOFException);
  EXPECT_EQ(std::string(block, 8), "01abcdef") << "the bytes that fit stay written";
  EXPECT_EQ(b.TellP(), 8u);
  EXPECT_EQ(StdText([&] { b.Clear(); }), "StaticMemoryBuffer::Clear: Not implemented!");
}

TEST(StaticMemoryBuffer, SeeksOfBothSides) {
  char block[10] = {};
  StaticMemoryBuffer b(block, 10);
  CheckSeeks([&](uint32_t at) { b.SeekG(at); },
             [&](SeekRow const& r) { return b.SeekG(r.offset, r.origin, r.direction); }, [&] { return b.TellG(); }, 0);
  CheckSeeks([&](uint32_t at) { b.SeekP(at); },
             [&](SeekRow const& r) { return b.SeekP(r.offset, r.origin, r.direction); }, [&] { return b.TellP(); }, 0);
}

TEST(StaticMemoryBuffer, CopiesIntoStringsAndBuffers) {
  StaticMemoryBuffer b(static_cast<void const*>(TEN.data()), 10);
  b.SeekG(4);
  ZEB::WString wide;
  EXPECT_EQ(b.Copy(wide, 6), 6u);
  EXPECT_EQ(wide, (ZEB::WString{u'4' | u'5' << 8, u'6' | u'7' << 8, u'8' | u'9' << 8}));
  b.SeekG(1);
  wide.clear();
  EXPECT_EQ(b.Copy(wide, 5), 5u) << "an odd last byte is consumed, not appended";
  EXPECT_EQ(wide.size(), 2u);
  EXPECT_EQ(b.TellG(), 6u);

  MemoryBuffer out;
  EXPECT_EQ(b.Copy(static_cast<ZEB::BaseBinaryStreamBuf&>(out), 100), 4u);
  std::string copied;
  out.Copy(copied, 100);
  EXPECT_EQ(copied, "6789");

  char small[3];
  StaticMemoryBuffer full(small, 3);
  b.SeekG(0);
  EXPECT_THROW(b.Copy(static_cast<ZEB::BaseBinaryStreamBuf&>(full), 10), ZEB::BinaryStreamPutEOFException)
      << "bytes that do not fit are not reported as copied";
  EXPECT_EQ(b.TellG(), 0u);
}

TEST(SubBinaryStreamBuf, ReadsStopAtTheEndWritesDoNot) {
  std::string bytes(1000, '.');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>('a' + i % 26);
  MemoryBuffer inner(bytes.data(), 1000);
  inner.SeekG(700);
  Hooks<SubBinaryStreamBuf> window(100, 200, inner);
  EXPECT_EQ(window.Size(), 100u);
  EXPECT_EQ(window.TellG(), 0u);
  EXPECT_EQ(inner.TellG(), 100u);
  std::string got(500, '\0');
  EXPECT_EQ(window.Get(&got[0], 500), 100u);
  EXPECT_EQ(got.substr(0, 100), bytes.substr(100, 100));
  EXPECT_TRUE(window.EndOfFile());
  EXPECT_EQ(window.Get(&got[0], 1), 0u);
  window.SeekG(90);
  std::string copied;
  EXPECT_EQ(window.Copy(copied, 50), 10u);
  EXPECT_EQ(copied, bytes.substr(190, 10));

  inner.SeekP(200);
  EXPECT_EQ(window.TellP(), 100u);
  EXPECT_EQ(window.Put("XYZ", 3), 3u);
  inner.SeekG(200);
  inner.Get(&got[0], 3);
  EXPECT_EQ(got.substr(0, 3), "XYZ") << "written past the window's end";

  struct Row {
    char const* text;
    std::function<void()> action;
  } const rows[] = {
      {"SubBinaryStreamBuf::Clear: Not implemented!", [&] { window.Clear(); }},
      {"SubBinaryStreamBuf::Clear: Not implemented!", [&] { window.ClearMemory(); }},
      {"SubBinaryStreamBuf::ClearMemory: Not implemented!", [&] { window.vClearMemory(); }},
      {"SubBinaryStreamBuf::ClearEnd: Not implemented!", [&] { window.ClearEnd(); }},
  };
  for (Row const& r : rows)
    EXPECT_EQ(StdText(r.action), r.text);
  EXPECT_EQ(inner.Size(), 1000u);
}

// The rows of a 10-byte buffer hold for a 10-byte window at 50 of a larger
// buffer, positions counted from the window's start: a backward seek from the
// end or the current position that would land before the start throws, and
// so does an unknown origin (absolute position 0).
TEST(SubBinaryStreamBuf, SeeksStayInsideTheWindow) {
  MemoryBuffer inner(std::string(100, 'x').data(), 100);
  SubBinaryStreamBuf window(50, 60, inner);
  auto reset = [&](uint32_t at) {
    window.SeekG(at);
    window.SeekP(at);
  };
  auto tellG = [&] { return window.TellG(); };
  auto tellP = [&] { return window.TellP(); };
  CheckSeeks(reset, [&](SeekRow const& r) { return window.SeekG(r.offset, r.origin, r.direction); }, tellG, -1);
  CheckSeeks(reset, [&](SeekRow const& r) { return window.SeekP(r.offset, r.origin, r.direction); }, tellP, -1);
  EXPECT_EQ(inner.TellG(), 54u);
}
