// Writes OLE property-set streams: the summary information, the document
// summary information with its user-defined section and that section's
// dictionary of names. A set is built new or from an existing stream, whose
// sections and properties are kept as stored except those set again. Each
// value is written in the type PropertyStorage reads back as the same
// Variant kind: bool VT_BOOL, unsigned char VT_UI1, short VT_I2, unsigned
// short VT_UI2, int VT_I4, unsigned int VT_UI4, float VT_R4, double VT_R8,
// DateTime VT_FILETIME, a string VT_LPSTR in the section's code page (VT_LPWSTR
// when that code page cannot hold it), a list of strings a vector of VT_LPSTR
// (read back as one string, the items joined by CR LF).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ZEB/Charset.h"
#include "ZEB/Types.h"
#include "ZEB/Variant.h"
#include "ZEBFile/PropertyStorage.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile::OLE {

class ZEBFILE_API PropertySetWriter {
public:
  // "\x05SummaryInformation" and "\x05DocumentSummaryInformation".
  static ZEB::WString const SUMMARY_STREAM_NAME;
  static ZEB::WString const DOC_SUMMARY_STREAM_NAME;

  // A new set of one section with format `formatId`; strings in `codePage`
  // (CHARSET_UTF16LE, CHARSET_UTF8 or CHARSET_WINDOWS_1252).
  explicit PropertySetWriter(GUID const& formatId, ZEB::CHARSET codePage = ZEB::CHARSET_UTF16LE);
  // The set stored in `stream`: every section and property kept as its
  // bytes. Throws NotAPropertyStorageOLEException for a stream that is no
  // property set, CorruptedPropertyStorageOLEException for one whose tables
  // point outside it.
  static PropertySetWriter FromStream(std::string const& stream);

  // Property `id` (2 and up) of the first section, replaced when present.
  void Set(uint32_t id, ZEB::Variant const& value);
  void Set(uint32_t id, std::vector<ZEB::WString> const& strings);
  // The property named `name` in the user-defined section (added after the
  // first when missing); a property of the same name in any letter case is
  // replaced. InvalidNameOLEException for an empty name or one the section's
  // code page cannot hold.
  void SetUserDefined(ZEB::WString const& name, ZEB::Variant const& value);
  void SetUserDefined(ZEB::WString const& name, std::vector<ZEB::WString> const& strings);

  // The stream's bytes.
  std::string Bytes() const;

private:
  struct Section {
    unsigned char formatId[16];
    uint16_t codePage;
    std::map<uint32_t, std::string> values; // type and value as stored, padded to 4 bytes
    std::map<uint32_t, ZEB::WString> names; // the dictionary
  };
  PropertySetWriter() = default;
  Section& UserDefined();
  static std::string Encode(Section const& section, ZEB::Variant const& value);
  static std::string EncodeStrings(Section const& section, std::vector<ZEB::WString> const& strings);
  static uint32_t NamedId(Section& section, ZEB::WString const& name);
  static std::string SectionBytes(Section const& section);

  unsigned char m_Header[28] = {};
  std::vector<Section> m_Sections;
};

} // namespace ZEBFile::OLE
