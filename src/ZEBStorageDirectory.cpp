// The compound file's directory: entries read on demand and cached, the
// directory chain walked once, and the storage tree built once: each entry
// listed by the first storage that reaches it.
#include <algorithm>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/Storage.h"
#include "ZEBStorageInternal.h"

namespace ZEBFile {
namespace OLE {

namespace {

constexpr uint32_t ENTRY_SIZE = 128;

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

Storage::RootStorage::DirectoryEntry const* Storage::RootStorage::GetDirEntry(uint32_t id) const {
  DirectoryEntry const* entry = nullptr;
  return LoadDirEntry(id, entry) == EntryRead::VALID ? entry : nullptr;
}

// Each entry is read from the file once; the cache holds one record per
// entry of the directory chain, which lies within the file.
Storage::RootStorage::EntryRead Storage::RootStorage::LoadDirEntry(uint32_t id,
                                                                   DirectoryEntry const*& entry) const {
  if (!m_DirSectorsRead) {
    ReadDirectoryChain();
    m_Entries.resize(EntryCount());
  }
  if (id >= m_Entries.size())
    return EntryRead::MISSING;
  EntryState& state = m_Entries[id];
  if (state.read == UNREAD)
    state.read = uint8_t(ReadDirEntry(id, state.entry));
  entry = &state.entry;
  return EntryRead(state.read);
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
  if (!GetDirEntry(ROOT_STORAGE_ID))
    return;
  m_Entries[ROOT_STORAGE_ID].reacher = ROOT_STORAGE_ID;
  std::map<uint32_t, uint32_t> again; // entry → times reached after it was listed
  std::vector<uint32_t> queue{ROOT_STORAGE_ID}, pending;
  for (std::size_t next = 0; next < queue.size(); ++next)
    ListChildren(queue[next], queue, pending, again);
  for (auto const& [id, times] : again)
    AddDefect(Defect::ENTRY_SHARED, Defect::NO_TABLE, id, {times, m_Entries[id].reacher});
}

// Walks the sibling tree below `storage` with an explicit stack, taking each
// entry no storage has reached yet; an entry reached before is neither taken
// nor walked below (its subtree was walked when it was first reached).
void Storage::RootStorage::ListChildren(uint32_t storage, std::vector<uint32_t>& storagesFound,
                                        std::vector<uint32_t>& pending, std::map<uint32_t, uint32_t>& again) const {
  DirectoryEntry const* entry = GetDirEntry(storage);
  std::vector<uint32_t>& children = m_Children[storage];
  if (IsLink(entry->child))
    pending.push_back(entry->child);
  while (!pending.empty()) {
    uint32_t current = pending.back();
    pending.pop_back();
    if (current >= m_Entries.size()) {
      AddDefect(Defect::ENTRY_MISSING, Defect::NO_TABLE, current, {});
      continue;
    }
    if (m_Entries[current].reacher != UNREACHED) {
      ++again[current];
      continue;
    }
    m_Entries[current].reacher = storage;
    EntryRead read = LoadDirEntry(current, entry);
    if (read != EntryRead::VALID) {
      if (read == EntryRead::BAD_TYPE)
        AddDefect(Defect::ENTRY_UNKNOWN_TYPE, Defect::NO_TABLE, current, {entry->type});
      else
        AddDefect(Defect::ENTRY_MISSING, Defect::NO_TABLE, current, {});
      continue;
    }
    if (IsLink(entry->left))
      pending.push_back(entry->left);
    if (IsLink(entry->right))
      pending.push_back(entry->right);
    if ((entry->type == TYPE_STORAGE || entry->type == TYPE_STREAM) && NameUnits(*entry) > 0)
      children.push_back(current);
  }
  std::sort(children.begin(), children.end());
  for (uint32_t child : children) {
    if (m_Entries[child].entry.type == TYPE_STORAGE)
      storagesFound.push_back(child);
    else
      m_Entries[child].listedStream = true;
  }
}

std::size_t Storage::RootStorage::NameUnits(DirectoryEntry const& entry) {
  std::size_t units = std::min<std::size_t>(entry.nameLength >> 1, 32);
  while (units > 0 && entry.name[units - 1] == 0)
    --units;
  return units;
}

ZEB::WString Storage::RootStorage::EntryName(DirectoryEntry const& entry) {
  return ZEB::WString(entry.name, NameUnits(entry));
}

void Storage::RootStorage::GetChild(uint32_t id, std::vector<Item>& storages, std::vector<Item>& streams) const {
  BuildTree();
  auto found = m_Children.find(id);
  if (found == m_Children.end())
    return;
  for (uint32_t child : found->second) {
    DirectoryEntry const& entry = m_Entries[child].entry;
    bool storage = entry.type == TYPE_STORAGE;
    (storage ? storages : streams).push_back(Item{child, EntryName(entry), storage ? 0 : entry.size});
  }
}

} // namespace OLE
} // namespace ZEBFile
