#include "support/PropertySetWriter.h"

namespace ZEBTest {

namespace {

std::string FromHex(char const* hex) {
  std::string bytes;
  for (; hex[0] && hex[1]; hex += 2)
    bytes += static_cast<char>(std::stoi(std::string(hex, 2), nullptr, 16));
  return bytes;
}

void PadTo4(std::string& bytes) { bytes.resize((bytes.size() + 3) / 4 * 4, '\0'); }

std::string SectionBytes(PropertySetWriter::Section const& section) {
  if (!section.raw.empty())
    return section.raw;
  uint32_t count = static_cast<uint32_t>(section.properties.size());
  std::string table;
  std::string values;
  for (auto const& [id, value] : section.properties) {
    table += Le32(id) + Le32(8 + 8 * count + static_cast<uint32_t>(values.size()));
    values += value;
    PadTo4(values);
  }
  std::string body = Le32(count) + table + values;
  return Le32(static_cast<uint32_t>(body.size() + 4)) + body;
}

} // namespace

std::string const SUMMARY_FMTID = FromHex("E0859FF2F94F6810AB9108002B27B3D9");
std::string const DOC_SUMMARY_FMTID = FromHex("02D5CDD59C2E1B10939708002B2CF9AE");
std::string const USER_DEFINED_FMTID = FromHex("05D5CDD59C2E1B10939708002B2CF9AE");

std::string Le16(uint16_t value) { return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; }
std::string Le32(uint32_t value) { return Le16(value & 0xFFFF) + Le16(value >> 16); }
std::string Le64(uint64_t value) { return Le32(value & 0xFFFFFFFF) + Le32(value >> 32); }

std::string Typed(uint32_t type, std::string const& payload) { return Le32(type) + payload; }
std::string Lpstr(std::string const& bytes) { return Typed(30, Le32(static_cast<uint32_t>(bytes.size())) + bytes); }
std::string Lpwstr(std::u16string const& text) {
  return Typed(31, Le32(static_cast<uint32_t>(text.size())) + Utf16Le(text));
}
std::string CodePage(uint16_t codePage) { return Typed(2, Le16(codePage)); }
std::string FileTime(int64_t unixTime) {
  return Typed(64, Le64(static_cast<uint64_t>((unixTime + 11644473600LL) * 10000000LL)));
}

std::string Dictionary(std::vector<DictionaryEntry> const& entries, bool wide) {
  std::string bytes = Le32(static_cast<uint32_t>(entries.size()));
  for (DictionaryEntry const& entry : entries) {
    uint32_t units = static_cast<uint32_t>(entry.name.size() / (wide ? 2 : 1));
    bytes += Le32(entry.id) + Le32(units) + entry.name;
    if (wide)
      PadTo4(bytes);
  }
  return bytes;
}

std::string Utf16Le(std::u16string const& text) {
  std::string bytes;
  for (char16_t unit : text)
    bytes += Le16(unit);
  return bytes;
}

PropertySetWriter::Section& PropertySetWriter::Add(std::string const& fmtid) {
  m_Sections.emplace_back();
  m_Sections.back().fmtid = fmtid;
  return m_Sections.back();
}

std::string PropertySetWriter::Bytes() const {
  uint32_t count = static_cast<uint32_t>(m_Sections.size());
  std::string header =
      Le16(0xFFFE) + Le16(0) + Le32(0x00020006) + std::string(16, '\0') + Le32(sectionCount.value_or(count));
  std::string body;
  uint32_t start = 28 + 20 * count;
  for (Section const& section : m_Sections) {
    header += section.fmtid + Le32(section.offset.value_or(start + static_cast<uint32_t>(body.size())));
    body += SectionBytes(section);
    PadTo4(body);
  }
  return header + body;
}

} // namespace ZEBTest
