// Property sets: the header and section-table checks, every value type, text
// in the section's code page, the name dictionary, the filing rules of the
// two maps and their merge, the walk over a compound file, and the real
// files against what an independent reader found in them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "ZEB/NoCase.h"
#include "ZEB/SmartPtr.h"
#include "ZEBCharset/Conv.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/PropertyStorage.h"
#include "ZEBFile/Storage.h"
#include "support/CompoundWriter.h"
#include "support/PropertySetWriter.h"

using ZEB::Variant;
using ZEBFile::OLE::PropertyStorage;
using namespace ZEBTest;
namespace fs = std::filesystem;

namespace {

struct Extracted {
  PropertyStorage::EnumMap byEnum;
  PropertyStorage::NameMap byName;
};

struct Buffer : ZEBFile::MemoryBuffer {
  explicit Buffer(std::string const& bytes) : MemoryBuffer(bytes.data(), static_cast<uint32_t>(bytes.size())) {}
};

Extracted Extract(std::string const& stream) {
  Buffer buffer(stream);
  ZEB::SmartPtr<PropertyStorage> storage(new PropertyStorage(buffer));
  Extracted out;
  storage->Properties(out.byEnum, out.byName);
  return out;
}

// The merged properties of a compound file as (name, value as UTF-8) pairs.
std::vector<std::pair<std::string, std::string>> FileProperties(std::string const& bytes) {
  Buffer file(bytes);
  PropertyStorage::MergedMap all;
  ZEBFile::OLE::Storage(std::string(), file).Properties(all);
  std::vector<std::pair<std::string, std::string>> out;
  for (auto const& [name, value] : all)
    out.emplace_back(name, ZEBCharset::FromWide(ZEB::CHARSET_UTF8, value.AsWString()));
  return out;
}

// A summary stream of one section holding the given pairs.
std::string Summary(std::vector<std::pair<uint32_t, std::string>> const& properties) {
  PropertySetWriter writer;
  writer.Add(SUMMARY_FMTID).properties = properties;
  return writer.Bytes();
}

std::string Show(Variant const& value) {
  return value.IsEmpty() ? "(none)" : ZEBCharset::FromWide(ZEB::CHARSET_UTF8, value.AsWString());
}

template <class Map, class Key> Variant Find(Map const& map, Key const& key) {
  auto found = map.find(key);
  return found == map.end() ? Variant() : found->second;
}
Variant EnumValue(Extracted const& out, PropertyStorage::PROPERTY_ENUM key) { return Find(out.byEnum, key); }
Variant NameValue(Extracted const& out, std::string const& key) { return Find(out.byName, key); }

Variant W(std::u16string const& text) { return Variant(text); }

std::string Narrow(std::string const& text) { return text + '\0'; }
std::string Wide(std::u16string const& text) { return Utf16Le(text) + std::string(2, '\0'); }

} // namespace

TEST(PropertyStorageHeader, WrongHeadersAreRejected) {
  std::string good = Summary({{2, Lpstr("x")}});
  auto patched = [&](std::size_t at, std::string const& bytes) {
    return std::string(good).replace(at, bytes.size(), bytes);
  };
  std::tuple<char const*, std::string, bool> const rows[] = {
      {"section count 0", patched(24, Le32(0)), false},
      {"byte-order mark", patched(0, Le16(0xFEFF)), false},
      {"format 1", patched(2, Le16(1)), false},
      {"20-byte stream", good.substr(0, 20), true},
      {"table cut before the first section", patched(44, Le32(200)).substr(0, 60), true},
  };
  for (auto const& [label, stream, corrupted] : rows) {
    SCOPED_TRACE(label);
    Buffer buffer(stream);
    if (corrupted)
      EXPECT_THROW(PropertyStorage{buffer}, ZEBFile::OLE::CorruptedPropertyStorageOLEException);
    else
      EXPECT_THROW(PropertyStorage{buffer}, ZEBFile::OLE::NotAPropertyStorageOLEException);
  }
}

