// The process-wide registry of message catalogs shared by the family's modules.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

#include "ZEB/Types.h"
#include "ZEB/ZEBBaseExport.h"

class ZEBBASE_API ZEBMessages {
public:
  // Prepares an empty registry (first registration in the process).
  static void Init();
  // Parses a binary catalog and registers its entries under `name`. Gives
  // false, registering nothing, when the bytes are not a well-formed catalog.
  static bool Load(void const* table, std::size_t size, char const* name);
  // Releases every catalog (last registration in the process gone).
  static void Free();
  // The registered text of a message, or null. The holder keeps the text
  // alive: a Free or Load on another thread meanwhile does not pull it away.
  static std::shared_ptr<ZEB::WString const> Find(char const* module, unsigned id);
};

// Live registrations of the family's modules, shared by all of them; atomic,
// as modules may load and unload on several threads.
class ZEBBASE_API ZEBMessagesInit {
public:
  static std::atomic<int> ms_Cnt;
};
