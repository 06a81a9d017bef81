#include "ZEBFile/PropertyStorage.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "ZEB/DateTime.h"
#include "ZEBCharset/Conv.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBPropertyFormat.h"
#include "ZEBPlatform/Win32.h"

namespace ZEBFile::OLE {

namespace {

using namespace PropertyFormat;

using Buf = ZEB::BinaryStreamBufT<unsigned>;

constexpr uint32_t MAX_PROPERTIES = 0x10000;
constexpr uint32_t MAX_STRING = 0x40000;
constexpr uint32_t MAX_ELEMENTS = 1024;
constexpr uint32_t MAX_NAME = 128;
constexpr uint32_t SCRATCH_SIZE = 512;

// The bytes one extraction reads are at most this many times the stream's
// size, plus a floor: table entries that point many times at the same
// section or value would otherwise make the work grow with the square of the
// stream's size.
constexpr uint64_t READ_BUDGET_FACTOR = 16;
constexpr uint64_t READ_BUDGET_FLOOR = 1 << 20;
// What a vector element costs besides the bytes it reads: an element of a
// type that reads nothing still costs.
constexpr uint64_t ELEMENT_COST = 4;

// A value nested in a way no writer produces (a vector inside a vector, a
// variant inside a variant): the property is dropped as damaged.
struct MalformedValue {};
// The read budget is used up: the remaining properties are not read.
struct BudgetExhausted {};

uint16_t Le16(unsigned char const* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(unsigned char const* p) { return Le16(p) | uint32_t(Le16(p + 2)) << 16; }

GUID GuidFromBytes(unsigned char const* p) {
  GUID id;
  id.Data1 = Le32(p);
  id.Data2 = Le16(p + 4);
  id.Data3 = Le16(p + 6);
  std::memcpy(id.Data4, p + 8, 8);
  return id;
}

// The well-known identifiers as some writers store them, with the leading
// fields in the other byte order; they read as the standard ones.
struct SwappedId {
  unsigned char stored[16];
  GUID const* standard;
};
SwappedId const SWAPPED_IDS[] = {
    {{0xF2, 0x9F, 0x85, 0xE0, 0xF9, 0x4F, 0x68, 0x10, 0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9},
     &PropertyStorage::SUMMARY_INFORMATION_ID},
    {{0xD5, 0xCD, 0xD5, 0x02, 0x2E, 0x9C, 0x1B, 0x10, 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE},
     &PropertyStorage::DOC_SUMMARY_INFORMATION_ID},
    {{0xD5, 0xCD, 0xD5, 0x05, 0x2E, 0x9C, 0x1B, 0x10, 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE},
     &PropertyStorage::USER_DEFINED_PROPERTIES_ID},
};

GUID NormalisedId(unsigned char const* stored) {
  for (SwappedId const& known : SWAPPED_IDS)
    if (std::memcmp(known.stored, stored, 16) == 0)
      return *known.standard;
  return GuidFromBytes(stored);
}

ZEB::WString LittleEndianUnits(unsigned char const* bytes, uint32_t count) {
  ZEB::WString units(count / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(Le16(bytes + 2 * i));
  return units;
}

// Text of a code page as native 16-bit units. Code page 1200 is the stream's
// own little-endian units, taken as they are.
ZEB::WString DecodeText(ZEB::CHARSET codePage, unsigned char const* bytes, uint32_t count) {
  if (codePage == ZEB::CHARSET_UTF16LE)
    return LittleEndianUnits(bytes, count);
  return ZEBCharset::ToWide(codePage, std::string(reinterpret_cast<char const*>(bytes), count));
}

enum class Group { SUMMARY, DOC_SUMMARY };

// Per enumeration value, in its order: the name it is merged under and the
// property it is taken from.
struct WellKnown {
  std::string name;
  Group group;
  uint32_t id;
};

constexpr Group S = Group::SUMMARY;
constexpr Group D = Group::DOC_SUMMARY;
// clang-format off
WellKnown const WELL_KNOWN[PropertyStorage::PROPERTY_COUNT] = {
    {"Title", S, 2},                    {"Author", S, 4},                   {"Application", S, 18},
    {"Category", D, 2},                 {"Comments", S, 6},                 {"Company", D, 15},
    {"Keywords", S, 5},                 {"LastAuthor", S, 8},               {"Manager", D, 14},
    {"PresentationTarget", D, 3},       {"Subject", S, 3},                  {"TemplateDocument", S, 7},
    {"TitleOfParts", D, 13},            {"NumberOfBytes", D, 4},            {"NumberOfCharacters", S, 16},
    {"DocumentSecurity", S, 19},        {"NumberOfHiddenSlides", D, 9},     {"NumberOfLines", D, 5},
    {"NumberOfMultimediaClips", D, 10}, {"NumberOfNotes", D, 8},            {"NumberOfPages", S, 14},
    {"NumberOfParagraphs", D, 6},       {"RevisionNumber", S, 9},           {"NumberOfSlides", D, 7},
    {"NumberOfWords", S, 15},           {"CreationDate", S, 12},            {"LastPrintedDate", S, 11},
    {"ModificationDate", S, 13},
};
// clang-format on
std::string const NO_NAME;

} // namespace

bool operator==(GUID const& a, GUID const& b) noexcept {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

GUID const PropertyStorage::SUMMARY_INFORMATION_ID = {
    0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};
GUID const PropertyStorage::DOC_SUMMARY_INFORMATION_ID = {
    0xD5CDD502, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};
GUID const PropertyStorage::USER_DEFINED_PROPERTIES_ID = {
    0xD5CDD505, 0x2E9C, 0x101B, {0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE}};
ZEB::WString const PropertyStorage::CONTENTS_NAME = u"CONTENTS";

std::string const& PropertyStorage::Name(PROPERTY_ENUM property) {
  return property >= 0 && property < PROPERTY_COUNT ? WELL_KNOWN[property].name : NO_NAME;
}

bool PropertyStorage::Locate(PROPERTY_ENUM property, GUID& formatId, uint32_t& id) {
  if (property < 0 || property >= PROPERTY_COUNT)
    return false;
  formatId = WELL_KNOWN[property].group == Group::SUMMARY ? SUMMARY_INFORMATION_ID : DOC_SUMMARY_INFORMATION_ID;
  id = WELL_KNOWN[property].id;
  return true;
}

// Reads of one extraction: exact reads that never ask for more than the
// stream still holds (so a count read from the stream allocates nothing it
// cannot fill), absolute seeks computed without wrapping, and the budget.
class Detail::PropertyReader {
public:
  PropertyReader(Buf& buffer, uint64_t& budget) : m_Buffer(buffer), m_Budget(budget) {}

  uint32_t Position() const { return m_Buffer.TellG(); }
  uint32_t Remaining() const {
    uint32_t size = m_Buffer.Size();
    uint32_t position = Position();
    return size > position ? size - position : 0;
  }

  void Read(void* destination, uint32_t count) {
    if (count > Remaining())
      throw ZEB::BinaryStreamGetEOFException();
    Charge(count);
    m_Buffer.GetAll(destination, count);
  }
  // Work that reads nothing costs budget too, so that it cannot repeat
  // without bound.
  void Charge(uint64_t count) {
    if (count > m_Budget)
      throw BudgetExhausted();
    m_Budget -= count;
  }
  uint16_t U16() {
    unsigned char bytes[2];
    Read(bytes, 2);
    return Le16(bytes);
  }
  uint32_t U32() {
    unsigned char bytes[4];
    Read(bytes, 4);
    return Le32(bytes);
  }
  // `count` bytes, valid until the next call: short runs in the scratch
  // area, longer ones in a block of their own.
  unsigned char const* Bytes(uint32_t count) {
    unsigned char* destination = m_Scratch;
    if (count >= SCRATCH_SIZE) {
      if (count > Remaining())
        throw ZEB::BinaryStreamGetEOFException();
      m_Block.resize(count);
      destination = m_Block.data();
    }
    Read(destination, count);
    return destination;
  }

  void SeekTo(uint64_t offset) {
    if (offset > UINT32_MAX)
      throw SeekOutOfRangeException();
    m_Buffer.SeekG(static_cast<uint32_t>(offset), Buf::BEGIN, Buf::FORWARD);
  }
  void Skip(uint64_t count) {
    if (count > Remaining())
      throw SeekOutOfRangeException();
    if (count)
      m_Buffer.SeekG(static_cast<uint32_t>(count), Buf::CURRENT, Buf::FORWARD);
  }
  // Past the rest of a string cut to its longest length, as far as the
  // stream goes: the next value is read where the whole string ends.
  void SkipAtMost(uint64_t count) { Skip(std::min<uint64_t>(count, Remaining())); }

private:
  Buf& m_Buffer;
  uint64_t& m_Budget;
  unsigned char m_Scratch[SCRATCH_SIZE];
  std::vector<unsigned char> m_Block;
};

PropertyStorage::PropertyStorage(Buf& buffer) : m_Buffer(buffer) {
  try {
    unsigned char header[HEADER_SIZE];
    m_Buffer.GetAll(header, HEADER_SIZE);
    if (Le16(header) != 0xFFFE || Le16(header + 2) != 0 || Le32(header + 24) == 0)
      throw NotAPropertyStorageOLEException();
    unsigned char entry[SECTION_ENTRY_SIZE];
    m_Buffer.GetAll(entry, SECTION_ENTRY_SIZE);
    m_ID = NormalisedId(entry);
    uint32_t firstSection = Le32(entry + 16);
    m_SectionOffsets.push_back(firstSection);
    // The table ends where the first section begins, whatever the count says.
    while (uint64_t(m_Buffer.TellG()) + SECTION_ENTRY_SIZE <= firstSection) {
      m_Buffer.GetAll(entry, SECTION_ENTRY_SIZE);
      uint32_t offset = Le32(entry + 16);
      m_SectionOffsets.push_back(offset);
      firstSection = std::min(firstSection, offset);
    }
  } catch (ZEB::BinaryStreamGetEOFException const&) {
    throw CorruptedPropertyStorageOLEException();
  }
}

PropertyStorage::~PropertyStorage() = default;

void PropertyStorage::Properties(MergedMap& all) const {
  EnumMap byEnum;
  NameMap byName;
  Properties(byEnum, byName);
  MergePropertyMap(byEnum, byName, all);
}

void PropertyStorage::MergePropertyMap(EnumMap const& byEnum, NameMap const& byName, MergedMap& all) {
  // A multimap inserts an equal key after those already there.
  for (auto const& [property, value] : byEnum)
    all.emplace(Name(property), value);
  for (auto const& [name, value] : byName)
    all.emplace(name, value);
}

uint64_t PropertyStorage::ReadBudget(uint64_t streamSize) noexcept {
  return READ_BUDGET_FLOOR + READ_BUDGET_FACTOR * streamSize;
}

void PropertyStorage::Properties(EnumMap& byEnum, NameMap& byName) const {
  uint64_t budget = ReadBudget(m_Buffer.Size());
  Properties(byEnum, byName, budget);
}

void PropertyStorage::Properties(EnumMap& byEnum, NameMap& byName, uint64_t& budget) const {
  Reader reader(m_Buffer, budget);
  for (uint32_t offset : m_SectionOffsets) {
    try {
      ExtractPropertiesFromSection(reader, offset, byEnum, byName);
    } catch (ZEB::BinaryStreamGetEOFException const&) {
    } catch (SeekOutOfRangeException const&) {
    } catch (BudgetExhausted const&) {
      return;
    }
  }
}

void PropertyStorage::ExtractPropertiesFromSection(Reader& reader, uint32_t sectionOffset, EnumMap& byEnum,
                                                   NameMap& byName) const {
  reader.SeekTo(sectionOffset);
  reader.U32(); // the section's size
  uint32_t count = std::min(reader.U32(), MAX_PROPERTIES);
  if (count == 0)
    return;
  if (count * 8u > reader.Remaining())
    throw ZEB::BinaryStreamGetEOFException();
  std::vector<unsigned char> table(count * 8u);
  reader.Read(table.data(), count * 8u);

  ZEB::CHARSET codePage = ZEB::CHARSET_WINDOWS_1252;
  bool dictionaryPending = false;
  uint64_t dictionaryPosition = 0;
  std::map<uint32_t, ZEB::WString> names;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id = Le32(&table[8 * i]);
    uint64_t position = uint64_t(sectionOffset) + Le32(&table[8 * i + 4]);
    try {
      if (id == DICTIONARY_ID) {
        dictionaryPending = true;
        dictionaryPosition = position;
      } else if (id == CODE_PAGE_ID) {
        reader.SeekTo(position + 4);
        codePage = static_cast<ZEB::CHARSET>(reader.U16());
      } else if (id != LOCALE_ID) {
        // The dictionary is read with the code page in force at the first
        // ordinary property after its entry.
        if (dictionaryPending) {
          dictionaryPending = false;
          names.clear();
          reader.SeekTo(dictionaryPosition);
          if (ZEBCharset::Conv::IsImplemented(codePage))
            GetPropertyNameDictionnary(reader, codePage, names);
        }
        reader.SeekTo(position);
        uint32_t type = reader.U32();
        ZEB::Variant value;
        if (GetPropertyValueFromBuffer(reader, codePage, type, value)) {
          auto named = names.find(id);
          AddPropertyToMap(id, named != names.end() ? named->second : ZEB::WString(), value, byEnum, byName);
        }
      }
    } catch (ZEB::BinaryStreamGetEOFException const&) {
    } catch (SeekOutOfRangeException const&) {
    } catch (MalformedValue const&) {
    }
  }
}

void PropertyStorage::GetPropertyNameDictionnary(Reader& reader, ZEB::CHARSET codePage,
                                                 std::map<uint32_t, ZEB::WString>& names) const {
  uint32_t count = reader.U32();
  bool wide = ZEBCharset::Conv::IsWCCS(codePage);
  uint32_t unit = wide ? 2 : 1;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id = reader.U32();
    uint32_t length = reader.U32();
    if (length == 0)
      continue;
    // The length counts the terminator, which is dropped; a longer name is
    // cut, and the rest of it skipped so that the next entry is read where
    // it starts.
    uint32_t kept = std::min(length, MAX_NAME);
    unsigned char const* bytes = reader.Bytes(kept * unit);
    ZEB::WString name = kept > 1 ? DecodeText(codePage, bytes, (kept - 1) * unit) : ZEB::WString();
    reader.Skip(uint64_t(length - kept) * unit);
    if (wide && reader.Position() % 4 != 0)
      reader.Skip(4 - reader.Position() % 4);
    if (!name.empty())
      names[id] = std::move(name);
  }
}

namespace {

// Where a value sits: vectors hold no vectors, and a variant holds no
// variant, so that nesting stays a few levels deep whatever the stream says.
struct Nesting {
  bool inVector = false;
  bool inVariant = false;
};

bool DecodeValue(Detail::PropertyReader& reader, ZEB::CHARSET codePage, uint32_t type, ZEB::Variant& value,
                 Nesting nesting);

bool DecodeVector(Detail::PropertyReader& reader, ZEB::CHARSET codePage, uint32_t elementType, ZEB::Variant& value) {
  uint32_t count = std::min(reader.U32(), MAX_ELEMENTS);
  ZEB::WString text;
  for (uint32_t i = 0; i < count; ++i) {
    reader.Charge(ELEMENT_COST);
    ZEB::Variant element;
    if (!DecodeValue(reader, codePage, elementType, element, Nesting{true, false}))
      continue;
    try {
      ZEB::WString line = element.AsWString();
      if (!text.empty())
        text += u"\r\n";
      text += line;
    } catch (ZEB::Variant::VariantException const&) {
    }
  }
  if (text.empty())
    return false;
  value = ZEB::Variant(text, 0);
  return true;
}

bool DecodeNarrowString(Detail::PropertyReader& reader, ZEB::CHARSET codePage, ZEB::Variant& value) {
  if (!ZEBCharset::Conv::IsImplemented(codePage))
    return false;
  uint32_t stored = reader.U32();
  if (stored == 0)
    return false;
  uint32_t count = std::min(stored, MAX_STRING);
  unsigned char const* bytes = reader.Bytes(count);
  reader.SkipAtMost(stored - count);
  if (ZEBCharset::Conv::IsWCCS(codePage)) {
    while (count >= 2 && bytes[count - 1] == 0 && bytes[count - 2] == 0)
      count -= 2;
  } else {
    while (count > 0 && bytes[count - 1] == 0)
      --count;
  }
  if (count == 0)
    return false;
  value = ZEB::Variant(DecodeText(codePage, bytes, count), 0);
  return true;
}

bool DecodeWideString(Detail::PropertyReader& reader, ZEB::Variant& value) {
  uint32_t stored = reader.U32();
  if (stored == 0)
    return false;
  uint32_t count = std::min(stored, MAX_STRING);
  ZEB::WString text = LittleEndianUnits(reader.Bytes(2 * count), 2 * count);
  reader.SkipAtMost(2 * uint64_t(stored - count));
  while (!text.empty() && text.back() == u'\0')
    text.pop_back();
  if (text.empty())
    return false;
  value = ZEB::Variant(text, 0);
  return true;
}

// A file time is kept when it is a Unix time the runtime can also give in
// local time; anything else (before 1970, beyond 2038) is no value.
bool DecodeFileTime(Detail::PropertyReader& reader, ZEB::Variant& value) {
  ZEB::FILETIME fileTime;
  fileTime.dwLowDateTime = reader.U32();
  fileTime.dwHighDateTime = reader.U32();
  try {
    long unixTime = 0;
    ZEB::FileTimeToUnixTime(fileTime, &unixTime);
    time_t local = unixTime;
    if (!ZEBPlatformLocalTime(&local))
      return false;
    value = ZEB::Variant(ZEB::DateTime(unixTime));
    return true;
  } catch (ZEB::DateTimeException const&) {
    return false;
  }
}

bool DecodeValue(Detail::PropertyReader& reader, ZEB::CHARSET codePage, uint32_t type, ZEB::Variant& value,
                 Nesting nesting) {
  if (type & VT_VECTOR) {
    if (nesting.inVector)
      throw MalformedValue();
    return DecodeVector(reader, codePage, type & VT_TYPEMASK, value);
  }
  switch (type) {
  case VT_I2:
    value = ZEB::Variant(static_cast<short>(reader.U16()));
    return true;
  case VT_I4:
  case VT_ERROR:
    value = ZEB::Variant(static_cast<int>(reader.U32()));
    return true;
  case VT_R4: {
    uint32_t bits = reader.U32();
    float real;
    std::memcpy(&real, &bits, sizeof real);
    value = ZEB::Variant(real);
    return true;
  }
  case VT_R8: {
    uint64_t bits = reader.U32();
    bits |= uint64_t(reader.U32()) << 32;
    double real;
    std::memcpy(&real, &bits, sizeof real);
    value = ZEB::Variant(real);
    return true;
  }
  case VT_BOOL:
    value = ZEB::Variant(reader.U16() != 0);
    return true;
  case VT_VARIANT:
    if (nesting.inVariant)
      throw MalformedValue();
    nesting.inVariant = true;
    return DecodeValue(reader, codePage, reader.U32(), value, nesting);
  case VT_UI1: {
    unsigned char byte;
    reader.Read(&byte, 1);
    value = ZEB::Variant(byte);
    return true;
  }
  case VT_UI2:
    value = ZEB::Variant(static_cast<unsigned short>(reader.U16()));
    return true;
  case VT_UI4:
    value = ZEB::Variant(static_cast<unsigned int>(reader.U32()));
    return true;
  case VT_LPSTR:
    return DecodeNarrowString(reader, codePage, value);
  case VT_LPWSTR:
    return DecodeWideString(reader, value);
  case VT_FILETIME:
    return DecodeFileTime(reader, value);
  default:
    return false;
  }
}

} // namespace

bool PropertyStorage::GetPropertyValueFromBuffer(Reader& reader, ZEB::CHARSET codePage, uint32_t type,
                                                 ZEB::Variant& value) const {
  return DecodeValue(reader, codePage, type, value, Nesting{});
}

void PropertyStorage::AddPropertyToMap(uint32_t const& id, ZEB::WString const& name, ZEB::Variant const& value,
                                       EnumMap& byEnum, NameMap& byName) const {
  if (!name.empty()) {
    // The first value of a name wins, whatever the letter case of later ones.
    byName.emplace(ZEBCharset::FromWide(ZEB::CHARSET_UTF8, name), value);
    return;
  }
  Group group;
  if (m_ID == SUMMARY_INFORMATION_ID)
    group = Group::SUMMARY;
  else if (m_ID == DOC_SUMMARY_INFORMATION_ID || m_ID == USER_DEFINED_PROPERTIES_ID)
    group = Group::DOC_SUMMARY;
  else
    return;
  for (int property = 0; property < PROPERTY_COUNT; ++property)
    if (WELL_KNOWN[property].group == group && WELL_KNOWN[property].id == id)
      byEnum.emplace(static_cast<PROPERTY_ENUM>(property), value);
}

} // namespace ZEBFile::OLE
