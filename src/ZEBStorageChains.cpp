// The compound file's allocation tables and the chains they describe: the
// FAT (through the header's DIFAT and the DIFAT chain), the MiniFAT, the mini
// stream and the copy of a stream's bytes run by run. A chain ends at its
// first repeated sector, at a sector outside its table and at a sector the
// file does not hold.
#include <algorithm>

#include "ZEBFile/DiskBuffer.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/Storage.h"
#include "ZEBStorageInternal.h"

namespace ZEBFile {
namespace OLE {

namespace {

constexpr uint32_t MINI_STREAM_CHUNK = 0x8000;
constexpr uint32_t MINI_STREAM_CACHE = 0x40000;

} // namespace

void Storage::RootStorage::AppendTableSector(uint32_t sector, ZEB::FastVector<uint32_t>& table) {
  SeekAbsolute(m_Buffer, GetSectorOffset(sector));
  uint32_t at = table.Count();
  table.Resize(at + m_IdsPerSector);
  try {
    m_Buffer.GetAll(table.Data() + at, m_SectorSize);
  } catch (...) {
    table.Resize(at); // a sector not read whole adds nothing
    throw;
  }
}

uint32_t Storage::RootStorage::TableSectorCount(unsigned field) const {
  return std::min({HeaderWord(field), MAX_TABLE_SECTORS, FileSectorCount()});
}

void Storage::RootStorage::ReadFAT() {
  // A larger count in the header than the file can hold reserves and reads
  // no more than that.
  uint32_t count = TableSectorCount(Header::FAT_SECTOR_COUNT);
  m_FAT.Reserve(count * m_IdsPerSector);
  ReadFATSectors(count);
  CheckTableCount(Defect::FAT, Header::FAT_SECTOR_COUNT, count, uint32_t(m_FatSectors.size()));
}

// One defect when a table has fewer sectors than its header count: capped
// when the file cannot hold that many, short when fewer could be read.
void Storage::RootStorage::CheckTableCount(Defect::Table table, unsigned field, uint32_t kept, uint32_t read) {
  uint32_t declared = HeaderWord(field);
  if (read < declared)
    AddDefect(read == kept ? Defect::TABLE_CAPPED : Defect::TABLE_SHORT, table, Defect::NO_ENTRY, {declared, read});
}

// The header's DIFAT, then the DIFAT chain, until `count` FAT sectors are
// read, a FREE_SECT, a loop or the end of the file.
void Storage::RootStorage::ReadFATSectors(uint32_t count) {
  uint32_t i = 0;
  auto append = [&](uint32_t sector) {
    AppendTableSector(sector, m_FAT);
    m_FatSectors.push_back(sector);
  };
  try {
    for (; i < Header::DIFAT_COUNT && i < count; ++i) {
      uint32_t sector = HeaderWord(Header::DIFAT + 4 * i);
      if (sector == FREE_SECT)
        return;
      append(sector);
    }
    uint32_t difat = HeaderWord(Header::FIRST_DIFAT_SECTOR);
    if (difat == END_OF_CHAIN || i >= count)
      return;
    ZEB::FastVector<uint32_t> block;
    block.Resize(m_IdsPerSector);
    m_FatMarks.Begin(FileSectorCount());
    while (difat != END_OF_CHAIN && i < count) {
      if (!m_FatMarks.FirstVisit(difat))
        return;
      SeekAbsolute(m_Buffer, GetSectorOffset(difat));
      m_Buffer.GetAll(block.Data(), m_SectorSize);
      m_DifatSectors.push_back(difat);
      for (uint32_t j = 0; j < m_IdsPerSector - 1 && i < count; ++j, ++i) {
        if (block[j] == FREE_SECT)
          return;
        append(block[j]);
      }
      difat = block[m_IdsPerSector - 1];
    }
  } catch (ZEB::BinaryStreamGetEOFException const&) {
  } catch (SeekOutOfRangeException const&) {
  }
}

void Storage::RootStorage::ReadMiniFAT() {
  uint32_t sector = HeaderWord(Header::FIRST_MINIFAT_SECTOR);
  if (sector == END_OF_CHAIN)
    return;
  uint32_t count = TableSectorCount(Header::MINIFAT_SECTOR_COUNT);
  m_MiniFAT.Reserve(count * m_IdsPerSector);
  m_FatMarks.Begin(m_FAT.Count());
  try {
    while (sector != END_OF_CHAIN && m_FatMarks.FirstVisit(sector)) {
      AppendTableSector(sector, m_MiniFAT);
      m_MiniFatSectors.push_back(sector);
      sector = sector < m_FAT.Count() ? m_FAT[sector] : END_OF_CHAIN;
    }
  } catch (ZEB::BinaryStreamGetEOFException const&) {
  } catch (SeekOutOfRangeException const&) {
  }
  CheckTableCount(Defect::MINIFAT, Header::MINIFAT_SECTOR_COUNT, count, uint32_t(m_MiniFatSectors.size()));
}

void Storage::RootStorage::ReadMiniStream() const {
  m_MiniStream.reset(new DiskBuffer(m_TempPath, MINI_STREAM_CHUNK, MINI_STREAM_CACHE));
  DirectoryEntry const* root = GetDirEntry(ROOT_STORAGE_ID);
  if (root && m_Entries[ROOT_STORAGE_ID].readable > 0) {
    ReadStreamInternal(root->startSector, false, m_Entries[ROOT_STORAGE_ID].readable, *m_MiniStream);
    m_MiniStream->ClearEnd();
  }
}

// The survey has found the chain free of loops and inside its table for as
// many sectors as `limit` allows.
uint32_t Storage::RootStorage::GetContigousSectCount(ZEB::FastVector<uint32_t> const& table, uint32_t sector,
                                                     uint32_t limit) const {
  uint32_t count = 1;
  while (count < limit && table[sector] == sector + 1) {
    ++sector;
    ++count;
  }
  return count;
}

bool Storage::RootStorage::IsMini(uint32_t size) const noexcept {
  return size < HeaderWord(Header::MINI_STREAM_CUTOFF);
}

// `bytes` is what the survey found the chain holds: never past a loop, the
// table's end or another chain's sectors.
void Storage::RootStorage::ReadStreamInternal(uint32_t firstSector, bool mini, uint32_t bytes, Buffer& out) const {
  if (mini && !m_MiniStream)
    ReadMiniStream();
  Buffer& source = mini ? static_cast<Buffer&>(*m_MiniStream) : m_Buffer;
  ZEB::FastVector<uint32_t> const& table = mini ? m_MiniFAT : m_FAT;
  uint32_t unit = mini ? m_MiniSectorSize : m_SectorSize;

  uint32_t remaining = bytes;
  uint32_t sector = firstSector;
  try {
    while (remaining > 0 && sector != END_OF_CHAIN && sector < table.Count()) {
      // A run never needs more sectors than the bytes still wanted fill.
      uint32_t wanted = remaining / unit + (remaining % unit != 0);
      uint32_t run = GetContigousSectCount(table, sector, wanted);
      uint32_t part = uint32_t(std::min<uint64_t>(uint64_t(run) * unit, remaining));
      SeekAbsolute(source, mini ? GetMiniSectorOffset(sector) : GetSectorOffset(sector));
      uint32_t got = source.Copy(out, part);
      remaining -= got;
      if (got < part || remaining == 0)
        break;
      sector = table[sector + run - 1];
    }
  } catch (SeekOutOfRangeException const&) {
  }
}

} // namespace OLE
} // namespace ZEBFile
