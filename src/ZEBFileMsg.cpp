// The library's message catalog and its registration with the family's
// message registry for as long as the module is loaded.
#include "ZEBFile/Catalog.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "ZEB/Messages.h"
#include "ZEBFile/ZEBFileMsg-I.h"

namespace ZEBFile {

namespace {

constexpr char16_t const* MESSAGES[ZEBFileMsg::MESSAGE_COUNT] = {
    u"It is impossible to open the configuration source %1.",
    u"An error occurred while opening the read-only file %1.",
    u"An error occurred while opening the write-only file %1.",
    u"An error occurred while copying the file %1 to %2.",
    u"An error occurred while creating the file %1.",
    u"An error occurred while deleting the file %1.",
    u"The drive %1 in %2 does not exist.",
    u"An error occurred while getting a view of the file %1.",
    u"An error occurred while listing files and subfolders from: %1.",
    u"An error occurred while moving the file %1 to %2.",
    u"An error occurred while reading data from file %1.",
    u"An error occurred while releasing a view of the file %1.",
    u"An error occurred while retrieving the server name for the file %1.",
    u"An error occurred while seeking in the file %1.",
    u"An error occurred while setting the attributes for file %1.",
    u"An error occurred while writing data in the file %1.",
    u"The configuration source is invalid.",
    u"An error occurred while getting the file attributes for %1.",
};

constexpr std::size_t MODULE_LENGTH = sizeof ZEBFileMsg::MODULE - 1;
constexpr uint32_t ENTRY_CONSTANT = 7;
constexpr uint8_t ENTRY_FLAG = 1;
constexpr std::size_t TRAILER = 6;

constexpr std::size_t Length(char16_t const* text) {
  std::size_t n = 0;
  while (text[n])
    ++n;
  return n;
}

constexpr std::size_t CatalogSize() {
  std::size_t size = 4;
  for (char16_t const* text : MESSAGES)
    size += 4 + MODULE_LENGTH + 4 + 4 + 1 + 4 + 2 * Length(text) + TRAILER;
  return size;
}

// Packed little-endian entries: module name, id, the two constants, the
// UTF-16LE text and a zero trailer.
struct CatalogBytes {
  std::array<unsigned char, CatalogSize()> bytes{};
  std::size_t at = 0;

  constexpr void U8(uint32_t value) { bytes[at++] = static_cast<unsigned char>(value & 0xFF); }
  constexpr void U32(uint32_t value) {
    for (int i = 0; i < 4; ++i)
      U8(value >> (8 * i));
  }
  constexpr CatalogBytes() {
    U32(ZEBFileMsg::MESSAGE_COUNT);
    for (uint32_t id = 0; id < ZEBFileMsg::MESSAGE_COUNT; ++id) {
      U32(MODULE_LENGTH);
      for (std::size_t i = 0; i < MODULE_LENGTH; ++i)
        U8(static_cast<unsigned char>(ZEBFileMsg::MODULE[i]));
      U32(id);
      U32(ENTRY_CONSTANT);
      U8(ENTRY_FLAG);
      std::size_t length = Length(MESSAGES[id]);
      U32(static_cast<uint32_t>(2 * length));
      for (std::size_t i = 0; i < length; ++i) {
        U8(MESSAGES[id][i]);
        U8(MESSAGES[id][i] >> 8);
      }
      at += TRAILER;
    }
  }
};

constexpr CatalogBytes CATALOG;
static_assert(CatalogSize() == 2398, "the catalog is 2398 bytes");

// Registers the catalog at load; the last module of the family to unload
// frees the registry.
struct CatalogRegistration {
  CatalogRegistration() {
    if (ZEBMessagesInit::ms_Cnt++ == 0)
      ZEBMessages::Init();
    ZEBMessages::Load(CATALOG.bytes.data(), CATALOG.bytes.size(), ZEBFileMsg::CATALOG_NAME);
  }
  ~CatalogRegistration() {
    if (--ZEBMessagesInit::ms_Cnt == 0)
      ZEBMessages::Free();
  }
};

CatalogRegistration const g_Registration;

} // namespace

unsigned char const* CatalogData() noexcept { return CATALOG.bytes.data(); }
std::size_t CatalogSizeInBytes() noexcept { return CATALOG.bytes.size(); }

} // namespace ZEBFile
