// Holders of shared objects: the intrusive SmartPtr, the counted RefCount and
// the count embedded in the library's reference-counted classes.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "ZEB/ZEBBaseExport.h"
#include "ZEBMem/MemoryPool.h"

namespace ZEB {

// Holder of an object with AddRef/Release: copying adds a reference,
// destruction releases it. Built from a null pointer it is empty.
template <class T> class SmartPtr {
public:
  SmartPtr() noexcept = default;
  SmartPtr(T* object) noexcept : m_Object(object) { Acquire(); }
  SmartPtr(SmartPtr const& other) noexcept : m_Object(other.m_Object) { Acquire(); }
  SmartPtr(SmartPtr&& other) noexcept : m_Object(std::exchange(other.m_Object, nullptr)) {}
  template <class U> SmartPtr(SmartPtr<U> const& other) noexcept : m_Object(other.Get()) { Acquire(); }
  ~SmartPtr() { Drop(); }

  SmartPtr& operator=(SmartPtr other) noexcept {
    std::swap(m_Object, other.m_Object);
    return *this;
  }

  T* Get() const noexcept { return m_Object; }
  T* operator->() const noexcept { return m_Object; }
  T& operator*() const noexcept { return *m_Object; }
  explicit operator bool() const noexcept { return m_Object != nullptr; }

private:
  void Acquire() noexcept {
    if (m_Object)
      m_Object->AddRef();
  }
  void Drop() noexcept {
    if (m_Object)
      std::exchange(m_Object, nullptr)->Release();
  }

  T* m_Object = nullptr;
};

// Shared holder of any object: a separate counter beside the object. The
// release that brings the counter to 0 deletes the object through its
// virtual destructor and frees the counter.
template <class T> class RefCount {
public:
  RefCount() noexcept = default;
  RefCount(T* object) : m_Object(object) {
    if (m_Object)
      m_Counter = new Counter;
  }
  RefCount(RefCount const& other) noexcept : m_Counter(other.m_Counter), m_Object(other.m_Object) {
    if (m_Counter)
      m_Counter->count.fetch_add(1, std::memory_order_relaxed);
  }
  RefCount(RefCount&& other) noexcept
      : m_Counter(std::exchange(other.m_Counter, nullptr)), m_Object(std::exchange(other.m_Object, nullptr)) {}
  ~RefCount() { Drop(); }

  RefCount& operator=(RefCount other) noexcept {
    std::swap(m_Counter, other.m_Counter);
    std::swap(m_Object, other.m_Object);
    return *this;
  }

  T* Get() const noexcept { return m_Object; }
  T* operator->() const noexcept { return m_Object; }
  T& operator*() const noexcept { return *m_Object; }
  explicit operator bool() const noexcept { return m_Object != nullptr; }

private:
  struct Counter : ZEBMem::PoolObject {
    std::atomic<int32_t> count{1};
  };

  void Drop() noexcept {
    if (m_Counter && m_Counter->count.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      delete m_Object;
      delete m_Counter;
    }
    m_Counter = nullptr;
    m_Object = nullptr;
  }

  Counter* m_Counter = nullptr;
  T* m_Object = nullptr;
};

// Base part of the library's reference-counted classes: a signed 32-bit count
// that starts at 0; the last Release destroys the object.
class ZEBBASE_API SPRefCounter : public ZEBMem::PoolObject {
public:
  SPRefCounter() noexcept = default;
  SPRefCounter(SPRefCounter const&) noexcept {}
  SPRefCounter& operator=(SPRefCounter const&) noexcept { return *this; }
  virtual ~SPRefCounter();

  // Both give the count their own interlocked change left.
  int32_t AddRef() const noexcept { return m_RefCount.fetch_add(1, std::memory_order_relaxed) + 1; }
  int32_t Release() const noexcept {
    int32_t left = m_RefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
      delete this;
    return left;
  }
  int32_t RefCountValue() const noexcept { return m_RefCount.load(std::memory_order_relaxed); }

private:
  mutable std::atomic<int32_t> m_RefCount{0};
};

} // namespace ZEB
