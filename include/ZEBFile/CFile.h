// The file class: one operating-system file handle with its path, a cached
// 32-bit position and size, and every system failure turned into one of the
// library's exceptions. The disk buffer keeps its temporary file through it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEB/Handle.h"
#include "ZEBFile/Path.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile {

class ZEBFILE_API CFileBase {
public:
  // What failed, for Throw. Values 2 and 4 name nothing: Throw passes over
  // them, as over any other value outside the list.
  enum Action : int {
    OPEN_READ = 0,
    OPEN_WRITE = 1,
    DELETE_FILE = 3,
    SEEK = 5,
    WRITE_DATA = 6,
    READ_DATA = 7,
    GET_ATTRIBUTES = 8
  };

  CFileBase(CFileBase const&) = delete;
  CFileBase& operator=(CFileBase const&) = delete;

  // Write `elementSize` × `count` bytes at the position, or read them; both
  // give the bytes moved.
  virtual uint32_t Write(void const* data, uint32_t elementSize, uint32_t count) = 0;
  virtual uint32_t Read(void* buffer, uint32_t elementSize, uint32_t count, bool exact) = 0;

  PathT<char> const& Path() const noexcept { return m_Path; }

protected:
  explicit CFileBase(std::string const& path);
  virtual ~CFileBase();

  // Throws the exception of `action` for the calling thread's last system
  // error, with the path as the message parameter. Returns for an action
  // outside the list.
  void Throw(Action action) const;

  PathT<char> m_Path;
  // Drive letter -> sparse-file support. Nothing fills or reads it.
  static std::map<char, bool> m_mSparseDrive;
};

// The template parameter is the position type; 32-bit unsigned is the one
// there is.
template <class Position> class CFileT;

template <> class ZEBFILE_API CFileT<unsigned> : public CFileBase {
public:
  // Access hints, given to the system when the file is opened.
  enum AccessHint : uint32_t {
    HINT_NORMAL = 0,
    HINT_SEQUENTIAL = 1,
    HINT_RANDOM = 2,
    HINT_TEMPORARY = 3,
    HINT_DELETE_ON_CLOSE = 4
  };
  // READ shares the file with other readers and writers; the write modes
  // hold it exclusively. READ_WRITE opens or creates, CREATE truncates.
  enum OpenMode : uint32_t { READ = 0, READ_WRITE = 1, CREATE = 2 };
  // Origins of Seek, counted as the system counts them (unlike the buffers'
  // Origin, where 1 is the end).
  enum MoveMethod : uint32_t { FROM_BEGIN = 0, FROM_CURRENT = 1, FROM_END = 2 };
  using Direction = ZEB::BinaryStreamBufT<unsigned>::Direction;
  static constexpr Direction FORWARD = ZEB::BinaryStreamBufT<unsigned>::FORWARD;
  static constexpr Direction BACKWARD = ZEB::BinaryStreamBufT<unsigned>::BACKWARD;

  // Opens nothing. Unbuffered adds write-through to the open flags; `keep`
  // is kept and not consulted.
  explicit CFileT(std::string const& path, uint32_t accessHint = HINT_NORMAL, bool buffered = true,
                  bool keep = false);
  ~CFileT() override;

  // A write or read that moves fewer bytes than asked (an exact read) or
  // would carry the position past 0xFFFFFFFF throws and leaves the
  // position, the size and the system's file pointer as they were.
  uint32_t Write(void const* data, uint32_t elementSize, uint32_t count) override;
  uint32_t Read(void* buffer, uint32_t elementSize, uint32_t count, bool exact) override;

  // Opens in `mode`, replacing the handle held; gives the file's size. Other
  // mode values open nothing and give 0.
  virtual uint32_t Open(uint32_t mode);
  // Opens as CREATE does, but only where nothing exists at the path: an
  // existing file, or a link (never followed), makes it throw
  // FileCannotOpenException with ERROR_FILE_EXISTS as the system error.
  void CreateNew();
  virtual void Close();
  // Closes, then removes the file when it exists.
  virtual void Delete();
  virtual uint32_t Tell() const { return m_Position; }
  virtual bool EndOfFile() const { return m_Position == m_Size; }
  // Moves the position by `offset` from `origin` (a MoveMethod). A failure
  // leaves the position where it was.
  virtual void Seek(uint32_t offset, uint32_t origin, Direction direction);
  // The largest of the size found at Open and every position reached since.
  virtual uint32_t Size() const { return m_Size; }
  // Cuts or extends the file to `size`; with the size unchanged only when
  // forced.
  virtual void SetSize(uint32_t size, bool force);
  // Pushes the system's buffers to the disk when the file is writable.
  virtual void Flush();
  // Extends the file by `count` bytes beyond its end.
  virtual void Grow(uint32_t count);

  bool IsOpen() const noexcept { return m_Handle.IsValid(); }
  uint32_t AccessHintValue() const noexcept { return m_AccessHint; }
  bool Buffered() const noexcept { return m_Buffered; }
  bool Writable() const noexcept { return m_Writable; }
  bool Keep() const noexcept { return m_Keep; }

private:
  uint32_t OpenFlags() const noexcept;
  // Opens with the access and sharing of `mode` and the system's creation
  // `disposition`; false, the last error kept, when the system refuses.
  bool OpenHandle(uint32_t mode, uint32_t disposition);
  // Moves the system's pointer back to the cached position (after a failed
  // transfer), keeping the calling thread's last error.
  void RestorePointer() noexcept;
  // Throws `action` with `error` as the recorded system error.
  void ThrowWith(Action action, uint32_t error) const;

  ZEB::Handle m_Handle;
  uint32_t m_AccessHint;
  bool m_Buffered;
  bool m_Writable = false;
  bool m_Keep;
  uint32_t m_Position = 0;
  uint32_t m_Size = 0;
  // Context of a backup read; nothing sets it, the destructor releases one.
  void* m_BackupContext = nullptr;
};

} // namespace ZEBFile
