#include "ZEB/Handle.h"

#include <utility>

#include "ZEBPlatform/Win32.h"

namespace ZEB {

void* const Handle::NONE = reinterpret_cast<void*>(~uintptr_t(0));

Handle::~Handle() { Handle::Close(); }

Handle& Handle::operator=(void* handle) {
  if (handle != m_Handle) {
    Close();
    m_Handle = handle;
  }
  return *this;
}

bool Handle::Close() {
  if (!IsValid())
    return true;
  return CloseHandle(std::exchange(m_Handle, NONE)) != FALSE;
}

void* Handle::Detach() noexcept { return std::exchange(m_Handle, NONE); }

FindHandle::~FindHandle() { FindHandle::Close(); }

FindHandle& FindHandle::operator=(void* handle) {
  Handle::operator=(handle); // closes through the virtual Close
  return *this;
}

bool FindHandle::Close() {
  if (!IsValid())
    return true;
  return FindClose(std::exchange(m_Handle, NONE)) != FALSE;
}

} // namespace ZEB
