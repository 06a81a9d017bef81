// Helpers shared by the compound-file reader's units.
#pragma once

#include <cstdint>

#include "ZEB/BinaryStreamBuf.h"
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

// Directory entry types.
constexpr uint8_t TYPE_STORAGE = 1;
constexpr uint8_t TYPE_STREAM = 2;
constexpr uint8_t TYPE_ROOT = 5;

// The FAT and the MiniFAT hold at most this many sectors, whatever the
// header declares.
constexpr uint32_t MAX_TABLE_SECTORS = 0x10000;

// Moves the get position to an absolute offset. An offset past 4 GiB or past
// the end of the data is out of range, as the buffers' own seeks report it.
inline void SeekAbsolute(ZEB::BinaryStreamBufT<unsigned>& buffer, uint64_t offset) {
  if (offset > buffer.Size())
    throw SeekOutOfRangeException();
  buffer.SeekG(static_cast<uint32_t>(offset));
}

} // namespace OLE
} // namespace ZEBFile
