// Any bytes opened as a compound file held in a memory buffer: every storage
// listed, every stream read, the defects and details asked. Only the header
// faults may throw. Whatever the bytes: a naive walk lists each entry once,
// the streams deliver at most the input's size, each stream delivers what its
// details call readable, and the heap stays within twice the input plus
// 16 MiB.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <sanitizer/allocator_interface.h>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/Storage.h"
#include "support/StorageWalk.h"

namespace {

void Check(bool invariant) {
  if (!invariant)
    std::abort();
}

void CheckReadable(ZEBFile::OLE::Storage const& storage) {
  for (auto const& item : storage.Streams()) {
    ZEBFile::MemoryBuffer out;
    storage.ReadStream(item.id, out);
    ZEBFile::OLE::Storage::Details details;
    Check(storage.GetDetails(item.id, details) && details.readable == out.Size() && details.readable <= item.size);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size) {
  if (size > UINT32_MAX)
    return 0;
  std::size_t const heap = __sanitizer_get_current_allocated_bytes();
  ZEBFile::MemoryBuffer buffer(data, uint32_t(size), 1u << 16);
  try {
    ZEB::SmartPtr<ZEBFile::OLE::Storage> top(new ZEBFile::OLE::Storage("", buffer));
    ZEBTest::Walked walked = ZEBTest::WalkStorage(*top);
    Check(walked.listed == walked.Distinct());
    Check(walked.bytes <= size);
    CheckReadable(*top);
    for (auto const& defect : top->Defects())
      Check(!defect.Text().empty());
    Check(__sanitizer_get_current_allocated_bytes() - heap <= 2 * size + (16u << 20));
  } catch (ZEBFile::OLE::NotAStorageOLEException const&) {
  } catch (ZEBFile::OLE::CorruptedStorageOLEException const&) {
  }
  return 0;
}
