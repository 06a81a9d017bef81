// The library's exception classes and its message catalog.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <typeinfo>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEB/Messages.h"
#include "ZEBFile/Catalog.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPlatform/Win32.h"

using namespace ZEBFile;
using namespace ZEBFile::OLE;

namespace {

char16_t const* const EXPECTED_TEXTS[] = {
    u"It is impossible to open the configuration source %1.",
    u"An error occurred while opening the read-only file %1.",
    u"An error occurred while opening the write-only file %1.",
    u"An error occurred while copying the file %1 to %2.",
    u"An error occurred while creating the file %1.",
    u"An error occurred while deleting the file %1.",
    u"The drive %1 in %2 does not exist.",
    u"An error occurred while getting a view of the file %1.",
    u"An error occurred while listing files and subfolders from: %1.",
    u"An error occurred while moving the file %1 to %2.",
    u"An error occurred while reading data from file %1.",
    u"An error occurred while releasing a view of the file %1.",
    u"An error occurred while retrieving the server name for the file %1.",
    u"An error occurred while seeking in the file %1.",
    u"An error occurred while setting the attributes for file %1.",
    u"An error occurred while writing data in the file %1.",
    u"The configuration source is invalid.",
    u"An error occurred while getting the file attributes for %1.",
};

struct CatalogCursor {
  unsigned char const* bytes;
  std::size_t at = 0;
  uint32_t U32() {
    uint32_t v = uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                 uint32_t(bytes[at + 3]) << 24;
    at += 4;
    return v;
  }
};

ZEB::SmartPtr<ZEB::MessageInfo> InfoFor(unsigned id) {
  SetLastError(ERROR_ACCESS_DENIED);
  return SystemErrorInfo(id, "src/ZEBTest", 7, {"C:\\dir\\file.txt", "D:\\other.txt"});
}

struct PoolDeleter {
  void operator()(ZEB::BaseException* e) const { delete e; }
};

// Throw() and Copy() through a reference to the root keep the most-derived
// class and the text.
template <class T> void ExpectKeepsItsClass(T const& original) {
  ZEB::BaseException const& root = original;
  try {
    root.Throw();
    ADD_FAILURE() << "Throw() returned for " << typeid(T).name();
  } catch (T const& caught) {
    EXPECT_EQ(typeid(caught), typeid(T));
    EXPECT_EQ(caught.What(), original.What());
  } catch (...) {
    ADD_FAILURE() << "Throw() raised another class than " << typeid(T).name();
  }
  std::unique_ptr<ZEB::BaseException, PoolDeleter> copy(root.Copy());
  ASSERT_TRUE(copy) << typeid(T).name();
  EXPECT_EQ(typeid(*copy), typeid(T));
  EXPECT_EQ(copy->What(), original.What());
}

template <class T> void ExpectDefaultAndMessageForms() {
  T plain;
  EXPECT_TRUE(plain.What().empty()) << typeid(T).name();
  EXPECT_FALSE(plain.Info());
  ExpectKeepsItsClass(plain);
  ExpectKeepsItsClass(T(InfoFor(ZEBFileMsg::CANNOT_COPY)));
}

template <class... T> void ExpectForms() { (ExpectDefaultAndMessageForms<T>(), ...); }

} // namespace

// The catalog in the registry's binary layout, each text registered while
// the library is loaded.
TEST(Catalog, IsEighteenEntriesEndingExactlyAtByte2398AndRegistered) {
  ASSERT_EQ(CatalogSizeInBytes(), 2398u);
  CatalogCursor cursor{CatalogData()};
  ASSERT_EQ(cursor.U32(), 18u);
  for (uint32_t id = 0; id < 18; ++id) {
    SCOPED_TRACE("entry " + std::to_string(id));
    ASSERT_EQ(cursor.U32(), 7u);
    EXPECT_EQ(std::string(reinterpret_cast<char const*>(cursor.bytes + cursor.at), 7), "ZEBFile");
    cursor.at += 7;
    EXPECT_EQ(cursor.U32(), id);
    EXPECT_EQ(cursor.U32(), 7u);
    EXPECT_EQ(cursor.bytes[cursor.at++], 1);
    uint32_t length = cursor.U32();
    std::u16string text;
    for (uint32_t i = 0; i < length; i += 2)
      text += char16_t(cursor.bytes[cursor.at + i] | cursor.bytes[cursor.at + i + 1] << 8);
    cursor.at += length + 6;
    EXPECT_EQ(text, EXPECTED_TEXTS[id]);
    ASSERT_LE(cursor.at, 2398u);
    ASSERT_NE(ZEBMessages::Find("ZEBFile", id), nullptr);
    EXPECT_EQ(*ZEBMessages::Find("ZEBFile", id), EXPECTED_TEXTS[id]);
  }
  EXPECT_EQ(cursor.at, 2398u);
  EXPECT_GE(ZEBMessagesInit::ms_Cnt, 1);
  EXPECT_EQ(ZEBMessages::Find("ZEBFile", 18), nullptr);
}

TEST(Exceptions, MessageCarriesParametersThrowSiteAndSystemError) {
  DriveDoesNotExistException e(InfoFor(ZEBFileMsg::DRIVE_DOES_NOT_EXIST));
  EXPECT_EQ(e.What(), u"The drive C:\\dir\\file.txt in D:\\other.txt does not exist. (system error 5)");
  ASSERT_TRUE(e.Info());
  EXPECT_EQ(e.Info()->Module(), "ZEBFile");
  EXPECT_EQ(e.Info()->Id(), 6);
  EXPECT_EQ(e.Info()->File(), "src/ZEBTest");
  EXPECT_EQ(e.Info()->Line(), 7);
  EXPECT_EQ(e.Info()->LastError(), 5u);
}

TEST(Exceptions, EveryClassKeepsItsClassThroughThrowAndCopy) {
  ExpectForms<FileException, FileCannotOpenException, FileAccessDeniedException, SharingViolationException,
              FileCannotDeleteException, FilePermissionDeniedException, WriteErrorException, SeekOutOfRangeException,
              FileCannotCreateException, FileCannotCopyException, FileCannotMoveException, FileCannotSetAttributes,
              CannotRetrieveServerException, CannotListAllFilesException, DriveDoesNotExistException,
              InvalidPathException, OLEException, NotAStorageOLEException, CorruptedStorageOLEException,
              StorageNotFoundOLEException, StreamNotFoundOLEException, NotAPropertyStorageOLEException,
              CorruptedPropertyStorageOLEException, ZEB::BinaryStreamPutEOFException,
              ZEB::BinaryStreamGetEOFException>();
}

TEST(Exceptions, RootsAreBuiltFromTextsAndAssignableAndCopiesMayFail) {
  FileException fromText(u"text");
  EXPECT_EQ(fromText.What(), u"text");
  OLEException fromString(ZEB::WString(u"wide"));
  EXPECT_EQ(fromString.What(), u"wide");
  FileException assigned;
  assigned = fromText;
  EXPECT_EQ(assigned.What(), u"text");
  assigned = assigned;
  EXPECT_EQ(assigned.What(), u"text");
  EXPECT_STREQ(FileException(u"caf\u00E9").what(), "caf\xC3\xA9");
  SeekOutOfRangeException e;
  ZEBMem::MemoryPool::FailAfter(0);
  ZEB::BaseException* copy = e.Copy();
  ZEBMem::MemoryPool::FailAfter(-1);
  EXPECT_EQ(copy, nullptr) << "a copy gives null when the pool is empty";
}
