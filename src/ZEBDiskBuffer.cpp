#include "ZEBFile/DiskBuffer.h"

#include <algorithm>
#include <stdexcept>

#include "SeekRules.h"
#include "ZEBFile/CFile.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBPlatform/Win32.h"

namespace ZEBFile {

namespace {

using File = CFileT<unsigned>;

// Window reloads, and write-backs of a cache in small chunks, go through a
// stack area of this size.
constexpr uint32_t TRANSFER_PIECE = 32768;
// Chunks at least this large go from the cache to the file as they are;
// smaller ones are gathered in the stack area first.
constexpr uint32_t DIRECT_CHUNK = 4096;
// How many taken names a new temporary file passes over before giving up.
constexpr int NAME_TRIES = 100;

// What the temporary names are made of, fixed when the library is loaded:
// the default directory, the process id, and the counter with its lock.
class TempNames {
public:
  TempNames() : m_Directory(DefaultDirectory()), m_ProcessId(_getpid()) { InitializeCriticalSection(&m_Lock); }
  ~TempNames() { DeleteCriticalSection(&m_Lock); }
  TempNames(TempNames const&) = delete;
  TempNames& operator=(TempNames const&) = delete;

  std::string const& Directory() const noexcept { return m_Directory; }
  int ProcessId() const noexcept { return m_ProcessId; }

  int32_t Next() {
    EnterCriticalSection(&m_Lock);
    m_Counter = static_cast<int32_t>(static_cast<uint32_t>(m_Counter) + 1);
    int32_t value = m_Counter;
    LeaveCriticalSection(&m_Lock);
    return value;
  }

private:
  static std::string DefaultDirectory() {
    for (char const* name : {"TEMP", "TMP"})
      if (char const* value = ZEBPlatformGetEnv(name))
        return value;
    return std::string();
  }

