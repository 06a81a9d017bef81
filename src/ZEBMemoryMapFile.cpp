#include "ZEBFile/MemoryMapFile.h"

#include <algorithm>
#include <iterator>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/Path.h"
#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPlatform/Win32.h"

namespace ZEBFile {

namespace {

constexpr char const SOURCE_NAME[] = "src/ZEBMemoryMapFile";

// The message and the throw-site line each action reports.
struct ActionMessage {
  MemoryMapFile::Action action;
  unsigned id;
  int line;
};

constexpr ActionMessage ACTION_MESSAGES[] = {
    {MemoryMapFile::OPEN_READ, ZEBFileMsg::CANNOT_OPEN_READ_ONLY, 295},
    {MemoryMapFile::OPEN_WRITE, ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY, 301},
    {MemoryMapFile::DELETE_FILE, ZEBFileMsg::CANNOT_DELETE, 307},
    {MemoryMapFile::GET_VIEW, ZEBFileMsg::CANNOT_GET_VIEW, 313},
    {MemoryMapFile::RELEASE_VIEW, ZEBFileMsg::CANNOT_RELEASE_VIEW, 319},
};

struct OpenModeRow {
  DWORD access;
  DWORD share;
  DWORD disposition;
};

constexpr OpenModeRow OPEN_MODES[] = {
    {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING},
    {GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS},
    {GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS},
};

DWORD High(uint64_t value) noexcept { return static_cast<DWORD>(value >> 32); }
DWORD Low(uint64_t value) noexcept { return static_cast<DWORD>(value); }

uint32_t SystemGranularity() noexcept {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}

} // namespace

MemoryMapFile::MemoryMapFile(std::string const& fileName)
    : m_FileName(fileName), m_Granularity(SystemGranularity()) {}

MemoryMapFile::~MemoryMapFile() { Close(); }

// An invalid mode opens nothing and changes nothing.
void MemoryMapFile::Open(OpenMode mode) {
  if (mode < READ || mode > CREATE)
    ThrowWith(OPEN_WRITE, ERROR_INVALID_PARAMETER);
  // A file held exclusively would refuse this object's own second open, and
  // a mapping left from before would belong to the old handle.
  Close();
  m_Mode = mode;
  OpenModeRow const& row = OPEN_MODES[mode];
  m_File = CreateFileA(m_FileName.c_str(), row.access, row.share, nullptr, row.disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  if (!m_File.IsValid())
    Throw(mode == READ ? OPEN_READ : OPEN_WRITE);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(m_File, &size))
    Throw(mode == READ ? OPEN_READ : OPEN_WRITE);
  m_Size = static_cast<uint64_t>(size.QuadPart);
  // A read-only mapping cannot reach past the end of its file; a writing
  // one grows the file to at least one granularity.
  if (mode != READ)
    m_Size = std::max<uint64_t>(m_Size, m_Granularity);
  CreateFileMappingObject();
}

// Without an open file there is nothing to map (the system would make a
// mapping of unnamed memory instead).
void MemoryMapFile::CreateFileMappingObject() {
  if (m_Mapping.IsValid() || m_Size == 0 || !m_File.IsValid())
    return;
  DWORD protection = m_Mode == READ ? PAGE_READONLY : PAGE_READWRITE;
  m_Mapping = CreateFileMappingA(m_File, nullptr, protection, High(m_Size), Low(m_Size), nullptr);
  if (!m_Mapping.IsValid())
    Throw(m_Mode == READ ? OPEN_READ : OPEN_WRITE);
}

void MemoryMapFile::UnmapViews(bool flush) noexcept {
  for (auto const& view : m_Views) {
    if (flush)
      FlushViewOfFile(view.second, 0);
    UnmapViewOfFile(view.second);
  }
  m_Views.clear();
}

void MemoryMapFile::Close() {
  if (m_Mapping.IsValid()) {
    UnmapViews(true);
    m_Mapping.Close();
  }
  if (m_File.IsValid())
    m_File.Close();
}

void MemoryMapFile::Delete() {
  Close();
  if (PathT<char>(m_FileName).IsFile() && _unlink(m_FileName.c_str()) != 0)
    Throw(DELETE_FILE);
}

void MemoryMapFile::Flush() {
  if (m_Mapping.IsValid())
    UnmapViews(false);
  FlushFileBuffers(m_File);
}

void MemoryMapFile::Resize(uint64_t size) {
  if (m_Mapping.IsValid()) {
    UnmapViews(false);
    m_Mapping.Close();
  }
  if (size < m_Size) {
    LONG high = static_cast<LONG>(High(size));
    SetFilePointer(m_File, static_cast<LONG>(Low(size)), &high, FILE_BEGIN);
    SetEndOfFile(m_File);
  }
  m_Size = size;
  CreateFileMappingObject();
}

// The system's own answers where no call is made: a view outside the
// mapping (any view of an empty file) is refused as the system refuses it; a
// closed object has no mapping to take a view of.
void* MemoryMapFile::GetView(uint64_t offset, uint32_t size) {
  if (offset >= m_Size || size > m_Size - offset)
    ThrowWith(GET_VIEW, ERROR_ACCESS_DENIED);
  auto found = m_Views.find(offset);
  if (found != m_Views.end())
    return found->second;
  if (!m_Mapping.IsValid())
    ThrowWith(GET_VIEW, ERROR_INVALID_HANDLE);
  SIZE_T length = size != 0 ? size : static_cast<SIZE_T>(std::min<uint64_t>(m_Granularity, m_Size - offset));
  DWORD access = m_Mode == READ ? FILE_MAP_READ : FILE_MAP_WRITE;
  void* address = MapViewOfFile(m_Mapping, access, High(offset), Low(offset), length);
  if (!address)
    Throw(GET_VIEW);
  try {
    m_Views.emplace(offset, address);
  } catch (...) {
    UnmapViewOfFile(address);
    throw;
  }
  return address;
}

// A view that cannot be unmapped stays recorded, so that Close tries again.
void MemoryMapFile::ReleaseView(uint64_t offset, bool flush) {
  auto found = m_Views.find(offset);
  if (found == m_Views.end())
    return;
  if (flush)
    FlushViewOfFile(found->second, 0);
  if (!UnmapViewOfFile(found->second))
    Throw(RELEASE_VIEW);
  m_Views.erase(found);
}

void MemoryMapFile::FlushView(uint64_t offset, uint32_t size) {
  auto found = m_Views.find(offset);
  if (found != m_Views.end())
    FlushViewOfFile(found->second, size);
}

void MemoryMapFile::Throw(Action action) const {
  auto row = std::find_if(std::begin(ACTION_MESSAGES), std::end(ACTION_MESSAGES),
                          [action](ActionMessage const& m) { return m.action == action; });
  if (row == std::end(ACTION_MESSAGES))
    return;
  ZEB::SmartPtr<ZEB::MessageInfo> info = SystemErrorInfo(row->id, SOURCE_NAME, row->line, {m_FileName});
  if (action == OPEN_READ || action == OPEN_WRITE)
    throw FileCannotOpenException(info);
  throw FileException(info);
}

void MemoryMapFile::ThrowWith(Action action, uint32_t error) const {
  SetLastError(error);
  Throw(action);
}

} // namespace ZEBFile
