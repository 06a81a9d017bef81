#include "CompoundWriter.h"

#include <algorithm>
#include <cstring>

namespace ZEBTest {

namespace {
constexpr uint32_t FAT_SECT = 0xFFFFFFFD;
constexpr uint32_t DIF_SECT = 0xFFFFFFFC;
constexpr uint32_t MINI_SIZE = 64;

uint32_t Ceil(uint64_t value, uint32_t unit) { return uint32_t((value + unit - 1) / unit); }

// Chains `sectors` in `table` and gives the first, or END_OF_CHAIN.
uint32_t Link(std::vector<uint32_t>& table, std::vector<uint32_t> const& sectors) {
  for (std::size_t i = 0; i < sectors.size(); ++i)
    table[sectors[i]] = i + 1 < sectors.size() ? sectors[i + 1] : CompoundWriter::END_OF_CHAIN;
  return sectors.empty() ? CompoundWriter::END_OF_CHAIN : sectors[0];
}
} // namespace

uint32_t CompoundWriter::Add(uint32_t parent, std::u16string const& name, uint8_t type, std::string data) {
  m_Entries.emplace_back();
  m_Entries.back().name = name, m_Entries.back().type = type, m_Entries.back().data = std::move(data);
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

// In turn (one sector per stream and round) or stream after stream.
void CompoundWriter::AllocateRegular(uint32_t& next) {
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
  uint32_t const ids = SectorSize() / 4, perSector = SectorSize() / 128;
  // Mini streams, one after another in the root's stream.
  std::vector<uint32_t> miniFat;
  Entry& root = m_Entries[0];
  root.data.clear();
  for (Entry& entry : m_Entries) {
    entry.mini = entry.type == 2 && !entry.data.empty() && entry.data.size() < cutoff;
    entry.sectors.clear();
    if (!entry.mini)
      continue;
    for (uint32_t i = 0; i < Ceil(entry.data.size(), MINI_SIZE); ++i) {
      entry.sectors.push_back(uint32_t(miniFat.size()));
      miniFat.push_back(0);
    }
    root.data += entry.data;
    root.data.resize(miniFat.size() * MINI_SIZE);
  }
  uint32_t next = 0;
  AllocateRegular(next);
  auto range = [&](std::vector<uint32_t>& list, uint32_t count) {
    list.clear();
    for (uint32_t i = 0; i < count; ++i)
      list.push_back(next++);
  };
  range(miniFatSectors, Ceil(miniFat.size() * 4, SectorSize()));
  range(dirSectors, std::max<uint32_t>(1, Ceil(m_Entries.size(), perSector)));
  uint32_t fat = 1, difat = 0;
  for (uint32_t previous = 0; previous != fat;) {
    previous = fat;
    fat = std::max(minFatSectors, Ceil(uint64_t(next) + fat + difat, ids));
    difat = fat > 109 ? Ceil(fat - 109, ids - 1) : 0;
  }
  range(fatSectors, fat);
  range(difatSectors, difat);

  std::vector<uint32_t> table(uint64_t(fat) * ids, FREE_SECT);
  for (Entry& entry : m_Entries)
    entry.start = entry.mini ? Link(miniFat, entry.sectors) : Link(table, entry.sectors);
  Link(table, miniFatSectors);
  Link(table, dirSectors);
  for (uint32_t s : fatSectors)
    table[s] = FAT_SECT;
  for (uint32_t s : difatSectors)
    table[s] = DIF_SECT;

  bytes.assign(std::size_t(next + 1) << m_Shift, '\0');
  auto put = [&](uint64_t at, void const* data, std::size_t size) { std::memcpy(&bytes[at], data, size); };
  for (Entry const& entry : m_Entries)
    for (std::size_t i = 0; !entry.mini && i < entry.sectors.size(); ++i)
      put(SectorOffset(entry.sectors[i]), entry.data.data() + i * SectorSize(),
          std::min<std::size_t>(SectorSize(), entry.data.size() - i * SectorSize()));
  miniFat.resize(std::size_t(miniFatSectors.size()) * ids, FREE_SECT);
  for (std::size_t i = 0; i < miniFatSectors.size(); ++i)
    put(SectorOffset(miniFatSectors[i]), &miniFat[i * ids], SectorSize());
  for (std::size_t i = 0; i < fatSectors.size(); ++i)
    put(SectorOffset(fatSectors[i]), &table[i * ids], SectorSize());
  for (std::size_t d = 0; d < difatSectors.size(); ++d) {
    std::vector<uint32_t> block(ids, FREE_SECT);
    for (uint32_t j = 0; j + 1 < ids && 109 + d * (ids - 1) + j < fat; ++j)
      block[j] = fatSectors[109 + d * (ids - 1) + j];
    block[ids - 1] = d + 1 < difatSectors.size() ? difatSectors[d + 1] : END_OF_CHAIN;
    put(SectorOffset(difatSectors[d]), block.data(), SectorSize());
  }
  for (uint32_t id = 0; id < dirSectors.size() * perSector; ++id)
    WriteEntry(id);

  static unsigned char const signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  put(0, signature, 8);
  uint16_t const words[] = {0x3E, uint16_t(m_Shift == 9 ? 3 : 4), 0xFFFE, uint16_t(m_Shift), 6};
  put(0x18, words, sizeof words);
  uint32_t const fields[] = {m_Shift == 9 ? 0 : uint32_t(dirSectors.size()), fat, dirSectors[0], 0, cutoff,
                             miniFatSectors.empty() ? END_OF_CHAIN : miniFatSectors[0], uint32_t(miniFatSectors.size()),
                             difatSectors.empty() ? END_OF_CHAIN : difatSectors[0], difat};
  put(0x28, fields, sizeof fields);
  for (uint32_t i = 0; i < 109; ++i)
    Set32(0x4C + 4 * i, i < fat ? fatSectors[i] : FREE_SECT);
  return bytes;
}

void CompoundWriter::WriteEntry(uint32_t id) {
  uint64_t at = EntryOffset(id);
  if (id >= m_Entries.size()) {
    for (Field field : {LEFT, RIGHT, CHILD})
      Set32(at + field, NO_ENTRY);
    return;
  }
  Entry& entry = m_Entries[id];
  if (entry.type != 2)
    entry.child = LinkSiblings(entry.children, 0, entry.children.size());
  std::memcpy(&bytes[at], entry.name.data(), std::min<std::size_t>(entry.name.size(), 32) * 2);
  SetEntry(id, NAME_LENGTH, uint32_t(std::min<std::size_t>((entry.name.size() + 1) * 2, 0xFFFF)));
  SetEntry(id, TYPE, entry.type);
  bytes[at + 0x43] = 1;
  SetEntry(id, LEFT, entry.left);
  SetEntry(id, RIGHT, entry.right);
  SetEntry(id, CHILD, entry.child);
  SetEntry(id, START, entry.type == 1 ? 0 : entry.start);
  SetEntry(id, SIZE, uint32_t(entry.data.size()));
}

std::string CompoundWriter::Padded(uint32_t id) const {
  Entry const& entry = m_Entries[id];
  std::string data = entry.data;
  data.resize(std::size_t(entry.sectors.size()) * (entry.mini ? MINI_SIZE : SectorSize()));
  return data;
}

uint64_t CompoundWriter::EntryOffset(uint32_t id) const {
  uint32_t perSector = SectorSize() / 128;
  return SectorOffset(dirSectors[id / perSector]) + uint64_t(id % perSector) * 128;
}

void CompoundWriter::Set32(uint64_t offset, uint32_t value) { std::memcpy(&bytes[offset], &value, 4); }

void CompoundWriter::SetIn(std::vector<uint32_t> const& sectors, uint32_t index, uint32_t value) {
  Set32(SectorOffset(sectors[index / (SectorSize() / 4)]) + index % (SectorSize() / 4) * 4, value);
}

void CompoundWriter::SetEntry(uint32_t id, Field field, uint32_t value) {
  std::memcpy(&bytes[EntryOffset(id) + field], &value, field == TYPE ? 1 : field == NAME_LENGTH ? 2 : 4);
}

} // namespace ZEBTest
