// Builds property-set streams for the tests: the header, the section table and sections of (id, value) pairs
// whose values are laid out in order, each padded to a multiple of 4 bytes. Values are given as their stored
// bytes (type word first), made with the helpers below.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ZEBTest {

inline std::string Le16(uint16_t value) { return {char(value & 0xFF), char(value >> 8)}; }
inline std::string Le32(uint32_t value) { return Le16(value & 0xFFFF) + Le16(value >> 16); }
inline std::string Le64(uint64_t value) { return Le32(value & 0xFFFFFFFF) + Le32(value >> 32); }
inline void PadTo4(std::string& bytes) { bytes.resize((bytes.size() + 3) / 4 * 4, '\0'); }
inline std::string Utf16Le(std::u16string const& text) {
  std::string bytes;
  for (char16_t unit : text)
    bytes += Le16(unit);
  return bytes;
}

// Stored forms (little-endian) of the well-known format identifiers.
inline std::string const SUMMARY_FMTID("\xE0\x85\x9F\xF2\xF9\x4F\x68\x10\xAB\x91\x08\x00\x2B\x27\xB3\xD9", 16);
inline std::string const DOC_SUMMARY_FMTID("\x02\xD5\xCD\xD5\x9C\x2E\x1B\x10\x93\x97\x08\x00\x2B\x2C\xF9\xAE", 16);
inline std::string const USER_DEFINED_FMTID("\x05\xD5\xCD\xD5\x9C\x2E\x1B\x10\x93\x97\x08\x00\x2B\x2C\xF9\xAE", 16);

// A value: the 32-bit type word, then the payload as it is. VT_LPSTR: byte count and bytes (no terminator
// added); VT_LPWSTR: unit count and units; the code page (VT_I2); VT_FILETIME of a Unix time.
inline std::string Typed(uint32_t type, std::string const& payload) { return Le32(type) + payload; }
inline std::string Lpstr(std::string const& bytes) { return Typed(30, Le32(uint32_t(bytes.size())) + bytes); }
inline std::string Lpwstr(std::u16string const& text) { return Typed(31, Le32(uint32_t(text.size())) + Utf16Le(text)); }
inline std::string CodePage(uint16_t codePage) { return Typed(2, Le16(codePage)); }
inline std::string FileTime(int64_t unixTime) {
  return Typed(64, Le64(uint64_t((unixTime + 11644473600LL) * 10000000LL)));
}

// A dictionary: entry count, then id, length and name per entry. Each name is given as its stored bytes,
// terminator included; `wide` pads after each name to a multiple of 4 (the value starts at such a multiple).
inline std::string Dictionary(std::vector<std::pair<uint32_t, std::string>> const& entries, bool wide) {
  std::string bytes = Le32(uint32_t(entries.size()));
  for (auto const& [id, name] : entries) {
    bytes += Le32(id) + Le32(uint32_t(name.size() / (wide ? 2 : 1))) + name;
    if (wide)
      PadTo4(bytes);
  }
  return bytes;
}

// A section: its size, the (id, offset) table, then the values.
using Properties = std::vector<std::pair<uint32_t, std::string>>;
inline std::string Section(Properties const& properties) {
  std::string table, values;
  for (auto const& [id, value] : properties) {
    table += Le32(id) + Le32(uint32_t(8 + 8 * properties.size() + values.size()));
    values += value;
    PadTo4(values);
  }
  return Le32(uint32_t(8 + table.size() + values.size())) + Le32(uint32_t(properties.size())) + table + values;
}

// A stream: the header (with `count`, or the number of sections), the table of format ids and offsets (where
// a section gives none, its real one), then the sections.
struct SectionEntry {
  std::string fmtid, bytes;
  std::optional<uint32_t> offset = std::nullopt;
};
inline std::string PropertySet(std::vector<SectionEntry> const& sections, std::optional<uint32_t> count = {}) {
  uint32_t const sectionCount = uint32_t(sections.size());
  std::string header = Le16(0xFFFE) + Le16(0) + Le32(0x00020006) + std::string(16, '\0') +
                       Le32(count.value_or(sectionCount));
  std::string body;
  for (SectionEntry const& section : sections) {
    header += section.fmtid + Le32(section.offset.value_or(28 + 20 * sectionCount + uint32_t(body.size())));
    body += section.bytes;
    PadTo4(body);
  }
  return header + body;
}

} // namespace ZEBTest