TEST(PropertyStorageHeader, ByteSwappedWellKnownIdsAreNormalised) {
  std::string swappedSummary("\xF2\x9F\x85\xE0\xF9\x4F\x68\x10\xAB\x91\x08\x00\x2B\x27\xB3\xD9", 16);
  std::string swappedUser("\xD5\xCD\xD5\x05\x2E\x9C\x1B\x10\x93\x97\x08\x00\x2B\x2C\xF9\xAE", 16);
  ZEBFile::OLE::GUID other = {0x33323130, 0x3534, 0x3736, {'8', '9', 'a', 'b', 'c', 'd', 'e', 'f'}};
  for (auto const& [stored, expected] : {std::pair{swappedSummary, PropertyStorage::SUMMARY_INFORMATION_ID},
                                         std::pair{swappedUser, PropertyStorage::USER_DEFINED_PROPERTIES_ID},
                                         std::pair{DOC_SUMMARY_FMTID, PropertyStorage::DOC_SUMMARY_INFORMATION_ID},
                                         std::pair{std::string("0123456789abcdef"), other}}) {
    PropertySetWriter writer;
    writer.Add(stored);
    Buffer buffer(writer.Bytes());
    EXPECT_TRUE(PropertyStorage(buffer).GetID() == expected) << stored;
  }
}

TEST(PropertyStorageValues, EveryTypeDecodes) {
  std::string big(300000, 'x');
  std::string nested = Typed(0x100C, Le32(1) + Typed(0x101E, Le32(1) + Le32(2) + "a"));
  std::u16string zeros = u"0";
  for (int i = 1; i < 1024; ++i)
    zeros += u"\r\n0";
  std::tuple<char const*, std::string, Variant> const rows[] = {
      {"VT_I2", Typed(2, Le16(0xFFFE)), Variant(short(-2))},
      {"VT_I4", Typed(3, Le32(0xFFFFFFFF)), Variant(-1)},
      {"VT_R4", Typed(4, Le32(0x3FC00000)), Variant(1.5f)},
      {"VT_R8", Typed(5, Le64(0x40934A0000000000)), Variant(1234.5)},
      {"VT_ERROR", Typed(10, Le32(0x80004005)), Variant(int(0x80004005))},
      {"VT_BOOL", Typed(11, Le16(0xFFFF)), Variant(true)},
      {"VT_BOOL false", Typed(11, Le16(0)), Variant(false)},
      {"VT_UI1", Typed(17, "\xC8"), Variant((unsigned char)200)},
      {"VT_UI2", Typed(18, Le16(65000)), Variant((unsigned short)65000)},
      {"VT_UI4", Typed(19, Le32(4000000000u)), Variant(4000000000u)},
      {"VT_VARIANT", Typed(12, Typed(3, Le32(7))), Variant(7)},
      {"VT_LPSTR trailing zeros", Lpstr(std::string("abc\0\0\0", 6)), W(u"abc")},
      {"VT_LPSTR empty", Lpstr(""), Variant()},
      {"VT_LPSTR only zeros", Lpstr(std::string(4, '\0')), Variant()},
      {"VT_LPWSTR", Lpwstr(std::u16string(u"Report\0", 7)), W(u"Report")},
      {"VT_FILETIME", FileTime(1715941230), Variant(ZEB::DateTime(1715941230))},
      {"VT_FILETIME before 1970", FileTime(-86400), Variant()},
      {"VT_FILETIME 1601", Typed(64, Le64(0)), Variant()},
      {"VT_FILETIME after 2038", FileTime(4102444800LL), Variant()},
      {"vector of strings, no padding", Typed(0x101E, Le32(2) + Le32(1) + "a" + Le32(1) + "b"), W(u"a\r\nb")},
      {"vector of variants", Typed(0x100C, Le32(3) + Typed(3, Le32(5)) + Typed(11, Le16(1)) + Lpstr("z")),
       W(u"5\r\ntrue\r\nz")},
      {"vector of 2000 elements", Typed(0x1012, Le32(2000) + std::string(4000, '\0')), W(zeros)},
      {"vector inside a vector", nested, Variant()},
      {"variant inside a variant", Typed(12, Typed(12, Typed(3, Le32(1)))), Variant()},
      {"string cut, the rest skipped", Typed(0x101E, Le32(2) + Le32(300000) + big + Le32(1) + "b"),
       Variant(std::u16string(262144, u'x') + u"\r\nb")},
      {"string count beyond the stream", Typed(30, Le32(0x80000000) + "abc"), Variant()},
      {"wide count beyond the stream", Typed(31, Le32(0x7FFFFFFF) + "abc"), Variant()},
      {"VT_I8", Typed(20, Le64(1)), Variant()},
      {"type with upper bits", Typed(0x10003, Le32(1)), Variant()},
  };
  for (auto const& [label, value, expected] : rows) {
    SCOPED_TRACE(label);
    Extracted out = Extract(Summary({{2, value}, {3, Lpstr("after")}}));
    Variant title = EnumValue(out, PropertyStorage::TITLE);
    EXPECT_TRUE(title == expected) << Show(title) << " expected " << Show(expected);
    EXPECT_TRUE(EnumValue(out, PropertyStorage::SUBJECT) == W(u"after"));
  }
}

