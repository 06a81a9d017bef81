// Builds compound files in memory: 512- or 4096-byte sectors, any tree, streams on either side of the cutoff,
// FATs long enough to need DIFAT sectors. After Build the layout is known and the patches break any part.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ZEBTest {

class CompoundWriter {
public:
  static constexpr uint32_t NO_ENTRY = 0xFFFFFFFF, FREE_SECT = 0xFFFFFFFF, END_OF_CHAIN = 0xFFFFFFFE;
  // Directory entry fields, by offset (32 bits; 16 for NAME_LENGTH, 8 for TYPE).
  enum Field : unsigned { NAME_LENGTH = 0x40, TYPE = 0x42, LEFT = 0x44, RIGHT = 0x48, CHILD = 0x4C, START = 0x74,
                          SIZE = 0x78 };

  explicit CompoundWriter(unsigned sectorShift = 9) : m_Shift(sectorShift), m_Entries(1) {}

  // Entry ids count up from 1 in the order of the calls; the root is 0.
  uint32_t AddStorage(uint32_t parent, std::u16string const& name) { return Add(parent, name, 1, {}); }
  uint32_t AddStream(uint32_t parent, std::u16string const& name, std::string const& data) {
    return Add(parent, name, 2, data);
  }

  uint32_t cutoff = 4096;
  bool interleave = false;    // regular streams' sectors handed out in turn, one each
  bool flatTree = false;      // siblings as one chain of right links instead of a balanced tree
  uint32_t minFatSectors = 0; // pad the FAT to this many sectors (past 109 they need DIFAT sectors)

  // Lays the file out and gives its bytes, kept in `bytes` for the patches.
  std::string const& Build();

  std::string bytes;
  std::vector<uint32_t> fatSectors, difatSectors, miniFatSectors, dirSectors;
  uint32_t SectorSize() const { return 1u << m_Shift; }
  // A stream's chain: mini sector ids for a mini stream, sector ids otherwise.
  std::vector<uint32_t> const& Chain(uint32_t id) const { return m_Entries[id].sectors; }
  uint32_t ChildLink(uint32_t id) const { return m_Entries[id].child; } // after Build
  // The stream's bytes as its sectors hold them: zero-padded to whole units.
  std::string Padded(uint32_t id) const {
    std::string data = m_Entries[id].data;
    data.resize(Chain(id).size() * (m_Entries[id].mini ? 64 : SectorSize())); // 64-byte mini sectors
    return data;
  }
  uint64_t SectorOffset(uint32_t sector) const { return (uint64_t(sector) + 1) << m_Shift; }

  void Set32(uint64_t offset, uint32_t value) { Put(offset, &value, 4); }
  void SetFat(uint32_t index, uint32_t value) { Set32(TableOffset(fatSectors, index), value); }
  void SetMiniFat(uint32_t index, uint32_t value) { Set32(TableOffset(miniFatSectors, index), value); }
  void SetEntry(uint32_t id, Field field, uint32_t value) {
    Put(TableOffset(dirSectors, id * 32) + field, &value, field == TYPE ? 1 : field == NAME_LENGTH ? 2 : 4);
  }

private:
  struct Entry {
    std::u16string name = u"Root Entry";
    uint8_t type = 5;
    std::string data;
    std::vector<uint32_t> children, sectors;
    uint32_t left = NO_ENTRY, right = NO_ENTRY, child = NO_ENTRY, start = END_OF_CHAIN;
    bool mini = false;
  };
  uint32_t Add(uint32_t parent, std::u16string const& name, uint8_t type, std::string const& data);
  uint32_t LinkSiblings(std::vector<uint32_t> const& ids, std::size_t begin, std::size_t end);
  void Allocate(uint32_t& next);
  void WriteEntry(uint32_t id);
  void PutTable(std::vector<uint32_t> table, std::vector<uint32_t> const& sectors);
  // Where the 32-bit word `index` of a table held in `sectors` lies.
  uint64_t TableOffset(std::vector<uint32_t> const& sectors, uint64_t index) const {
    return SectorOffset(sectors[index / (SectorSize() / 4)]) + index % (SectorSize() / 4) * 4;
  }
  void Put(uint64_t offset, void const* data, std::size_t size) { std::memcpy(&bytes[offset], data, size); }

  unsigned m_Shift;
  std::vector<Entry> m_Entries;
};

} // namespace ZEBTest
