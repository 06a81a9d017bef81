// Storage navigation and the compound file's header: the top storage and the
// storages opened from it, the name lookups, and the root's validation of
// the 512-byte header.
#include "ZEBFile/Storage.h"

#include <algorithm>
#include <cstring>

#include "ZEBFile/DiskBuffer.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBStorageInternal.h"

namespace ZEBFile {
namespace OLE {

namespace {

unsigned char const SIGNATURE[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
unsigned char const SIGNATURE_BETA_2[8] = {0x0E, 0x11, 0xFC, 0x0D, 0xD0, 0xCF, 0x11, 0xE0};

template <class List> typename List::const_iterator FindByName(List const& items, ZEB::WString const& name) {
  return std::find_if(items.begin(), items.end(), [&](Storage::Item const& item) { return item.name == name; });
}

} // namespace

// ---------------------------------------------------------------- Storage

Storage::Storage(std::string const& tempPath, Buffer& buffer)
    : m_Root(new RootStorage(tempPath, buffer)), m_Name(RootStorage::ROOT_STORAGE_NAME) {
  m_Root->GetChild(RootStorage::ROOT_STORAGE_ID, m_Storages, m_Streams);
}

Storage::Storage(ZEB::SmartPtr<RootStorage> const& root, uint32_t id, ZEB::WString const& name)
    : m_Root(root), m_Name(name) {
  m_Root->GetChild(id, m_Storages, m_Streams);
}

Storage::~Storage() = default;

ZEB::SmartPtr<Storage> Storage::OpenStorage(uint32_t id) const {
  auto found = std::find_if(m_Storages.begin(), m_Storages.end(), [&](Item const& item) { return item.id == id; });
  if (found == m_Storages.end())
    throw StorageNotFoundOLEException();
  return ZEB::SmartPtr<Storage>(new Storage(m_Root, id, found->name));
}

ZEB::SmartPtr<Storage> Storage::OpenStorage(ZEB::WString const& name) const {
  auto found = FindByName(m_Storages, name);
  if (found == m_Storages.end())
    throw StorageNotFoundOLEException();
  return ZEB::SmartPtr<Storage>(new Storage(m_Root, found->id, name));
}

void Storage::ReadStream(uint32_t id, Buffer& out) const { m_Root->ReadStream(id, out); }

void Storage::ReadStream(ZEB::WString const& name, Buffer& out) const {
  auto found = FindByName(m_Streams, name);
  if (found == m_Streams.end())
    throw StreamNotFoundOLEException();
  ReadStream(found->id, out);
}

bool Storage::GetDetails(uint32_t id, Details& details) const { return m_Root->GetDetails(id, details); }

std::vector<Storage::Defect> const& Storage::Defects() const { return m_Root->Defects(); }

// ---------------------------------------------------------------- RootStorage: header

ZEB::WString const Storage::RootStorage::ROOT_STORAGE_NAME = u"Root Entry";
unsigned char const* const Storage::RootStorage::OLE_SIG = SIGNATURE;
unsigned char const* const Storage::RootStorage::OLE_SIG_BETA_2 = SIGNATURE_BETA_2;

Storage::RootStorage::RootStorage(std::string const& tempPath, Buffer& buffer)
    : m_TempPath(tempPath), m_Buffer(buffer) {
  if (buffer.Size() < HEADER_SIZE)
    throw NotAStorageOLEException();
  buffer.GetAll(m_Header, HEADER_SIZE);
  if (!IsStructuredStorage())
    throw NotAStorageOLEException();
  if ((HeaderWord(Header::BYTE_ORDER_MARK) & 0xFFFF) != 0xFFFE)
    throw CorruptedStorageOLEException();
  // Checked as shifts: a shift of 32 or more names no size at all.
  unsigned shift = m_Header[Header::SECTOR_SHIFT];
  unsigned miniShift = m_Header[Header::MINI_SECTOR_SHIFT];
  if (shift < 9 || shift > 12 || miniShift < 6 || miniShift > 9)
    throw CorruptedStorageOLEException();
  m_SectorShift = shift;
  m_MiniSectorShift = miniShift;
  m_SectorSize = 1u << shift;
  m_MiniSectorSize = 1u << miniShift;
  m_EntriesPerSector = m_SectorSize >> 7;
  m_IdsPerSector = m_SectorSize >> 2;
  ReadFAT();
  ReadMiniFAT();
}

Storage::RootStorage::~RootStorage() = default;

bool Storage::RootStorage::IsStructuredStorage() const {
  return std::memcmp(m_Header, OLE_SIG, OLE_SIG_SIZE) == 0 || std::memcmp(m_Header, OLE_SIG_BETA_2, OLE_SIG_SIZE) == 0;
}

uint32_t Storage::RootStorage::HeaderWord(unsigned offset) const noexcept {
  uint32_t value;
  std::memcpy(&value, m_Header + offset, sizeof value);
  return value;
}

uint64_t Storage::RootStorage::GetSectorOffset(uint32_t sector) const noexcept {
  return (uint64_t(sector) + 1) << m_SectorShift;
}

uint64_t Storage::RootStorage::GetMiniSectorOffset(uint32_t sector) const noexcept {
  return uint64_t(sector) << m_MiniSectorShift;
}

uint32_t Storage::RootStorage::FileSectorCount() const { return m_Buffer.Size() >> m_SectorShift; }

uint32_t Storage::RootStorage::SectorsInFile() const {
  uint32_t size = m_Buffer.Size();
  return size > m_SectorSize ? ((size - m_SectorSize - 1) >> m_SectorShift) + 1 : 0;
}

void Storage::RootStorage::ReadStream(uint32_t id, Buffer& out) const {
  DirectoryEntry const* entry = GetDirEntry(id);
  if (!entry || entry->type != TYPE_STREAM || entry->size == 0)
    return;
  Survey();
  ReadStreamInternal(entry->startSector, IsMini(entry->size), m_Entries[id].readable, out);
}

} // namespace OLE
} // namespace ZEBFile
