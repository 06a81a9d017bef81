// The property-set writer: sections held as their properties' stored bytes,
// laid out again by Bytes (code page first, then the dictionary, then the
// properties by id), so that a set read from a file keeps every property it
// does not change.
#include "ZEBFile/PropertySetWriter.h"

#include <algorithm>
#include <cstring>

#include "ZEB/DateTime.h"
#include "ZEB/NoCase.h"
#include "ZEBCharset/Conv.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBPropertyFormat.h"

namespace ZEBFile::OLE {

namespace {

using namespace PropertyFormat;

constexpr uint32_t FIRST_NAMED_ID = 2;

void Put16(std::string& out, uint32_t v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v);
  Put16(out, v >> 16);
}
void Pad4(std::string& out) { out.resize((out.size() + 3) / 4 * 4, '\0'); }
uint32_t Get32(std::string const& in, uint64_t at) {
  if (at + 4 > in.size())
    throw CorruptedPropertyStorageOLEException();
  uint32_t v = 0;
  for (int k = 3; k >= 0; --k)
    v = v << 8 | uint8_t(in[at + k]);
  return v;
}

void PutGuid(unsigned char* out, GUID const& id) {
  for (int k = 0; k < 4; ++k)
    out[k] = uint8_t(id.Data1 >> (8 * k));
  out[4] = uint8_t(id.Data2), out[5] = uint8_t(id.Data2 >> 8);
  out[6] = uint8_t(id.Data3), out[7] = uint8_t(id.Data3 >> 8);
  std::memcpy(out + 8, id.Data4, 8);
}

bool Wide(uint16_t codePage) { return codePage == ZEB::CHARSET_UTF16LE; }

// The text in the code page, when the code page holds it exactly.
bool Narrow(uint16_t codePage, ZEB::WString const& text, std::string& out) {
  auto set = static_cast<ZEB::CHARSET>(codePage);
  if (Wide(codePage)) {
    out.clear();
    for (char16_t c : text)
      Put16(out, c);
    return true;
  }
  if (!ZEBCharset::Conv::IsImplemented(set))
    return false;
  out = ZEBCharset::FromWide(set, text);
  return ZEBCharset::ToWide(set, out) == text;
}

// A string stored with its byte count: the terminator and zeros up to a
// multiple of 4 bytes are part of it, so that strings in a vector follow each
// other without padding between them.
void PutCounted(std::string& out, std::string const& bytes, uint32_t unit) {
  std::string value = bytes;
  value.resize((bytes.size() + unit + 3) / 4 * 4, '\0');
  Put32(out, uint32_t(value.size() / unit));
  out += value;
}

// The stream's text as 16-bit units, for VT_LPWSTR.
std::string Units(ZEB::WString const& text) {
  std::string out;
  for (char16_t c : text)
    Put16(out, c);
  return out;
}

void CheckString(ZEB::WString const& text) {
  if (text.empty() || text.find(u'\0') != ZEB::WString::npos)
    throw InvalidWriteOLEException(u"A string property is neither empty nor holds character 0: "
                                   u"the reader reads neither back.");
}

} // namespace

ZEB::WString const PropertySetWriter::SUMMARY_STREAM_NAME = u"\x05SummaryInformation";
ZEB::WString const PropertySetWriter::DOC_SUMMARY_STREAM_NAME = u"\x05" u"DocumentSummaryInformation";

PropertySetWriter::PropertySetWriter(GUID const& formatId, ZEB::CHARSET codePage) {
  m_Header[0] = 0xFE, m_Header[1] = 0xFF;
  m_Header[4] = 0x0A, m_Header[6] = 0x02; // the system that wrote it: Windows 10 (2 = Win32)
  Section section{};
  PutGuid(section.formatId, formatId);
  section.codePage = uint16_t(codePage);
  m_Sections.push_back(section);
}

