// The survey of a compound file, made once: each sector given to one chain
// (the tables and the directory first, then the mini stream, then the
// streams the tree lists by ascending id, then the other stream entries), so
// that no sector is delivered twice and every stream's readable length is
// known; the defects found on the way; and the details of an entry.
#include <algorithm>
#include <cstring>

#include "ZEBCharset/Conv.h"
#include "ZEBFile/Storage.h"
#include "ZEBStorageInternal.h"

namespace ZEBFile {
namespace OLE {

namespace {

using Defect = Storage::Defect;

constexpr uint32_t UNCLAIMED = 0xFFFFFFFF;
// Structures keep their sectors under STRUCTURE + their Defect::Table.
constexpr uint32_t STRUCTURE = 0xFFFFFFF0;

struct ChainEnd {
  uint32_t readable;
  Defect::Kind kind; // why the chain ended before the declared size
  uint32_t sector;   // where
};

} // namespace

class Storage::RootStorage::SectorOwners {
public:
  // The sectors of `table`: sector s spans `unit` bytes from base + s *
  // unit, of which those before `end` exist.
  SectorOwners(ZEB::FastVector<uint32_t> const& table, uint64_t base, unsigned shift, uint64_t end,
               Defect::Table kind)
      : kind(kind), m_Table(table), m_Base(base), m_End(end), m_Shift(shift) {
    uint64_t count = end > base ? ((end - base - 1) >> shift) + 1 : 0;
    m_Owner.assign(std::min<uint64_t>(count, table.Count()), UNCLAIMED);
    m_Whole = uint32_t(std::min<uint64_t>(end > base ? (end - base) >> shift : 0, m_Owner.size()));
  }

  void Keep(uint32_t sector, uint32_t keeper) {
    if (sector < m_Owner.size() && m_Owner[sector] == UNCLAIMED)
      m_Owner[sector] = keeper;
  }

  // Follows the chain from `first` for `size` bytes, keeping each sector for
  // `id`; ends at the first sector the chain passed already, that another
  // chain keeps, or that the table or the file lacks. A `counted` chain that
  // runs into another's sectors is counted for the defect of that run.
  ChainEnd Claim(uint32_t first, uint32_t size, uint32_t id, bool counted) {
    uint64_t const unit = uint64_t(1) << m_Shift;
    uint64_t readable = 0;
    for (uint32_t sector = first; readable < size; sector = m_Table[sector]) {
      if (sector >= m_Owner.size())
        return {uint32_t(readable), sector < UNCLAIMED - 5 ? Defect::CHAIN_LEAVES_FILE : Defect::STREAM_SHORT,
                sector};
      uint32_t& owner = m_Owner[sector];
      if (owner != UNCLAIMED)
        return Taken(uint32_t(readable), sector, owner == id, counted);
      owner = id;
      if (sector < m_Whole) {
        readable += unit;
        continue;
      }
      readable += m_End - (m_Base + (uint64_t(sector) << m_Shift)); // the file ends inside this sector
      if (readable < size)
        return {uint32_t(readable), Defect::CHAIN_LEAVES_FILE, sector};
    }
    return {size, Defect::STREAM_SHORT, 0};
  }

  // The runs other chains ran into: first sector, keeper, streams reaching it.
  template <class Visit> void ForEachShared(Visit visit) const {
    for (auto const& [sector, streams] : m_Shared)
      visit(sector, m_Owner[sector], streams);
  }

  Defect::Table const kind;

private:
  // The chain reached a sector already kept: by itself (a loop) or another.
  ChainEnd Taken(uint32_t readable, uint32_t sector, bool loop, bool counted) {
    if (loop)
      return {readable, Defect::CHAIN_LOOPS, sector};
    if (counted)
      ++m_Shared[sector];
    return {readable, Defect::SECTOR_SHARED, sector};
  }

