// The position a buffer seek asks for, shared by the buffers.
#pragma once

#include <cstdint>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEBFile/Exceptions.h"

namespace ZEBFile {

// BEGIN takes the offset as it is (BACKWARD from the beginning is always out
// of range); END and CURRENT add (FORWARD) or subtract (any other direction)
// the offset from `size` or `current`, out of range when the result leaves
// 0 .. 0xFFFFFFFF; an unknown origin gives 0.
inline uint32_t SeekTarget(uint32_t offset, ZEB::BinaryStreamBufT<unsigned>::Origin origin,
                           ZEB::BinaryStreamBufT<unsigned>::Direction direction, uint32_t size, uint32_t current) {
  using Buf = ZEB::BinaryStreamBufT<unsigned>;
  switch (origin) {
  case Buf::BEGIN:
    if (direction == Buf::BACKWARD)
      throw SeekOutOfRangeException();
    return offset;
  case Buf::END:
  case Buf::CURRENT: {
    uint32_t base = origin == Buf::END ? size : current;
    if (direction == Buf::FORWARD) {
      if (uint64_t(base) + offset > UINT32_MAX)
        throw SeekOutOfRangeException();
      return base + offset;
    }
    if (offset > base)
      throw SeekOutOfRangeException();
    return base - offset;
  }
  default:
    return 0;
  }
}

} // namespace ZEBFile
