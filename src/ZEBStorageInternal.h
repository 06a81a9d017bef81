// Helpers shared by the compound-file reader's units.
#pragma once

#include <algorithm>
#include <cstdint>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEB/FastVector.h"
#include "ZEBFile/Exceptions.h"

namespace ZEBFile {
namespace OLE {

// Header fields, by offset.
namespace Header {
constexpr unsigned BYTE_ORDER_MARK = 0x1C;
constexpr unsigned SECTOR_SHIFT = 0x1E;
constexpr unsigned MINI_SECTOR_SHIFT = 0x20;
constexpr unsigned FAT_SECTOR_COUNT = 0x2C;
constexpr unsigned FIRST_DIRECTORY_SECTOR = 0x30;
constexpr unsigned MINI_STREAM_CUTOFF = 0x38;
constexpr unsigned FIRST_MINIFAT_SECTOR = 0x3C;
constexpr unsigned MINIFAT_SECTOR_COUNT = 0x40;
constexpr unsigned FIRST_DIFAT_SECTOR = 0x44;
constexpr unsigned DIFAT = 0x4C; // the first 109 FAT sector ids
constexpr uint32_t DIFAT_COUNT = 109;
} // namespace Header

// Moves the get position to an absolute offset. An offset past 4 GiB or past
// the end of the data is out of range, as the buffers' own seeks report it.
inline void SeekAbsolute(ZEB::BinaryStreamBufT<unsigned>& buffer, uint64_t offset) {
  if (offset > buffer.Size())
    throw SeekOutOfRangeException();
  buffer.SeekG(static_cast<uint32_t>(offset));
}

// Starts a walk over a table of `sectors` entries: no sector passed yet.
inline void BeginWalk(ZEB::FastVector<uint32_t>& stamps, uint32_t& walk, uint32_t sectors) {
  if (stamps.Count() < sectors)
    stamps.Resize(sectors, 0);
  if (++walk == 0) {
    std::fill(stamps.begin(), stamps.end(), 0);
    walk = 1;
  }
}

// Marks `sector` passed; false when this walk already passed it. Sectors
// outside the table are never followed further, so they need no mark.
inline bool FirstVisit(ZEB::FastVector<uint32_t>& stamps, uint32_t walk, uint32_t sector) {
  if (sector >= stamps.Count())
    return true;
  if (stamps[sector] == walk)
    return false;
  stamps[sector] = walk;
  return true;
}

} // namespace OLE
} // namespace ZEBFile
