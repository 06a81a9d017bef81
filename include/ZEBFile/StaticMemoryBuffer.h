// Two buffers that own no data: a block of the caller's memory presented as
// a buffer (writable, or read-only when built from constant memory), and a
// window [start, end) of another buffer whose positions count from the
// window's start. Neither can be emptied: their clear operations throw.
#pragma once

#include <cstdint>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile {

class ZEBFILE_API StaticMemoryBuffer : public ZEB::BinaryStreamBufT<unsigned> {
public:
  // The block stays the caller's: it must outlive the buffer and is never
  // freed by it. Built from constant memory the buffer is read-only: writing,
  // and telling or moving the put position, throw std::exception.
  StaticMemoryBuffer(void* data, uint32_t size) noexcept;
  StaticMemoryBuffer(void const* data, uint32_t size) noexcept;
  ~StaticMemoryBuffer() override;

  bool IsReadOnly() const noexcept { return m_ReadOnly; }
  unsigned char const* Data() const noexcept { return m_Data; }

  // Reads in place: the address of the bytes at the get position and their
  // count (at most `count`, 0 at the end); the get position moves past them
  // as a Get would.
  unsigned char const* GetInPlace(uint32_t count, uint32_t& got) noexcept {
    unsigned char const* at = m_Data + m_GetPos;
    got = count < m_Size - m_GetPos ? count : m_Size - m_GetPos;
    m_GetPos += got;
    return at;
  }

protected:
  uint32_t vPut(void const* data, uint32_t count) override;
  uint32_t vTellP() const override;
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
  // The position `offset` from `origin` names, checked against the size.
  uint32_t SeekTo(uint32_t offset, Origin origin, Direction direction, uint32_t current) const;

  uint32_t m_Size;
  uint32_t m_GetPos = 0;
  uint32_t m_PutPos = 0;
  unsigned char* m_Data;
  bool m_ReadOnly;
};

class ZEBFILE_API SubBinaryStreamBuf : public ZEB::BinaryStreamBufT<unsigned> {
public:
  // A window [start, end) of `inner`, which must outlive it (an end before
  // the start makes an empty window). Moves the inner get position to
  // `start`. The window keeps no position of its own: its positions are the
  // inner buffer's minus `start`, so two windows over one buffer disturb each
  // other.
  SubBinaryStreamBuf(uint32_t const& start, uint32_t const& end, ZEB::BinaryStreamBufT<unsigned>& inner);
  ~SubBinaryStreamBuf() override;

protected:
  // Writes go to the inner buffer unlimited by the window's end; reads stop
  // there. A seek outside the window throws SeekOutOfRangeException.
  uint32_t vPut(void const* data, uint32_t count) override;
  uint32_t vTellP() const override;
  uint32_t vSeekP(uint32_t offset, Origin origin, Direction direction) override;
  uint32_t vGet(void* destination, uint32_t count) override;
  uint32_t vTellG() const override;
  uint32_t vSeekG(uint32_t offset, Origin origin, Direction direction) override;
  void vFlush() override;
  void vClear() override;
  void vClearMemory() override;
  void vClearEnd() override;
  uint32_t vSize() const override { return m_End - m_Start; }
  bool vEndOfFile() const override;

private:
  // The absolute position `offset` from `origin` names, `current` being the
  // side's absolute position; throws unless it lies in [start, end].
  uint32_t SeekTo(uint32_t offset, Origin origin, Direction direction, uint32_t current) const;

  uint32_t m_Start;
  uint32_t m_End;
  ZEB::BinaryStreamBufT<unsigned>* m_Inner;
};

} // namespace ZEBFile
