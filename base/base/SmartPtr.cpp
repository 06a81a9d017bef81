#include "ZEB/SmartPtr.h"

namespace ZEB {

SPRefCounter::~SPRefCounter() = default;

} // namespace ZEB
