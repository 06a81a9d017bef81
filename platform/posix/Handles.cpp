// The handle table: every file, search and mapping the layer opens is an
// object behind a HANDLE value. Values are never 0 nor all ones, and never
// reused, so a stale handle fails with ERROR_INVALID_HANDLE.
#include "Internal.h"

#include <cstdlib>
#include <map>
#include <mutex>

namespace ZEBPlatform {
namespace Detail {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::map<uintptr_t, std::shared_ptr<HandleObject>> objects;
  uintptr_t next = 0x1000;
};

// Never destroyed: handles may be closed by other modules' static objects
// during exit.
HandleTable& Table() {
  static HandleTable* table = new HandleTable;
  return *table;
}

bool SameFile(std::string const& host, dev_t device, ino_t inode) {
  struct stat info;
  return Syscalls().lstat(host.c_str(), &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

void RemoveEntry(FileObject const& file) {
  if (!SameFile(file.host, file.device, file.inode))
    return;
  if (file.directory)
    Syscalls().rmdir(file.host.c_str());
  else
    Syscalls().unlink(file.host.c_str());
}

// At exit, files whose delete-on-close handles are still open go, as the
// system closes every handle of a process that ends on Windows.
void RemovePendingAtExit() {
  HandleTable& table = Table();
  std::vector<std::shared_ptr<FileObject>> pending;
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    for (auto const& entry : table.objects)
      if (entry.second->kind == HandleObject::FILE_OBJECT) {
        auto file = std::static_pointer_cast<FileObject>(entry.second);
        if (file->deleteOnClose)
          pending.push_back(file);
      }
  }
  for (auto const& file : pending)
    RemoveEntry(*file);
}

std::shared_ptr<HandleObject> Remove(HANDLE handle, HandleObject::Kind kind) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto found = table.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (found == table.objects.end() || found->second->kind != kind)
    return nullptr;
  std::shared_ptr<HandleObject> object = found->second;
  table.objects.erase(found);
  if (kind != HandleObject::FILE_OBJECT)
    return object;
  // Delete on close applies when the last handle of the file closes: hand
  // the duty to another open handle of the same file if there is one.
  auto file = std::static_pointer_cast<FileObject>(object);
  if (file->deleteOnClose)
    for (auto const& entry : table.objects) {
      if (entry.second->kind != HandleObject::FILE_OBJECT)
        continue;
      auto other = std::static_pointer_cast<FileObject>(entry.second);
      if (other->device == file->device && other->inode == file->inode) {
        other->deleteOnClose = true;
        file->deleteOnClose = false;
        break;
      }
    }
  return object;
}

} // namespace

FileObject::~FileObject() {
  if (fd >= 0)
    Syscalls().close(fd);
}

MappingObject::~MappingObject() {
  if (fd >= 0)
    Syscalls().close(fd);
}

HANDLE AddHandle(std::shared_ptr<HandleObject> object) {
  static std::once_flag exitHook;
  std::call_once(exitHook, [] { std::atexit(RemovePendingAtExit); });
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  uintptr_t value = table.next;
  table.next += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<HandleObject> LookUpHandle(HANDLE handle, HandleObject::Kind kind) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto found = table.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (found == table.objects.end() || found->second->kind != kind)
    return Fail(ERROR_INVALID_HANDLE, std::shared_ptr<HandleObject>());
  return found->second;
}

uint64_t MappedExtent(dev_t device, ino_t inode) {
  uint64_t extent = ViewExtent(device, inode);
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  for (auto const& entry : table.objects) {
    if (entry.second->kind != HandleObject::MAPPING_OBJECT)
      continue;
    auto const& mapping = static_cast<MappingObject const&>(*entry.second);
    if (mapping.device == device && mapping.inode == inode && mapping.size > extent)
      extent = mapping.size;
  }
  return extent;
}

} // namespace Detail
} // namespace ZEBPlatform

using namespace ZEBPlatform::Detail;

// A file flagged delete-on-close goes when the last handle of this process
// closes; handles other processes hold do not keep it, as they would on
// Windows (their descriptors stay usable, the name goes).
BOOL CloseHandle(HANDLE handle) {
  std::shared_ptr<HandleObject> object = Remove(handle, HandleObject::FILE_OBJECT);
  if (!object)
    object = Remove(handle, HandleObject::MAPPING_OBJECT);
  if (!object)
    return Fail(ERROR_INVALID_HANDLE);
  if (object->kind == HandleObject::FILE_OBJECT) {
    auto file = std::static_pointer_cast<FileObject>(object);
    if (file->deleteOnClose)
      RemoveEntry(*file);
  }
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  if (!Remove(handle, HandleObject::FIND_OBJECT))
    return Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}
