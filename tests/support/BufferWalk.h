// Random operations on a buffer and on a byte-string model side by side:
// puts, reads of every form (Get, narrow, wide and buffer copies), seeks of
// every origin and direction (some out of range), ClearEnd, Flush and Clear.
// The model writes the seek rules out once more, independently of the buffers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"

namespace ZEBTest {

// Bytes that differ from their neighbours and repeat only after long runs.
inline std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(i * 131 + (i >> 9));
  return bytes;
}

// Everything a buffer holds; its get position stays.
inline std::string Content(ZEB::BinaryStreamBufT<unsigned>& buffer) {
  uint32_t get = buffer.TellG();
  std::string bytes;
  buffer.SeekG(0);
  buffer.Copy(bytes, buffer.Size());
  buffer.SeekG(get);
  return bytes;
}

class BufferWalk {
public:
  using Buf = ZEB::BinaryStreamBufT<unsigned>;

  // `span`: the lengths that matter most (the cache or chunk size). A buffer
  // whose put seeks `extend` fills a target past the end with zeros.
  BufferWalk(Buf& buffer, uint32_t span, unsigned seed, bool extend)
      : m_Buffer(buffer), m_Span(std::max<uint32_t>(span, 64)), m_Random(seed), m_Extend(extend),
        m_Limit(std::max<uint32_t>(span, 4096) * 3 + 20000) {}

  uint32_t Size() const { return uint32_t(m_Bytes.size()); }

  // `steps` operations, each compared with the model; the content too while
  // it is small, every 25 steps, and at the end. `check`: more to compare
  // after each step.
  template <class Check> ::testing::AssertionResult Run(int steps, Check check) {
    for (int step = 0; step < steps; ++step) {
      std::string op = Step();
      auto same = m_Problem.empty() ? SamePositions() : ::testing::AssertionFailure() << m_Problem;
      if (same && (Size() <= 65536 || step % 25 == 0 || step + 1 == steps))
        same = SameContent();
      if (same && !check())
        same = ::testing::AssertionFailure() << "check failed";
      if (!same)
        return same << " at step " << step << ": " << op;
    }
    return ::testing::AssertionSuccess();
  }

private:
  // One random operation on both; what it was, for failure reports. A
  // difference seen on the way is left in m_Problem.
  std::string Step() {
    unsigned kind = Pick(100);
    if (kind < 35)
      return Put();
    if (kind < 60)
      return Read();
    if (kind < 92)
      return Seek(kind < 75);
    if (kind < 98) {
      m_Buffer.ClearEnd();
      m_Bytes.resize(m_Put);
      m_Get = std::min(m_Get, m_Put);
      return "ClearEnd at " + std::to_string(m_Put);
    }
    if (kind < 99) {
      m_Buffer.Flush();
      return "Flush";
    }
    m_Buffer.Clear();
    m_Bytes.clear();
    m_Get = m_Put = 0;
    return "Clear";
  }

  ::testing::AssertionResult SamePositions() const {
    if (m_Buffer.TellP() == m_Put && m_Buffer.TellG() == m_Get && m_Buffer.Size() == Size() &&
        m_Buffer.EndOfFile() == (m_Get == Size()))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "put " << m_Buffer.TellP() << "/" << m_Put << ", get "
                                         << m_Buffer.TellG() << "/" << m_Get << ", size " << m_Buffer.Size()
                                         << "/" << Size();
  }

  ::testing::AssertionResult SameContent() {
    std::string all = Content(m_Buffer);
    auto diff = std::mismatch(all.begin(), all.end(), m_Bytes.begin(), m_Bytes.end());
    return all == m_Bytes ? ::testing::AssertionSuccess()
                          : ::testing::AssertionFailure() << "content differs at " << (diff.first - all.begin());
  }

  unsigned Pick(unsigned bound) { return std::uniform_int_distribution<unsigned>(0, bound - 1)(m_Random); }

  uint32_t Length() {
    unsigned kind = Pick(4);
    return Pick(kind == 0 ? 17 : kind == 1 ? m_Span + 2 : kind == 2 ? 3 * m_Span : 5000);
  }

  std::string Put() {
    uint32_t count = std::min(Length(), m_Limit > m_Put ? m_Limit - m_Put : 0);
    std::string data(count, '\0');
    for (auto& b : data)
      b = static_cast<char>(m_Random());
    if (m_Buffer.Put(data.data(), count) != count)
      m_Problem = "Put took less";
    m_Bytes.resize(std::max<size_t>(m_Bytes.size(), m_Put + count));
    m_Bytes.replace(m_Put, count, data);
    m_Put += count;
    return "Put " + std::to_string(count) + " at " + std::to_string(m_Put - count);
  }

