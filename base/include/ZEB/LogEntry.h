// The sink that long operations report their progress to.
#pragma once

#include "ZEB/SmartPtr.h"
#include "ZEB/ZEBExport.h"

namespace ZEB {

// A progress and log sink shared through SmartPtr<LogEntryCallInterface>:
// the count starts at 0 and the last Release deletes the sink.
class ZEB_API LogEntryCallInterface : public SPRefCounter {
public:
  LogEntryCallInterface() noexcept = default;
  ~LogEntryCallInterface() override;

  // How far an operation has come: the fraction done, 0 to 1 for an output
  // transfer; an input transfer passes its read position over its total,
  // which its caller does not cap. What the sink does with it is its own
  // business; an exception it throws passes through the reporting operation.
  virtual void ReportProgress(double fractionDone) = 0;
};

} // namespace ZEB
