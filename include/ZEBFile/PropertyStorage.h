// The reader of OLE property-set streams (the streams whose names start with
// character 5, such as the summary information): the typed values of every
// section, filed under a fixed enumeration of well-known properties or under
// their dictionary names.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEB/Charset.h"
#include "ZEB/NoCase.h"
#include "ZEB/SmartPtr.h"
#include "ZEB/Types.h"
#include "ZEB/Variant.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile::OLE {

namespace Detail {
// The reads of one extraction (defined with the reader).
class PropertyReader;
} // namespace Detail

// A 16-byte identifier in its standard layout (the Windows GUID, without
// the system headers).
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

ZEBFILE_API bool operator==(GUID const& a, GUID const& b) noexcept;
inline bool operator!=(GUID const& a, GUID const& b) noexcept { return !(a == b); }

class ZEBFILE_API PropertyStorage : public ZEB::SPRefCounter {
public:
  // The well-known properties of the summary and document-summary sets.
  enum PROPERTY_ENUM : int {
    TITLE = 0,
    AUTHOR,
    APPLICATION,
    CATEGORY,
    COMMENTS,
    COMPANY,
    KEYWORDS,
    LAST_AUTHOR,
    MANAGER,
    PRESENTATION_TARGET,
    SUBJECT,
    TEMPLATE_DOCUMENT,
    TITLE_OF_PARTS,
    NUMBER_OF_BYTES,
    NUMBER_OF_CHARACTERS,
    DOCUMENT_SECURITY,
    NUMBER_OF_HIDDEN_SLIDES,
    NUMBER_OF_LINES,
    NUMBER_OF_MULTIMEDIA_CLIPS,
    NUMBER_OF_NOTES,
    NUMBER_OF_PAGES,
    NUMBER_OF_PARAGRAPHS,
    REVISION_NUMBER,
    NUMBER_OF_SLIDES,
    NUMBER_OF_WORDS,
    CREATION_DATE,
    LAST_PRINTED_DATE,
    MODIFICATION_DATE,
    PROPERTY_COUNT
  };

  using EnumMap = std::map<PROPERTY_ENUM, ZEB::Variant>;
  using NameMap = std::map<std::string, ZEB::Variant, ZEB::NoCase>;
  using MergedMap = std::multimap<std::string, ZEB::Variant, ZEB::NoCase>;

  static GUID const SUMMARY_INFORMATION_ID;
  static GUID const DOC_SUMMARY_INFORMATION_ID;
  static GUID const USER_DEFINED_PROPERTIES_ID;
  // The first character of property-set stream names.
  static constexpr char NAME_PREFIX = 0x05;
  static constexpr char16_t W_NAME_PREFIX = 0x0005;
  // The other stream name tried as a property set, compared ignoring case.
  static ZEB::WString const CONTENTS_NAME;

  // The name a property is filed under in the merged map: "Title" ...
  // "ModificationDate"; an empty string for a value outside the enumeration.
  static std::string const& Name(PROPERTY_ENUM property);
  // The set (SUMMARY_INFORMATION_ID or DOC_SUMMARY_INFORMATION_ID) and the
  // property id a well-known property is stored under; false outside the
  // enumeration.
  static bool Locate(PROPERTY_ENUM property, GUID& formatId, uint32_t& id);

  // Reads and checks the header and the section table from the buffer's get
  // position, which is the start of the stream (section offsets count from
  // the buffer's start). Throws NotAPropertyStorageOLEException for a wrong
  // byte-order mark, format or a section count of 0, and
  // CorruptedPropertyStorageOLEException when the stream ends inside the
  // header or the section table. The buffer must outlive the object.
  explicit PropertyStorage(ZEB::BinaryStreamBufT<unsigned>& buffer);
  PropertyStorage(PropertyStorage const&) = delete;
  PropertyStorage& operator=(PropertyStorage const&) = delete;
  ~PropertyStorage() override;

  int32_t NbRef() const noexcept { return RefCountValue(); }

  // The first section's format identifier; a summary, document-summary or
  // user-defined identifier stored in the other byte order some writers use
  // for its leading fields reads as the standard one.
  GUID const& GetID() const noexcept { return m_ID; }

  // Adds the properties of every section to the maps (nothing is cleared;
  // the first value of a key wins). Damaged sections and properties are
  // skipped.
  void Properties(EnumMap& byEnum, NameMap& byName) const;
  // The same, reading at most `budget` bytes (each vector element counts as
  // at least 4) and taking what it read off `budget`, so that the streams of
  // one file can share one budget. The other forms allow a multiple of the
  // stream's size.
  void Properties(EnumMap& byEnum, NameMap& byName, uint64_t& budget) const;
  // The same, merged into one name-keyed map (see MergePropertyMap).
  void Properties(MergedMap& all) const;

  // The budget the one-stream forms allow for `streamSize` bytes: a multiple
  // of the size, plus a floor.
  static uint64_t ReadBudget(uint64_t streamSize) noexcept;

  // Adds the enumeration entries under their names, in enumeration order,
  // then the named entries; entries already in `all` stay, and equal names
  // keep both values, the earlier one first.
  static void MergePropertyMap(EnumMap const& byEnum, NameMap const& byName, MergedMap& all);

private:
  using Reader = Detail::PropertyReader;

  void ExtractPropertiesFromSection(Reader& reader, uint32_t sectionOffset, EnumMap& byEnum, NameMap& byName) const;
  void GetPropertyNameDictionnary(Reader& reader, ZEB::CHARSET codePage, std::map<uint32_t, ZEB::WString>& names) const;
  // Reads the value at the get position; true when `value` was set.
  bool GetPropertyValueFromBuffer(Reader& reader, ZEB::CHARSET codePage, uint32_t type, ZEB::Variant& value) const;
  void AddPropertyToMap(uint32_t const& id, ZEB::WString const& name, ZEB::Variant const& value, EnumMap& byEnum,
                        NameMap& byName) const;

  GUID m_ID{};
  ZEB::BinaryStreamBufT<unsigned>& m_Buffer;
  std::vector<uint32_t> m_SectionOffsets;
};

} // namespace ZEBFile::OLE
