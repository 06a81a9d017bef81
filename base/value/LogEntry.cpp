#include "ZEB/LogEntry.h"

namespace ZEB {

// Out of line so that the class's virtual table lives in this module.
LogEntryCallInterface::~LogEntryCallInterface() = default;

} // namespace ZEB
