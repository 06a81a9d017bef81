// The walk of a compound file for its property sets.
#include <deque>
#include <set>

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
  std::deque<ZEB::SmartPtr<Storage>> queue;
  // Each storage entry is opened once, so that a directory whose tree loops
  // back onto a storage still ends. Children are opened from the item in
  // hand rather than looked up again by id in their parent's list.
  std::set<uint32_t> opened;
  auto visit = [&](Storage const& storage) {
    for (Item const& child : storage.Storages())
      if (opened.insert(child.id).second)
        queue.push_back(ZEB::SmartPtr<Storage>(new Storage(m_Root, child.id, child.name)));
    for (Item const& stream : storage.Streams()) {
      if (!IsPropertySetName(stream.name))
        continue;
      try {
        storage.ReadStream(stream.id, buffer);
        if (buffer.Size() > 0) {
          buffer.SeekG(0, Buffer::BEGIN, Buffer::FORWARD);
          PropertyStorage(buffer).Properties(byEnum, byName);
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