TEST(PropertyStorageText, StringsAndNamesFollowTheSectionCodePage) {
  std::string cyrillic1251 = "\xCE\xF2\xF7\xB8\xF2";
  std::string cyrillicUtf8 = "Отчёт";
  struct Row {
    char const* label;
    uint16_t codePage;
    std::string name;
    std::string value;
    std::string expectedName;
    std::u16string expected;
  } const rows[] = {
      {"1252", 1252, Narrow("Caf\xE9"), Lpstr(Narrow("na\xEFve")), "Café", u"naïve"},
      {"1251", 1251, Narrow("\xC8\xEC\xFF"), Lpstr(Narrow(cyrillic1251)), "Имя", u"Отчёт"},
      {"932", 932, Narrow("\x96\xBC"), Lpstr(Narrow("\x93\xFA\x96\x7B")), "名", u"日本"},
      {"65001 stored as -535", 0xFDE9, Narrow("Имя"), Lpstr(Narrow(cyrillicUtf8)), "Имя", u"Отчёт"},
      {"1200", 1200, Wide(u"Имя"), Lpstr(Wide(u"Отчёт")), "Имя", u"Отчёт"},
      {"VT_LPWSTR in 1251", 1251, Narrow("\xC8\xEC\xFF"), Lpwstr(u"Отчёт"), "Имя", u"Отчёт"},
      {"unknown code page", 1, Narrow("Name"), Lpstr(Narrow("text")), "", u""},
  };
  for (Row const& row : rows) {
    SCOPED_TRACE(row.label);
    PropertySetWriter writer;
    writer.Add(DOC_SUMMARY_FMTID);
    writer.Add(USER_DEFINED_FMTID)
        .Property(1, CodePage(row.codePage))
        .Property(0, Dictionary({{5, row.name}}, row.codePage == 1200))
        .Property(5, row.value);
    Extracted out = Extract(writer.Bytes());
    if (row.expected.empty()) {
      EXPECT_TRUE(out.byName.empty() && out.byEnum.empty());
      continue;
    }
    ASSERT_EQ(out.byName.size(), 1u);
    EXPECT_EQ(out.byName.begin()->first, row.expectedName);
    EXPECT_EQ(out.byName.begin()->second.AsWString(), row.expected);
  }
}

