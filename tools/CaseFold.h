// Names that a case-insensitive file system takes for one: the same after
// FoldCase. With ICU it is Unicode simple case folding of every character;
// a build without ICU (the Windows cross build) folds as the system does
// (upper case, as NTFS compares names). An unpaired surrogate stays as it is.
#pragma once

#include "ZEB/Types.h"

namespace zebfile {

ZEB::WString FoldCase(ZEB::WString const& text);

} // namespace zebfile
