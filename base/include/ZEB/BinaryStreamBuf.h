// The random-access byte stream every buffer of the family implements: an
// independent put and get position, 32-bit positions and sizes. The public
// operations are implemented once here on top of protected hooks that the
// concrete buffers replace.
#pragma once

#include <cstdint>
#include <string>

#include "ZEB/Exception.h"
#include "ZEB/Types.h"
#include "ZEB/ZEBBaseExport.h"
#include "ZEBMem/MemoryPool.h"

namespace ZEB {

ZEB_DECLARE_EXCEPTION(ZEBBASE_API, BinaryStreamException, Exception);
// A Put took fewer bytes than PutAll asked for.
ZEB_DECLARE_EXCEPTION(ZEBBASE_API, BinaryStreamPutEOFException, BinaryStreamException);
// A Get delivered fewer bytes than GetAll asked for.
ZEB_DECLARE_EXCEPTION(ZEBBASE_API, BinaryStreamGetEOFException, BinaryStreamException);

class BaseBinaryStreamBuf;

// Appends bytes to a wide string as native 16-bit units, pairing a byte left
// over from one piece with the first byte of the next; a last odd byte is
// dropped.
class ZEBBASE_API WideAppender {
public:
  explicit WideAppender(WString& destination) noexcept : m_Destination(destination) {}
  void Append(unsigned char const* bytes, uint32_t count);

private:
  WString& m_Destination;
  unsigned char m_Pending = 0;
  bool m_HasPending = false;
};

// Gives a destination buffer on demand (the holder form of Copy).
class ZEBBASE_API BinaryStreamBufHolder {
public:
  virtual ~BinaryStreamBufHolder();
  virtual BaseBinaryStreamBuf& Buffer() = 0;
};

class ZEBBASE_API BaseBinaryStreamBuf : public ZEBMem::PoolObject {
public:
  virtual ~BaseBinaryStreamBuf();

  // Writes at the put position; gives the count written.
  virtual uint32_t Put(void const* data, uint32_t count) = 0;
  // Reads from the get position; gives the count delivered (0 at the end).
  virtual uint32_t Get(void* destination, uint32_t count) = 0;
  // Put that throws BinaryStreamPutEOFException unless every byte is taken.
  virtual uint32_t PutAll(void const* data, uint32_t count) = 0;
  // Get that throws BinaryStreamGetEOFException unless every byte comes.
  virtual uint32_t GetAll(void* destination, uint32_t count) = 0;
  // Append up to `count` bytes from the get position to the destination; the
  // wide form takes them two by two as native 16-bit units. They give the
  // count consumed from this buffer.
  virtual uint32_t Copy(WString& destination, uint32_t count) = 0;
  virtual uint32_t Copy(std::string& destination, uint32_t count) = 0;
  virtual uint32_t Copy(BinaryStreamBufHolder& destination, uint32_t count) = 0;
  virtual uint32_t Copy(BaseBinaryStreamBuf& destination, uint32_t count) = 0;
  virtual void Flush() = 0;
  virtual void Clear() = 0;
  virtual void ClearMemory() = 0;
};

template <class T> class BinaryStreamBufT;

template <> class ZEBBASE_API BinaryStreamBufT<unsigned> : public BaseBinaryStreamBuf {
public:
  enum Origin : int { BEGIN = 0, END = 1, CURRENT = 2 };
  // With END or CURRENT every value other than FORWARD counts as backward.
  enum Direction : int { FORWARD = -2, BACKWARD = -1 };
  // Capability bits: a consumer positions the get side directly only when
  // both are set.
  enum : unsigned char { CAN_SEEK = 1, CAN_TELL = 2, RANDOM_ACCESS = CAN_SEEK | CAN_TELL };

  explicit BinaryStreamBufT(unsigned char capabilities = RANDOM_ACCESS) noexcept;
  BinaryStreamBufT(BinaryStreamBufT const&) = delete;
  BinaryStreamBufT& operator=(BinaryStreamBufT const&) = delete;
  ~BinaryStreamBufT() override;

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

  uint32_t TellP() const { return vTellP(); }
  uint32_t SeekP(uint32_t offset, Origin origin = BEGIN, Direction direction = FORWARD) {
    return vSeekP(offset, origin, direction);
  }
  uint32_t TellG() const { return vTellG() - m_LookAheadPos; }
  // An offset of 0 discards the look-ahead store first.
  uint32_t SeekG(uint32_t offset, Origin origin = BEGIN, Direction direction = FORWARD);
  void ClearEnd() { vClearEnd(); }
  uint32_t Size() const { return vSize(); }
  bool EndOfFile() const { return !m_LookAhead && vEndOfFile(); }
  unsigned char Capabilities() const noexcept { return m_Capabilities; }

protected:
  virtual uint32_t vPut(void const* data, uint32_t count) = 0;
  virtual uint32_t vTellP() const = 0;
  virtual uint32_t vSeekP(uint32_t offset, Origin origin, Direction direction) = 0;
  virtual uint32_t vGet(void* destination, uint32_t count) = 0;
  virtual uint32_t vTellG() const = 0;
  virtual uint32_t vSeekG(uint32_t offset, Origin origin, Direction direction) = 0;
  virtual void vFlush() = 0;
  virtual void vClear() = 0;
  virtual void vClearMemory() = 0;
  virtual void vClearEnd() = 0;
  virtual uint32_t vSize() const = 0;
  virtual bool vEndOfFile() const = 0;
  // Defaults read through vGet in pieces of at most 32768 bytes.
  virtual uint32_t vCopy(WString& destination, uint32_t count);
  virtual uint32_t vCopy(std::string& destination, uint32_t count);
  virtual uint32_t vCopy(BaseBinaryStreamBuf& destination, uint32_t count);

  // Places bytes in the look-ahead store, which every read delivers before
  // the source's own bytes. Replaces what the store held.
  void SetLookAhead(void const* data, uint32_t count);
  void ClearLookAhead() noexcept;

  static constexpr uint32_t COPY_PIECE = 32768;

private:
  template <class Sink> uint32_t ReadThroughLookAhead(uint32_t count, Sink&& sink);
  template <class Deliver> uint32_t CopyInPieces(uint32_t count, Deliver&& deliver);

  unsigned char* m_LookAhead = nullptr;
  uint32_t m_LookAheadLen = 0;
  uint32_t m_LookAheadPos = 0;
  unsigned char m_Capabilities;
};

} // namespace ZEB
