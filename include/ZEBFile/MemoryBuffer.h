// The growable in-memory buffer: bytes in equal-sized chunks allocated on
// demand, so that appending never moves what is stored.
#pragma once

#include <cstdint>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEB/FastVector.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile {

class ZEBFILE_API MemoryBuffer : public ZEB::BinaryStreamBufT<unsigned> {
public:
  static constexpr uint32_t DEFAULT_CHUNK_SIZE = 1024;

  // A chunk size of 0 means DEFAULT_CHUNK_SIZE.
  explicit MemoryBuffer(uint32_t chunkSize = DEFAULT_CHUNK_SIZE);
  MemoryBuffer(void const* data, uint32_t size, uint32_t chunkSize = DEFAULT_CHUNK_SIZE);
  ~MemoryBuffer() override;

  // Replaces the content with a copy of `data` (get position 0, put position
  // at the end); null data empties the buffer and releases its memory.
  void SetFromBuffer(void const* data, uint32_t size);
  // Bytes held by the allocated chunks.
  uint32_t Capacity() const noexcept { return m_Chunks.Count() * m_ChunkSize; }
  uint32_t ChunkSize() const noexcept { return m_ChunkSize; }

protected:
  uint32_t vPut(void const* data, uint32_t count) override;
  uint32_t vTellP() const override { return m_PutPos; }
  uint32_t vSeekP(uint32_t offset, Origin origin, Direction direction) override;
  uint32_t vGet(void* destination, uint32_t count) override;
  uint32_t vTellG() const override { return m_GetPos; }
  uint32_t vSeekG(uint32_t offset, Origin origin, Direction direction) override;
  void vFlush() override {}
  void vClear() override;
  void vClearMemory() override;
  void vClearEnd() override;
  uint32_t vSize() const override { return m_Size; }
  bool vEndOfFile() const override { return m_GetPos >= m_Size; }
  uint32_t vCopy(ZEB::WString& destination, uint32_t count) override;
  uint32_t vCopy(std::string& destination, uint32_t count) override;
  uint32_t vCopy(ZEB::BaseBinaryStreamBuf& destination, uint32_t count) override;

private:
  void AllocChunk();
  void ReleaseChunksFrom(uint32_t keep) noexcept;
  // Hands `count` bytes from the get position to `deliver` in pieces that
  // end at chunk ends, advancing the get position after each piece.
  template <class Deliver> uint32_t ReadPieces(uint32_t count, Deliver&& deliver);
  uint32_t CopyTo(ZEB::BaseBinaryStreamBuf& destination, uint32_t count);

  ZEB::PointerVector<unsigned char> m_Chunks;
  uint32_t m_ChunkSize;
  uint32_t m_Size = 0;
  uint32_t m_GetPos = 0;
  uint32_t m_PutPos = 0;
};

} // namespace ZEBFile
