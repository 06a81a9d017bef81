// The library's exception classes and its message catalog.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <typeinfo>

#include "ZEB/BinaryStreamBuf.h"
#include "ZEB/Messages.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/ZEBFileMsg-I.h"
#include "ZEBPlatform/Win32.h"

using namespace ZEBFile;
using namespace ZEBFile::OLE;

namespace {

ZEB::SmartPtr<ZEB::MessageInfo> InfoFor(unsigned id) {
  SetLastError(ERROR_ACCESS_DENIED);
  return SystemErrorInfo(id, "src/ZEBTest", 7, {"C:\\dir\\file.txt", "D:\\other.txt"});
}

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
  }
  std::unique_ptr<ZEB::BaseException> copy(root.Copy());
  ASSERT_TRUE(copy) << typeid(T).name();
  EXPECT_EQ(typeid(*copy), typeid(T));
  EXPECT_EQ(copy->What(), original.What());
}

template <class T> void ExpectBothForms() {
  EXPECT_TRUE(T().What().empty() && !T().Info()) << typeid(T).name();
  ExpectKeepsItsClass(T());
  ExpectKeepsItsClass(T(InfoFor(ZEBFileMsg::CANNOT_COPY)));
}

template <class... T> void ExpectForms() { (ExpectBothForms<T>(), ...); }

} // namespace

// The catalog registers its eighteen texts while the library is loaded.
TEST(Catalog, EveryTextIsRegisteredWhileTheLibraryIsLoaded) {
  for (uint32_t id = 0; id < ZEBFileMsg::MESSAGE_COUNT; ++id)
    EXPECT_TRUE(ZEBMessages::Find(ZEBFileMsg::MODULE, id)) << id;
  EXPECT_FALSE(ZEBMessages::Find(ZEBFileMsg::MODULE, ZEBFileMsg::MESSAGE_COUNT));
  auto text = ZEBMessages::Find(ZEBFileMsg::MODULE, ZEBFileMsg::CANNOT_RETRIEVE_SERVER);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, u"An error occurred while retrieving the server name for the file %1.");
}

TEST(Exceptions, MessageCarriesParametersThrowSiteAndSystemError) {
  DriveDoesNotExistException e(InfoFor(ZEBFileMsg::DRIVE_DOES_NOT_EXIST));
  EXPECT_EQ(e.What(), u"The drive C:\\dir\\file.txt in D:\\other.txt does not exist. (system error 5)");
  ASSERT_TRUE(e.Info());
  EXPECT_EQ(e.Info()->Module() + ":" + std::to_string(e.Info()->Id()), "ZEBFile:6");
  EXPECT_EQ(e.Info()->File() + ":" + std::to_string(e.Info()->Line()), "src/ZEBTest:7");
  EXPECT_EQ(e.Info()->LastError(), 5u);
}

// Both roots, classes below them and the buffer family's; a root built from
// a text and assigned, and a copy when the pool is empty.
TEST(Exceptions, ClassesKeepTheirClassThroughThrowAndCopy) {
  ExpectForms<FileException, OLEException, WriteErrorException, CorruptedPropertyStorageOLEException,
              ZEB::BinaryStreamGetEOFException>();
  FileException fromText(u"caf\u00E9"), assigned;
  assigned = fromText;
  assigned = assigned;
  EXPECT_STREQ(assigned.what(), "caf\xC3\xA9");
  ZEBMem::MemoryPool::FailAfter(0);
  ZEB::BaseException* copy = fromText.Copy();
  ZEBMem::MemoryPool::FailAfter(-1);
  EXPECT_EQ(copy, nullptr) << "a copy gives null when the pool is empty";
}
