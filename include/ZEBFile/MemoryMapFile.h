// A named file mapped into memory: one mapping object over the mapped size,
// views of it handed out by file offset (one per offset), flushes, resizes
// and deletion, every failure thrown with the library's catalog message and
// the file name.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "ZEB/Handle.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile {

class ZEBFILE_API MemoryMapFile {
public:
  // READ shares the file with readers and writers and opens an existing file
  // only; READ_WRITE opens or creates it, CREATE always starts it empty; both
  // hold it exclusively.
  enum OpenMode : int { READ = 0, READ_WRITE = 1, CREATE = 2 };
  // What failed, for Throw. Value 2 names nothing: Throw passes over it, as
  // over any other value outside the list.
  enum Action : int { OPEN_READ = 0, OPEN_WRITE = 1, DELETE_FILE = 3, GET_VIEW = 4, RELEASE_VIEW = 5 };

  // Opens nothing.
  explicit MemoryMapFile(std::string const& fileName);
  MemoryMapFile(MemoryMapFile const&) = delete;
  MemoryMapFile& operator=(MemoryMapFile const&) = delete;
  virtual ~MemoryMapFile();

  // Opens the file and maps it: in READ mode the file's own size (an empty
  // file gets no mapping and so no view), in the writing modes at least one
  // allocation granularity (the mapping grows the file). An object already
  // open is closed first.
  void Open(OpenMode mode);
  // Writes back and releases every view, then closes the mapping and the file.
  void Close();
  // Closes, then removes the file when it exists.
  void Delete();
  // Releases every view (without writing them back first) and flushes the
  // file's buffers; the mapping stays usable.
  void Flush();
  // Releases every view and maps `size` bytes; a smaller size cuts the file.
  void Resize(uint64_t size);

  uint64_t Size() const noexcept { return m_Size; }
  bool IsOpen() const noexcept { return m_File.IsValid(); }
  std::string const& GetFilename() const noexcept { return m_FileName; }
  uint32_t NbrView() const noexcept { return static_cast<uint32_t>(m_Views.size()); }
  // The system's allocation granularity: view offsets are multiples of it.
  uint32_t Granularity() const noexcept { return m_Granularity; }

  // The view at `offset` (a multiple of the granularity) of `size` bytes; a
  // size of 0 maps one granularity, or what remains of the mapping when that
  // is less. A view already made at `offset` is returned whatever its size.
  void* GetView(uint64_t offset, uint32_t size);
  // Unmaps the view at `offset`, written back first when `flush` is set; an
  // offset without a view is left alone.
  void ReleaseView(uint64_t offset, bool flush);
  // Writes back `size` bytes (0: all) of the view at `offset`.
  void FlushView(uint64_t offset, uint32_t size);
  bool IsViewExist(uint64_t offset) const { return m_Views.count(offset) != 0; }

private:
  void CreateFileMappingObject();
  // Unmaps every view, written back first when `flush` is set.
  void UnmapViews(bool flush) noexcept;
  // Throws the exception of `action` for the calling thread's last system
  // error, with the file name as the message parameter.
  void Throw(Action action) const;
  // Throws `action` with `error` as the recorded system error.
  void ThrowWith(Action action, uint32_t error) const;

  std::string m_FileName;
  ZEB::Handle m_File;
  OpenMode m_Mode = READ;
  ZEB::Handle m_Mapping;
  std::map<uint64_t, void*> m_Views;
  uint64_t m_Size = 0;
  uint32_t m_Granularity;
};

} // namespace ZEBFile
