#include "ZEBFile/Exceptions.h"

#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPlatform/Win32.h"

namespace ZEBFile {

namespace {
// The shared empty text of exceptions raised without a message.
ZEB::WString const EMPTY_TEXT;
} // namespace

#define ZEBFILE_DEFINE_ROOT_EXCEPTION(Name)                                                          \
  Name::Name() : ZEB::Exception(EMPTY_TEXT) {}                                                       \
  Name::Name(char16_t const* text) : ZEB::Exception(ZEB::WString(text ? text : u"")) {}              \
  Name::Name(ZEB::WString const& text) : ZEB::Exception(text) {}                                     \
  Name::Name(ZEB::SmartPtr<ZEB::MessageInfo> const& info) : ZEB::Exception(info) {}                  \
  Name::Name(Name const& other) = default;                                                           \
  Name& Name::operator=(Name const& other) {                                                         \
    if (this != &other)                                                                              \
      ZEB::BaseException::operator=(other);                                                          \
    return *this;                                                                                    \
  }                                                                                                  \
  Name::~Name() = default;                                                                           \
  ZEB::BaseException* Name::Copy() const { return ZEB::CopyException(*this); }                       \
  void Name::Throw() const { throw Name(*this); }

ZEBFILE_DEFINE_ROOT_EXCEPTION(FileException)
ZEB_DEFINE_EXCEPTION(FileCannotOpenException, FileException)
ZEB_DEFINE_EXCEPTION(FileAccessDeniedException, FileException)
ZEB_DEFINE_EXCEPTION(SharingViolationException, FileException)
ZEB_DEFINE_EXCEPTION(FileCannotDeleteException, FileException)
ZEB_DEFINE_EXCEPTION(FilePermissionDeniedException, FileException)
ZEB_DEFINE_EXCEPTION(WriteErrorException, FilePermissionDeniedException)
ZEB_DEFINE_EXCEPTION(SeekOutOfRangeException, FileException)
ZEB_DEFINE_EXCEPTION(FileCannotCreateException, FileException)
ZEB_DEFINE_EXCEPTION(FileCannotCopyException, FileException)
ZEB_DEFINE_EXCEPTION(FileCannotMoveException, FileException)
ZEB_DEFINE_EXCEPTION(FileCannotSetAttributes, FileException)
ZEB_DEFINE_EXCEPTION(CannotRetrieveServerException, FileException)
ZEB_DEFINE_EXCEPTION(CannotListAllFilesException, FileException)
ZEB_DEFINE_EXCEPTION(DriveDoesNotExistException, FileException)
ZEB_DEFINE_EXCEPTION(InvalidPathException, FileException)

namespace OLE {
ZEBFILE_DEFINE_ROOT_EXCEPTION(OLEException)
ZEB_DEFINE_EXCEPTION(NotAStorageOLEException, OLEException)
ZEB_DEFINE_EXCEPTION(CorruptedStorageOLEException, OLEException)
ZEB_DEFINE_EXCEPTION(StorageNotFoundOLEException, OLEException)
ZEB_DEFINE_EXCEPTION(StreamNotFoundOLEException, OLEException)
ZEB_DEFINE_EXCEPTION(NotAPropertyStorageOLEException, OLEException)
ZEB_DEFINE_EXCEPTION(CorruptedPropertyStorageOLEException, OLEException)

#define ZEBFILE_DEFINE_TEXT_EXCEPTION(Name)                                                          \
  Name::Name() : OLEException() {}                                                                   \
  Name::Name(ZEB::WString const& text) : OLEException(text) {}                                       \
  Name::Name(Name const& other) = default;                                                           \
  Name::~Name() = default;                                                                           \
  ZEB::BaseException* Name::Copy() const { return ZEB::CopyException(*this); }                       \
  void Name::Throw() const { throw Name(*this); }
ZEBFILE_DEFINE_TEXT_EXCEPTION(InvalidNameOLEException)
ZEBFILE_DEFINE_TEXT_EXCEPTION(InvalidWriteOLEException)
} // namespace OLE

ZEB::SmartPtr<ZEB::MessageInfo> SystemErrorInfo(unsigned id, char const* file, int line,
                                                std::initializer_list<std::string> parameters) {
  DWORD error = GetLastError();
  ZEB::SmartPtr<ZEB::MessageInfo> info(new ZEB::MessageInfo(ZEBFileMsg::MODULE, int(id), file, line));
  for (std::string const& parameter : parameters)
    info->AddParameter(parameter);
  info->SetLastError(error);
  return info;
}

} // namespace ZEBFile
