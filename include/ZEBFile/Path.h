// The path value: a narrow Windows path kept in one canonical form, with a
// lazily built lower-case copy and a cache of the file's attributes, size and
// modification date; the queries and operations on the file it names; the
// function through which every path error is thrown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ZEB/BinaryStream.h"
#include "ZEB/DateTime.h"
#include "ZEB/SmartPtr.h"
#include "ZEB/Types.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile {

template <class C> class PathT;
template <class C> class PathComparatorT;

template <> class ZEBFILE_API PathT<char> : public ZEB::SPRefCounter {
public:
  static constexpr char PATH_EXTENSION_SEPARATOR = '.';
  static constexpr char PATH_DRIVE_SEPARATOR = ':';
  static constexpr char PATH_SEPARATOR = '\\';
  static constexpr char PATH_ROOT = '\\';
  static constexpr char PATH_SPACE = ' ';
  static constexpr char PATH_SLASH = '/';
  static constexpr char PATH_CURRENT = '.';
  static std::string const PATH_SEPARATORS;       // backslash and slash
  static std::string const PATH_EMPTY_STRING;     // ""
  static std::string const PATH_DEFAULT_FILTER;   // "*.*"
  static std::string const PATH_FILE_SCHEME;      // "file:" and two backslashes
  static std::string const PATH_UNC_ROOT;         // two backslashes
  static std::string const PATH_DOUBLE_SEPARATOR; // two backslashes
  static std::string const PATH_PARENT;           // ".."

  enum ChangeExtensionMode : int { ADD_EXTENSION = 0, LAST_EXTENSION = 1, ALL_EXTENSIONS = 2 };

  // The platform's file-attribute bits.
  enum FileAttributes : int {
    READ_ONLY = 0x1,
    HIDDEN = 0x2,
    SYSTEM = 0x4,
    DIRECTORY = 0x10,
    ARCHIVE = 0x20,
    NORMAL = 0x80,
    TEMPORARY = 0x100,
    REPARSE_POINT = 0x400,
    OFFLINE = 0x1000,
    NOT_CONTENT_INDEXED = 0x2000
  };

  // "." as it stands, without canonicalisation.
  PathT();
  PathT(char const* text);
  PathT(std::string const& text);
  PathT(PathT const& other);
  ~PathT() override;

  PathT& operator=(PathT const& other);
  PathT& operator=(std::string const& text);
  PathT& operator=(char const* text);

  // AddRef and Release (inherited) change the count interlocked and give the
  // count their change left; the Release that reaches 0 destroys the object.
  int32_t NbRef() const noexcept { return RefCountValue(); }

  std::string const& FullPath() const noexcept { return m_FullPath; }
  std::string const& operator*() const noexcept { return m_FullPath; }
  std::string const* operator->() const noexcept { return &m_FullPath; }
  std::string const& FullPathLowerCase() const;

  // Byte-exact comparisons of the full path; a string argument is taken as
  // it stands.
  bool operator==(std::string const& text) const noexcept { return m_FullPath == text; }
  bool operator==(PathT const& other) const noexcept { return m_FullPath == other.m_FullPath; }
  bool operator!=(std::string const& text) const noexcept { return m_FullPath != text; }
  bool operator!=(PathT const& other) const noexcept { return m_FullPath != other.m_FullPath; }
  bool operator<(std::string const& text) const noexcept { return m_FullPath < text; }
  bool operator<(PathT const& other) const noexcept { return m_FullPath < other.m_FullPath; }

  // Shape of the text.
  bool HasDrive() const noexcept;
  bool IsUNC() const noexcept;
  bool IsAbsolute() const noexcept;
  bool IsRelative() const noexcept { return !IsAbsolute(); }
  // ".", "..", or a path ending in one of them (separators after it allowed).
  static bool IsDotDirectory(std::string const& text);

  // Components.
  std::string FileName() const;
  std::string FileExtension() const;
  // The path itself with a separator when it is an existing directory,
  // otherwise its drive and directory parts; ends with a separator unless empty.
  std::string Directory() const;
  // 'C:\' for a drive path, '\\server\' for a UNC path, otherwise empty.
  std::string Root() const;
  std::string GetURI() const { return MakeURI(m_FullPath); }
  static std::string MakeURI(std::string const& path);
  std::string GetServer() const;

  // Throws std::out_of_range for an empty or all-dots extension.
  PathT& ChangeExtension(std::string const& extension, ChangeExtensionMode mode);
  // The current directory of the process ('.') or of a drive letter.
  static PathT GetCurrentPath(char const& drive);

  // Cached information about the file; each query reads the disk while the
  // attributes are unknown.
  bool Exists() const;
  bool IsDirectory() const;
  bool IsFile() const;
  bool IsReadOnly() const;
  bool IsReadable() const;
  bool IsWritable() const;
  bool IsHidden() const;
  bool IsNotIndexed() const;
  uint64_t const& Size() const;
  ZEB::DateTime const& GetLastModificationDate() const;
  void SetAttribute(FileAttributes attribute, bool set);
  // Forgets the cached information; nothing on disk changes.
  void ClearAttributes() noexcept { m_Attributes = -1; }

  bool IsLocal() const;
  // True exactly when the network provider answers "not connected".
  bool GetFullPathAsUNC(std::string& out) const;
  // Free bytes available to the caller on the volume; 0 when unknown.
  uint64_t GetAvailableDiskSpace() const;

  // File-system operations.
  void CreateDir() const;
  void CreateFileA() const;
  void Delete(bool force);
  void RecursiveDelete(bool force);
  // The flag is the platform copy's fail-if-exists flag.
  static void Copy(std::string const& source, std::string const& target, bool failIfExists);
  // The flag means overwrite.
  void Copy(std::string const& target, bool overwrite) const;
  static void Move(std::string const& source, std::string const& target);
  void Move(std::string const& target);
  static void Rename(std::string const& source, std::string const& target);
  void Rename(std::string const& target);
  void GetFileList(std::vector<PathT>& out, std::string const& filter) const;
  // `stop` is read after each entry with an atomic load; another thread may
  // set it to end the listing, with an atomic store (std::atomic_ref in
  // C++20, __atomic_store_n before).
  void GetFileListInterruptable(std::vector<PathT>& out, bool const& stop, std::string const& filter) const;
  void GetFileListSP(std::vector<ZEB::SmartPtr<PathT>>& out, std::string const& filter) const;
  void RetrieveCasing();

private:
  friend ZEBFILE_API ZEB::BinaryStreamT<unsigned>& operator>>(ZEB::BinaryStreamT<unsigned>& stream, PathT& path);

  void Initialize();
  void Canonicalize();
  // The full path took another text: the lower-case copy and the
  // attributes are no longer valid.
  void Forget() noexcept;

  void RefreshInfo() const;
  int32_t GetAttributes() const;
  bool HasAttribute(int32_t bits) const;
  static std::string ComputerName();
  template <class Sink> void List(std::string const& filter, bool const* stop, Sink&& sink) const;
  template <class Op> void MoveTo(std::string const& target, Op&& op);

  // Platform wrappers: the call and the conversion of its result, nothing
  // else. Win32 records are passed as void* so that this header stays free
  // of platform types.
  static bool GetFileAttributesExWrp(char const* path, void* attributeData);
  static uint32_t GetFileAttributesWrp(char const* path);
  static int SetFileAttributesWrp(char const* path, uint32_t attributes);
  static void SplitPathWrp(char const* path, char* drive, char* directory, char* name, char* extension);
  static int MkDirWrp(char const* path);
  static int RmDirWrp(char const* path);
  static int UnlinkWrp(char const* path);
  static int CopyFileWrp(char const* source, char const* target, bool failIfExists);
  static int MoveFileWrp(char const* source, char const* target);
  static int RenameWrp(char const* source, char const* target);
  static bool GetDiskFreeSpaceExWrp(char const* path, uint64_t* freeToCaller, uint64_t* total, uint64_t* totalFree);
  static int GetComputerNameWrp(char* buffer, uint32_t* size);
  static uint32_t GetDriveTypeWrp(char const* root);
  static bool GetFullPathNameWrp(char const* path, uint32_t size, char* buffer, char** filePart);
  static bool GetCurrentDirectoryWrp(uint32_t size, char* buffer);
  static uint32_t WNetGetUniversalNameWrp(char const* path, uint32_t level, void* buffer, uint32_t* size);
  static bool CreateFileWrp(char const* path);

  std::string m_FullPath;
  mutable std::string m_FullPathLowerCase;
  mutable int32_t m_Attributes;
  mutable ZEB::DateTime m_LastModificationDate;
  mutable uint64_t m_Size;
};