  ZEB::FastVector<uint32_t> const& m_Table;
  uint64_t m_Base, m_End;
  unsigned m_Shift;
  uint32_t m_Whole; // sectors wholly in the file
  std::vector<uint32_t> m_Owner;
  std::map<uint32_t, uint32_t> m_Shared;
};

void Storage::RootStorage::Survey() const {
  if (m_Surveyed)
    return;
  BuildTree();
  m_Surveyed = true;

  SectorOwners file(m_FAT, m_SectorSize, m_SectorShift, m_Buffer.Size(), Defect::FAT);
  for (uint32_t sector : m_FatSectors)
    file.Keep(sector, STRUCTURE + Defect::FAT);
  for (uint32_t sector : m_DifatSectors)
    file.Keep(sector, STRUCTURE + Defect::DIFAT);
  for (uint32_t sector : m_MiniFatSectors)
    file.Keep(sector, STRUCTURE + Defect::MINIFAT);
  for (uint32_t sector : m_DirSectors)
    file.Keep(sector, STRUCTURE + Defect::DIRECTORY);
  DirectoryEntry const* entry = GetDirEntry(ROOT_STORAGE_ID);
  if (entry && entry->size > 0)
    ClaimChain(file, ROOT_STORAGE_ID, *entry, true);

  // The streams the tree lists first, then the other entries: a stream
  // nobody lists cannot take the sectors of one that is listed.
  SectorOwners mini(m_MiniFAT, 0, m_MiniSectorShift, m_Entries.empty() ? 0 : m_Entries[ROOT_STORAGE_ID].readable,
                    Defect::MINIFAT);
  for (bool listed : {true, false})
    for (uint32_t id = 0; id < m_Entries.size(); ++id)
      if (m_Entries[id].listedStream == listed && (entry = GetDirEntry(id)) && entry->type == TYPE_STREAM &&
          entry->size > 0)
        ClaimChain(IsMini(entry->size) ? mini : file, id, *entry, listed);

  for (SectorOwners const* owners : {&file, &mini})
    owners->ForEachShared([&](uint32_t sector, uint32_t keeper, uint32_t streams) {
      if (keeper >= STRUCTURE)
        AddDefect(Defect::SECTOR_SHARED, Defect::Table(keeper - STRUCTURE), Defect::NO_ENTRY, {sector, streams});
      else
        AddDefect(Defect::SECTOR_SHARED, owners->kind, keeper, {sector, streams});
    });
}

// Keeps what entry `id` can deliver. Defects are told of the streams a
// caller sees listed, and of the mini stream; a stream cut where another
// chain's sectors begin is told once for the run, by the survey.
void Storage::RootStorage::ClaimChain(SectorOwners& owners, uint32_t id, DirectoryEntry const& entry,
                                      bool listed) const {
  ChainEnd end = owners.Claim(entry.startSector, entry.size, id, listed);
  m_Entries[id].readable = end.readable;
  if (listed && end.readable < entry.size && end.kind != Defect::SECTOR_SHARED)
    AddDefect(end.kind, owners.kind, id, {entry.size, end.readable, end.sector});
}

void Storage::RootStorage::AddDefect(Defect::Kind kind, Defect::Table table, uint32_t id,
                                     std::initializer_list<uint64_t> numbers) const {
  Defect defect;
  defect.kind = kind;
  defect.table = table;
  defect.entry = id;
  std::copy(numbers.begin(), numbers.end(), defect.numbers);
  DirectoryEntry const* entry = nullptr;
  if (id != Defect::NO_ENTRY && LoadDirEntry(id, entry) != EntryRead::MISSING)
    defect.name = EntryName(*entry);
  m_Defects.push_back(std::move(defect));
}

bool Storage::RootStorage::GetDetails(uint32_t id, Details& details) const {
  DirectoryEntry const* found = GetDirEntry(id);
  if (!found)
    return false;
  DirectoryEntry const& entry = *found;
  details = Details();
  details.type = entry.type;
  std::memcpy(details.classId, entry.classId, sizeof details.classId);
  details.stateBits = entry.state;
  std::memcpy(&details.created, entry.created, sizeof details.created);
  std::memcpy(&details.modified, entry.modified, sizeof details.modified);
  if (entry.type == TYPE_STREAM) {
    Survey();
    details.size = entry.size;
    details.readable = m_Entries[id].readable;
  }
  return true;
}

std::vector<Storage::Defect> const& Storage::RootStorage::Defects() const {
  Survey();
  return m_Defects;
}

// ---------------------------------------------------------------- the defects in words

namespace {

// The name in UTF-8, control characters as \xHH, as the listings show them.
std::string Shown(ZEB::WString const& name) {
  ZEB::WString plain;
  std::string shown;
  auto flush = [&] {
    shown += ZEBCharset::FromWide(ZEB::CHARSET_UTF8, plain);
    plain.clear();
  };
  for (char16_t unit : name) {
    if (unit >= 0x20 && unit != 0x7F) {
      plain += unit;
      continue;
    }
    flush();
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(unit));
    shown += hex;
  }
  flush();
  return shown;
}

std::string TableName(Defect::Table table) {
  switch (table) {
  case Defect::FAT:
    return "FAT";
  case Defect::MINIFAT:
    return "MiniFAT";
  case Defect::DIFAT:
    return "DIFAT";
  case Defect::DIRECTORY:
    return "directory";
  default:
    return "table";
  }
}

} // namespace

std::string Storage::Defect::Text() const {
  std::string const n0 = std::to_string(numbers[0]), n1 = std::to_string(numbers[1]), n2 = std::to_string(numbers[2]);
  std::string const entryText = "entry " + std::to_string(entry) + " '" + Shown(name) + "'";
  std::string const stream = entry == 0 ? "the mini stream (entry 0)" : "stream '" + Shown(name) + "' (entry " +
                                                                            std::to_string(entry) + ")";
  bool const mini = table == MINIFAT && entry != NO_ENTRY;
  std::string const sector = (mini ? "mini sector " : "sector ") + n2;
  std::string const chain = entry == NO_ENTRY ? "the " + TableName(table) + " chain"
                                              : stream + " declares " + n0 + " bytes; its " + (mini ? "mini " : "") +
                                                    "chain";
  std::string const after = entry == NO_ENTRY ? "" : " after " + n1;
  switch (kind) {
  case STREAM_SHORT:
    return stream + " declares " + n0 + " bytes; its chain ends after " + n1;
  case CHAIN_LOOPS:
    return chain + " loops at " + sector + after;
  case CHAIN_LEAVES_FILE:
    return chain + " leaves the " + (mini ? "mini stream" : "file") + " at " + sector + after;
  case SECTOR_SHARED:
    if (entry == NO_ENTRY)
      return "sector " + n0 + " holds the " + TableName(table) + "; " + n1 + " stream" + (numbers[1] == 1 ? "" : "s") +
             " reach it too";
    return (table == MINIFAT ? "mini sector " : "sector ") + n0 + " is shared by " +
           std::to_string(numbers[1] + 1) + " streams; " + stream + " keeps it";
  case ENTRY_UNKNOWN_TYPE:
    return entryText + " has invalid type " + n0 + "; it and its subtree are skipped";
  case ENTRY_MISSING:
    return "entry " + std::to_string(entry) + " is linked from a storage's tree but the directory does not hold it";
  case ENTRY_SHARED:
    return entryText + " is reached " + n0 + " more time" + (numbers[0] == 1 ? "" : "s") + "; only storage " + n1 +
           " lists it";
  case TABLE_CAPPED:
    return "the " + TableName(table) + " count is capped from " + n0 + " to " + n1;
  case TABLE_SHORT:
    return "the " + TableName(table) + " declares " + n0 + " sectors; " + n1 + " could be read";
  }
  return "unknown defect";
}

} // namespace OLE
} // namespace ZEBFile