  // The bytes read by one of the forms; a wide copy consumes an odd last
  // byte without converting it.
  std::string ReadAs(unsigned form, uint32_t count, uint32_t& n) {
    std::string got;
    if (form == 0) {
      got.resize(count + 1);
      got.resize(n = m_Buffer.Get(&got[0], count));
    } else if (form == 1) {
      n = m_Buffer.Copy(got, count);
    } else if (form == 2) {
      ZEB::WString wide;
      n = m_Buffer.Copy(wide, count);
      for (char16_t unit : wide)
        got += {char(unit & 0xFF), char(unit >> 8)};
    } else {
      ZEBFile::MemoryBuffer sink(1000);
      n = m_Buffer.Copy(static_cast<ZEB::BaseBinaryStreamBuf&>(sink), count);
      sink.Copy(got, sink.Size());
    }
    return got;
  }

  std::string Read() {
    uint32_t count = Length(), at = m_Get, n = 0;
    unsigned form = Pick(4);
    std::string got = ReadAs(form, count, n);
    uint32_t expected = std::min(count, Size() - at);
    if (n != expected)
      m_Problem = "read gave " + std::to_string(n) + " instead of " + std::to_string(expected);
    else if (got != m_Bytes.substr(at, form == 2 ? expected & ~1u : expected))
      m_Problem = "read delivered other bytes";
    m_Get = at + expected;
    return "read form " + std::to_string(form) + ", " + std::to_string(count) + " at " + std::to_string(at);
  }

  // The target of a seek by the rules, or -1 when it is out of range.
  int64_t Target(uint32_t position, uint32_t offset, Buf::Origin origin, Buf::Direction direction) const {
    if (origin == Buf::BEGIN)
      return direction == Buf::BACKWARD ? -1 : int64_t(offset);
    if (origin != Buf::END && origin != Buf::CURRENT)
      return 0;
    int64_t base = origin == Buf::END ? Size() : position;
    int64_t target = direction == Buf::FORWARD ? base + offset : base - int64_t(offset);
    return target > int64_t(UINT32_MAX) ? -1 : target;
  }

  std::string Seek(bool putSide) {
    static Buf::Origin const ORIGINS[] = {Buf::BEGIN, Buf::BEGIN, Buf::END, Buf::CURRENT, Buf::Origin(3)};
    static Buf::Direction const DIRECTIONS[] = {Buf::FORWARD, Buf::FORWARD, Buf::BACKWARD, Buf::Direction(5)};
    Buf::Origin origin = ORIGINS[Pick(5)];
    Buf::Direction direction = DIRECTIONS[Pick(4)];
    uint32_t offset = Pick(8) == 0 ? UINT32_MAX - Pick(3) : Pick(Size() + 3);
    uint32_t& position = putSide ? m_Put : m_Get;
    std::string what = std::string(putSide ? "SeekP " : "SeekG ") + std::to_string(offset) + " origin " +
                       std::to_string(origin) + " direction " + std::to_string(direction);
    int64_t target = Target(position, offset, origin, direction);
    bool extends = putSide && m_Extend && target > int64_t(Size());
    if (extends && target > int64_t(m_Limit))
      return what + " (skipped: too far to fill)";
    bool ok = target >= 0 && (target <= int64_t(Size()) || extends);
    try {
      uint32_t result = putSide ? m_Buffer.SeekP(offset, origin, direction) : m_Buffer.SeekG(offset, origin, direction);
      if (!ok)
        m_Problem = "seek accepted";
      else if (result != target)
        m_Problem = "seek gave " + std::to_string(result);
    } catch (ZEBFile::SeekOutOfRangeException const&) {
      if (ok)
        m_Problem = "seek refused";
    }
    if (ok) {
      if (extends)
        m_Bytes.resize(size_t(target), '\0');
      position = uint32_t(target);
    }
    return what;
  }

  Buf& m_Buffer;
  uint32_t m_Span;
  std::mt19937 m_Random;
  bool m_Extend;
  uint32_t m_Limit;
  std::string m_Bytes;
  uint32_t m_Get = 0, m_Put = 0;
  std::string m_Problem;
};

} // namespace ZEBTest