PropertySetWriter PropertySetWriter::FromStream(std::string const& stream) {
  if (stream.size() < HEADER_SIZE || uint8_t(stream[0]) != 0xFE || uint8_t(stream[1]) != 0xFF || stream[2] ||
      stream[3] || Get32(stream, 24) == 0)
    throw NotAPropertyStorageOLEException();
  PropertySetWriter set;
  std::memcpy(set.m_Header, stream.data(), HEADER_SIZE);
  uint32_t count = std::min<uint32_t>(Get32(stream, 24), uint32_t(stream.size() / SECTION_ENTRY_SIZE));
  for (uint32_t s = 0; s < count; ++s) {
    uint64_t entry = HEADER_SIZE + uint64_t(s) * SECTION_ENTRY_SIZE;
    Section section{};
    if (entry + SECTION_ENTRY_SIZE > stream.size())
      throw CorruptedPropertyStorageOLEException();
    std::memcpy(section.formatId, stream.data() + entry, 16);
    uint64_t start = Get32(stream, entry + 16);
    uint64_t end = start + Get32(stream, start);
    uint32_t properties = Get32(stream, start + 4);
    if (end > stream.size() || properties > (end - start) / 8)
      throw CorruptedPropertyStorageOLEException();
    std::map<uint32_t, uint32_t> offsets; // offset to id: the values in the order they are stored
    for (uint32_t p = 0; p < properties; ++p)
      offsets[Get32(stream, start + 12 + 8 * p)] = Get32(stream, start + 8 + 8 * p);
    section.codePage = ZEB::CHARSET_WINDOWS_1252;
    std::string dictionary;
    for (auto at = offsets.begin(); at != offsets.end(); ++at) {
      auto next = std::next(at);
      uint64_t from = start + at->first, to = next == offsets.end() ? end : start + next->first;
      if (from > to || to > end)
        throw CorruptedPropertyStorageOLEException();
      std::string bytes = stream.substr(from, to - from);
      if (at->second == CODE_PAGE_ID)
        section.codePage = uint16_t(Get32(bytes, 4));
      if (at->second == DICTIONARY_ID)
        dictionary = bytes;
      else
        section.values[at->second] = bytes;
    }
    // The dictionary: count, then id, length (terminator included) and name,
    // each entry of a 16-bit code page padded to 4 bytes.
    uint32_t unit = Wide(section.codePage) ? 2 : 1;
    uint64_t at = 4;
    for (uint32_t n = dictionary.empty() ? 0 : Get32(dictionary, 0); n > 0; --n) {
      uint32_t id = Get32(dictionary, at), length = Get32(dictionary, at + 4);
      if (at + 8 + uint64_t(length) * unit > dictionary.size())
        throw CorruptedPropertyStorageOLEException();
      std::string name = dictionary.substr(at + 8, length * unit);
      at += 8 + uint64_t(length) * unit;
      if (unit == 2)
        at = (at + 3) / 4 * 4;
      while (!name.empty() && name.back() == '\0')
        name.pop_back();
      if (unit == 2) {
        name.resize((name.size() + 1) / 2 * 2, '\0');
        ZEB::WString units;
        for (size_t k = 0; k < name.size(); k += 2)
          units += char16_t(uint8_t(name[k]) | uint8_t(name[k + 1]) << 8);
        section.names[id] = units;
      } else if (ZEBCharset::Conv::IsImplemented(static_cast<ZEB::CHARSET>(section.codePage))) {
        section.names[id] = ZEBCharset::ToWide(static_cast<ZEB::CHARSET>(section.codePage), name);
      } else {
        // Written again, the names would be lost.
        throw InvalidWriteOLEException(u"The dictionary's code page " +
                                       ZEBCharset::ToWide(ZEB::CHARSET_UTF8, std::to_string(section.codePage)) +
                                       u" cannot be converted.");
      }
    }
    set.m_Sections.push_back(section);
  }
  return set;
}