TEST(PropertyStorageDictionary, ReadWithTheCodePageInForceAtTheFirstPropertyAfterIt) {
  std::string dictionary = Dictionary({{5, Narrow("\xC8\xEC\xFF")}}, false);
  Extracted late = Extract(Summary({{0, dictionary}, {1, CodePage(1251)}, {5, Lpstr("x")}}));
  EXPECT_TRUE(NameValue(late, "Имя") == W(u"x"));
  // An ordinary property between the dictionary and the code page reads it
  // in 1252 already; properties before the dictionary get no names; a code
  // page applies only to the pairs after it.
  Extracted early = Extract(Summary({{2, Lpstr("\xC8")},
                                     {0, dictionary},
                                     {4, Lpstr("a")},
                                     {1, CodePage(1251)},
                                     {3, Lpstr("\xC8")},
                                     {5, Lpstr("x")}}));
  EXPECT_TRUE(NameValue(early, "\xC3\x88\xC3\xAC\xC3\xBF") == W(u"x"));
  EXPECT_TRUE(EnumValue(early, PropertyStorage::TITLE) == W(u"È"));
  EXPECT_TRUE(EnumValue(early, PropertyStorage::SUBJECT) == W(u"И"));
  EXPECT_TRUE(EnumValue(early, PropertyStorage::AUTHOR) == W(u"a"));
}

TEST(PropertyStorageDictionary, EntryRules) {
  std::string longName(200, 'n');
  std::vector<DictionaryEntry> entries = {
      {2, Wide(u"ab")}, // ends 2 mod 4: two bytes of padding follow
      {3, Wide(u"")},   // only the terminator: padded as well
      {4, ""},          // length 0: nothing more is read
      {5, Wide(std::u16string(longName.begin(), longName.end()))},
      {6, Wide(u"Owner")},
      {7, Wide(u"OWNER")},
      {2, Wide(u"abc")}, // a later entry replaces the name of an id
  };
  Extracted out = Extract(Summary({{1, CodePage(1200)},
                                   {0, Dictionary(entries, true)},
                                   {2, Lpstr(Wide(u"two"))},
                                   {3, Lpstr(Wide(u"three"))},
                                   {5, Lpstr(Wide(u"long"))},
                                   {6, Lpstr(Wide(u"first"))},
                                   {7, Lpstr(Wide(u"second"))}}));
  EXPECT_TRUE(NameValue(out, "abc") == W(u"two"));
  EXPECT_TRUE(EnumValue(out, PropertyStorage::SUBJECT) == W(u"three")) << "an empty name files by id";
  EXPECT_TRUE(NameValue(out, longName.substr(0, 127)) == W(u"long")) << "cut at 128 with the terminator";
  EXPECT_TRUE(NameValue(out, "owner") == W(u"first"));
  EXPECT_EQ(out.byName.size(), 3u);

  Extracted narrow = Extract(Summary(
      {{0, Dictionary({{5, Narrow(longName)}, {6, Narrow("next")}}, false)}, {5, Lpstr("long")}, {6, Lpstr("after")}}));
  EXPECT_TRUE(NameValue(narrow, "next") == W(u"after")) << "the rest of a cut name is skipped";
}

TEST(PropertyStorageDictionary, ReadOnlyWhenAnOrdinaryPropertyFollows) {
  // Its second entry runs past the end of the stream.
  std::string broken = Le32(2) + Le32(3) + Le32(3) + Narrow("ab") + Le32(6) + Le32(200);
  Extracted last = Extract(Summary({{2, Lpstr("t")}, {0, broken}}));
  EXPECT_TRUE(EnumValue(last, PropertyStorage::TITLE) == W(u"t"));
  // Read before property 2, the broken dictionary costs that property only.
  Extracted first = Extract(Summary({{0, broken}, {2, Lpstr("t")}, {3, Lpstr("s")}}));
  EXPECT_TRUE(first.byEnum.count(PropertyStorage::TITLE) == 0);
  EXPECT_TRUE(NameValue(first, "ab") == W(u"s"));
}

TEST(PropertyStorageSections, TableEndsWhereTheFirstSectionBegins) {
  PropertySetWriter writer;
  writer.Add(SUMMARY_FMTID).Property(2, Lpstr("title"));
  writer.Add(USER_DEFINED_FMTID).Property(0, Dictionary({{2, Narrow("Client")}}, false)).Property(2, Lpstr("Acme"));
  writer.sectionCount = 1;
  Extracted out = Extract(writer.Bytes());
  EXPECT_TRUE(EnumValue(out, PropertyStorage::TITLE) == W(u"title"));
  EXPECT_TRUE(NameValue(out, "client") == W(u"Acme"));

  writer.sectionCount = 7; // the count does not bound the table either way
  EXPECT_EQ(Extract(writer.Bytes()).byName.size(), 1u);
}

