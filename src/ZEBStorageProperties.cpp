// The walk of a compound file for its property sets.
#include <deque>

#include "ZEB/NoCase.h"
#include "ZEBFile/DiskBuffer.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/PropertyStorage.h"
#include "ZEBFile/Storage.h"

namespace ZEBFile::OLE {

namespace {

// The buffer every property-set stream is copied into.
constexpr uint32_t STREAM_CHUNK_SIZE = 32768;
constexpr uint32_t STREAM_CACHE_SIZE = 262144;

bool IsPropertySetName(ZEB::WString const& name) {
  return (!name.empty() && name[0] == PropertyStorage::W_NAME_PREFIX) ||
         ZEB::WNoCase::IsEqual(name, PropertyStorage::CONTENTS_NAME);
}

} // namespace

void Storage::Properties(PropertyStorage::EnumMap& byEnum, PropertyStorage::NameMap& byName) const {
  DiskBuffer buffer(m_Root->TempPath(), STREAM_CHUNK_SIZE, STREAM_CACHE_SIZE);
  // One budget for all the property streams of the file: every sector is
  // delivered to one stream only, so the work is linear in the file's size.
  uint64_t budget = PropertyStorage::ReadBudget(m_Root->m_Buffer.Size());
  std::deque<ZEB::SmartPtr<Storage>> queue;
  // Every entry is listed by one storage only, so the walk ends.
  auto visit = [&](Storage const& storage) {
    for (Item const& child : storage.Storages())
      queue.push_back(ZEB::SmartPtr<Storage>(new Storage(m_Root, child.id, child.name)));
    for (Item const& stream : storage.Streams()) {
      if (!IsPropertySetName(stream.name))
        continue;
      try {
        storage.ReadStream(stream.id, buffer);
        if (buffer.Size() > 0) {
          buffer.SeekG(0, Buffer::BEGIN, Buffer::FORWARD);
          PropertyStorage(buffer).Properties(byEnum, byName, budget);
        }
      } catch (OLEException const&) {
        // Named like a property set without being one.
      }
      buffer.Clear();
    }
  };
  visit(*this);
  while (!queue.empty()) {
    ZEB::SmartPtr<Storage> next = queue.front();
    queue.pop_front();
    visit(*next);
  }
}

void Storage::Properties(PropertyStorage::MergedMap& all) const {
  PropertyStorage::EnumMap byEnum;
  PropertyStorage::NameMap byName;
  Properties(byEnum, byName);
  PropertyStorage::MergePropertyMap(byEnum, byName, all);
}

} // namespace ZEBFile::OLE