std::string PropertySetWriter::Encode(Section const& section, ZEB::Variant const& value) {
  std::string out;
  auto const* traits = value.Traits();
  if (traits == nullptr)
    throw InvalidWriteOLEException(u"An empty value is no property.");
  switch (traits->TypeKind()) {
  case ZEB::VariantTraits::BoolKind:
    Put32(out, VT_BOOL), Put32(out, value.AsBool() ? 0xFFFF : 0);
    break;
  case ZEB::VariantTraits::UCharKind:
    Put32(out, VT_UI1), Put32(out, value.AsUChar());
    break;
  case ZEB::VariantTraits::ShortKind:
    Put32(out, VT_I2), Put32(out, uint16_t(value.AsShort()));
    break;
  case ZEB::VariantTraits::UShortKind:
    Put32(out, VT_UI2), Put32(out, value.AsUShort());
    break;
  case ZEB::VariantTraits::IntKind:
    Put32(out, VT_I4), Put32(out, uint32_t(value.AsInt()));
    break;
  case ZEB::VariantTraits::UIntKind:
    Put32(out, VT_UI4), Put32(out, value.AsUInt());
    break;
  case ZEB::VariantTraits::FloatKind: {
    float real = value.AsFloat();
    uint32_t bits;
    std::memcpy(&bits, &real, 4);
    Put32(out, VT_R4), Put32(out, bits);
    break;
  }
  case ZEB::VariantTraits::DoubleKind: {
    double real = value.AsDouble();
    uint64_t bits;
    std::memcpy(&bits, &real, 8);
    Put32(out, VT_R8), Put32(out, uint32_t(bits)), Put32(out, uint32_t(bits >> 32));
    break;
  }
  case ZEB::VariantTraits::DateTimeKind: {
    ZEB::FILETIME time = ZEB::UnixTimeToFileTime(value.AsDateTime().UnixTime());
    Put32(out, VT_FILETIME), Put32(out, time.dwLowDateTime), Put32(out, time.dwHighDateTime);
    break;
  }
  case ZEB::VariantTraits::WStringKind: {
    ZEB::WString text = value.AsWString();
    CheckString(text);
    std::string bytes;
    bool narrow = Narrow(section.codePage, text, bytes);
    Put32(out, narrow ? VT_LPSTR : VT_LPWSTR);
    PutCounted(out, narrow ? bytes : Units(text), narrow ? 1 : 2);
    break;
  }
  default:
    throw InvalidWriteOLEException(u"A value of this type is no property.");
  }
  Pad4(out);
  return out;
}

std::string PropertySetWriter::EncodeStrings(Section const& section, std::vector<ZEB::WString> const& strings) {
  std::vector<std::string> encoded(strings.size());
  bool narrow = true;
  for (size_t i = 0; i < strings.size(); ++i) {
    CheckString(strings[i]);
    narrow = narrow && Narrow(section.codePage, strings[i], encoded[i]);
  }
  std::string out;
  Put32(out, VT_VECTOR | (narrow ? VT_LPSTR : VT_LPWSTR));
  Put32(out, uint32_t(strings.size()));
  for (size_t i = 0; i < strings.size(); ++i)
    PutCounted(out, narrow ? encoded[i] : Units(strings[i]), narrow ? 1 : 2);
  return out;
}

void PropertySetWriter::Set(uint32_t id, ZEB::Variant const& value) {
  if (id < FIRST_NAMED_ID)
    throw InvalidWriteOLEException(u"Ids 0 and 1 are the dictionary and the code page.");
  m_Sections[0].values[id] = Encode(m_Sections[0], value);
}

void PropertySetWriter::Set(uint32_t id, std::vector<ZEB::WString> const& strings) {
  if (id < FIRST_NAMED_ID)
    throw InvalidWriteOLEException(u"Ids 0 and 1 are the dictionary and the code page.");
  m_Sections[0].values[id] = EncodeStrings(m_Sections[0], strings);
}