TEST(PropertyStorageSections, DamagedSectionsAndPropertiesAreSkipped) {
  PropertySetWriter writer;
  writer.Add(SUMMARY_FMTID).Property(2, Lpstr("first")).Property(3, Lpstr("subject"));
  writer.Add(SUMMARY_FMTID).offset = 0x7FFFFFF0;              // past the end
  writer.Add(SUMMARY_FMTID).raw = Le32(8) + Le32(0x80000000); // huge table
  writer.Add(SUMMARY_FMTID).raw =
      Le32(8) + Le32(2) + Le32(4) + Le32(0xFFFFFFF0) + Le32(5) + Le32(24) + Lpstr("keywords"); // a pair past the end
  writer.Add(SUMMARY_FMTID).Property(2, Lpstr("second")).Property(6, Lpstr("comments"));
  Extracted out = Extract(writer.Bytes());
  EXPECT_TRUE(EnumValue(out, PropertyStorage::TITLE) == W(u"first"));
  EXPECT_TRUE(EnumValue(out, PropertyStorage::SUBJECT) == W(u"subject"));
  EXPECT_TRUE(EnumValue(out, PropertyStorage::KEYWORDS) == W(u"keywords"));
  EXPECT_TRUE(EnumValue(out, PropertyStorage::COMMENTS) == W(u"comments"));
  EXPECT_EQ(out.byEnum.size(), 4u);
}

TEST(PropertyStorageSections, SharedValuesCostWorkBoundedByTheStream) {
  // 20000 named pairs all pointing at one 64 KiB string: decoding each would
  // read 1.3 GB out of a 0.5 MB stream.
  constexpr uint32_t count = 20000;
  std::string value = Lpstr(std::string(65536, 'v'));
  std::vector<DictionaryEntry> names;
  std::string table = Le32(0) + Le32(8 + 8 * (count + 1) + static_cast<uint32_t>(value.size()));
  for (uint32_t id = 2; id < count + 2; ++id) {
    names.push_back({id, Narrow(std::to_string(id))});
    table += Le32(id) + Le32(8 + 8 * (count + 1));
  }
  std::string dictionary = Dictionary(names, false);
  PropertySetWriter writer;
  writer.Add(USER_DEFINED_FMTID).raw = Le32(0) + Le32(count + 1) + table + value + dictionary;
  std::string stream = writer.Bytes();
  Extracted out = Extract(stream);
  EXPECT_GT(out.byName.size(), 0u);
  EXPECT_LE(out.byName.size() * value.size(), 20 * stream.size());
}

TEST(PropertyMaps, FilingFollowsTheGroupAndTheFirstValueWins) {
  PropertySetWriter docSummary;
  docSummary.Add(DOC_SUMMARY_FMTID).Property(2, Lpstr("category")).Property(15, Lpstr("company"));
  docSummary.Add(USER_DEFINED_FMTID)
      .Property(0, Dictionary({{2, Narrow("Client")}}, false))
      .Property(2, Lpstr("Acme"))
      .Property(14, Lpstr("manager"));
  Extracted doc = Extract(docSummary.Bytes());
  EXPECT_TRUE(EnumValue(doc, PropertyStorage::CATEGORY) == W(u"category"));
  EXPECT_TRUE(EnumValue(doc, PropertyStorage::COMPANY) == W(u"company"));
  EXPECT_TRUE(EnumValue(doc, PropertyStorage::MANAGER) == W(u"manager"))
      << "unnamed ids of the user-defined section use the document-summary table";
  EXPECT_TRUE(NameValue(doc, "Client") == W(u"Acme"));
  EXPECT_EQ(doc.byEnum.size(), 3u);

  Extracted summary = Extract(Summary({{2, Lpstr("one")},
                                       {2, Lpstr("two")},
                                       {10, FileTime(3600)},
                                       {17, Lpstr("thumb")},
                                       {15, Typed(3, Le32(9))},
                                       {99, Lpstr("x")}}));
  EXPECT_TRUE(EnumValue(summary, PropertyStorage::TITLE) == W(u"one"));
  EXPECT_TRUE(EnumValue(summary, PropertyStorage::NUMBER_OF_WORDS) == Variant(9));
  EXPECT_EQ(summary.byEnum.size(), 2u);
  EXPECT_TRUE(summary.byName.empty());

  PropertySetWriter other;
  other.Add("0123456789abcdef").Property(2, Lpstr("t"));
  EXPECT_TRUE(Extract(other.Bytes()).byEnum.empty());
}

