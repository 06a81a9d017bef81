// The library's exception classes: file-system and buffer errors under
// FileException, compound-file and property-set errors under OLEException.
#pragma once

#include <initializer_list>
#include <string>

#include "ZEB/Exception.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile {

class ZEBFILE_API FileException : public ZEB::Exception {
public:
  FileException();
  explicit FileException(char16_t const* text);
  explicit FileException(ZEB::WString const& text);
  explicit FileException(ZEB::SmartPtr<ZEB::MessageInfo> const& info);
  FileException(FileException const& other);
  FileException& operator=(FileException const& other);
  ~FileException() override;
  ZEB::BaseException* Copy() const override;
  void Throw() const override;
};

ZEB_DECLARE_EXCEPTION(ZEBFILE_API, FileCannotOpenException, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, FileAccessDeniedException, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, SharingViolationException, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, FileCannotDeleteException, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, FilePermissionDeniedException, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, WriteErrorException, FilePermissionDeniedException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, SeekOutOfRangeException, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, FileCannotCreateException, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, FileCannotCopyException, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, FileCannotMoveException, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, FileCannotSetAttributes, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, CannotRetrieveServerException, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, CannotListAllFilesException, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, DriveDoesNotExistException, FileException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, InvalidPathException, FileException);

namespace OLE {

class ZEBFILE_API OLEException : public ZEB::Exception {
public:
  OLEException();
  explicit OLEException(char16_t const* text);
  explicit OLEException(ZEB::WString const& text);
  explicit OLEException(ZEB::SmartPtr<ZEB::MessageInfo> const& info);
  OLEException(OLEException const& other);
  OLEException& operator=(OLEException const& other);
  ~OLEException() override;
  ZEB::BaseException* Copy() const override;
  void Throw() const override;
};

ZEB_DECLARE_EXCEPTION(ZEBFILE_API, NotAStorageOLEException, OLEException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, CorruptedStorageOLEException, OLEException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, StorageNotFoundOLEException, OLEException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, StreamNotFoundOLEException, OLEException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, NotAPropertyStorageOLEException, OLEException);
ZEB_DECLARE_EXCEPTION(ZEBFILE_API, CorruptedPropertyStorageOLEException, OLEException);

// The writer's refusals, with a text that names the entry and the reason:
// a name the format does not allow, and a call the writer cannot honour (an
// unknown parent, a stream past 4 GiB - 1, a write after Commit).
#define ZEBFILE_DECLARE_TEXT_EXCEPTION(Name)                                                         \
  class ZEBFILE_API Name : public OLEException {                                                     \
  public:                                                                                            \
    Name();                                                                                          \
    explicit Name(ZEB::WString const& text);                                                         \
    Name(Name const& other);                                                                         \
    ~Name() override;                                                                                \
    ZEB::BaseException* Copy() const override;                                                       \
    void Throw() const override;                                                                     \
  }
ZEBFILE_DECLARE_TEXT_EXCEPTION(InvalidNameOLEException);
ZEBFILE_DECLARE_TEXT_EXCEPTION(InvalidWriteOLEException);
#undef ZEBFILE_DECLARE_TEXT_EXCEPTION

} // namespace OLE

// Builds the message information of an operating-system failure: module
// "ZEBFile", the id, the throw site, the parameters in placeholder order and
// the calling thread's last system error. Call it before any other system
// call can overwrite that error.
ZEBFILE_API ZEB::SmartPtr<ZEB::MessageInfo> SystemErrorInfo(unsigned id, char const* file, int line,
                                                            std::initializer_list<std::string> parameters);

} // namespace ZEBFile
