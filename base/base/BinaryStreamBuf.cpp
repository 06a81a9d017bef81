#include "ZEB/BinaryStreamBuf.h"

#include <algorithm>
#include <cstring>

namespace ZEB {

ZEB_DEFINE_EXCEPTION(BinaryStreamException, Exception)
ZEB_DEFINE_EXCEPTION(BinaryStreamPutEOFException, BinaryStreamException)
ZEB_DEFINE_EXCEPTION(BinaryStreamGetEOFException, BinaryStreamException)

BinaryStreamBufHolder::~BinaryStreamBufHolder() = default;
BaseBinaryStreamBuf::~BaseBinaryStreamBuf() = default;

using Buf = BinaryStreamBufT<unsigned>;

namespace {
void AppendUnits(WString& destination, unsigned char const* bytes, uint32_t count) {
  std::size_t units = count / 2;
  std::size_t at = destination.size();
  destination.resize(at + units);
  std::memcpy(&destination[at], bytes, units * 2);
}
} // namespace

void WideAppender::Append(unsigned char const* bytes, uint32_t count) {
  if (count == 0)
    return;
  if (m_HasPending) {
    unsigned char pair[2] = {m_Pending, bytes[0]};
    AppendUnits(m_Destination, pair, 2);
    m_HasPending = false;
    ++bytes;
    --count;
  }
  AppendUnits(m_Destination, bytes, count);
  if (count % 2 != 0) {
    m_Pending = bytes[count - 1];
    m_HasPending = true;
  }
}

Buf::BinaryStreamBufT(unsigned char capabilities) noexcept : m_Capabilities(capabilities) {}

Buf::~BinaryStreamBufT() { ClearLookAhead(); }

void Buf::SetLookAhead(void const* data, uint32_t count) {
  ClearLookAhead();
  if (count == 0)
    return;
  m_LookAhead = static_cast<unsigned char*>(ZEBMem::AllocateOrThrow(count));
  std::memcpy(m_LookAhead, data, count);
  m_LookAheadLen = count;
}

void Buf::ClearLookAhead() noexcept {
  ZEBMem::Free(m_LookAhead);
  m_LookAhead = nullptr;
  m_LookAheadLen = 0;
  m_LookAheadPos = 0;
}

// Delivers what the look-ahead store holds first, then asks `rest` (a hook)
// for the remainder. The store is dropped as soon as it is used up, also
// when a delivery throws.
template <class Sink> uint32_t Buf::ReadThroughLookAhead(uint32_t count, Sink&& sink) {
  if (count == 0)
    return 0;
  if (!m_LookAhead)
    return sink.Rest(count);
  uint32_t taken = std::min(count, m_LookAheadLen - m_LookAheadPos);
  unsigned char const* bytes = m_LookAhead + m_LookAheadPos;
  m_LookAheadPos += taken;
  struct DropWhenUsedUp {
    Buf& buf;
    ~DropWhenUsedUp() {
      if (buf.m_LookAheadPos == buf.m_LookAheadLen)
        buf.ClearLookAhead();
    }
  };
  {
    DropWhenUsedUp guard{*this};
    sink.Deliver(bytes, taken);
  }
  return taken < count ? taken + sink.Rest(count - taken) : taken;
}

uint32_t Buf::Put(void const* data, uint32_t count) { return vPut(data, count); }

uint32_t Buf::Get(void* destination, uint32_t count) {
  struct {
    Buf& buf;
    unsigned char* out;
    void Deliver(unsigned char const* bytes, uint32_t n) {
      std::memcpy(out, bytes, n);
      out += n;
    }
    uint32_t Rest(uint32_t n) { return buf.vGet(out, n); }
  } sink{*this, static_cast<unsigned char*>(destination)};
  return ReadThroughLookAhead(count, sink);
}

uint32_t Buf::PutAll(void const* data, uint32_t count) {
  uint32_t written = Put(data, count);
  if (written != count)
    throw BinaryStreamPutEOFException();
  return written;
}

uint32_t Buf::GetAll(void* destination, uint32_t count) {
  uint32_t read = Get(destination, count);
  if (read != count)
    throw BinaryStreamGetEOFException();
  return read;
}

uint32_t Buf::Copy(std::string& destination, uint32_t count) {
  struct {
    Buf& buf;
    std::string& out;
    void Deliver(unsigned char const* bytes, uint32_t n) { out.append(reinterpret_cast<char const*>(bytes), n); }
    uint32_t Rest(uint32_t n) { return buf.vCopy(out, n); }
  } sink{*this, destination};
  return ReadThroughLookAhead(count, sink);
}

uint32_t Buf::Copy(BaseBinaryStreamBuf& destination, uint32_t count) {
  struct {
    Buf& buf;
    BaseBinaryStreamBuf& out;
    void Deliver(unsigned char const* bytes, uint32_t n) { out.PutAll(bytes, n); }
    uint32_t Rest(uint32_t n) { return buf.vCopy(out, n); }
  } sink{*this, destination};
  return ReadThroughLookAhead(count, sink);
}

uint32_t Buf::Copy(BinaryStreamBufHolder& destination, uint32_t count) {
  return Copy(destination.Buffer(), count);
}

// Bytes pair into 16-bit units; a unit split between the look-ahead store and
// the source is completed with one byte read through vGet.
uint32_t Buf::Copy(WString& destination, uint32_t count) {
  if (count == 0)
    return 0;
  if (!m_LookAhead)
    return vCopy(destination, count);
  uint32_t avail = m_LookAheadLen - m_LookAheadPos;
  unsigned char const* bytes = m_LookAhead + m_LookAheadPos;
  if (count <= avail) {
    AppendUnits(destination, bytes, count);
    m_LookAheadPos += count;
    if (m_LookAheadPos == m_LookAheadLen)
      ClearLookAhead();
    return count;
  }
  AppendUnits(destination, bytes, avail);
  unsigned char pair[2] = {bytes[avail - 1], 0};
  bool odd = avail % 2 != 0;
  ClearLookAhead();
  if (!odd)
    return avail + vCopy(destination, count - avail);
  if (vGet(pair + 1, 1) != 1)
    return avail;
  AppendUnits(destination, pair, 2);
  return avail + 1 + vCopy(destination, count - avail - 1);
}

void Buf::Flush() { vFlush(); }

void Buf::Clear() {
  ClearLookAhead();
  vClear();
}

void Buf::ClearMemory() {
  Clear();
  vClearMemory();
}

uint32_t Buf::SeekG(uint32_t offset, Origin origin, Direction direction) {
  if (offset == 0)
    ClearLookAhead();
  return vSeekG(offset, origin, direction);
}

// The default copies: pieces of at most COPY_PIECE bytes through one scratch
// area on the stack, until the count is reached or vGet gives nothing.
template <class Deliver> uint32_t Buf::CopyInPieces(uint32_t count, Deliver&& deliver) {
  unsigned char scratch[COPY_PIECE];
  uint32_t done = 0;
  while (uint32_t piece = std::min(count - done, COPY_PIECE)) {
    uint32_t got = vGet(scratch, piece);
    if (got == 0)
      break;
    deliver(scratch, got);
    done += got;
  }
  return done;
}

uint32_t Buf::vCopy(std::string& destination, uint32_t count) {
  return CopyInPieces(count, [&](unsigned char const* bytes, uint32_t n) {
    destination.append(reinterpret_cast<char const*>(bytes), n);
  });
}

uint32_t Buf::vCopy(WString& destination, uint32_t count) {
  WideAppender appender(destination);
  return CopyInPieces(count, [&](unsigned char const* bytes, uint32_t n) { appender.Append(bytes, n); });
}

uint32_t Buf::vCopy(BaseBinaryStreamBuf& destination, uint32_t count) {
  return CopyInPieces(count, [&](unsigned char const* bytes, uint32_t n) { destination.PutAll(bytes, n); });
}

} // namespace ZEB
