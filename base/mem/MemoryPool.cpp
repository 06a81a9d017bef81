#include "ZEBMem/MemoryPool.h"

#include <atomic>
#include <cstdlib>

namespace ZEBMem {

namespace {
std::atomic<long> g_SuccessesLeft{-1};

bool InjectedFailure() noexcept {
  long left = g_SuccessesLeft.load(std::memory_order_relaxed);
  while (left >= 0) {
    if (left == 0)
      return true;
    if (g_SuccessesLeft.compare_exchange_weak(left, left - 1, std::memory_order_relaxed))
      return false;
  }
  return false;
}
} // namespace

void* MemoryPool::New(std::size_t size) noexcept {
  if (InjectedFailure())
    return nullptr;
  return std::malloc(size ? size : 1);
}

void MemoryPool::Delete(void* block) noexcept { std::free(block); }

void MemoryPool::FailAfter(long successes) noexcept {
  g_SuccessesLeft.store(successes < 0 ? -1 : successes, std::memory_order_relaxed);
}

void* Allocate(std::size_t size) noexcept {
  if (size == 0)
    return nullptr;
  void* block = MemoryPool::New(size);
  if (!block) {
    if (std::new_handler handler = std::get_new_handler()) {
      try {
        handler();
      } catch (...) {
      }
    }
  }
  return block;
}

void Free(void* block) noexcept {
  if (block)
    MemoryPool::Delete(block);
}

void* AllocateOrThrow(std::size_t size) {
  void* block = Allocate(size);
  if (!block && size != 0)
    throw std::bad_alloc();
  return block;
}

} // namespace ZEBMem
