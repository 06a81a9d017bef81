// File mapping: a mapping object over a file (or anonymous memory) and views
// of it by offset, with the Win32 allocation granularity of 65536 bytes.
#include "Internal.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace ZEBPlatform {
namespace Detail {
namespace {

DWORD const GRANULARITY = 65536;

struct View {
  size_t length;
  uint64_t extent; // offset + length in the file
  dev_t device;
  ino_t inode;
};

std::mutex g_ViewMutex;
std::map<uintptr_t, View> g_Views;

// The view holding `address`: its base, or 0.
uintptr_t ViewHolding(uintptr_t address, View& view) {
  std::lock_guard<std::mutex> lock(g_ViewMutex);
  auto found = g_Views.upper_bound(address);
  if (found == g_Views.begin())
    return 0;
  --found;
  if (address >= found->first + found->second.length)
    return 0;
  view = found->second;
  return found->first;
}

bool Grow(int fd, off_t from, off_t to) {
  if (Syscalls().fallocate(fd, 0, from, to - from) == 0)
    return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL)
    return false;
  return Syscalls().ftruncate(fd, to) == 0;
}

} // namespace

uint64_t ViewExtent(dev_t device, ino_t inode) {
  std::lock_guard<std::mutex> lock(g_ViewMutex);
  uint64_t extent = 0;
  for (auto const& entry : g_Views)
    if (entry.second.device == device && entry.second.inode == inode && entry.second.extent > extent)
      extent = entry.second.extent;
  return extent;
}

} // namespace Detail
} // namespace ZEBPlatform

using namespace ZEBPlatform::Detail;

// Named mappings (shared by name between processes) are not offered.
HANDLE CreateFileMappingA(HANDLE fileHandle, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCSTR name) {
  DWORD protection = protect & 0xFF;
  if (protection != PAGE_READONLY && protection != PAGE_READWRITE && protection != PAGE_WRITECOPY)
    return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  if (name)
    return Fail<HANDLE>(ERROR_NOT_SUPPORTED, nullptr);
  uint64_t size = (static_cast<uint64_t>(maximumSizeHigh) << 32) | maximumSizeLow;
  auto mapping = std::make_shared<MappingObject>();
  mapping->writable = protection == PAGE_READWRITE;
  if (fileHandle == INVALID_HANDLE_VALUE) {
    // Memory not backed by a file.
    if (size == 0)
      return Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    mapping->fd = ::memfd_create("mapping", MFD_CLOEXEC);
    if (mapping->fd < 0 || Syscalls().ftruncate(mapping->fd, static_cast<off_t>(size)) != 0)
      return Fail<HANDLE>(Win32FromErrno(errno), nullptr);
    mapping->size = size;
    HANDLE handle = AddHandle(mapping);
    SetLastError(ERROR_SUCCESS);
    return handle;
  }
  auto file = LookUp<FileObject>(fileHandle, HandleObject::FILE_OBJECT);
  if (!file)
    return nullptr;
  if (file->directory || !(file->access & ACCESS_READ) || (mapping->writable && !(file->access & ACCESS_WRITE)))
    return Fail<HANDLE>(ERROR_ACCESS_DENIED, nullptr);
  struct stat info;
  if (Syscalls().fstat(file->fd, &info) != 0)
    return Fail<HANDLE>(Win32FromErrno(errno), nullptr);
  uint64_t fileSize = static_cast<uint64_t>(info.st_size);
  if (size == 0) {
    if (fileSize == 0)
      return Fail<HANDLE>(ERROR_FILE_INVALID, nullptr);
    size = fileSize;
  }
  if (size > fileSize) {
    // Only a writable mapping may reach beyond the end: it grows the file.
    if (!mapping->writable)
      return Fail<HANDLE>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    if (!Grow(file->fd, static_cast<off_t>(fileSize), static_cast<off_t>(size)))
      return Fail<HANDLE>(Win32FromErrno(errno), nullptr);
  }
  mapping->fd = ::fcntl(file->fd, F_DUPFD_CLOEXEC, 0);
  if (mapping->fd < 0)
    return Fail<HANDLE>(Win32FromErrno(errno), nullptr);
  mapping->size = size;
  mapping->device = info.st_dev;
  mapping->inode = info.st_ino;
  HANDLE handle = AddHandle(mapping);
  SetLastError(ERROR_SUCCESS);
  return handle;
}

