// Any bytes as a property-set stream, then as a compound file whose
// property sets are collected. Both readers must end without crashing,
// hanging or allocating more than the input justifies; every value they
// give must convert to text.
#include <cstddef>
#include <cstdint>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/PropertyStorage.h"
#include "ZEBFile/Storage.h"

using ZEBFile::OLE::PropertyStorage;

namespace {

void Touch(PropertyStorage::MergedMap const& all) {
  std::size_t units = 0;
  for (auto const& entry : all)
    units += entry.first.size() + entry.second.AsWString().size();
  (void)units;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, std::size_t size) {
  if (size > UINT32_MAX)
    return 0;
  try {
    ZEBFile::MemoryBuffer stream(data, static_cast<uint32_t>(size));
    PropertyStorage properties(stream);
    PropertyStorage::MergedMap all;
    properties.Properties(all);
    Touch(all);
  } catch (ZEBFile::OLE::OLEException const&) {
  }
  try {
    ZEBFile::MemoryBuffer file(data, static_cast<uint32_t>(size));
    ZEBFile::OLE::Storage storage(std::string(), file);
    PropertyStorage::MergedMap all;
    storage.Properties(all);
    Touch(all);
  } catch (ZEBFile::OLE::OLEException const&) {
  }
  return 0;
}