TEST(PropertyMaps, MergeKeepsEnumerationEntriesBeforeEqualNames) {
  PropertySetWriter writer;
  writer.Add(SUMMARY_FMTID).Property(2, Lpstr("Report")).Property(4, Lpstr("Alice"));
  writer.Add(USER_DEFINED_FMTID)
      .Property(0, Dictionary({{9, Narrow("title")}, {8, Narrow("Zeta")}}, false))
      .Property(9, Lpstr("User"))
      .Property(8, Typed(11, Le16(1)));
  Buffer buffer(writer.Bytes());
  PropertyStorage::MergedMap all;
  all.emplace("Author", W(u"earlier"));
  PropertyStorage(buffer).Properties(all);
  std::vector<std::pair<std::string, std::u16string>> seen;
  for (auto const& [name, value] : all)
    seen.emplace_back(name, value.AsWString());
  std::vector<std::pair<std::string, std::u16string>> const expected = {
      {"Author", u"earlier"}, {"Author", u"Alice"}, {"Title", u"Report"}, {"title", u"User"}, {"Zeta", u"true"}};
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(PropertyStorage::Name(PropertyStorage::MODIFICATION_DATE), "ModificationDate");
  EXPECT_EQ(PropertyStorage::Name(PropertyStorage::PROPERTY_ENUM(28)), "");
}

TEST(StorageProperties, BreadthFirstThenStreamOrderWins) {
  auto set = [](std::string const& client, std::string const& author) {
    PropertySetWriter writer;
    writer.Add(SUMMARY_FMTID).Property(4, Lpstr(author));
    writer.Add(USER_DEFINED_FMTID).Property(0, Dictionary({{2, Narrow("Client")}}, false)).Property(2, Lpstr(client));
    return writer.Bytes();
  };
  CompoundWriter writer;
  uint32_t first = writer.AddStorage(0, u"First");
  uint32_t second = writer.AddStorage(0, u"Second");
  writer.AddStorage(first, u"Deeper");
  writer.AddStream(writer.AddStorage(first, u"Deep"), u"\x05Set", set("deep", "deep"));
  writer.AddStream(second, u"\x05Set", set("second", "second"));
  writer.AddStream(0, u"\x05NotASet", std::string(600, 'x'));
  writer.AddStream(0, u"Contents1", set("Contents1", "Contents1"));
  writer.AddStream(0, u"contents", Summary({{4, Lpstr("contents")}}));
  writer.AddStream(0, u"\x05Late", Summary({{4, Lpstr("late")}, {2, Lpstr("title")}}));
  std::vector<std::pair<std::string, std::string>> const expected = {
      {"Author", "contents"}, {"Client", "second"}, {"Title", "title"}};
  EXPECT_EQ(FileProperties(writer.Build()), expected);
}

TEST(StorageProperties, StorageThatContainsItselfIsVisitedOnce) {
  CompoundWriter writer;
  uint32_t loop = writer.AddStorage(0, u"Loop");
  uint32_t inner = writer.AddStorage(loop, u"Inner");
  writer.AddStream(loop, u"\x05Set", Summary({{2, Lpstr("t")}}));
  writer.Build();
  writer.SetEntry(inner, CompoundWriter::CHILD, loop); // Inner holds Loop, which holds Inner
  std::vector<std::pair<std::string, std::string>> const expected = {{"Title", "t"}};
  EXPECT_EQ(FileProperties(writer.bytes), expected);
}

