// The family's memory pool and the allocation function every dynamic
// allocation of the library goes through.
#pragma once

#include <cstddef>
#include <new>

#include "ZEBMem/ZEBMemExport.h"

namespace ZEBMem {

class ZEBMEM_API MemoryPool {
public:
  // A block of at least `size` bytes, or null when none can be had.
  static void* New(std::size_t size) noexcept;
  static void Delete(void* block) noexcept;

  // Test seam: after `successes` more successful calls, New gives null until
  // reset with a negative value (the default: never fail).
  static void FailAfter(long successes) noexcept;
};

// 0 bytes give null without calling the pool; otherwise MemoryPool::New, and
// when that gives null the current new-handler, if any, is called once and
// null is returned (no retry).
ZEBMEM_API void* Allocate(std::size_t size) noexcept;
// Null does nothing; anything else goes back to the pool.
ZEBMEM_API void Free(void* block) noexcept;
// Allocate for code that writes through the result: throws std::bad_alloc
// instead of giving null for a non-zero size.
ZEBMEM_API void* AllocateOrThrow(std::size_t size);

// Base of classes whose objects live in the pool.
struct PoolObject {
  static void* operator new(std::size_t size) { return AllocateOrThrow(size ? size : 1); }
  static void* operator new(std::size_t size, std::nothrow_t const&) noexcept {
    return Allocate(size ? size : 1);
  }
  static void* operator new(std::size_t, void* place) noexcept { return place; }
  static void operator delete(void* block) noexcept { Free(block); }
  static void operator delete(void* block, std::nothrow_t const&) noexcept { Free(block); }
  static void operator delete(void*, void*) noexcept {}
};

} // namespace ZEBMem
