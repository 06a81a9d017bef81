// Writes compound files (structured storage): storages and streams at any
// depth, version 3 (512-byte sectors) or 4 (4096-byte sectors), into a
// caller's buffer or into a file at a path. Stream bytes go to the output as
// they arrive; the allocation tables and the directory are written at Commit,
// so memory grows with the number of entries and sectors, not with the data.
// Streams under 4096 bytes go to the mini stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEB/Types.h"
#include "ZEBFile/PropertyStorage.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile::OLE {

struct StorageWriterOptions {
  unsigned version = 3; // 3: 512-byte sectors; 4: 4096-byte sectors
  // Also accept the names other writers produce: reserved characters
  // ('/', '\', ':', '!'), siblings equal ignoring case, 32 units.
  bool otherWritersNames = false;
};

class ZEBFILE_API StorageWriter {
public:
  using Buffer = ZEB::BinaryStreamBufT<unsigned>;

  using Options = StorageWriterOptions;

  static constexpr uint32_t ROOT = 0;             // the root storage's entry id
  static constexpr uint32_t MAX_NAME_LENGTH = 31; // UTF-16 units
  static constexpr uint32_t MINI_STREAM_CUTOFF = 4096;

  // The file is written from the buffer's put position; the buffer must
  // allow SeekP back to it and outlive the writer. A file past 4 GiB does
  // not fit a buffer (InvalidWriteOLEException).
  explicit StorageWriter(Buffer& out, Options const& options = Options());
  // The file is written to a new temporary file beside `path` (a name in the
  // system code page), renamed to `path` by Commit; a writer destroyed
  // without Commit, or a failed Commit, removes it and leaves `path` as it
  // was. Throws FileCannotCreateException when the temporary file cannot be
  // made.
  explicit StorageWriter(std::string const& path, Options const& options = Options());
  StorageWriter(StorageWriter const&) = delete;
  StorageWriter& operator=(StorageWriter const&) = delete;
  ~StorageWriter();

  // New entries under storage `parent` (ROOT or an id these gave); the new
  // entry's id. A name that is not allowed throws InvalidNameOLEException
  // and adds nothing; a parent that is no storage, or a stream still open,
  // throws InvalidWriteOLEException.
  uint32_t AddStorage(uint32_t parent, ZEB::WString const& name);
  uint32_t AddStream(uint32_t parent, ZEB::WString const& name, void const* data, uint32_t size);
  // A stream written in pieces: BeginStream, any number of WriteStream, then
  // EndStream (one stream is open at a time). A stream holds at most
  // 4 GiB - 1 bytes.
  uint32_t BeginStream(uint32_t parent, ZEB::WString const& name);
  void WriteStream(void const* data, uint32_t size);
  void EndStream();

  // Per entry (the root included): class id, state bits, creation and
  // modification times as file times (100 ns units since 1601; 0 for none).
  void SetClassId(uint32_t id, GUID const& classId);
  void SetStateBits(uint32_t id, uint32_t bits);
  void SetTimes(uint32_t id, uint64_t created, uint64_t modified);

  // Ends an open stream, writes the mini stream's last sector, the MiniFAT,
  // the directory, the FAT and DIFAT and the header, and for a path renames
  // the temporary file into place. Nothing can be added afterwards.
  void Commit();

  // How many names needed otherWritersNames.
  uint32_t OtherWritersNames() const noexcept;

  // The format's order of sibling names: shorter first, then unit by unit
  // upper-cased. Negative, 0 or positive.
  static int CompareNames(ZEB::WString const& a, ZEB::WString const& b) noexcept;

private:
  struct Impl;
  std::unique_ptr<Impl> m;
};

} // namespace ZEBFile::OLE