// Orders paths for sets and maps, with or without letter case.
template <> class ZEBFILE_API PathComparatorT<char> {
public:
  explicit PathComparatorT(bool caseSensitive) noexcept : m_CaseSensitive(caseSensitive) {}
  bool operator()(PathT<char> const& a, PathT<char> const& b) const;

private:
  bool m_CaseSensitive;
};

// Raises the path errors with their catalog messages.
class ZEBFILE_API PathTThrow {
public:
  enum ErrorType : int {
    CANNOT_RETRIEVE_SERVER = 0,
    DRIVE_DOES_NOT_EXIST = 1,
    CANNOT_CREATE = 2,
    CANNOT_DELETE = 3,
    CANNOT_COPY = 4,
    CANNOT_MOVE = 5,
    CANNOT_SET_ATTRIBUTES = 6,
    CANNOT_LIST_ALL_FILES = 7
  };

  PathTThrow& operator=(PathTThrow const&) = default;

  // A value outside the enumeration throws nothing and returns.
  static void ThrowError(ErrorType type, std::string const& first, std::string const& second);
  static void ThrowError(ErrorType type, ZEB::WString const& first, ZEB::WString const& second);
};

// The binary form: the byte count (16-bit, or FF FF and a 32-bit count from
// 65535 bytes on), then the bytes of the full path.
ZEBFILE_API ZEB::BinaryStreamT<unsigned>& operator<<(ZEB::BinaryStreamT<unsigned>& stream, PathT<char> const& path);
ZEBFILE_API ZEB::BinaryStreamT<unsigned>& operator>>(ZEB::BinaryStreamT<unsigned>& stream, PathT<char>& path);

} // namespace ZEBFile
