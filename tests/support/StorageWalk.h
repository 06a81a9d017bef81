// Every storage below `top` listed (each id opened once: a looping tree ends), every stream read; gives the bytes
// read. For fuzz inputs, kept regression inputs and benchmarks; a header, as only one test program links the library.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/Storage.h"

namespace ZEBTest {

inline uint64_t WalkStorage(ZEBFile::OLE::Storage const& top) {
  using ZEBFile::OLE::Storage;
  std::set<uint32_t> opened{Storage::RootStorage::ROOT_STORAGE_ID};
  std::vector<ZEB::SmartPtr<Storage>> pending;
  ZEBFile::MemoryBuffer out(1u << 16);
  uint64_t total = 0;
  for (ZEB::SmartPtr<Storage> current;;) {
    Storage const& storage = current ? *current : top;
    for (auto const& item : storage.Streams()) {
      out.Clear();
      storage.ReadStream(item.id, out);
      total += out.Size();
    }
    for (auto const& item : storage.Storages())
      if (opened.insert(item.id).second)
        pending.push_back(storage.OpenStorage(item.id));
    if (pending.empty())
      return total;
    current = pending.back();
    pending.pop_back();
  }
}

} // namespace ZEBTest
