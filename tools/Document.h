// One compound file opened for reading: the file mapped into memory and
// presented to the reader as a read-only buffer over the view, without a
// copy; its storage tree walked in a stable order; failures told in words.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ZEB/SmartPtr.h"
#include "ZEB/Types.h"
#include "ZEBFile/MemoryMapFile.h"
#include "ZEBFile/StaticMemoryBuffer.h"
#include "ZEBFile/Storage.h"

namespace zebfile {

// A failure the tool words itself.
class ToolError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The reason for the exception being handled, in a few words
// ("not a compound file"). Call it inside a catch block.
std::string DescribeCurrentException();

// Where the reader keeps the mini stream while a file is open: the system's
// temporary directory. Throws ToolError when there is none.
std::string const& TemporaryDirectory();

class MappedViewGuard;

// A file that shrank or was written while it was read.
constexpr char const* FILE_CHANGED = "the file changed while it was read";

class Document {
public:
  using Storage = ZEBFile::OLE::Storage;

  // Throws ToolError for a missing file, a directory or a file over 4 GiB, and
  // the library's exceptions for one it cannot open or read; ToolError
  // (FILE_CHANGED) when the file changed meanwhile.
  explicit Document(std::string const& fileName);
  ~Document();
  Document(Document const&) = delete;
  Document& operator=(Document const&) = delete;

  ZEB::SmartPtr<Storage> const& Root() const noexcept { return m_Root; }
  uint64_t FileSize() const noexcept { return m_Size; }

  // Runs `read`, which reads the document. When the file changed while it was
  // read (a read of the view faulted because the file shrank, or its size or
  // modification time are not those it was opened with), what `read` gave or
  // threw gives way to ToolError(FILE_CHANGED).
  void Read(std::function<void()> const& read) const;

private:
  bool Changed() const;
  void ThrowWhenChanged() const;

  std::string m_Name;
  uint64_t m_Size = 0;
  std::filesystem::file_time_type m_Modified;
  // Destroyed in reverse order: the reader, then the guard, then the view.
  std::unique_ptr<ZEBFile::MemoryMapFile> m_Map;
  std::unique_ptr<MappedViewGuard> m_Guard;
  std::unique_ptr<ZEBFile::StaticMemoryBuffer> m_Buffer;
  ZEB::SmartPtr<Storage> m_Root;
};

// One storage or stream below the root.
struct TreeEntry {
  std::vector<ZEB::WString> path; // names from below the root to the entry
  bool isStorage;
  uint32_t size;     // 0 for a storage
  uint32_t id;       // directory entry id
  uint32_t parentId; // the id of the storage holding it (0 for the root)
  ZEB::SmartPtr<Document::Storage> parent;
};

// Storages nested deeper than this are a damaged or hostile file.
constexpr size_t MAX_DEPTH = 256;

// Visits every entry below `root` once, depth first, each storage's children
// in the order of their names (UTF-16 units), a storage before its content
// (the reader lists each entry in one storage only, so the walk ends);
// nesting deeper than MAX_DEPTH throws ToolError.
void WalkTree(ZEB::SmartPtr<Document::Storage> const& root, std::function<void(TreeEntry const&)> const& visit);

} // namespace zebfile
