// Helpers shared by the compound-file reader's units.
#pragma once

#include <cstdint>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEBFile/Exceptions.h"

namespace ZEBFile {
namespace OLE {

// Moves the get position to an absolute offset. An offset past 4 GiB or past
// the end of the data is out of range, as the buffers' own seeks report it.
inline void SeekAbsolute(ZEB::BinaryStreamBufT<unsigned>& buffer, uint64_t offset) {
  if (offset > buffer.Size())
    throw SeekOutOfRangeException();
  buffer.SeekG(static_cast<uint32_t>(offset));
}

} // namespace OLE
} // namespace ZEBFile