// A view does not keep the file open: once its mapping and file handles are
// closed, others may open the file exclusively while the view lives.
LPVOID MapViewOfFile(HANDLE mappingHandle, DWORD desiredAccess, DWORD fileOffsetHigh, DWORD fileOffsetLow,
                     SIZE_T bytesToMap) {
  auto mapping = LookUp<MappingObject>(mappingHandle, HandleObject::MAPPING_OBJECT);
  if (!mapping)
    return nullptr;
  uint64_t offset = (static_cast<uint64_t>(fileOffsetHigh) << 32) | fileOffsetLow;
  if (offset % GRANULARITY != 0)
    return Fail<LPVOID>(ERROR_MAPPED_ALIGNMENT, nullptr);
  bool copy = desiredAccess == FILE_MAP_COPY;
  bool write = (desiredAccess & FILE_MAP_WRITE) != 0 && !copy;
  if (write && !mapping->writable)
    return Fail<LPVOID>(ERROR_ACCESS_DENIED, nullptr);
  if (offset >= mapping->size || bytesToMap > mapping->size - offset)
    return Fail<LPVOID>(ERROR_ACCESS_DENIED, nullptr);
  size_t length = bytesToMap ? bytesToMap : static_cast<size_t>(mapping->size - offset);
  int protection = PROT_READ | (write || copy ? PROT_WRITE : 0);
  void* address = Syscalls().mmap(nullptr, length, protection, copy ? MAP_PRIVATE : MAP_SHARED, mapping->fd,
                                  static_cast<off_t>(offset));
  if (address == MAP_FAILED)
    return Fail<LPVOID>(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : Win32FromErrno(errno), nullptr);
  std::lock_guard<std::mutex> lock(g_ViewMutex);
  g_Views[reinterpret_cast<uintptr_t>(address)] = View{length, offset + length, mapping->device, mapping->inode};
  return address;
}

// Any address inside a view names the view, as on Windows.
BOOL UnmapViewOfFile(LPCVOID baseAddress) {
  View view;
  uintptr_t base = ViewHolding(reinterpret_cast<uintptr_t>(baseAddress), view);
  if (!base)
    return Fail(ERROR_INVALID_ADDRESS);
  {
    std::lock_guard<std::mutex> lock(g_ViewMutex);
    g_Views.erase(base);
  }
  Syscalls().munmap(reinterpret_cast<void*>(base), view.length);
  return TRUE;
}

// Starts writing the dirty pages of the range back, as Windows does;
// FlushFileBuffers waits for the disk.
BOOL FlushViewOfFile(LPCVOID baseAddress, SIZE_T bytesToFlush) {
  uintptr_t address = reinterpret_cast<uintptr_t>(baseAddress);
  View view;
  uintptr_t base = ViewHolding(address, view);
  if (!base)
    return Fail(ERROR_INVALID_ADDRESS);
  uintptr_t pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  uintptr_t start = address - (address - base) % pageSize;
  uintptr_t end = base + view.length;
  if (bytesToFlush && address + bytesToFlush < end)
    end = address + bytesToFlush;
  if (Syscalls().msync(reinterpret_cast<void*>(start), end - start, MS_ASYNC) != 0)
    return Fail(Win32FromErrno(errno));
  return TRUE;
}

void GetSystemInfo(LPSYSTEM_INFO info) {
  if (!info)
    return;
  *info = SYSTEM_INFO();
#if defined(__x86_64__)
  info->u.s.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
#elif defined(__aarch64__)
  info->u.s.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM64;
#elif defined(__i386__)
  info->u.s.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
#endif
  info->dwPageSize = static_cast<DWORD>(::sysconf(_SC_PAGESIZE));
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<uintptr_t>(GRANULARITY));
  info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(~static_cast<uintptr_t>(0) >> 17);
  long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
  info->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 1;
  info->dwActiveProcessorMask =
      info->dwNumberOfProcessors >= 64 ? ~DWORD_PTR(0) : (DWORD_PTR(1) << info->dwNumberOfProcessors) - 1;
  info->dwAllocationGranularity = GRANULARITY;
}
