// The property-set stream format, shared by its reader and its writer: the
// sizes of the header and of a section's entry, the reserved property ids and
// the value types.
#pragma once

#include <cstdint>

namespace ZEBFile::OLE::PropertyFormat {

constexpr uint32_t HEADER_SIZE = 28;
constexpr uint32_t SECTION_ENTRY_SIZE = 20;

constexpr uint32_t DICTIONARY_ID = 0;
constexpr uint32_t CODE_PAGE_ID = 1;
constexpr uint32_t LOCALE_ID = 0x80000000;

enum : uint32_t {
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_FILETIME = 64,
  VT_VECTOR = 0x1000,
  VT_TYPEMASK = 0xFFF,
};

} // namespace ZEBFile::OLE::PropertyFormat
