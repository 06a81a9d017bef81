// The compound file's directory: entries read on demand and cached, the
// directory chain walked once, the sibling tree of a storage walked with an
// explicit stack, and the child lists built from it.
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/Storage.h"
#include "ZEBStorageInternal.h"

namespace ZEBFile {
namespace OLE {

namespace {

constexpr uint32_t ENTRY_SIZE = 128;
constexpr uint32_t NO_ENTRY = 0xFFFFFFFF;
constexpr uint8_t TYPE_STORAGE = 1;
constexpr uint8_t TYPE_STREAM = 2;
constexpr uint8_t TYPE_ROOT = 5;

} // namespace

// The chain ends at END_OF_CHAIN, after a sector outside the FAT, and after
// the first sector it passes a second time (that sector is kept: it still
// holds the entries of its position, as a walk from the first sector finds).
void Storage::RootStorage::ReadDirectoryChain() const {
  m_DirSectorsRead = true;
  m_FatMarks.Begin(m_FAT.Count());
  for (uint32_t sector = HeaderWord(Header::FIRST_DIRECTORY_SECTOR); sector != END_OF_CHAIN;) {
    m_DirSectors.PushBack(sector);
    if (sector >= m_FAT.Count() || !m_FatMarks.FirstVisit(sector))
      break;
    sector = m_FAT[sector];
  }
}

bool Storage::RootStorage::GetDirEntry(uint32_t id, DirectoryEntry& entry) const {
  auto cached = m_DirCache.find(id);
  if (cached != m_DirCache.end()) {
    entry = cached->second;
    return true;
  }
  if (!m_DirSectorsRead)
    ReadDirectoryChain();
  uint32_t index = id / m_EntriesPerSector;
  if (index >= m_DirSectors.Count())
    return false;
  try {
    SeekAbsolute(m_Buffer, GetSectorOffset(m_DirSectors[index]) + uint64_t(id % m_EntriesPerSector) * ENTRY_SIZE);
    m_Buffer.GetAll(&entry, ENTRY_SIZE);
  } catch (ZEB::BinaryStreamGetEOFException const&) {
    return false;
  } catch (SeekOutOfRangeException const&) {
    return false;
  }
  if (entry.type < TYPE_STORAGE || entry.type > TYPE_ROOT)
    return false;
  m_DirCache.emplace(id, entry);
  return true;
}

void Storage::RootStorage::GetStorageEntries(uint32_t id, std::map<uint32_t, DirectoryEntry>& entries) const {
  DirectoryEntry entry;
  if (!GetDirEntry(id, entry))
    return;
  // Reading the entry has read the directory chain: ids past it have no entry.
  m_EntryMarks.Begin(m_DirSectors.Count() * m_EntriesPerSector);
  ZEB::FastVector<uint32_t> pending;
  if (entry.child != NO_ENTRY && entry.child != END_OF_CHAIN)
    pending.PushBack(entry.child);
  while (!pending.empty()) {
    uint32_t current = pending.Back();
    pending.PopBack();
    if (!m_EntryMarks.FirstVisit(current) || !GetDirEntry(current, entry))
      continue;
    entries[current] = entry;
    if (entry.left != NO_ENTRY)
      pending.PushBack(entry.left);
    if (entry.right != NO_ENTRY)
      pending.PushBack(entry.right);
  }
}

void Storage::RootStorage::GetChild(uint32_t id, std::vector<Item>& storages, std::vector<Item>& streams) const {
  std::map<uint32_t, DirectoryEntry> entries;
  GetStorageEntries(id, entries);
  for (auto const& [childId, entry] : entries) {
    if (entry.type != TYPE_STORAGE && entry.type != TYPE_STREAM)
      continue;
    std::size_t units = std::min<std::size_t>(entry.nameLength >> 1, 32);
    while (units > 0 && entry.name[units - 1] == 0)
      --units;
    if (units == 0)
      continue;
    Item item;
    item.id = childId;
    item.name.assign(entry.name, units);
    item.size = entry.type == TYPE_STREAM ? entry.size : 0;
    (entry.type == TYPE_STORAGE ? storages : streams).push_back(std::move(item));
  }
}

} // namespace OLE
} // namespace ZEBFile
