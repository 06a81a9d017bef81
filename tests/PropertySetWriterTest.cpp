// The property-set writer: what it writes the reader reads back value for value and type for type, in every
// code page it writes; a set taken from a real file keeps the properties it does not change.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "ZEB/DateTime.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/PropertySetWriter.h"
#include "ZEBFile/PropertyStorage.h"
#include "ZEBFile/Storage.h"

using ZEB::Variant;
using ZEBFile::MemoryBuffer;
using ZEBFile::OLE::PropertySetWriter;
using ZEBFile::OLE::PropertyStorage;

namespace {

PropertyStorage::MergedMap Read(std::string const& stream) {
  MemoryBuffer buffer(stream.data(), uint32_t(stream.size()));
  PropertyStorage::MergedMap all;
  PropertyStorage(buffer).Properties(all);
  return all;
}

void ExpectSame(Variant const& expected, PropertyStorage::MergedMap const& read, std::string const& name) {
  auto found = read.find(name);
  ASSERT_NE(found, read.end()) << name;
  ASSERT_EQ(found->second.Traits(), expected.Traits()) << name << ": another type";
  EXPECT_EQ(found->second.AsWString(), expected.AsWString()) << name;
}

struct Typed {
  char const* name;
  Variant value;
};

std::vector<Typed> const VALUES = {
    {"Bool", Variant(true)},
    {"False", Variant(false)},
    {"Byte", Variant((unsigned char)200)},
    {"Short", Variant(short(-1234))},
    {"UShort", Variant((unsigned short)65000)},
    {"Int", Variant(-2000000000)},
    {"UInt", Variant(4000000000u)},
    {"Float", Variant(1.5f)},
    {"Double", Variant(0.1)},
    {"Date", Variant(ZEB::DateTime(1700000000))},
    {"Ascii", Variant(ZEB::WString(u"plain text"))},
    {"Latin", Variant(ZEB::WString(u"caf\u00e9 \u20ac"))},
    {"Beyond1252", Variant(ZEB::WString(u"\u041c\u0438\u0440 \U0001F600"))},
};

} // namespace

TEST(PropertySetWriter, ValuesReadBackTypeForType) {
  for (ZEB::CHARSET codePage : {ZEB::CHARSET_UTF16LE, ZEB::CHARSET_UTF8, ZEB::CHARSET_WINDOWS_1252}) {
    SCOPED_TRACE(int(codePage));
    PropertySetWriter summary(PropertyStorage::SUMMARY_INFORMATION_ID, codePage);
    summary.Set(2, Variant(ZEB::WString(u"T\u00eftle")));
    summary.Set(14, Variant(12));
    summary.Set(12, Variant(ZEB::DateTime(86400 * 365)));
    PropertyStorage::MergedMap read = Read(summary.Bytes());
    ExpectSame(Variant(ZEB::WString(u"T\u00eftle")), read, "Title");
    ExpectSame(Variant(12), read, "NumberOfPages");
    ExpectSame(Variant(ZEB::DateTime(86400 * 365)), read, "CreationDate");

    PropertySetWriter document(PropertyStorage::DOC_SUMMARY_INFORMATION_ID, codePage);
    document.Set(15, Variant(ZEB::WString(u"Company")));
    document.Set(13, std::vector<ZEB::WString>{u"one", u"two\u00e9", u"three"});
    for (Typed const& typed : VALUES)
      document.SetUserDefined(ZEB::WString(typed.name, typed.name + strlen(typed.name)), typed.value);
    document.SetUserDefined(u"list", std::vector<ZEB::WString>{u"a", u"\u0416"});
    document.SetUserDefined(u"INT", Variant(7)); // replaces "Int"
    read = Read(document.Bytes());
    ExpectSame(Variant(ZEB::WString(u"Company")), read, "Company");
    ExpectSame(Variant(ZEB::WString(u"one\r\ntwo\u00e9\r\nthree")), read, "TitleOfParts");
    ExpectSame(Variant(ZEB::WString(u"a\r\n\u0416")), read, "list");
    for (Typed const& typed : VALUES)
      ExpectSame(std::string(typed.name) == "Int" ? Variant(7) : typed.value, read, typed.name);
    EXPECT_EQ(read.size(), VALUES.size() + 3);
  }
}

TEST(PropertySetWriter, RefusesWhatCannotBeReadBack) {
  PropertySetWriter set(PropertyStorage::DOC_SUMMARY_INFORMATION_ID, ZEB::CHARSET_WINDOWS_1252);
  EXPECT_THROW(set.SetUserDefined(u"\u0416", Variant(1)), ZEBFile::OLE::InvalidNameOLEException);
  EXPECT_THROW(set.SetUserDefined(u"", Variant(1)), ZEBFile::OLE::InvalidNameOLEException);
  EXPECT_THROW(set.Set(2, Variant(ZEB::WString())), ZEBFile::OLE::InvalidWriteOLEException);
  EXPECT_THROW(set.Set(1, Variant(1)), ZEBFile::OLE::InvalidWriteOLEException);
  EXPECT_THROW(PropertySetWriter::FromStream(std::string(40, 'x')), ZEBFile::OLE::NotAPropertyStorageOLEException);
}

TEST(PropertySetWriter, ChangesOnlyWhatIsSetInARealFile) {
  std::ifstream in(ZEB_TEST_DATA "/../../samples/report_en.doc", std::ios::binary);
  std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  MemoryBuffer bytes(file.data(), uint32_t(file.size()));
  ZEBFile::OLE::Storage root(std::string(), bytes);
  for (ZEB::WString const& name : {PropertySetWriter::SUMMARY_STREAM_NAME, PropertySetWriter::DOC_SUMMARY_STREAM_NAME}) {
    MemoryBuffer stream;
    root.ReadStream(name, stream);
    std::string original(stream.Size(), '\0');
    stream.SeekG(0);
    stream.GetAll(&original[0], stream.Size());
    PropertySetWriter set = PropertySetWriter::FromStream(original);
    PropertyStorage::MergedMap before = Read(original);
    EXPECT_EQ(Read(set.Bytes()).size(), before.size()) << "laid out again, nothing lost";
    set.Set(2, Variant(ZEB::WString(u"New title")));
    set.SetUserDefined(u"Client", Variant(ZEB::WString(u"Other Ltd")));
    PropertyStorage::MergedMap after = Read(set.Bytes());
    for (auto const& [key, value] : before)
      if (key != "Client" && key != "Title" && key != "Category")
        ExpectSame(value, after, key);
    ExpectSame(Variant(ZEB::WString(u"Other Ltd")), after, "Client");
  }
}
