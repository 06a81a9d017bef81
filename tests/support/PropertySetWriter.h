// Builds property-set streams for tests: the header, the section table and
// sections of (id, value) pairs whose values are laid out in order, each
// padded to a multiple of 4 bytes. Values are given as their stored bytes
// (type word first), made with the helpers below.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ZEBTest {

// Stored forms (little-endian) of the well-known format identifiers.
extern std::string const SUMMARY_FMTID;
extern std::string const DOC_SUMMARY_FMTID;
extern std::string const USER_DEFINED_FMTID;

std::string Le16(uint16_t value);
std::string Le32(uint32_t value);
std::string Le64(uint64_t value);

// A value: the 32-bit type word, then the payload as it is.
std::string Typed(uint32_t type, std::string const& payload);
// VT_LPSTR: byte count, then the bytes (no terminator added).
std::string Lpstr(std::string const& bytes);
// VT_LPWSTR: unit count, then the units.
std::string Lpwstr(std::u16string const& text);
// The code-page property's value (VT_I2).
std::string CodePage(uint16_t codePage);
// VT_FILETIME of a Unix time.
std::string FileTime(int64_t unixTime);
// A dictionary: entry count, then id, length and name per entry. Each name is
// given as its stored bytes, terminator included; `wide` pads after each
// name to a multiple of 4 (the value starts at such a multiple).
struct DictionaryEntry {
  uint32_t id;
  std::string name;
};
std::string Dictionary(std::vector<DictionaryEntry> const& entries, bool wide);
// UTF-16LE bytes of a text.
std::string Utf16Le(std::u16string const& text);

class PropertySetWriter {
public:
  struct Section {
    std::string fmtid;
    std::vector<std::pair<uint32_t, std::string>> properties;
    // Replaces the whole section when not empty.
    std::string raw;
    // Placed in the table instead of the section's real offset.
    std::optional<uint32_t> offset;

    Section& Property(uint32_t id, std::string const& value) {
      properties.emplace_back(id, value);
      return *this;
    }
  };

  Section& Add(std::string const& fmtid);
  std::string Bytes() const;

  // The header's section count; the number of sections when not set.
  std::optional<uint32_t> sectionCount;

private:
  std::vector<Section> m_Sections;
};

} // namespace ZEBTest
