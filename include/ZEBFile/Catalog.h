// The bytes of the library's message catalog, as registered at load.
#pragma once

#include <cstddef>

#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile {

ZEBFILE_API unsigned char const* CatalogData() noexcept;
ZEBFILE_API std::size_t CatalogSizeInBytes() noexcept;

} // namespace ZEBFile
