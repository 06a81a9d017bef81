// The compound file's directory: entries read on demand and cached, the
// directory chain walked once, and the storage tree built once: each entry
// listed by the first storage that reaches it.
#include <algorithm>
#include <deque>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/Storage.h"
#include "ZEBStorageInternal.h"

namespace ZEBFile {
namespace OLE {

namespace {

constexpr uint32_t ENTRY_SIZE = 128;
constexpr uint32_t UNREACHED = 0xFFFFFFFF;
constexpr uint8_t UNREAD = 0xFF;

// Sibling and child links at or above this value point nowhere.
bool IsLink(uint32_t id) { return id < 0xFFFFFFFA; }

} // namespace

// The chain ends at END_OF_CHAIN, at a sector the file does not hold, after a
// sector outside the FAT, and after the first sector it passes a second time
// (that sector is kept: it still holds the entries of its position, as a walk
// from the first sector finds).
void Storage::RootStorage::ReadDirectoryChain() const {
  m_DirSectorsRead = true;
  uint32_t inFile = SectorsInFile();
  m_FatMarks.Begin(m_FAT.Count());
  for (uint32_t sector = HeaderWord(Header::FIRST_DIRECTORY_SECTOR); sector != END_OF_CHAIN;) {
    if (sector >= inFile) {
      AddDefect(Defect::CHAIN_LEAVES_FILE, Defect::DIRECTORY, Defect::NO_ENTRY, {0, 0, sector});
      break;
    }
    m_DirSectors.PushBack(sector);
    if (sector >= m_FAT.Count()) {
      AddDefect(Defect::CHAIN_LEAVES_FILE, Defect::DIRECTORY, Defect::NO_ENTRY, {0, 0, sector});
      break;
    }
    if (!m_FatMarks.FirstVisit(sector)) {
      AddDefect(Defect::CHAIN_LOOPS, Defect::DIRECTORY, Defect::NO_ENTRY, {0, 0, sector});
      break;
    }
    sector = m_FAT[sector];
  }
}

bool Storage::RootStorage::GetDirEntry(uint32_t id, DirectoryEntry& entry) const {
  return LoadDirEntry(id, entry) == EntryRead::VALID;
}

// Each entry is read from the file once; the cache holds one record per
// entry of the directory chain, which lies within the file.
Storage::RootStorage::EntryRead Storage::RootStorage::LoadDirEntry(uint32_t id, DirectoryEntry& entry) const {
  if (!m_DirSectorsRead) {
    ReadDirectoryChain();
    m_DirCache.resize(EntryCount());
    m_DirRead.assign(EntryCount(), UNREAD);
  }
  if (id >= m_DirRead.size())
    return EntryRead::MISSING;
  if (m_DirRead[id] == UNREAD)
    m_DirRead[id] = uint8_t(ReadDirEntry(id, m_DirCache[id]));
  entry = m_DirCache[id];
  return EntryRead(m_DirRead[id]);
}

Storage::RootStorage::EntryRead Storage::RootStorage::ReadDirEntry(uint32_t id, DirectoryEntry& entry) const {
  try {
    uint32_t sector = m_DirSectors[id / m_EntriesPerSector];
    SeekAbsolute(m_Buffer, GetSectorOffset(sector) + uint64_t(id % m_EntriesPerSector) * ENTRY_SIZE);
    m_Buffer.GetAll(&entry, ENTRY_SIZE);
  } catch (ZEB::BinaryStreamGetEOFException const&) {
    return EntryRead::MISSING;
  } catch (SeekOutOfRangeException const&) {
    return EntryRead::MISSING;
  }
  return entry.type < TYPE_STORAGE || entry.type > TYPE_ROOT ? EntryRead::BAD_TYPE : EntryRead::VALID;
}

void Storage::RootStorage::BuildTree() const {
  if (m_TreeBuilt)
    return;
  m_TreeBuilt = true;
  DirectoryEntry root;
  if (!GetDirEntry(ROOT_STORAGE_ID, root))
    return;
  m_Reacher.assign(EntryCount(), UNREACHED);
  m_Reacher[ROOT_STORAGE_ID] = ROOT_STORAGE_ID;
  std::map<uint32_t, uint32_t> again; // entry → times reached after it was listed
  std::deque<uint32_t> queue{ROOT_STORAGE_ID};
  std::vector<uint32_t> found;
  while (!queue.empty()) {
    found.clear();
    ListChildren(queue.front(), found, again);
    queue.pop_front();
    queue.insert(queue.end(), found.begin(), found.end());
  }
  for (auto const& [id, times] : again)
    AddDefect(Defect::ENTRY_SHARED, Defect::NO_TABLE, id, {times, m_Reacher[id]});
}

// Walks the sibling tree below `storage` with an explicit stack, taking each
// entry no storage has reached yet; an entry reached before is neither taken
// nor walked below (its subtree was walked when it was first reached).
void Storage::RootStorage::ListChildren(uint32_t storage, std::vector<uint32_t>& storagesFound,
                                        std::map<uint32_t, uint32_t>& again) const {
  DirectoryEntry entry;
  GetDirEntry(storage, entry);
  Children& children = m_Children[storage];
  std::vector<uint32_t> pending;
  if (IsLink(entry.child))
    pending.push_back(entry.child);
  while (!pending.empty()) {
    uint32_t current = pending.back();
    pending.pop_back();
    if (current >= m_Reacher.size()) {
      AddDefect(Defect::ENTRY_MISSING, Defect::NO_TABLE, current, {});
      continue;
    }
    if (m_Reacher[current] != UNREACHED) {
      ++again[current];
      continue;
    }
    m_Reacher[current] = storage;
    EntryRead read = LoadDirEntry(current, entry);
    if (read != EntryRead::VALID) {
      if (read == EntryRead::BAD_TYPE)
        AddDefect(Defect::ENTRY_UNKNOWN_TYPE, Defect::NO_TABLE, current, {entry.type});
      else
        AddDefect(Defect::ENTRY_MISSING, Defect::NO_TABLE, current, {});
      continue;
    }
    if (IsLink(entry.left))
      pending.push_back(entry.left);
    if (IsLink(entry.right))
      pending.push_back(entry.right);
    if (entry.type != TYPE_STORAGE && entry.type != TYPE_STREAM)
      continue;
    Item item;
    item.id = current;
    item.name = EntryName(entry);
    if (item.name.empty())
      continue;
    item.size = entry.type == TYPE_STREAM ? entry.size : 0;
    (entry.type == TYPE_STORAGE ? children.storages : children.streams).push_back(std::move(item));
  }
  auto byId = [](Item const& a, Item const& b) { return a.id < b.id; };
  std::sort(children.storages.begin(), children.storages.end(), byId);
  std::sort(children.streams.begin(), children.streams.end(), byId);
  for (Item const& item : children.storages)
    storagesFound.push_back(item.id);
}

ZEB::WString Storage::RootStorage::EntryName(DirectoryEntry const& entry) {
  std::size_t units = std::min<std::size_t>(entry.nameLength >> 1, 32);
  while (units > 0 && entry.name[units - 1] == 0)
    --units;
  return ZEB::WString(entry.name, units);
}

void Storage::RootStorage::GetChild(uint32_t id, std::vector<Item>& storages, std::vector<Item>& streams) const {
  BuildTree();
  auto found = m_Children.find(id);
  if (found == m_Children.end())
    return;
  storages.insert(storages.end(), found->second.storages.begin(), found->second.storages.end());
  streams.insert(streams.end(), found->second.streams.begin(), found->second.streams.end());
}

} // namespace OLE
} // namespace ZEBFile
