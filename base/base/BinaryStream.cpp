#include "ZEB/BinaryStream.h"

namespace ZEB {

using Wrapper = BinaryStreamBufWrapper;

Wrapper::BinaryStreamBufWrapper(BinaryStreamBufT<unsigned>& inner) noexcept
    : BinaryStreamBufT<unsigned>(inner.Capabilities()), m_Inner(inner) {}
Wrapper::~BinaryStreamBufWrapper() = default;

uint32_t Wrapper::Put(void const* data, uint32_t count) { return m_Inner.Put(data, count); }
uint32_t Wrapper::Get(void* destination, uint32_t count) { return m_Inner.Get(destination, count); }
uint32_t Wrapper::PutAll(void const* data, uint32_t count) { return m_Inner.PutAll(data, count); }
uint32_t Wrapper::GetAll(void* destination, uint32_t count) { return m_Inner.GetAll(destination, count); }
uint32_t Wrapper::Copy(WString& destination, uint32_t count) { return m_Inner.Copy(destination, count); }
uint32_t Wrapper::Copy(std::string& destination, uint32_t count) { return m_Inner.Copy(destination, count); }
uint32_t Wrapper::Copy(BinaryStreamBufHolder& destination, uint32_t count) { return m_Inner.Copy(destination, count); }
uint32_t Wrapper::Copy(BaseBinaryStreamBuf& destination, uint32_t count) { return m_Inner.Copy(destination, count); }
void Wrapper::Flush() { m_Inner.Flush(); }
void Wrapper::Clear() { m_Inner.Clear(); }
void Wrapper::ClearMemory() { m_Inner.ClearMemory(); }

uint32_t Wrapper::vPut(void const* data, uint32_t count) { return m_Inner.Put(data, count); }
uint32_t Wrapper::vTellP() const { return m_Inner.TellP(); }
uint32_t Wrapper::vSeekP(uint32_t offset, Origin origin, Direction direction) {
  return m_Inner.SeekP(offset, origin, direction);
}
uint32_t Wrapper::vGet(void* destination, uint32_t count) { return m_Inner.Get(destination, count); }
uint32_t Wrapper::vTellG() const { return m_Inner.TellG(); }
uint32_t Wrapper::vSeekG(uint32_t offset, Origin origin, Direction direction) {
  return m_Inner.SeekG(offset, origin, direction);
}
void Wrapper::vFlush() { m_Inner.Flush(); }
void Wrapper::vClear() { m_Inner.Clear(); }
void Wrapper::vClearMemory() { m_Inner.ClearMemory(); }
void Wrapper::vClearEnd() { m_Inner.ClearEnd(); }
uint32_t Wrapper::vSize() const { return m_Inner.Size(); }
bool Wrapper::vEndOfFile() const { return m_Inner.EndOfFile(); }
uint32_t Wrapper::vCopy(WString& destination, uint32_t count) { return m_Inner.Copy(destination, count); }
uint32_t Wrapper::vCopy(std::string& destination, uint32_t count) { return m_Inner.Copy(destination, count); }
uint32_t Wrapper::vCopy(BaseBinaryStreamBuf& destination, uint32_t count) { return m_Inner.Copy(destination, count); }

} // namespace ZEB
