// Compound files (structured storage), read only. A Storage is the caller's
// view of one folder of the file: its name, its child storages and streams.
// Every Storage of one file shares one RootStorage, which reads the header,
// the allocation tables, the directory and the streams from the caller's
// buffer. The reader is lenient: damaged chains end early, damaged entries
// are skipped, and only a header that is not one of a compound file throws.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEB/FastVector.h"
#include "ZEB/SmartPtr.h"
#include "ZEB/Types.h"
#include "ZEBFile/PropertyStorage.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile {

class DiskBuffer;

namespace OLE {

class ZEBFILE_API Storage : public ZEB::SPRefCounter {
public:
  using Buffer = ZEB::BinaryStreamBufT<unsigned>;

  // One entry of a child list.
  struct Item {
    uint32_t id = 0;   // directory entry id
    ZEB::WString name; // at most 32 units, trailing zero units removed, never empty
    uint32_t size = 0; // stream size in bytes; 0 for a storage
  };

  // The details of one directory entry (GetDetails).
  struct Details {
    uint8_t type = 0;         // 1 storage, 2 stream, 3 lock bytes, 4 property, 5 root
    uint8_t classId[16] = {}; // as stored
    uint32_t stateBits = 0;
    uint64_t created = 0;  // FILETIME (100 ns since 1601-01-01 UTC); 0 when absent
    uint64_t modified = 0; // FILETIME; 0 when absent
    uint32_t size = 0;     // declared stream size; 0 for a storage
    uint32_t readable = 0; // the bytes ReadStream delivers: at most `size`
  };

  // Damage the reader tolerated: a chain cut short, an entry skipped, a table
  // capped. A file whose structure is sound has none.
  struct ZEBFILE_API Defect {
    enum Kind : uint8_t {
      STREAM_SHORT,       // a stream's chain ends early: size, readable
      CHAIN_LOOPS,        // a chain passes a sector twice: size, readable, sector
      CHAIN_LEAVES_FILE,  // a chain reaches a sector the file or its table lacks: size, readable, sector
      SECTOR_SHARED,      // a run of sectors kept by `entry` or `table` is reached by more streams:
                          //   sector, streams that reach it (the keeper included)
      ENTRY_UNKNOWN_TYPE, // an entry in a storage's tree has a type no entry has: type
      ENTRY_MISSING,      // a storage's tree names an entry the directory lacks
      ENTRY_SHARED,       // an entry is reached again after a storage has listed it: times reached
                          //   again, the storage keeping it
      TABLE_CAPPED,       // a table's declared count exceeds what the file can hold: declared, read
      TABLE_SHORT,        // fewer table sectors could be read than declared: declared, read
    };
    // The structure concerned: whose sectors a chain runs through, or which
    // table a count is of.
    enum Table : uint8_t { NO_TABLE, FAT, MINIFAT, DIFAT, DIRECTORY };
    static constexpr uint32_t NO_ENTRY = 0xFFFFFFFF;

    Kind kind = STREAM_SHORT;
    Table table = NO_TABLE;
    uint32_t entry = NO_ENTRY; // the directory entry concerned
    ZEB::WString name;         // its name
    uint64_t numbers[3] = {0, 0, 0};

    // One sentence in English, UTF-8: "stream 'Data' (entry 3) declares
    // 100000 bytes; its chain ends after 1024".
    std::string Text() const;
  };

  class RootStorage;

  // The top storage of the file held in `buffer`, positioned at the file's
  // start; the buffer must outlive every Storage of the file. The mini
  // stream's temporary file, when one is needed, goes to `tempPath`. Throws
  // NotAStorageOLEException or CorruptedStorageOLEException.
  Storage(std::string const& tempPath, Buffer& buffer);
  Storage(Storage const&) = delete;
  Storage& operator=(Storage const&) = delete;
  ~Storage() override;

  // AddRef and Release (inherited) change the count interlocked; the Release
  // that reaches 0 destroys the object.
  int32_t NbRef() const noexcept { return RefCountValue(); }

  // "Root Entry" for the top storage, else the name it was opened with.
  ZEB::WString const& Name() const noexcept { return m_Name; }
  // Child storages and child streams, in ascending entry id order.
  std::vector<Item> const& Storages() const noexcept { return m_Storages; }
  std::vector<Item> const& Streams() const noexcept { return m_Streams; }

  // Opens the child storage with that id; StorageNotFoundOLEException when
  // no item of Storages() has it.
  ZEB::SmartPtr<Storage> OpenStorage(uint32_t id) const;
  // Opens the first child storage whose name equals `name` unit for unit
  // (case-sensitive); the new storage is named `name`.
  // StorageNotFoundOLEException when there is none.
  ZEB::SmartPtr<Storage> OpenStorage(ZEB::WString const& name) const;
  // Appends the bytes of stream entry `id` to `out` at its put position: how
  // many were delivered is how much `out` grew, fewer than the declared size
  // when the stream is damaged (see Defects). Any stream entry of the file
  // can be read this way; another entry or an empty stream appends nothing.
  // Each sector of the file is delivered by one stream only.
  void ReadStream(uint32_t id, Buffer& out) const;
  // Appends the bytes of the first child stream named `name`;
  // StreamNotFoundOLEException when there is none.
  void ReadStream(ZEB::WString const& name, Buffer& out) const;

