// The walk a naive caller makes: every storage listed and opened from its parent, with no record of what it
// has seen, every stream read. It ends because each entry is listed by one storage only. For tests, fuzz
// inputs and benchmarks; a header, as only one test program links the library.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/Storage.h"

namespace ZEBTest {

struct Walked {
  uint64_t bytes = 0;       // delivered by all the streams
  std::size_t listed = 0;   // entries listed, storages and streams
  std::vector<uint32_t> ids; // the entry ids listed, in the order met

  std::size_t Distinct() const {
    std::set<uint32_t> distinct(ids.begin(), ids.end());
    return distinct.size();
  }
};

inline Walked WalkStorage(ZEBFile::OLE::Storage const& top) {
  using ZEBFile::OLE::Storage;
  Walked walked;
  std::vector<ZEB::SmartPtr<Storage>> pending;
  ZEBFile::MemoryBuffer out(1u << 16);
  for (ZEB::SmartPtr<Storage> current;;) {
    Storage const& storage = current ? *current : top;
    for (auto const& item : storage.Streams()) {
      out.Clear();
      storage.ReadStream(item.id, out);
      walked.bytes += out.Size();
      walked.ids.push_back(item.id);
    }
    for (auto const& item : storage.Storages()) {
      pending.push_back(storage.OpenStorage(item.id));
      walked.ids.push_back(item.id);
    }
    walked.listed += storage.Streams().size() + storage.Storages().size();
    if (pending.empty())
      return walked;
    current = pending.back();
    pending.pop_back();
  }
}

} // namespace ZEBTest
