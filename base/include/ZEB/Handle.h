// Owners of operating-system handles. A handle value of 0 or all ones means
// none; the owner closes what it holds when destroyed or reassigned.
#pragma once

#include <cstdint>

#include "ZEB/ZEBBaseExport.h"

namespace ZEB {

class ZEBBASE_API Handle {
public:
  static void* const NONE; // all ones

  Handle() noexcept = default;
  explicit Handle(void* handle) noexcept : m_Handle(handle) {}
  Handle(Handle const&) = delete;
  Handle& operator=(Handle const&) = delete;
  virtual ~Handle();

  // Takes ownership of `handle`, closing the one held before.
  Handle& operator=(void* handle);
  // Closes the handle held; true when there was none or it closed.
  virtual bool Close();

  void* Get() const noexcept { return m_Handle; }
  operator void*() const noexcept { return m_Handle; }
  bool IsValid() const noexcept { return m_Handle != nullptr && m_Handle != NONE; }
  // Gives up ownership without closing.
  void* Detach() noexcept;

protected:
  void* m_Handle = NONE;
};

// Owner of a directory-search handle.
class ZEBBASE_API FindHandle : public Handle {
public:
  FindHandle() noexcept = default;
  explicit FindHandle(void* handle) noexcept : Handle(handle) {}
  ~FindHandle() override;
  FindHandle& operator=(void* handle);
  bool Close() override;
};

} // namespace ZEB