  // Fills `details` for directory entry `id`; false when the file has no
  // valid entry of that id.
  bool GetDetails(uint32_t id, Details& details) const;
  // Every defect of the file (of any Storage of it), found by one pass over
  // its directory and chains, made on the first call.
  std::vector<Defect> const& Defects() const;

  // The properties of every property-set stream below this storage (names
  // starting with character 5, or "CONTENTS" in any letter case): storages
  // breadth first, streams in list order; the first value of a key wins. A
  // stream that is no property set is skipped.
  void Properties(PropertyStorage::EnumMap& byEnum, PropertyStorage::NameMap& byName) const;
  // The same, merged into one name-keyed map.
  void Properties(PropertyStorage::MergedMap& all) const;

private:
  Storage(ZEB::SmartPtr<RootStorage> const& root, uint32_t id, ZEB::WString const& name);

  ZEB::SmartPtr<RootStorage> m_Root;
  ZEB::WString m_Name;
  std::vector<Item> m_Storages;
  std::vector<Item> m_Streams;
};

class ZEBFILE_API Storage::RootStorage : public ZEB::SPRefCounter {
public:
  static constexpr uint32_t ROOT_STORAGE_ID = 0;
  static ZEB::WString const ROOT_STORAGE_NAME; // "Root Entry"

  // Validates the header and reads the FAT (through the header's DIFAT and
  // the DIFAT chain) and the MiniFAT; the directory and the mini stream are
  // read on demand. Reads from the buffer's current get position.
  RootStorage(std::string const& tempPath, Buffer& buffer);
  RootStorage(RootStorage const&) = delete;
  RootStorage& operator=(RootStorage const&) = delete;
  ~RootStorage() override;

  int32_t NbRef() const noexcept { return RefCountValue(); }
  std::string const& TempPath() const noexcept { return m_TempPath; }

  // Appends the bytes of stream entry `id` to `out`; an invalid entry or an
  // empty stream appends nothing.
  void ReadStream(uint32_t id, Buffer& out) const;
  // Appends the child storages and child streams of storage entry `id`, each
  // list in ascending entry id order; entries of other types and entries
  // without a name are left out. Each entry belongs to one storage only: the
  // first to reach it in a breadth-first walk from the root (children in
  // ascending id order). Another storage whose tree reaches it, or the root,
  // does not list it, so that any walk of the tree ends.
  void GetChild(uint32_t id, std::vector<Item>& storages, std::vector<Item>& streams) const;

private:
  friend class Storage;

  static unsigned char const* const OLE_SIG;
  static unsigned char const* const OLE_SIG_BETA_2;
  static constexpr unsigned OLE_SIG_SIZE = 8;
  static constexpr uint32_t END_OF_CHAIN = 0xFFFFFFFE;
  static constexpr uint32_t FREE_SECT = 0xFFFFFFFF;
  static constexpr uint32_t HEADER_SIZE = 512;

  // The 128-byte directory record as stored in the file (little-endian).
  struct DirectoryEntry {
    char16_t name[32];
    uint16_t nameLength; // in bytes, terminating zero included
    uint8_t type;        // 0 empty, 1 storage, 2 stream, 3 lock bytes, 4 property, 5 root
    uint8_t colour;
    uint32_t left;
    uint32_t right;
    uint32_t child;
    uint8_t classId[16];
    uint32_t state;
    uint8_t created[8];
    uint8_t modified[8];
    uint32_t startSector;
    uint32_t size;
    uint32_t sizeHigh;
  };
  static_assert(sizeof(DirectoryEntry) == 128, "directory entries are 128 bytes");

  // The sectors one walk over a table's chains has passed: a stamp per
  // sector, so that a new walk starts without clearing anything.
  struct ChainMarks {
    // Starts a walk over `count` entries: none passed yet.
    void Begin(uint32_t count) {
      if (stamps.Count() < count)
        stamps.Resize(count, 0);
      if (++walk == 0) {
        std::fill(stamps.begin(), stamps.end(), 0);
        walk = 1;
      }
    }
    // Marks `index` passed; false when this walk already passed it. Entries
    // outside the table are never followed further, so they need no mark.
    bool FirstVisit(uint32_t index) {
      if (index >= stamps.Count())
        return true;
      if (stamps[index] == walk)
        return false;
      stamps[index] = walk;
      return true;
    }

    ZEB::FastVector<uint32_t> stamps;
    uint32_t walk = 0;
  };

  // Sectors of one table and who keeps each (an entry id or a structure).
  class SectorOwners;
  enum class EntryRead : uint8_t { VALID, BAD_TYPE, MISSING };