// The "gsf_props" object of an expected-results file (plain strings only).
std::vector<std::pair<std::string, std::string>> GsfProperties(std::string const& json) {
  std::vector<std::pair<std::string, std::string>> found;
  std::size_t at = json.find('{', json.find("\"gsf_props\""));
  auto text = [&] {
    std::size_t begin = json.find('"', at) + 1;
    at = json.find('"', begin) + 1;
    return json.substr(begin, at - 1 - begin);
  };
  while (json.find('"', at) < json.find('}', at)) {
    std::string name = text();
    found.emplace_back(name, text());
  }
  return found;
}

// Same value: the same text, the same words in another letter case (TRUE), or
// the same number in another spelling (1234.500000).
bool SameValue(std::string const& ours, std::string const& theirs) {
  char* end = nullptr;
  double number = std::strtod(theirs.c_str(), &end);
  return ZEB::NoCase::IsEqual(ours, theirs) ||
         (!theirs.empty() && !*end && std::strtod(ours.c_str(), nullptr) == number);
}

std::string FileBytes(fs::path const& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(StorageProperties, RealFilesGiveWhatAnotherReaderFound) {
  // clang-format off
  std::map<std::string, std::string> const names = {
      {"dc:title", "Title"}, {"dc:subject", "Subject"}, {"dc:creator", "Author"}, {"dc:keywords", "Keywords"},
      {"dc:description", "Comments"}, {"gsf:last-saved-by", "LastAuthor"}, {"meta:creation-date", "CreationDate"},
      {"dc:date", "ModificationDate"}, {"meta:template", "TemplateDocument"}, {"meta:generator", "Application"},
      {"gsf:page-count", "NumberOfPages"}, {"gsf:word-count", "NumberOfWords"}, {"gsf:security", "DocumentSecurity"},
      {"meta:editing-cycles", "RevisionNumber"},
      // Not filed: the code page, the edit time, the thumbnail, and a last printed date stored as file time 0
      // (1601), which the other reader prints as a date in 2009.
      {"msole:codepage", ""}, {"meta:editing-duration", ""}, {"gsf:thumbnail", ""}, {"gsf:last-printed", ""}};
  // clang-format on
  int files = 0;
  for (auto const& entry : fs::directory_iterator(fs::path(ZEB_TEST_DATA) / "expected")) {
    std::string file = entry.path().stem().string();
    SCOPED_TRACE(file);
    auto ours = FileProperties(FileBytes(fs::path(ZEB_TEST_DATA) / file));
    std::size_t compared = 0;
    for (auto const& [gsfName, value] : GsfProperties(FileBytes(entry.path()))) {
      auto known = names.find(gsfName);
      std::string name = known != names.end() ? known->second : gsfName;
      if (name.empty())
        continue;
      auto match =
          std::find_if(ours.begin(), ours.end(), [&](auto const& p) { return ZEB::NoCase::IsEqual(p.first, name); });
      ASSERT_TRUE(match != ours.end()) << name;
      if (match->first != name)
        continue; // names equal ignoring case (OWNER, Owner) are filed once, under the first
      ++compared;
      EXPECT_TRUE(SameValue(match->second, value)) << name << ": " << match->second << " / " << value;
    }
    EXPECT_EQ(ours.size(), compared);
    ++files;
  }
  EXPECT_EQ(files, 7);
}

TEST(StorageProperties, KeptInputsEndCleanly) {
  for (auto const& entry : fs::directory_iterator(fs::path(ZEB_TEST_DATA) / "regress")) {
    SCOPED_TRACE(entry.path().filename().string());
    std::string bytes = FileBytes(entry.path());
    for (bool asFile : {false, true}) {
      try {
        if (asFile)
          FileProperties(bytes);
        else
          Extract(bytes);
      } catch (ZEBFile::OLE::OLEException const&) {
      }
    }
  }
}
