// Any bytes opened as a compound file held in a memory buffer: every storage
// listed, every stream read. Only the header faults may throw.
#include <cstddef>
#include <cstdint>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/Storage.h"
#include "support/CompoundWriter.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
  if (size > UINT32_MAX)
    return 0;
  ZEBFile::MemoryBuffer buffer(data, uint32_t(size), 1u << 16);
  try {
    ZEB::SmartPtr<ZEBFile::OLE::Storage> top(new ZEBFile::OLE::Storage("", buffer));
    ZEBTest::WalkStorage(*top);
  } catch (ZEBFile::OLE::NotAStorageOLEException const&) {
  } catch (ZEBFile::OLE::CorruptedStorageOLEException const&) {
  }
  return 0;
}
