#include "ZEBFile/CFile.h"

#include <algorithm>
#include <iterator>

#include "ZEBFile/Exceptions.h"
#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPlatform/Win32.h"

namespace ZEBFile {

namespace {

constexpr char const SOURCE_NAME[] = "src/ZEBCFile";

// The message and the throw-site line each action reports.
struct ActionMessage {
  CFileBase::Action action;
  unsigned id;
  int line;
};

constexpr ActionMessage ACTION_MESSAGES[] = {
    {CFileBase::OPEN_READ, ZEBFileMsg::CANNOT_OPEN_READ_ONLY, 49},
    {CFileBase::OPEN_WRITE, ZEBFileMsg::CANNOT_OPEN_WRITE_ONLY, 61},
    {CFileBase::DELETE_FILE, ZEBFileMsg::CANNOT_DELETE, 73},
    {CFileBase::SEEK, ZEBFileMsg::CANNOT_SEEK, 79},
    {CFileBase::WRITE_DATA, ZEBFileMsg::CANNOT_WRITE, 85},
    {CFileBase::READ_DATA, ZEBFileMsg::CANNOT_READ, 91},
    {CFileBase::GET_ATTRIBUTES, ZEBFileMsg::CANNOT_GET_ATTRIBUTES, 97},
};

[[noreturn]] void ThrowOpenError(DWORD error, ZEB::SmartPtr<ZEB::MessageInfo> const& info) {
  if (error == ERROR_SHARING_VIOLATION)
    throw SharingViolationException(info);
  if (error == ERROR_ACCESS_DENIED)
    throw FileAccessDeniedException(info);
  throw FileCannotOpenException(info);
}

struct OpenModeRow {
  DWORD access;
  DWORD share;
  DWORD disposition;
  bool writable;
};

constexpr OpenModeRow OPEN_MODES[] = {
    {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, false},
    {GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS, true},
    {GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, true},
};

constexpr DWORD HINT_FLAGS[] = {
    FILE_ATTRIBUTE_NORMAL,
    FILE_FLAG_SEQUENTIAL_SCAN,
    FILE_FLAG_RANDOM_ACCESS,
    FILE_ATTRIBUTE_TEMPORARY,
    FILE_FLAG_DELETE_ON_CLOSE,
};

// The path's string form, as the system calls take it.
char const* SystemName(PathT<char> const& path) { return (*path).c_str(); }

} // namespace

std::map<char, bool> CFileBase::m_mSparseDrive;

CFileBase::CFileBase(std::string const& path) : m_Path(path) {}

CFileBase::~CFileBase() = default;

void CFileBase::Throw(Action action) const {
  DWORD error = GetLastError();
  auto row = std::find_if(std::begin(ACTION_MESSAGES), std::end(ACTION_MESSAGES),
                          [action](ActionMessage const& m) { return m.action == action; });
  if (row == std::end(ACTION_MESSAGES))
    return;
  SetLastError(error);
  ZEB::SmartPtr<ZEB::MessageInfo> info = SystemErrorInfo(row->id, SOURCE_NAME, row->line, {*m_Path});
  switch (action) {
  case OPEN_READ:
  case OPEN_WRITE:
    ThrowOpenError(error, info);
  case DELETE_FILE:
    throw FileCannotDeleteException(info);
  case WRITE_DATA:
    throw WriteErrorException(info);
  default:
    throw FileException(info);
  }
}

CFileT<unsigned>::CFileT(std::string const& path, uint32_t accessHint, bool buffered, bool keep)
    : CFileBase(path), m_AccessHint(accessHint), m_Buffered(buffered), m_Keep(keep) {}

CFileT<unsigned>::~CFileT() {
  if (m_BackupContext) {
    DWORD done = 0;
    BackupRead(m_Handle, nullptr, 0, &done, TRUE, FALSE, &m_BackupContext);
  }
  CFileT::Close();
}

void CFileT<unsigned>::ThrowWith(Action action, uint32_t error) const {
  SetLastError(error);
  Throw(action);
}

uint32_t CFileT<unsigned>::OpenFlags() const noexcept {
  DWORD flags = m_AccessHint < std::size(HINT_FLAGS) ? HINT_FLAGS[m_AccessHint] : 0;
  if (!m_Buffered)
    flags |= FILE_FLAG_WRITE_THROUGH;
  return flags;
}

// The handle held is closed before the new open: a file opened exclusively
// would otherwise refuse this object's own second open of it.
bool CFileT<unsigned>::OpenHandle(uint32_t mode, uint32_t disposition) {
  OpenModeRow const& row = OPEN_MODES[mode];
  Close();
  m_Writable = false;
  m_Position = m_Size = 0;
  HANDLE handle = CreateFileA(SystemName(m_Path), row.access, row.share, nullptr, disposition, OpenFlags(), nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    return false;
  m_Handle = handle;
  m_Writable = row.writable;
  m_Size = GetFileSize(handle, nullptr);
  return true;
}

uint32_t CFileT<unsigned>::Open(uint32_t mode) {
  if (mode >= std::size(OPEN_MODES))
    return 0;
  if (!OpenHandle(mode, OPEN_MODES[mode].disposition))
    Throw(mode == READ ? OPEN_READ : OPEN_WRITE);
  return m_Size;
}

void CFileT<unsigned>::CreateNew() {
  if (!OpenHandle(CREATE, CREATE_NEW))
    Throw(OPEN_WRITE);
}

void CFileT<unsigned>::Close() {
  if (m_Handle.IsValid())
    m_Handle.Close();
}

void CFileT<unsigned>::Delete() {
  Close();
  m_Path.ClearAttributes();
  if (m_Path.IsFile() && _unlink(SystemName(m_Path)) != 0)
    Throw(DELETE_FILE);
}

void CFileT<unsigned>::RestorePointer() noexcept {
  DWORD error = GetLastError();
  LONG high = 0;
  SetFilePointer(m_Handle, static_cast<LONG>(m_Position), &high, FILE_BEGIN);
  SetLastError(error);
}

uint32_t CFileT<unsigned>::Write(void const* data, uint32_t elementSize, uint32_t count) {
  uint64_t total = uint64_t(elementSize) * count;
  if (total > UINT32_MAX - m_Position)
    ThrowWith(WRITE_DATA, ERROR_FILE_TOO_LARGE);
  DWORD written = 0;
  if (!WriteFile(m_Handle, data, static_cast<DWORD>(total), &written, nullptr)) {
    RestorePointer();
    Throw(WRITE_DATA);
  }
  if (written != total) {
    RestorePointer();
    ThrowWith(WRITE_DATA, ERROR_DISK_FULL);
  }
  m_Position += written;
  m_Size = std::max(m_Size, m_Position);
  return written;
}

uint32_t CFileT<unsigned>::Read(void* buffer, uint32_t elementSize, uint32_t count, bool exact) {
  uint64_t total = uint64_t(elementSize) * count;
  if (total > UINT32_MAX)
    ThrowWith(READ_DATA, ERROR_INVALID_PARAMETER);
  DWORD got = 0;
  if (!ReadFile(m_Handle, buffer, static_cast<DWORD>(total), &got, nullptr)) {
    RestorePointer();
    Throw(READ_DATA);
  }
  if (exact && got != total) {
    RestorePointer();
    ThrowWith(READ_DATA, ERROR_HANDLE_EOF);
  }
  if (got > UINT32_MAX - m_Position) {
    RestorePointer();
    ThrowWith(READ_DATA, ERROR_FILE_TOO_LARGE);
  }
  m_Position += got;
  m_Size = std::max(m_Size, m_Position);
  return got;
}

void CFileT<unsigned>::Seek(uint32_t offset, uint32_t origin, Direction direction) {
  bool backward = direction != FORWARD;
  bool outOfRange = false;
  switch (origin) {
  case FROM_BEGIN:
    outOfRange = backward;
    break;
  case FROM_END:
    outOfRange = backward ? offset > m_Size : uint64_t(m_Size) + offset > UINT32_MAX;
    break;
  case FROM_CURRENT:
    outOfRange = backward && offset > m_Position;
    break;
  default:
    break;
  }
  if (outOfRange)
    throw SeekOutOfRangeException();

  int64_t distance = backward ? -int64_t(offset) : int64_t(offset);
  LONG high = static_cast<LONG>(distance >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(m_Handle, static_cast<LONG>(static_cast<uint32_t>(distance)), &high, origin);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    Throw(SEEK);
  if (high != 0) {
    RestorePointer();
    ThrowWith(SEEK, ERROR_FILE_TOO_LARGE);
  }
  m_Position = low;
  m_Size = std::max(m_Size, m_Position);
}

void CFileT<unsigned>::SetSize(uint32_t size, bool force) {
  if (size > m_Size) {
    uint32_t oldPosition = m_Position, oldSize = m_Size;
    Seek(size, FROM_BEGIN, FORWARD);
    if (!SetEndOfFile(m_Handle)) {
      m_Position = oldPosition;
      m_Size = oldSize;
      RestorePointer();
      Throw(SEEK);
    }
    return;
  }
  if (size == m_Size && !force)
    return;
  LONG high = 0;
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(m_Handle, static_cast<LONG>(size), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    Throw(SEEK);
  if (!SetEndOfFile(m_Handle)) {
    RestorePointer();
    Throw(SEEK);
  }
  m_Position = m_Size = size;
}

void CFileT<unsigned>::Flush() {
  if (m_Writable)
    FlushFileBuffers(m_Handle);
}

void CFileT<unsigned>::Grow(uint32_t count) {
  uint32_t oldPosition = m_Position, oldSize = m_Size;
  Seek(count, FROM_END, FORWARD);
  if (!SetEndOfFile(m_Handle)) {
    m_Position = oldPosition;
    m_Size = oldSize;
    RestorePointer();
    Throw(SEEK);
  }
}

} // namespace ZEBFile
