// The buffer for data that may not fit in memory: the bytes live in a
// temporary file created on first need, and one window of the stream is held
// in a memory buffer as a write-back cache.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile {

template <class Position> class CFileT;

class ZEBFILE_API DiskBuffer : public ZEB::BinaryStreamBufT<unsigned> {
public:
  // The temporary file goes to `path`, or, when it is empty, to the directory
  // TEMP (else TMP) named when the library was loaded. It is created
  // exclusively, private to its owner: a name already taken passes to the
  // next number, and after 100 taken names the access that needed the file
  // fails with FileCannotOpenException. The cache holds a window of
  // `memoryBufferSize` bytes in chunks of `chunkSize`; a size of 0 sends
  // every byte to the file.
  DiskBuffer(std::string const& path, uint32_t chunkSize, uint32_t memoryBufferSize);
  // Closes the temporary file, which the system then removes; bytes still in
  // the cache are dropped with it.
  ~DiskBuffer() override;

  uint32_t MemoryBufferSize() const noexcept { return m_CacheSize; }
  std::string const& Path() const noexcept { return m_Directory; }
  // The temporary file's path as the file class holds it, empty while there
  // is none.
  std::string FileName() const;

protected:
  uint32_t vPut(void const* data, uint32_t count) override;
  uint32_t vTellP() const override { return m_PutPos; }
  uint32_t vSeekP(uint32_t offset, Origin origin, Direction direction) override;
  uint32_t vGet(void* destination, uint32_t count) override;
  uint32_t vTellG() const override { return m_GetPos; }
  uint32_t vSeekG(uint32_t offset, Origin origin, Direction direction) override;
  void vFlush() override;
  void vClear() override;
  void vClearMemory() override;
  void vClearEnd() override;
  uint32_t vSize() const override { return m_Size; }
  bool vEndOfFile() const override { return m_GetPos == m_Size; }

private:
  static constexpr char const DEFAULT_NAME_TEMPLATE[] = "ZEBDiskBuffer-";
  static constexpr char const DEFAULT_NAME_EXT[] = "tmp";

  // directory/template<pid>-<n>[.extension], n counting up for the process.
  static std::string GetTempFileNameA(std::string const& directory, std::string const& nameTemplate,
                                      std::string const& extension);

  // The window is [window start, window start + cache size); its end is
  // counted in 64 bits so that a window near 4 GiB does not wrap.
  uint64_t WindowEnd() const noexcept { return uint64_t(m_WindowStart) + m_CacheSize; }
  bool InWindow(uint32_t offset) const noexcept { return offset >= m_WindowStart && offset < WindowEnd(); }
  // Bytes of the stream that lie in the window (all held by the cache).
  uint32_t WindowBytes() const noexcept;

  // The next free temporary name, created exclusively and open.
  std::unique_ptr<CFileT<unsigned>> CreateTempFile() const;
  void OpenAndSeek(uint32_t offset);
  void EnsureOffsetInCache(uint32_t offset);
  void WriteBack();
  void LoadWindow(uint32_t offset);
  uint32_t WriteToFile(void const* bytes, uint32_t offset, uint32_t count);
  uint32_t WriteToFile(MemoryBuffer& source, uint32_t offset, uint32_t count);
  uint32_t ReadFromFile(void* bytes, uint32_t offset, uint32_t count);
  uint32_t ReadFromFile(MemoryBuffer& destination, uint32_t offset, uint32_t count);
  // Closes and deletes the temporary file, if any.
  void RemoveFile();

  MemoryBuffer m_Cache;
  uint32_t m_WindowStart = 0;
  uint32_t m_CacheSize;
  bool m_Dirty = false;
  std::string m_Directory;
  std::unique_ptr<CFileT<unsigned>> m_File;
  uint32_t m_GetPos = 0;
  uint32_t m_PutPos = 0;
  uint32_t m_Size = 0;
};

} // namespace ZEBFile
