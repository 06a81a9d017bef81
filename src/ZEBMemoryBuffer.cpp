#include "ZEBFile/MemoryBuffer.h"

#include <algorithm>
#include <cstring>

#include "SeekRules.h"

namespace ZEBFile {

MemoryBuffer::MemoryBuffer(uint32_t chunkSize) : m_ChunkSize(chunkSize ? chunkSize : DEFAULT_CHUNK_SIZE) {}

MemoryBuffer::MemoryBuffer(void const* data, uint32_t size, uint32_t chunkSize) : MemoryBuffer(chunkSize) {
  SetFromBuffer(data, size);
}

MemoryBuffer::~MemoryBuffer() { vClearMemory(); }

void MemoryBuffer::SetFromBuffer(void const* data, uint32_t size) {
  if (!data) {
    ClearMemory();
    return;
  }
  Clear();
  PutAll(data, size);
}

void MemoryBuffer::AllocChunk() {
  void* chunk = ZEBMem::AllocateOrThrow(m_ChunkSize);
  try {
    m_Chunks.PushBack(static_cast<unsigned char*>(chunk));
  } catch (...) {
    ZEBMem::Free(chunk);
    throw;
  }
}

void MemoryBuffer::ReleaseChunksFrom(uint32_t keep) noexcept {
  while (m_Chunks.Count() > keep) {
    ZEBMem::Free(m_Chunks.Back());
    m_Chunks.PopBack();
  }
}

// Takes every byte, but never past the last 32-bit position: a put there
// would wrap around and overwrite the start of the data.
uint32_t MemoryBuffer::vPut(void const* data, uint32_t count) {
  count = std::min(count, UINT32_MAX - m_PutPos);
  auto const* from = static_cast<unsigned char const*>(data);
  for (uint32_t left = count; left != 0;) {
    uint32_t index = m_PutPos / m_ChunkSize;
    uint32_t offset = m_PutPos % m_ChunkSize;
    if (index == m_Chunks.Count())
      AllocChunk();
    uint32_t piece = std::min(left, m_ChunkSize - offset);
    if (from) {
      std::memcpy(m_Chunks[index] + offset, from, piece);
      from += piece;
    } else {
      std::memset(m_Chunks[index] + offset, 0, piece);
    }
    m_PutPos += piece;
    m_Size = std::max(m_Size, m_PutPos);
    left -= piece;
  }
  return count;
}

template <class Deliver> uint32_t MemoryBuffer::ReadPieces(uint32_t count, Deliver&& deliver) {
  uint32_t total = std::min(count, m_Size - m_GetPos);
  for (uint32_t left = total; left != 0;) {
    uint32_t offset = m_GetPos % m_ChunkSize;
    uint32_t piece = std::min(left, m_ChunkSize - offset);
    deliver(m_Chunks[m_GetPos / m_ChunkSize] + offset, piece);
    m_GetPos += piece;
    left -= piece;
  }
  return total;
}

uint32_t MemoryBuffer::vGet(void* destination, uint32_t count) {
  auto* to = static_cast<unsigned char*>(destination);
  return ReadPieces(count, [&](unsigned char const* bytes, uint32_t n) {
    std::memcpy(to, bytes, n);
    to += n;
  });
}

uint32_t MemoryBuffer::vSeekP(uint32_t offset, Origin origin, Direction direction) {
  uint32_t target = SeekTarget(offset, origin, direction, m_Size, m_PutPos);
  if (target > m_Size) {
    uint32_t previous = m_PutPos;
    m_PutPos = m_Size;
    try {
      PutAll(nullptr, target - m_Size);
    } catch (...) {
      m_PutPos = previous; // the zeros already written stay part of the data
      throw;
    }
  }
  m_PutPos = target;
  return m_PutPos;
}

uint32_t MemoryBuffer::vSeekG(uint32_t offset, Origin origin, Direction direction) {
  uint32_t target = SeekTarget(offset, origin, direction, m_Size, m_GetPos);
  if (target > m_Size)
    throw SeekOutOfRangeException();
  m_GetPos = target;
  return m_GetPos;
}

void MemoryBuffer::vClear() { m_Size = m_GetPos = m_PutPos = 0; }

void MemoryBuffer::vClearMemory() {
  ReleaseChunksFrom(0);
  m_Chunks.Release();
  m_Size = m_GetPos = m_PutPos = 0;
}

void MemoryBuffer::vClearEnd() {
  ReleaseChunksFrom(m_PutPos / m_ChunkSize + (m_PutPos % m_ChunkSize != 0));
  m_Size = m_PutPos;
  m_GetPos = std::min(m_GetPos, m_Size);
}

uint32_t MemoryBuffer::vCopy(std::string& destination, uint32_t count) {
  destination.reserve(destination.size() + std::min(count, m_Size - m_GetPos));
  return ReadPieces(count, [&](unsigned char const* bytes, uint32_t n) {
    destination.append(reinterpret_cast<char const*>(bytes), n);
  });
}

uint32_t MemoryBuffer::vCopy(ZEB::WString& destination, uint32_t count) {
  ZEB::WideAppender appender(destination);
  return ReadPieces(count, [&](unsigned char const* bytes, uint32_t n) { appender.Append(bytes, n); });
}

uint32_t MemoryBuffer::vCopy(ZEB::BaseBinaryStreamBuf& destination, uint32_t count) {
  return CopyTo(destination, count);
}

uint32_t MemoryBuffer::CopyTo(ZEB::BaseBinaryStreamBuf& destination, uint32_t count) {
  return ReadPieces(count, [&](unsigned char const* bytes, uint32_t n) { destination.PutAll(bytes, n); });
}

} // namespace ZEBFile
