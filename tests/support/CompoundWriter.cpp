#include "CompoundWriter.h"

#include <algorithm>

namespace ZEBTest {

namespace {
constexpr uint32_t FAT_SECT = 0xFFFFFFFD, DIF_SECT = 0xFFFFFFFC, MINI_SIZE = 64;

uint32_t Ceil(uint64_t value, uint32_t unit) { return uint32_t((value + unit - 1) / unit); }

// Chains `sectors` in `table` and gives the first, or END_OF_CHAIN.
uint32_t Link(std::vector<uint32_t>& table, std::vector<uint32_t> const& sectors) {
  for (std::size_t i = 0; i < sectors.size(); ++i)
    table[sectors[i]] = i + 1 < sectors.size() ? sectors[i + 1] : CompoundWriter::END_OF_CHAIN;
  return sectors.empty() ? CompoundWriter::END_OF_CHAIN : sectors[0];
}
} // namespace

uint32_t CompoundWriter::Add(uint32_t parent, std::u16string const& name, uint8_t type, std::string const& data) {
  m_Entries.emplace_back();
  m_Entries.back().name = name, m_Entries.back().type = type, m_Entries.back().data = data;
  m_Entries[parent].children.push_back(uint32_t(m_Entries.size() - 1));
  return uint32_t(m_Entries.size() - 1);
}

uint32_t CompoundWriter::LinkSiblings(std::vector<uint32_t> const& ids, std::size_t begin, std::size_t end) {
  if (begin == end)
    return NO_ENTRY;
  std::size_t middle = flatTree ? begin : begin + (end - begin) / 2;
  Entry& entry = m_Entries[ids[middle]];
  entry.left = LinkSiblings(ids, begin, middle);
  entry.right = LinkSiblings(ids, middle + 1, end);
  return ids[middle];
}

// Mini streams one after another in the root's stream; regular streams' sectors in turn or stream by stream.
void CompoundWriter::Allocate(uint32_t& next) {
  uint32_t mini = 0;
  m_Entries[0].data.clear();
  for (uint32_t id = 0; id < m_Entries.size(); ++id) {
    Entry& entry = m_Entries[id];
    entry.mini = entry.type == 2 && !entry.data.empty() && entry.data.size() < cutoff;
    entry.sectors.clear();
    for (uint32_t i = 0; entry.mini && i < Ceil(entry.data.size(), MINI_SIZE); ++i)
      entry.sectors.push_back(mini++);
    if (entry.mini)
      m_Entries[0].data += Padded(id);
  }
  for (bool more = true; more;) {
    more = false;
    for (Entry& entry : m_Entries)
      while (!entry.mini && entry.sectors.size() < Ceil(entry.data.size(), SectorSize())) {
        entry.sectors.push_back(next++);
        more = true;
        if (interleave)
          break;
      }
  }
}

std::string const& CompoundWriter::Build() {
  uint32_t const ids = SectorSize() / 4;
  uint32_t next = 0;
  Allocate(next);
  auto take = [&](std::vector<uint32_t>& list, uint32_t count) {
    list.resize(count);
    for (uint32_t& sector : list)
      sector = next++;
  };
  take(miniFatSectors, Ceil(m_Entries[0].data.size() / MINI_SIZE * 4, SectorSize()));
  take(dirSectors, std::max<uint32_t>(1, Ceil(m_Entries.size(), SectorSize() / 128)));
  uint32_t fat = 1, difat = 0;
  for (uint32_t previous = 0; previous != fat;) {
    previous = fat;
    fat = std::max(minFatSectors, Ceil(uint64_t(next) + fat + difat, ids));
    difat = fat > 109 ? Ceil(fat - 109, ids - 1) : 0;
  }
  take(fatSectors, fat);
  take(difatSectors, difat);

  std::vector<uint32_t> table(next, FREE_SECT), miniFat(m_Entries[0].data.size() / MINI_SIZE), difatTable;
  for (Entry& entry : m_Entries) {
    entry.start = Link(entry.mini ? miniFat : table, entry.sectors);
    if (entry.type != 2)
      entry.child = LinkSiblings(entry.children, 0, entry.children.size());
  }
  Link(table, miniFatSectors);
  Link(table, dirSectors);
  for (uint32_t s : fatSectors)
    table[s] = FAT_SECT;
  for (uint32_t s : difatSectors)
    table[s] = DIF_SECT;
  for (std::size_t d = 0; d < difat; ++d) {
    for (std::size_t i = 109 + d * (ids - 1); i < 109 + (d + 1) * (ids - 1); ++i)
      difatTable.push_back(i < fat ? fatSectors[i] : FREE_SECT);
    difatTable.push_back(d + 1 < difat ? difatSectors[d + 1] : END_OF_CHAIN);
  }

  bytes.assign(std::size_t(next + 1) << m_Shift, '\0');
  for (uint32_t id = 0; id < m_Entries.size(); ++id) {
    std::string const data = Padded(id);
    for (std::size_t i = 0; !m_Entries[id].mini && i < Chain(id).size(); ++i)
      Put(SectorOffset(Chain(id)[i]), &data[i * SectorSize()], SectorSize());
  }
  PutTable(miniFat, miniFatSectors);
  PutTable(table, fatSectors);
  PutTable(difatTable, difatSectors);
  for (uint32_t id = 0; id < dirSectors.size() * (SectorSize() / 128); ++id)
    WriteEntry(id);

  bytes.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
  uint16_t const words[] = {0x3E, uint16_t(m_Shift == 9 ? 3 : 4), 0xFFFE, uint16_t(m_Shift), 6};
  Put(0x18, words, sizeof words);
  uint32_t const fields[] = {m_Shift == 9 ? 0 : uint32_t(dirSectors.size()), fat, dirSectors[0], 0, cutoff,
                             miniFatSectors.empty() ? END_OF_CHAIN : miniFatSectors[0], uint32_t(miniFatSectors.size()),
                             difatSectors.empty() ? END_OF_CHAIN : difatSectors[0], difat};
  Put(0x28, fields, sizeof fields);
  for (uint32_t i = 0; i < 109; ++i)
    Set32(0x4C + 4 * i, i < fat ? fatSectors[i] : FREE_SECT);
  return bytes;
}

void CompoundWriter::WriteEntry(uint32_t id) {
  for (Field field : {LEFT, RIGHT, CHILD})
    SetEntry(id, field, NO_ENTRY);
  if (id >= m_Entries.size())
    return;
  Entry const& entry = m_Entries[id];
  uint64_t const at = TableOffset(dirSectors, id * 32);
  Put(at, entry.name.data(), std::min<std::size_t>(entry.name.size(), 32) * 2);
  bytes[at + 0x43] = 1; // black
  uint32_t const values[] = {uint32_t(std::min<std::size_t>((entry.name.size() + 1) * 2, 0xFFFF)),
                             entry.type, entry.left, entry.right, entry.child, uint32_t(entry.data.size())};
  Field const fields[] = {NAME_LENGTH, TYPE, LEFT, RIGHT, CHILD, SIZE};
  for (std::size_t i = 0; i < 6; ++i)
    SetEntry(id, fields[i], values[i]);
  Set32(at + 0x74, entry.type == 1 ? 0 : entry.start);
}

void CompoundWriter::PutTable(std::vector<uint32_t> table, std::vector<uint32_t> const& sectors) {
  table.resize(sectors.size() * (SectorSize() / 4), FREE_SECT);
  for (std::size_t i = 0; i < sectors.size(); ++i)
    Put(SectorOffset(sectors[i]), &table[i * (SectorSize() / 4)], SectorSize());
}

} // namespace ZEBTest
