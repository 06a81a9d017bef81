#include "ZEBFile/StaticMemoryBuffer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "SeekRules.h"
#include "ZEBFile/Exceptions.h"

namespace ZEBFile {

namespace {

[[noreturn]] void Unsupported(char const* text) { throw std::logic_error(text); }

} // namespace

// --- StaticMemoryBuffer ----------------------------------------------------------

StaticMemoryBuffer::StaticMemoryBuffer(void* data, uint32_t size) noexcept
    : m_Size(size), m_Data(static_cast<unsigned char*>(data)), m_ReadOnly(false) {}

// The block is never written through a read-only buffer: every writing hook
// throws before touching it.
StaticMemoryBuffer::StaticMemoryBuffer(void const* data, uint32_t size) noexcept
    : m_Size(size), m_Data(static_cast<unsigned char*>(const_cast<void*>(data))), m_ReadOnly(true) {}

StaticMemoryBuffer::~StaticMemoryBuffer() = default;

uint32_t StaticMemoryBuffer::SeekTo(uint32_t offset, Origin origin, Direction direction, uint32_t current) const {
  uint32_t target = SeekTarget(offset, origin, direction, m_Size, current);
  if (target > m_Size)
    throw SeekOutOfRangeException();
  return target;
}

// A write that does not fit is cut short, so that PutAll throws.
uint32_t StaticMemoryBuffer::vPut(void const* data, uint32_t count) {
  if (m_ReadOnly)
    Unsupported("StaticMemoryBuffer::Put: Buffer is const!");
  uint32_t n = std::min(count, m_Size - m_PutPos);
  if (n == 0)
    return 0;
  std::memcpy(m_Data + m_PutPos, data, n);
  m_PutPos += n;
  return n;
}

uint32_t StaticMemoryBuffer::vTellP() const {
  if (m_ReadOnly)
    Unsupported("StaticMemoryBuffer::TellP: Buffer is const!");
  return m_PutPos;
}

uint32_t StaticMemoryBuffer::vSeekP(uint32_t offset, Origin origin, Direction direction) {
  if (m_ReadOnly)
    Unsupported("StaticMemoryBuffer::SeekP: Buffer is const!");
  m_PutPos = SeekTo(offset, origin, direction, m_PutPos);
  return m_PutPos;
}

uint32_t StaticMemoryBuffer::vGet(void* destination, uint32_t count) {
  uint32_t n = 0;
  unsigned char const* at = GetInPlace(count, n);
  if (n != 0)
    std::memcpy(destination, at, n);
  return n;
}

uint32_t StaticMemoryBuffer::vSeekG(uint32_t offset, Origin origin, Direction direction) {
  m_GetPos = SeekTo(offset, origin, direction, m_GetPos);
  return m_GetPos;
}

void StaticMemoryBuffer::vClear() { Unsupported("StaticMemoryBuffer::Clear: Not implemented!"); }

void StaticMemoryBuffer::vClearMemory() { Unsupported("StaticMemoryBuffer::ClearMemory: Not implemented!"); }

void StaticMemoryBuffer::vClearEnd() { Unsupported("StaticMemoryBuffer::ClearEnd: Not implemented!"); }

uint32_t StaticMemoryBuffer::vCopy(std::string& destination, uint32_t count) {
  uint32_t n = 0;
  unsigned char const* at = GetInPlace(count, n);
  destination.append(reinterpret_cast<char const*>(at), n);
  return n;
}

uint32_t StaticMemoryBuffer::vCopy(ZEB::WString& destination, uint32_t count) {
  uint32_t n = 0;
  unsigned char const* at = GetInPlace(count, n);
  ZEB::WideAppender(destination).Append(at, n);
  return n;
}

// One checked write: a destination that takes fewer bytes throws
// BinaryStreamPutEOFException and this buffer's bytes stay unread.
uint32_t StaticMemoryBuffer::vCopy(ZEB::BaseBinaryStreamBuf& destination, uint32_t count) {
  uint32_t n = std::min(count, m_Size - m_GetPos);
  if (n != 0)
    destination.PutAll(m_Data + m_GetPos, n);
  m_GetPos += n;
  return n;
}

// --- SubBinaryStreamBuf ------------------------------------------------------------

// An end before the start makes an empty window at the start.
SubBinaryStreamBuf::SubBinaryStreamBuf(uint32_t const& start, uint32_t const& end,
                                       ZEB::BinaryStreamBufT<unsigned>& inner)
    : m_Start(start), m_End(std::max(start, end)), m_Inner(&inner) {
  m_Inner->SeekG(m_Start, BEGIN, FORWARD);
}

SubBinaryStreamBuf::~SubBinaryStreamBuf() = default;

// Every position a seek reaches lies inside the window: a target before its
// start or past its end (whatever the origin) throws and moves nothing.
uint32_t SubBinaryStreamBuf::SeekTo(uint32_t offset, Origin origin, Direction direction, uint32_t current) const {
  // Offsets from the beginning count from the window's start.
  int64_t target = SeekTarget(offset, origin, direction, m_End, current);
  if (origin == BEGIN)
    target += m_Start;
  if (target < m_Start || target > m_End)
    throw SeekOutOfRangeException();
  return static_cast<uint32_t>(target);
}

uint32_t SubBinaryStreamBuf::vPut(void const* data, uint32_t count) { return m_Inner->Put(data, count); }

uint32_t SubBinaryStreamBuf::vTellP() const { return m_Inner->TellP() - m_Start; }

uint32_t SubBinaryStreamBuf::vSeekP(uint32_t offset, Origin origin, Direction direction) {
  uint32_t target = SeekTo(offset, origin, direction, m_Inner->TellP());
  return m_Inner->SeekP(target, BEGIN, FORWARD) - m_Start;
}

uint32_t SubBinaryStreamBuf::vGet(void* destination, uint32_t count) {
  uint32_t position = m_Inner->TellG();
  uint32_t n = position < m_End ? std::min(count, m_End - position) : 0;
  return n == 0 ? 0 : m_Inner->Get(destination, n);
}

uint32_t SubBinaryStreamBuf::vTellG() const { return m_Inner->TellG() - m_Start; }

uint32_t SubBinaryStreamBuf::vSeekG(uint32_t offset, Origin origin, Direction direction) {
  uint32_t target = SeekTo(offset, origin, direction, m_Inner->TellG());
  return m_Inner->SeekG(target, BEGIN, FORWARD) - m_Start;
}

void SubBinaryStreamBuf::vFlush() { m_Inner->Flush(); }

void SubBinaryStreamBuf::vClear() { Unsupported("SubBinaryStreamBuf::Clear: Not implemented!"); }

void SubBinaryStreamBuf::vClearMemory() { Unsupported("SubBinaryStreamBuf::ClearMemory: Not implemented!"); }

void SubBinaryStreamBuf::vClearEnd() { Unsupported("SubBinaryStreamBuf::ClearEnd: Not implemented!"); }

bool SubBinaryStreamBuf::vEndOfFile() const { return m_Inner->TellG() >= m_End; }

} // namespace ZEBFile
