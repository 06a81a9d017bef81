// What the tool does with files that differs between the systems: making the
// directories and files of `extract` relative to directory handles it holds
// open, surviving reads of a mapped file that shrinks, and the test hook. One
// implementation per system, chosen by the build (FilesPosix.cpp,
// FilesWindows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zebfile {

class OutputFile;

// A directory held open. Everything below it is made relative to the handle,
// never by resolving a path again, never through a symbolic link (or reparse
// point), and never over an existing entry unless asked to.
class OutputDirectory {
public:
  // Opens `path` (in the system's narrow form), creating it and its parents
  // when missing. Throws ToolError.
  static std::unique_ptr<OutputDirectory> Open(std::string const& path);
  virtual ~OutputDirectory() = default;

  // Makes the subdirectory `name` (UTF-8) and opens it. When the name exists
  // gives nullptr, unless `reuse` is set and it is a directory (not a link).
  // Throws ToolError for other failures, with `shown` naming the entry.
  virtual std::unique_ptr<OutputDirectory> MakeDirectory(std::string const& name, bool reuse,
                                                         std::string const& shown) = 0;
  // Makes the new file `name` (UTF-8). When the name exists gives nullptr,
  // unless `replace` is set and it is a regular file: then the bytes go to a
  // new file that replaces it when finished.
  virtual std::unique_ptr<OutputFile> MakeFile(std::string const& name, bool replace, std::string const& shown) = 0;
};

// A file being written. Bytes go to it as they come; Finish closes it (and
// puts a replacement in place). A file not finished is left as far as it got;
// a replacement not finished is removed and the old file stays.
class OutputFile {
public:
  virtual ~OutputFile() = default;
  // Throws ToolError ("cannot write DIR/x: reason").
  virtual void Write(void const* data, size_t count) = 0;
  virtual void Finish() = 0;
};

// Reads of a mapped view that would fault because the file shrank meanwhile
// get zeros instead, and the view is marked. Register the view before reading
// it and unregister it before it is unmapped; at most a few hundred views at
// a time (one per file being read).
class MappedViewGuard {
public:
  MappedViewGuard(void const* view, size_t size);
  ~MappedViewGuard();
  MappedViewGuard(MappedViewGuard const&) = delete;
  MappedViewGuard& operator=(MappedViewGuard const&) = delete;
  // True once a read of the view faulted.
  bool Faulted() const noexcept;

private:
  int m_Slot = -1;
};

// The test seam: when ZEBFILE_TEST_HOOK names a shell command, runs it with
// the arguments `point` and `path` and waits for it ("created DIR/x" after
// extract made an entry, "mapped FILE" after a file was mapped), so that a test
// can change the files between two steps. Nothing happens on systems without
// a shell.
void TestHook(char const* point, std::string const& path);

} // namespace zebfile
