// The family's growable arrays of trivially copyable values. Storage comes
// from the memory pool; when full, the capacity becomes the larger of 16 and
// twice the count while the count is below 257, and 1.25 times the count
// (truncated) from 257 on.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "ZEBMem/MemoryPool.h"

namespace ZEB {

template <class T> class FastVector {
  static_assert(std::is_trivially_copyable<T>::value, "FastVector moves its entries with memcpy");

public:
  FastVector() noexcept = default;
  FastVector(FastVector const& other) { Assign(other); }
  FastVector(FastVector&& other) noexcept { Swap(other); }
  ~FastVector() { ZEBMem::Free(m_Data); }

  FastVector& operator=(FastVector const& other) {
    if (this != &other) {
      FastVector copy(other);
      Swap(copy);
    }
    return *this;
  }
  FastVector& operator=(FastVector&& other) noexcept {
    Swap(other);
    return *this;
  }

  static uint32_t NextCapacity(uint32_t count) noexcept {
    uint64_t next = count < 257 ? std::max<uint64_t>(16, uint64_t(count) * 2) : uint64_t(count) * 5 / 4;
    return static_cast<uint32_t>(std::min<uint64_t>(next, UINT32_MAX));
  }

  void PushBack(T const& value) {
    if (m_Count == m_Capacity)
      Reserve(NextCapacity(m_Count));
    m_Data[m_Count++] = value;
  }
  void PopBack() noexcept { --m_Count; }
  void Clear() noexcept { m_Count = 0; }
  void Resize(uint32_t count, T const& fill = T()) {
    Reserve(count);
    for (uint32_t i = m_Count; i < count; ++i)
      m_Data[i] = fill;
    m_Count = count;
  }
  void Reserve(uint32_t capacity) {
    if (capacity <= m_Capacity)
      return;
    T* data = static_cast<T*>(ZEBMem::AllocateOrThrow(sizeof(T) * std::size_t(capacity)));
    if (m_Count)
      std::memcpy(static_cast<void*>(data), m_Data, sizeof(T) * m_Count);
    ZEBMem::Free(m_Data);
    m_Data = data;
    m_Capacity = capacity;
  }
  // Gives the storage back to the pool.
  void Release() noexcept {
    ZEBMem::Free(m_Data);
    m_Data = nullptr;
    m_Count = m_Capacity = 0;
  }
  void Swap(FastVector& other) noexcept {
    std::swap(m_Data, other.m_Data);
    std::swap(m_Count, other.m_Count);
    std::swap(m_Capacity, other.m_Capacity);
  }

  uint32_t Count() const noexcept { return m_Count; }
  uint32_t size() const noexcept { return m_Count; }
  bool empty() const noexcept { return m_Count == 0; }
  uint32_t Capacity() const noexcept { return m_Capacity; }
  T* Data() noexcept { return m_Data; }
  T const* Data() const noexcept { return m_Data; }
  T& operator[](uint32_t i) noexcept { return m_Data[i]; }
  T const& operator[](uint32_t i) const noexcept { return m_Data[i]; }
  T& Back() noexcept { return m_Data[m_Count - 1]; }
  T* begin() noexcept { return m_Data; }
  T* end() noexcept { return m_Data + m_Count; }
  T const* begin() const noexcept { return m_Data; }
  T const* end() const noexcept { return m_Data + m_Count; }

private:
  void Assign(FastVector const& other) {
    Reserve(other.m_Count);
    if (other.m_Count)
      std::memcpy(static_cast<void*>(m_Data), other.m_Data, sizeof(T) * other.m_Count);
    m_Count = other.m_Count;
  }

  T* m_Data = nullptr;
  uint32_t m_Count = 0;
  uint32_t m_Capacity = 0;
};

// An array of pointers; it does not own what they point to.
template <class T> class PointerVector : public FastVector<T*> {};

} // namespace ZEB