  bool IsStructuredStorage() const;
  // Offsets in 64 bits: a large sector id gives an offset past 4 GiB, which
  // no buffer holds, instead of wrapping onto another sector.
  uint64_t GetSectorOffset(uint32_t sector) const noexcept;
  uint64_t GetMiniSectorOffset(uint32_t sector) const noexcept;
  uint32_t HeaderWord(unsigned offset) const noexcept;
  // Sectors the file can hold: the bound of every table built from it.
  uint32_t FileSectorCount() const;
  void ReadFAT();
  void ReadFATSectors(uint32_t count);
  void CheckTableCount(Defect::Table table, unsigned field, uint32_t kept, uint32_t read);
  // The sectors of a table the header declares (`field`), within what the
  // file can hold.
  uint32_t TableSectorCount(unsigned field) const;
  // Reads table sector `sector` and appends its ids to `table`.
  void AppendTableSector(uint32_t sector, ZEB::FastVector<uint32_t>& table);
  void ReadMiniFAT();
  void ReadMiniStream() const;
  void ReadDirectoryChain() const;
  // Copies `bytes` bytes of the chain from `firstSector`, of the mini stream
  // or of the file.
  void ReadStreamInternal(uint32_t firstSector, bool mini, uint32_t bytes, Buffer& out) const;
  bool IsMini(uint32_t size) const noexcept;
  // Entries the directory chain holds.
  uint32_t EntryCount() const noexcept { return m_DirSectors.Count() * m_EntriesPerSector; }
  // Gives each entry reachable from the root to the first storage that
  // reaches it, breadth first, and lists them there; once per file.
  void BuildTree() const;
  void ListChildren(uint32_t storage, std::vector<uint32_t>& storagesFound, std::vector<uint32_t>& pending,
                    std::map<uint32_t, uint32_t>& again) const;
  // Gives each sector to one chain and finds what every stream delivers;
  // once per file.
  void Survey() const;
  void ClaimChain(SectorOwners& owners, uint32_t id, DirectoryEntry const& entry, bool listed) const;
  void AddDefect(Defect::Kind kind, Defect::Table table, uint32_t id, std::initializer_list<uint64_t> numbers) const;
  bool GetDetails(uint32_t id, Details& details) const;
  std::vector<Defect> const& Defects() const;
  // The run of physically consecutive sectors from `sector`, at most `limit`
  // long, ending before a sector the walk already passed.
  uint32_t GetContigousSectCount(ZEB::FastVector<uint32_t> const& table, uint32_t sector, uint32_t limit) const;
  // The record of entry `id` when it is valid, else null; valid as long as
  // the root.
  DirectoryEntry const* GetDirEntry(uint32_t id) const;
  EntryRead LoadDirEntry(uint32_t id, DirectoryEntry const*& entry) const;
  EntryRead ReadDirEntry(uint32_t id, DirectoryEntry& entry) const;
  // The name's units, at most 32, trailing zero units dropped.
  static ZEB::WString EntryName(DirectoryEntry const& entry);
  static std::size_t NameUnits(DirectoryEntry const& entry);
  // Sectors with at least one byte in the file.
  uint32_t SectorsInFile() const;

  std::string m_TempPath;
  Buffer& m_Buffer;
  unsigned char m_Header[HEADER_SIZE] = {};
  uint32_t m_SectorSize = 0;
  uint32_t m_MiniSectorSize = 0;
  uint32_t m_EntriesPerSector = 0;
  uint32_t m_IdsPerSector = 0;
  unsigned m_SectorShift = 0;
  unsigned m_MiniSectorShift = 0;
  ZEB::FastVector<uint32_t> m_FAT;
  ZEB::FastVector<uint32_t> m_MiniFAT;
  // The directory chain, walked once on first need: entry id lies in sector
  // m_DirSectors[id / entries per sector].
  mutable ZEB::FastVector<uint32_t> m_DirSectors;
  mutable bool m_DirSectorsRead = false;
  // What is known of each entry of the directory chain, by id: its record,
  // read once, and what the two passes found.
  static constexpr uint32_t UNREACHED = 0xFFFFFFFF;
  static constexpr uint8_t UNREAD = 0xFF;
  struct EntryState {
    DirectoryEntry entry;
    uint32_t reacher = UNREACHED; // the storage that lists it, once the tree reached it
    uint32_t readable = 0;        // the bytes ReadStream delivers
    uint8_t read = UNREAD;        // an EntryRead, once read
    bool listedStream = false;
  };
  mutable std::vector<EntryState> m_Entries;
  mutable std::unique_ptr<DiskBuffer> m_MiniStream;
  mutable ChainMarks m_FatMarks;
  // The sectors that hold the tables, for the survey.
  std::vector<uint32_t> m_FatSectors;
  std::vector<uint32_t> m_DifatSectors;
  std::vector<uint32_t> m_MiniFatSectors;
  mutable bool m_TreeBuilt = false;
  mutable std::map<uint32_t, std::vector<uint32_t>> m_Children; // by storage id: the entries it lists
  mutable bool m_Surveyed = false;
  mutable std::vector<Defect> m_Defects;
};

} // namespace OLE
} // namespace ZEBFile