  std::string m_Directory;
  int m_ProcessId;
  int32_t m_Counter = 0;
  CRITICAL_SECTION m_Lock;
};

TempNames g_TempNames;

// A write-only stream onto the file: the cache hands its chunks to it, so
// that a window goes out without passing through a copy.
class FileSink final : public ZEB::BinaryStreamBufT<unsigned> {
public:
  explicit FileSink(File& file) : m_File(file) {}

protected:
  uint32_t vPut(void const* data, uint32_t count) override { return m_File.Write(data, 1, count); }
  uint32_t vTellP() const override { return m_File.Tell(); }
  uint32_t vSeekP(uint32_t, Origin, Direction) override { return Unsupported(); }
  uint32_t vGet(void*, uint32_t) override { return 0; }
  uint32_t vTellG() const override { return 0; }
  uint32_t vSeekG(uint32_t, Origin, Direction) override { return Unsupported(); }
  void vFlush() override {}
  void vClear() override { Unsupported(); }
  void vClearMemory() override { Unsupported(); }
  void vClearEnd() override { Unsupported(); }
  uint32_t vSize() const override { return m_File.Size(); }
  bool vEndOfFile() const override { return true; }

private:
  static uint32_t Unsupported() { throw std::logic_error("DiskBuffer file sink: Not implemented!"); }
  File& m_File;
};

} // namespace

DiskBuffer::DiskBuffer(std::string const& path, uint32_t chunkSize, uint32_t memoryBufferSize)
    : BinaryStreamBufT(RANDOM_ACCESS), m_Cache(chunkSize), m_CacheSize(memoryBufferSize), m_Directory(path) {}

DiskBuffer::~DiskBuffer() {
  try {
    RemoveFile();
  } catch (...) {
    // The file object is gone and its handle closed: the system removes the
    // file; a failure to remove it a second time is of no interest here.
  }
}

std::string DiskBuffer::FileName() const { return m_File ? *m_File->Path() : std::string(); }

std::string DiskBuffer::GetTempFileNameA(std::string const& directory, std::string const& nameTemplate,
                                         std::string const& extension) {
  std::string name = directory.empty() ? g_TempNames.Directory() : directory;
  name += '/';
  name += nameTemplate;
  name += std::to_string(g_TempNames.ProcessId());
  name += '-';
  name += std::to_string(g_TempNames.Next());
  if (!extension.empty()) {
    name += '.';
    name += extension;
  }
  return name;
}

uint32_t DiskBuffer::WindowBytes() const noexcept {
  if (m_Size <= m_WindowStart)
    return 0;
  return std::min(m_Size - m_WindowStart, m_CacheSize);
}

// The file object owns the file only once it is open, so that a failed open
// leaves no half-made file behind.
void DiskBuffer::OpenAndSeek(uint32_t offset) {
  if (!m_File)
    m_File = CreateTempFile();
  if (m_File->Tell() != offset)
    m_File->Seek(offset, File::FROM_BEGIN, File::FORWARD);
}

// The names are easy to foresee and the directory may be shared: the file is
// created exclusively, so that nothing planted at a name (a file, a link to
// someone else's file) is ever opened, truncated or removed; a name taken
// passes to the next number, up to NAME_TRIES names.
std::unique_ptr<CFileT<unsigned>> DiskBuffer::CreateTempFile() const {
  for (int tries = 1;; ++tries) {
    auto file = std::make_unique<File>(GetTempFileNameA(m_Directory, DEFAULT_NAME_TEMPLATE, DEFAULT_NAME_EXT),
                                       File::HINT_DELETE_ON_CLOSE, true);
    try {
      file->CreateNew();
      return file;
    } catch (FileCannotOpenException const& error) {
      uint32_t cause = error.Info() ? error.Info()->LastError() : 0;
      if (tries == NAME_TRIES || (cause != ERROR_FILE_EXISTS && cause != ERROR_ALREADY_EXISTS))
        throw;
    }
  }
}

uint32_t DiskBuffer::WriteToFile(void const* bytes, uint32_t offset, uint32_t count) {
  OpenAndSeek(offset);
  return m_File->Write(bytes, 1, count);
}

uint32_t DiskBuffer::WriteToFile(MemoryBuffer& source, uint32_t offset, uint32_t count) {
  OpenAndSeek(offset);
  unsigned char piece[TRANSFER_PIECE];
  uint32_t done = 0;
  while (done < count) {
    uint32_t got = source.Get(piece, std::min(TRANSFER_PIECE, count - done));
    if (got == 0)
      break;
    done += m_File->Write(piece, 1, got);
  }
  return done;
}

uint32_t DiskBuffer::ReadFromFile(void* bytes, uint32_t offset, uint32_t count) {
  OpenAndSeek(offset);
  return m_File->Read(bytes, 1, count, true);
}

// Every byte of the range is in the file (the window it belonged to was
// written back before it moved), so a short read is an error, not an end.
uint32_t DiskBuffer::ReadFromFile(MemoryBuffer& destination, uint32_t offset, uint32_t count) {
  OpenAndSeek(offset);
  unsigned char piece[TRANSFER_PIECE];
  uint32_t done = 0;
  while (done < count) {
    uint32_t got = m_File->Read(piece, 1, std::min(TRANSFER_PIECE, count - done), true);
    destination.PutAll(piece, got);
    done += got;
  }
  return done;
}

void DiskBuffer::WriteBack() {
  if (!m_Dirty)
    return;
  if (uint32_t n = WindowBytes()) {
    m_Cache.SeekG(0);
    if (m_Cache.ChunkSize() < DIRECT_CHUNK) {
      WriteToFile(m_Cache, m_WindowStart, n);
    } else {
      OpenAndSeek(m_WindowStart);
      FileSink sink(*m_File);
      m_Cache.Copy(sink, n);
    }
  }
  m_Dirty = false;
}

// On a failed read the window is parked at the end of the data, where an
// empty cache is the truth.
void DiskBuffer::LoadWindow(uint32_t offset) {
  m_Cache.Clear();
  m_WindowStart = offset;
  uint32_t n = WindowBytes();
  if (n == 0)
    return;
  try {
    ReadFromFile(m_Cache, offset, n);
  } catch (...) {
    m_Cache.Clear();
    m_WindowStart = m_Size;
    throw;
  }
}

void DiskBuffer::EnsureOffsetInCache(uint32_t offset) {
  if (m_CacheSize == 0 || InWindow(offset))
    return;
  WriteBack();
  LoadWindow(offset);
}

// Bytes that would carry the put position past 0xFFFFFFFF are not taken.
// The size follows every piece, so that a write failing half-way leaves the
// bytes already taken counted.
uint32_t DiskBuffer::vPut(void const* data, uint32_t count) {
  auto const* from = static_cast<unsigned char const*>(data);
  count = std::min(count, UINT32_MAX - m_PutPos);
  for (uint32_t left = count; left != 0;) {
    uint32_t piece;
    if (m_PutPos < m_WindowStart) {
      piece = std::min(left, m_WindowStart - m_PutPos);
      WriteToFile(from, m_PutPos, piece);
    } else if (InWindow(m_PutPos)) {
      piece = static_cast<uint32_t>(std::min<uint64_t>(left, WindowEnd() - m_PutPos));
      m_Cache.SeekP(m_PutPos - m_WindowStart);
      m_Cache.PutAll(from, piece);
      m_Dirty = true;
    } else {
      piece = left;
      WriteToFile(from, m_PutPos, piece);
    }
    from += piece;
    left -= piece;
    m_PutPos += piece;
    m_Size = std::max(m_Size, m_PutPos);
  }
  EnsureOffsetInCache(m_PutPos);
  return count;
}

uint32_t DiskBuffer::vGet(void* destination, uint32_t count) {
  auto* to = static_cast<unsigned char*>(destination);
  uint32_t n = std::min(count, m_Size - m_GetPos);
  for (uint32_t left = n; left != 0;) {
    uint32_t piece;
    if (m_GetPos < m_WindowStart) {
      piece = std::min(left, m_WindowStart - m_GetPos);
      ReadFromFile(to, m_GetPos, piece);
    } else if (InWindow(m_GetPos)) {
      piece = static_cast<uint32_t>(std::min<uint64_t>(left, WindowEnd() - m_GetPos));
      m_Cache.SeekG(m_GetPos - m_WindowStart);
      m_Cache.GetAll(to, piece);
    } else {
      piece = left;
      ReadFromFile(to, m_GetPos, piece);
    }
    to += piece;
    left -= piece;
    m_GetPos += piece;
  }
  EnsureOffsetInCache(m_GetPos);
  return n;
}

// Seeks never move the window nor extend the data; a target beyond the size
// is refused and the position stays where it was. The cache is positioned
// when it is used, not here.
uint32_t DiskBuffer::vSeekP(uint32_t offset, Origin origin, Direction direction) {
  uint32_t target = SeekTarget(offset, origin, direction, m_Size, m_PutPos);
  if (target > m_Size)
    throw SeekOutOfRangeException();
  return m_PutPos = target;
}

uint32_t DiskBuffer::vSeekG(uint32_t offset, Origin origin, Direction direction) {
  uint32_t target = SeekTarget(offset, origin, direction, m_Size, m_GetPos);
  if (target > m_Size)
    throw SeekOutOfRangeException();
  return m_GetPos = target;
}

void DiskBuffer::vFlush() {
  if (m_File)
    m_File->Flush();
}

// The file is cut first, so that a failure leaves the buffer as it was. The
// cache keeps exactly the window's bytes below the new end; a window lying
// wholly beyond it keeps nothing and has nothing left to write back.
void DiskBuffer::vClearEnd() {
  if (m_File)
    m_File->SetSize(m_PutPos, true);
  m_Size = m_PutPos;
  m_GetPos = std::min(m_GetPos, m_Size);
  if (m_PutPos < m_WindowStart) {
    m_Cache.Clear();
    m_Dirty = false;
    return;
  }
  m_Cache.SeekP(std::min(m_PutPos - m_WindowStart, m_Cache.Size()));
  m_Cache.ClearEnd();
}

// Empties everything; the next access to a file makes a new one.
void DiskBuffer::vClear() {
  ClearLookAhead();
  m_GetPos = m_PutPos = m_Size = 0;
  m_Cache.Clear();
  m_Dirty = false;
  m_WindowStart = 0;
  RemoveFile();
}

void DiskBuffer::vClearMemory() { m_Cache.ClearMemory(); }

void DiskBuffer::RemoveFile() {
  if (!m_File)
    return;
  std::unique_ptr<File> file = std::move(m_File);
  file->Delete();
}

} // namespace ZEBFile
