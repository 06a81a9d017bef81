// Streams over a buffer: BinaryStreamT reads and writes values through a
// buffer it does not own; BinaryStreamBufWrapper forwards every buffer
// operation to another buffer, for buffers that watch what passes through.
#pragma once

#include <cstdint>
#include <type_traits>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEB/ZEBBaseExport.h"

namespace ZEB {

template <class T> class BinaryStreamT;

template <> class ZEBBASE_API BinaryStreamT<unsigned> {
public:
  explicit BinaryStreamT(BinaryStreamBufT<unsigned>& buffer) noexcept : m_Buffer(buffer) {}

  BinaryStreamBufT<unsigned>& Buffer() const noexcept { return m_Buffer; }

  // Checked transfers: every byte or BinaryStream{Put,Get}EOFException.
  uint32_t Write(void const* data, uint32_t count) { return m_Buffer.PutAll(data, count); }
  uint32_t Read(void* destination, uint32_t count) { return m_Buffer.GetAll(destination, count); }

  // Integers in little-endian byte order.
  template <class Int> void WriteInt(Int value) {
    static_assert(std::is_integral<Int>::value, "integers only");
    unsigned char bytes[sizeof(Int)];
    for (std::size_t i = 0; i < sizeof(Int); ++i)
      bytes[i] = static_cast<unsigned char>(static_cast<uint64_t>(value) >> (8 * i));
    Write(bytes, sizeof bytes);
  }
  template <class Int> Int ReadInt() {
    static_assert(std::is_integral<Int>::value, "integers only");
    unsigned char bytes[sizeof(Int)];
    Read(bytes, sizeof bytes);
    uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(Int); ++i)
      value |= uint64_t(bytes[i]) << (8 * i);
    return static_cast<Int>(value);
  }

private:
  BinaryStreamBufT<unsigned>& m_Buffer;
};

class ZEBBASE_API BinaryStreamBufWrapper : public BinaryStreamBufT<unsigned> {
public:
  ~BinaryStreamBufWrapper() override;

  uint32_t Put(void const* data, uint32_t count) override;
  uint32_t Get(void* destination, uint32_t count) override;
  uint32_t PutAll(void const* data, uint32_t count) override;
  uint32_t GetAll(void* destination, uint32_t count) override;
  uint32_t Copy(WString& destination, uint32_t count) override;
  uint32_t Copy(std::string& destination, uint32_t count) override;
  uint32_t Copy(BinaryStreamBufHolder& destination, uint32_t count) override;
  uint32_t Copy(BaseBinaryStreamBuf& destination, uint32_t count) override;
  void Flush() override;
  void Clear() override;
  void ClearMemory() override;

protected:
  explicit BinaryStreamBufWrapper(BinaryStreamBufT<unsigned>& inner) noexcept;

  BinaryStreamBufT<unsigned>& Inner() const noexcept { return m_Inner; }

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
  uint32_t vSize() const override;
  bool vEndOfFile() const override;
  uint32_t vCopy(WString& destination, uint32_t count) override;
  uint32_t vCopy(std::string& destination, uint32_t count) override;
  uint32_t vCopy(BaseBinaryStreamBuf& destination, uint32_t count) override;

private:
  BinaryStreamBufT<unsigned>& m_Inner;
};

} // namespace ZEB
