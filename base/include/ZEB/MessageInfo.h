// A message to be shown: catalog module and id, its placeholder values, the
// throw site and the operating-system error seen there.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "ZEB/Types.h"
#include "ZEB/ZEBBaseExport.h"
#include "ZEBMem/MemoryPool.h"

namespace ZEB {

class ZEBBASE_API MessageInfo : public ZEBMem::PoolObject {
public:
  MessageInfo(char const* module, int id, char const* file, int line);
  MessageInfo(MessageInfo const&) = delete;
  MessageInfo& operator=(MessageInfo const&) = delete;

  // The next placeholder value (%1, then %2 ...). Narrow text is in the
  // system code page.
  void AddParameter(std::string const& text);
  void AddParameter(char const* text);
  void AddParameter(WString const& text);
  void SetLastError(unsigned error) noexcept { m_LastError = error; }

  void AddRef() noexcept { m_RefCount.fetch_add(1, std::memory_order_relaxed); }
  void Release() noexcept;

  std::string const& Module() const noexcept { return m_Module; }
  int Id() const noexcept { return m_Id; }
  std::string const& File() const noexcept { return m_File; }
  int Line() const noexcept { return m_Line; }
  std::vector<WString> const& Parameters() const noexcept { return m_Parameters; }
  unsigned LastError() const noexcept { return m_LastError; }

  // The catalog text with its placeholders filled, followed by the
  // operating-system error when one was recorded.
  WString Format() const;

private:
  ~MessageInfo();

  std::atomic<int32_t> m_RefCount{0};
  std::string m_Module;
  int m_Id;
  std::string m_File;
  int m_Line;
  std::vector<WString> m_Parameters;
  unsigned m_LastError = 0;
};

} // namespace ZEB