PropertySetWriter::Section& PropertySetWriter::UserDefined() {
  unsigned char wanted[16];
  PutGuid(wanted, PropertyStorage::USER_DEFINED_PROPERTIES_ID);
  for (Section& section : m_Sections)
    if (std::memcmp(section.formatId, wanted, 16) == 0)
      return section;
  Section section{};
  std::memcpy(section.formatId, wanted, 16);
  section.codePage = m_Sections[0].codePage;
  m_Sections.push_back(section);
  return m_Sections.back();
}

uint32_t PropertySetWriter::NamedId(Section& section, ZEB::WString const& name) {
  std::string bytes;
  if (name.empty() || name.find(u'\0') != ZEB::WString::npos || !Narrow(section.codePage, name, bytes))
    throw InvalidNameOLEException(u"The property name \"" + name +
                                  u"\" is empty, holds character 0 or is beyond the section's code page.");
  uint32_t free = FIRST_NAMED_ID;
  for (auto const& [id, known] : section.names) {
    if (ZEB::WNoCase::IsEqual(known, name)) {
      section.names[id] = name;
      return id;
    }
    free = std::max(free, id + 1);
  }
  for (auto const& entry : section.values)
    free = std::max(free, entry.first + 1);
  section.names[free] = name;
  return free;
}

void PropertySetWriter::SetUserDefined(ZEB::WString const& name, ZEB::Variant const& value) {
  Section& section = UserDefined();
  std::string encoded = Encode(section, value);
  section.values[NamedId(section, name)] = encoded;
}

void PropertySetWriter::SetUserDefined(ZEB::WString const& name, std::vector<ZEB::WString> const& strings) {
  Section& section = UserDefined();
  std::string encoded = EncodeStrings(section, strings);
  section.values[NamedId(section, name)] = encoded;
}

std::string PropertySetWriter::SectionBytes(Section const& section) {
  std::vector<std::pair<uint32_t, std::string>> values;
  std::string codePage;
  Put32(codePage, VT_I2), Put32(codePage, section.codePage);
  values.emplace_back(CODE_PAGE_ID, codePage);
  if (!section.names.empty()) {
    std::string dictionary;
    Put32(dictionary, uint32_t(section.names.size()));
    uint32_t unit = Wide(section.codePage) ? 2 : 1;
    for (auto const& [id, name] : section.names) {
      std::string bytes;
      Narrow(section.codePage, name, bytes);
      Put32(dictionary, id);
      Put32(dictionary, uint32_t(bytes.size() / unit + 1));
      dictionary += bytes + std::string(unit, '\0');
      if (unit == 2)
        Pad4(dictionary);
    }
    Pad4(dictionary);
    values.emplace_back(DICTIONARY_ID, dictionary);
  }
  for (auto const& [id, bytes] : section.values)
    if (id != CODE_PAGE_ID)
      values.emplace_back(id, bytes);
  std::string table, data;
  uint32_t offset = 8 + 8 * uint32_t(values.size());
  for (auto const& [id, bytes] : values) {
    Put32(table, id);
    Put32(table, offset + uint32_t(data.size()));
    data += bytes;
    Pad4(data);
  }
  std::string out;
  Put32(out, offset + uint32_t(data.size()));
  Put32(out, uint32_t(values.size()));
  return out + table + data;
}

std::string PropertySetWriter::Bytes() const {
  std::string out(reinterpret_cast<char const*>(m_Header), 24);
  Put32(out, uint32_t(m_Sections.size()));
  std::vector<std::string> sections;
  uint32_t offset = HEADER_SIZE + SECTION_ENTRY_SIZE * uint32_t(m_Sections.size());
  for (Section const& section : m_Sections) {
    sections.push_back(SectionBytes(section));
    out.append(reinterpret_cast<char const*>(section.formatId), 16);
    Put32(out, offset);
    offset += uint32_t(sections.back().size());
  }
  for (std::string const& section : sections)
    out += section;
  return out;
}

} // namespace ZEBFile::OLE
